#include <cpl_string.h>
#include <gdal_priv.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "tests/gis/fixture.h"

namespace {

using gistest::TempDir;
using RasterTest = TempDir;

struct Created {
  com::ComPtr<RasterDataset> dataset;
  com::ComPtr<RasterBand> band;
};

Created Create(RasterWorkspace* ws, const std::string& name, LONG type, LONG cols, LONG rows, LONG bands = 1,
               HRESULT* hr = nullptr) {
  Created c;
  auto origin = gis::MakePoint(1000, 2000);
  const HRESULT r = ws->CreateRasterDataset(com::BStr(name).get(), com::BStr("GRID").get(), origin.get(), cols, rows,
                                            10, 10, bands, type, gis::SpatialReferenceFromEpsg(32633).get(),
                                            VARIANT_TRUE, c.dataset.put());
  if (hr) *hr = r;
  if (c.dataset) c.dataset.query<RasterBandCollection>()->Item(0, c.band.put());
  return c;
}

com::ComPtr<PixelBlock> Block(RasterBand* band, LONG cols, LONG rows) {
  com::ComPtr<PixelBlock> block;
  com::ComPtr<RawPixels>(com::ComPtr<RasterBand>(band).query<RawPixels>())
      ->CreatePixelBlock(gis::MakeXYPair(cols, rows).get(), block.put());
  return block;
}

void* Cells(PixelBlock* block) {
  com::ComPtr<CellArray> cells;
  block->GetPlane(0, cells.put());
  void* data = nullptr;
  cells->Data(&data);
  return data;
}

TEST_F(RasterTest, EveryPixelTypeRoundTripsWithItsNoData) {
  struct Case {
    LONG type;
    com::Variant nodata;
    VARTYPE vt;
  } cases[] = {
      {PT_UCHAR, com::Variant::I4(255), VT_UI1},          {PT_CHAR, com::Variant::I4(-128), VT_I1},
      {PT_USHORT, com::Variant::I4(65535), VT_UI2},       {PT_SHORT, com::Variant::I4(-32768), VT_I2},
      {PT_ULONG, com::Variant::UI4(4294967295u), VT_UI4}, {PT_LONG, com::Variant::I4(-2147483647 - 1), VT_I4},
      {PT_FLOAT, com::Variant::R8(-3.4e38), VT_R4},       {PT_DOUBLE, com::Variant::R8(-1e300), VT_R8},
  };
  auto ws = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, dir_.string());
  ASSERT_TRUE(ws);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    const std::string name = std::string("r").append(std::to_string(c.type));
    std::vector<unsigned char> written;
    {
      auto r = Create(ws.get(), name, c.type, 3, 2);
      ASSERT_TRUE(r.band);
      auto props = r.band.query<RasterProps>();
      ASSERT_EQ(props->put_NoDataValue(c.nodata.get()), S_OK);
      auto block = Block(r.band.get(), 3, 2);
      const int bytes = PixelTypeBytes(c.type);
      auto* cells = static_cast<unsigned char*>(Cells(block.get()));
      for (int i = 0; i < 6 * bytes; ++i) cells[i] = static_cast<unsigned char>(i * 37 + 11);
      if (c.type == PT_FLOAT) {  // finite floats only
        for (int i = 0; i < 6; ++i) reinterpret_cast<float*>(cells)[i] = -1.5f * i + 0.25f;
      }
      if (c.type == PT_DOUBLE) {
        for (int i = 0; i < 6; ++i) reinterpret_cast<double*>(cells)[i] = 1e-7 * i - 3;
      }
      written.assign(cells, cells + 6 * bytes);
      ASSERT_EQ(r.band.query<RawPixels>()->Write(gis::MakeXYPair(0, 0).get(), block.get()), S_OK);
    }
    com::ComPtr<RasterDataset> reopened;
    ASSERT_EQ(ws->OpenRasterDataset(com::BStr(name).get(), reopened.put()), S_OK);  // found with ".tif"
    com::ComPtr<RasterBand> band;
    reopened.query<RasterBandCollection>()->Item(0, band.put());
    auto props = band.query<RasterProps>();
    LONG type = 0, width = 0, height = 0;
    props->get_PixelType(&type);
    props->get_Width(&width);
    props->get_Height(&height);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    com::Variant nodata;
    EXPECT_EQ(props->get_NoDataValue(nodata.put()), S_OK);
    EXPECT_EQ(nodata.vt(), c.vt);
    double expected = 0, got = 0;
    c.nodata.ToDouble(&expected);
    nodata.ToDouble(&got);
    EXPECT_EQ(static_cast<float>(got), static_cast<float>(expected));
    auto block = Block(band.get(), 3, 2);
    ASSERT_EQ(band.query<RawPixels>()->Read(gis::MakeXYPair(0, 0).get(), block.get()), S_OK);
    EXPECT_EQ(std::memcmp(Cells(block.get()), written.data(), written.size()), 0);
  }
}

TEST_F(RasterTest, AReadPastTheEdgesFillsTheOverhangWithNoData) {
  auto ws = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, dir_.string());
  auto r = Create(ws.get(), "edge", PT_SHORT, 2, 2);
  auto block = Block(r.band.get(), 2, 2);
  auto* cells = static_cast<std::int16_t*>(Cells(block.get()));
  cells[0] = 1, cells[1] = 2, cells[2] = 3, cells[3] = 4;
  auto raw = r.band.query<RawPixels>();
  raw->Write(gis::MakeXYPair(0, 0).get(), block.get());
  auto tall = Block(r.band.get(), 3, 3);
  ASSERT_EQ(raw->Read(gis::MakeXYPair(0, 1).get(), tall.get()), S_OK);
  auto* t = static_cast<std::int16_t*>(Cells(tall.get()));
  EXPECT_EQ(std::vector<std::int16_t>(t, t + 9), (std::vector<std::int16_t>{3, 4, 0, 0, 0, 0, 0, 0, 0}));
  r.band.query<RasterProps>()->put_NoDataValue(com::Variant::I4(-9).get());
  raw->Read(gis::MakeXYPair(0, 1).get(), tall.get());
  EXPECT_EQ(std::vector<std::int16_t>(t, t + 9), (std::vector<std::int16_t>{3, 4, -9, -9, -9, -9, -9, -9, -9}));
  // Past the first row and column too, and wholly outside.
  ASSERT_EQ(raw->Read(gis::MakeXYPair(-1, -1).get(), tall.get()), S_OK);
  EXPECT_EQ(std::vector<std::int16_t>(t, t + 9), (std::vector<std::int16_t>{-9, -9, -9, -9, 1, 2, -9, 3, 4}));
  ASSERT_EQ(raw->Read(gis::MakeXYPair(1e300, 0).get(), tall.get()), S_OK);
  EXPECT_EQ(std::vector<std::int16_t>(t, t + 9), std::vector<std::int16_t>(9, -9));
  EXPECT_EQ(raw->Read(gis::MakeXYPair(std::nan(""), 0).get(), tall.get()), E_INVALIDARG);
}

TEST_F(RasterTest, ANoDataValueTheCellsCannotHoldIsNoneOfTheirs) {
  auto ws = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, dir_.string());
  { Create(ws.get(), "bytes", PT_UCHAR, 1, 1); }
  auto props = [&](com::ComPtr<RasterDataset>& ds) {
    com::ComPtr<RasterBand> band;
    ws->OpenRasterDataset(com::BStr("bytes").get(), ds.put());
    ds.query<RasterBandCollection>()->Item(0, band.put());
    return band;
  };
  com::ComPtr<RasterDataset> ds;
  auto band = props(ds);
  EXPECT_EQ(band.query<RasterProps>()->put_NoDataValue(com::Variant::I4(300).get()), DISP_E_OVERFLOW);
  band.reset();
  ds.reset();
  // Another program may still have written one; it comes as it is, as a double.
  {
    GDALDatasetUniquePtr h(GDALDataset::Open(Path("bytes.tif").c_str(), GDAL_OF_RASTER | GDAL_OF_UPDATE));
    ASSERT_TRUE(h);
    ASSERT_EQ(h->GetRasterBand(1)->SetNoDataValue(-9999), CE_None);
  }
  band = props(ds);
  com::Variant nodata;
  EXPECT_EQ(band.query<RasterProps>()->get_NoDataValue(nodata.put()), S_OK);
  EXPECT_EQ(nodata.vt(), VT_R8);
  auto block = Block(band.get(), 2, 2);
  ASSERT_EQ(band.query<RawPixels>()->Read(gis::MakeXYPair(0, 0).get(), block.get()), S_OK);
  const auto* cells = static_cast<unsigned char*>(Cells(block.get()));
  EXPECT_EQ(std::vector<int>(cells + 1, cells + 4), (std::vector<int>{0, 0, 0}));
}

TEST_F(RasterTest, IdentifyGivesTheCellTextNoDataAndNothingOutside) {
  auto ws = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, dir_.string());
  auto r = Create(ws.get(), "id", PT_FLOAT, 2, 1, 2);
  for (LONG b = 0; b < 2; ++b) {
    com::ComPtr<RasterBand> band;
    r.dataset.query<RasterBandCollection>()->Item(b, band.put());
    band.query<RasterProps>()->put_NoDataValue(com::Variant::R8(-1).get());
    auto block = Block(band.get(), 2, 1);
    auto* cells = static_cast<float*>(Cells(block.get()));
    cells[0] = b ? 7.0f : 0.1f;
    cells[1] = -1.0f;
    band.query<RawPixels>()->Write(gis::MakeXYPair(0, 0).get(), block.get());
  }
  const auto identify = [&](double x, double y) -> std::string {
    com::ComPtr<IdentifyResults> results;
    const HRESULT hr = gis::IdentifyRaster(r.dataset.get(), gis::MakePoint(x, y).get(), results.put());
    if (!results) return hr == S_FALSE ? "(none)" : "(error)";
    com::ComPtr<IUnknown> first;
    results->get_Element(0, first.put());
    com::BStr text;
    first.query<RasterIdentifyResult>()->get_Value(text.put());
    return text.utf8();
  };
  // Origin (1000, 2000) is the lower-left corner; cells are 10 map units.
  EXPECT_EQ(identify(1005, 2005), "0.1, 7");
  EXPECT_EQ(identify(1015, 2005), "NoData, NoData");
  EXPECT_EQ(identify(1025, 2005), "(none)");
  EXPECT_EQ(identify(1005, 1995), "(none)");

  // A NaN no-data value matches every NaN cell, whatever its sign and payload (0/0 on
  // this machine gives a negative one).
  auto nan = Create(ws.get(), "nan", PT_FLOAT, 2, 1);
  auto props = nan.band.query<RasterProps>();
  ASSERT_EQ(props->put_NoDataValue(com::Variant::R8(std::nan("")).get()), S_OK);
  auto block = Block(nan.band.get(), 2, 1);
  auto* cells = static_cast<float*>(Cells(block.get()));
  cells[0] = -std::numeric_limits<float>::quiet_NaN();
  cells[1] = 2.5f;
  nan.band.query<RawPixels>()->Write(gis::MakeXYPair(0, 0).get(), block.get());
  r.dataset = nan.dataset;
  EXPECT_EQ(identify(1005, 2005), "NoData");
  EXPECT_EQ(identify(1015, 2005), "2.5");

  // Just inside the last column, where dividing by the cell size rounds up to the edge.
  ASSERT_EQ(ws->CreateRasterDataset(com::BStr("fine").get(), com::BStr("GRID").get(), gis::MakePoint(0, 0).get(), 5,
                                    1, 0.7, 0.7, 1, PT_UCHAR, nullptr, VARIANT_TRUE, r.dataset.put()),
            S_OK);
  com::ComPtr<RasterBand> band;
  r.dataset.query<RasterBandCollection>()->Item(0, band.put());
  auto row = Block(band.get(), 5, 1);
  auto* bytes = static_cast<unsigned char*>(Cells(row.get()));
  for (int i = 0; i < 5; ++i) bytes[i] = static_cast<unsigned char>(i + 1);
  band.query<RawPixels>()->Write(gis::MakeXYPair(0, 0).get(), row.get());
  EXPECT_EQ(identify(std::nextafter(3.5, 0.0), 0.35), "5");
}

TEST_F(RasterTest, FailuresComeBackAsStatusCodes) {
  HRESULT hr = S_OK;
  EXPECT_FALSE(OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, Path("missing"), &hr));
  EXPECT_EQ(hr, GIS_E_NOTFOUND);
  auto ws = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, dir_.string());
  com::ComPtr<RasterDataset> ds;
  EXPECT_EQ(ws->OpenRasterDataset(com::BStr("nothing").get(), ds.put()), GIS_E_NOTFOUND);
  std::ofstream(Path("corrupt.tif")) << "not a raster at all";
  EXPECT_EQ(ws->OpenRasterDataset(com::BStr("corrupt").get(), ds.put()), GIS_E_IO);
  Create(ws.get(), "complex", PT_COMPLEX, 2, 2, 1, &hr);
  EXPECT_EQ(hr, GIS_E_UNSUPPORTED);
  Create(ws.get(), "", PT_UCHAR, 2, 2, 1, &hr);
  EXPECT_EQ(hr, E_INVALIDARG);
  EXPECT_EQ(ws->OpenRasterDataset(com::BStr("").get(), ds.put()), E_INVALIDARG);
  EXPECT_EQ(ws->OpenRasterDataset(com::BStr("nothing").get(), nullptr), E_POINTER);
  // Creating over an existing dataset leaves it as it was.
  { Create(ws.get(), "kept", PT_UCHAR, 4, 4); }
  const std::string before = Bytes(Path("kept.tif"));
  EXPECT_FALSE(Create(ws.get(), "kept", PT_FLOAT, 8, 8, 1, &hr).dataset);
  EXPECT_EQ(hr, GIS_E_EXISTS);
  EXPECT_EQ(Bytes(Path("kept.tif")), before);
}

// A raster whose block tables would pass the 2 GB a GeoTIFF keeps them in is refused
// before a file is made: tiles GDAL would refuse itself, strips it would write broken.
TEST_F(RasterTest, ARasterLargerThanAGeoTiffHoldsIsRefusedBeforeAFileIsMade) {
  auto ws = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, dir_.string());
  const struct {
    const char* name;
    LONG type, cols, rows, bands;
  } cases[] = {
      {"tiles", PT_UCHAR, 20'000'000, 20'000'000, 1},  // 6.1e9 tiles of 256 x 256
      {"strips", PT_DOUBLE, 255, 2'147'483'647, 1},     // 5.4e8 strips of 4 rows
      {"bands", PT_UCHAR, 2'304'000, 2'304'000, 4},     // 8.1e7 tiles for each band
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HRESULT hr = S_OK;
    EXPECT_FALSE(Create(ws.get(), c.name, c.type, c.cols, c.rows, c.bands, &hr).dataset);
    EXPECT_EQ(hr, GIS_E_TOOLARGE);
    EXPECT_FALSE(std::filesystem::exists(Path(std::string(c.name) + ".tif")));
  }
}

// A raster named by its file name alone lies in the current directory: the directory it
// reports opens as its workspace, and the dataset opens there by its name.
TEST_F(RasterTest, ABareFileNameLiesInTheCurrentDirectory) {
  auto ws = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, dir_.string());
  { Create(ws.get(), "elev", PT_UCHAR, 2, 2); }
  const gistest::InDirectory here(dir_);
  for (const char* path : {"elev.tif", "./elev.tif"}) {
    SCOPED_TRACE(path);
    auto dataset = gis::OpenRasterFile(path);
    ASSERT_TRUE(dataset);
    com::BStr directory, name;
    ASSERT_EQ(dataset->get_WorkspacePath(directory.put()), S_OK);
    ASSERT_EQ(dataset->get_Name(name.put()), S_OK);
    HRESULT hr = E_FAIL;
    auto there = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, directory.utf8(), &hr);
    EXPECT_EQ(hr, S_OK) << "'" << directory.utf8() << "'";
    ASSERT_TRUE(there);
    com::ComPtr<RasterDataset> again;
    EXPECT_EQ(there->OpenRasterDataset(name.get(), again.put()), S_OK);
  }
}

// A no-data value that no cell of the band's type can hold (a fraction in an integer
// band, or a value beyond the type's range), as GeoTIFF allows, still reaches the caller:
// as a double, which the caller takes by its own rule. Overhang cells then read as 0, and
// identify finds no cell equal to it.
TEST_F(RasterTest, ANoDataValueOutsideTheCellTypeArrivesAsADouble) {
  const struct {
    GDALDataType type;
    double nodata;
  } cases[] = {{GDT_Int16, 3.5}, {GDT_Byte, -9999}, {GDT_Byte, 256}, {GDT_UInt16, -1}, {GDT_Int32, 1e10}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << GDALGetDataTypeName(c.type) << " " << c.nodata);
    GDALDatasetUniquePtr made(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        Path("odd.tif").c_str(), 2, 1, 1, c.type, nullptr));
    ASSERT_TRUE(made);
    ASSERT_EQ(made->GetRasterBand(1)->SetNoDataValue(c.nodata), CE_None);
    made.reset();
    auto dataset = gis::OpenRasterFile(Path("odd.tif"));
    ASSERT_TRUE(dataset);
    com::ComPtr<RasterBand> band;
    dataset.query<RasterBandCollection>()->Item(0, band.put());
    com::Variant nodata;
    ASSERT_EQ(band.query<RasterProps>()->get_NoDataValue(nodata.put()), S_OK);
    EXPECT_EQ(nodata.vt(), VT_R8);
    EXPECT_EQ(nodata.get().dblVal, c.nodata);
    dataset.reset();
    band.reset();
    std::filesystem::remove(Path("odd.tif"));
  }
}

// A Float32 band's no-data value is taken as a value of the band's type: a double that
// rounds to a float (the lowest float printed to eight digits, as a .flt raster's header
// holds it) arrives as that float and fills the overhang of a read.
TEST_F(RasterTest, AFloatNoDataValueIsTheFloatItRoundsTo) {
  const float lowest = -std::numeric_limits<float>::max();
  const struct {
    double nodata;
    double arrives;
  } cases[] = {{-3.4028235e+38, lowest}, {3.4028235e+38, -lowest}, {0.1, 0.1f}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.nodata);
    {
      GDALDatasetUniquePtr made(GetGDALDriverManager()->GetDriverByName("EHdr")->Create(
          Path("lowest.flt").c_str(), 2, 1, 1, GDT_Float32, nullptr));
      ASSERT_TRUE(made);
      ASSERT_EQ(made->GetRasterBand(1)->SetNoDataValue(c.nodata), CE_None);
    }
    auto dataset = gis::OpenRasterFile(Path("lowest.flt"));
    ASSERT_TRUE(dataset);
    com::ComPtr<RasterBand> band;
    dataset.query<RasterBandCollection>()->Item(0, band.put());
    com::Variant nodata;
    ASSERT_EQ(band.query<RasterProps>()->get_NoDataValue(nodata.put()), S_OK);
    EXPECT_EQ(nodata.vt(), VT_R4);
    double value = 0;
    nodata.ToDouble(&value);
    EXPECT_EQ(value, c.arrives);
    auto block = Block(band.get(), 1, 2);
    ASSERT_EQ(band.query<RawPixels>()->Read(gis::MakeXYPair(0, -1).get(), block.get()), S_OK);
    EXPECT_EQ(static_cast<float*>(Cells(block.get()))[0], static_cast<float>(c.arrives));
    dataset.reset();
    band.reset();
    block.reset();
    for (const char* ext : {".flt", ".hdr", ".prj", ".flt.aux.xml"}) std::filesystem::remove(Path(std::string("lowest") + ext));
  }
}

// Cells of 1, 2 or 4 bits have their own PixelType codes, so that the tools that take no
// such cells refuse them: no pixel block is made for them. Identify still reads them, a
// cell per byte, no-data included.
TEST_F(RasterTest, CellsOfOneTwoOrFourBitsHaveTheirOwnCodes) {
  const struct {
    const char* bits;
    LONG type;
    std::uint8_t cells[3];  // the last one no-data
  } cases[] = {{"1", PT_U1, {1, 1, 0}}, {"2", PT_U2, {3, 2, 0}}, {"4", PT_U4, {15, 9, 0}}, {"8", PT_UCHAR, {255, 9, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bits);
    const std::string path = Path(std::string("bits") + c.bits + ".tif");
    {
      CPLStringList list;
      list.SetNameValue("NBITS", c.bits);
      GDALDatasetUniquePtr made(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(path.c_str(), 3, 1, 1,
                                                                                          GDT_Byte, list.List()));
      ASSERT_TRUE(made);
      double gt[6] = {1000, 10, 0, 2010, 0, -10};
      ASSERT_EQ(made->SetGeoTransform(gt), CE_None);
      ASSERT_EQ(made->GetRasterBand(1)->SetNoDataValue(0), CE_None);
      std::uint8_t cells[3];
      std::memcpy(cells, c.cells, 3);
      ASSERT_EQ(made->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 3, 1, cells, 3, 1, GDT_Byte, 0, 0), CE_None);
    }
    auto dataset = gis::OpenRasterFile(path);
    ASSERT_TRUE(dataset);
    com::ComPtr<RasterBand> band;
    dataset.query<RasterBandCollection>()->Item(0, band.put());
    LONG type = 0;
    ASSERT_EQ(band.query<RasterProps>()->get_PixelType(&type), S_OK);
    EXPECT_EQ(type, c.type);
    com::ComPtr<PixelBlock> block;
    const HRESULT made = band.query<RawPixels>()->CreatePixelBlock(gis::MakeXYPair(3, 1).get(), block.put());
    EXPECT_EQ(made == S_OK, type == PT_UCHAR) << std::hex << made;
    std::vector<std::string> texts;
    for (double x : {1005, 1015, 1025}) {
      com::ComPtr<IdentifyResults> results;
      gis::IdentifyRaster(dataset.get(), gis::MakePoint(x, 2005).get(), results.put());
      com::ComPtr<IUnknown> first;
      if (results) results->get_Element(0, first.put());
      com::BStr text;
      if (first) first.query<RasterIdentifyResult>()->get_Value(text.put());
      texts.push_back(text.utf8());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{std::to_string(c.cells[0]), std::to_string(c.cells[1]), "NoData"}));
  }
}

// A south-up raster (rows stored from the south, a positive y cell size) is handed out
// from its northern row like every other: block reads and writes, identify, the extent
// and its lower-left corner agree with one another.
TEST_F(RasterTest, ASouthUpRasterIsHandedOutFromItsNorthernRow) {
  {
    GDALDatasetUniquePtr made(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
        Path("south.tif").c_str(), 2, 3, 1, GDT_Int16, nullptr));
    ASSERT_TRUE(made);
    double gt[6] = {1000, 10, 0, 2000, 0, 10};  // row 0 is the southern row
    ASSERT_EQ(made->SetGeoTransform(gt), CE_None);
    std::int16_t fileOrder[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(made->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 2, 3, fileOrder, 2, 3, GDT_Int16, 0, 0), CE_None);
  }
  auto dataset = gis::OpenRasterFile(Path("south.tif"));
  ASSERT_TRUE(dataset);
  com::ComPtr<RasterBand> band;
  dataset.query<RasterBandCollection>()->Item(0, band.put());
  auto props = band.query<RasterProps>();
  auto raw = band.query<RawPixels>();

  com::ComPtr<Envelope> extent;
  ASSERT_EQ(props->get_Extent(extent.put()), S_OK);
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  extent->QueryCoords(&x0, &y0, &x1, &y1);
  EXPECT_EQ(std::vector<double>({x0, y0, x1, y1}), std::vector<double>({1000, 2000, 1020, 2030}));
  com::ComPtr<Point> lowerLeft;
  extent->get_LowerLeft(lowerLeft.put());
  double llx = 0, lly = 0;
  lowerLeft->get_X(&llx);
  lowerLeft->get_Y(&lly);
  EXPECT_EQ(llx, 1000);
  EXPECT_EQ(lly, 2000);

  auto whole = Block(band.get(), 2, 3);
  ASSERT_EQ(raw->Read(gis::MakeXYPair(0, 0).get(), whole.get()), S_OK);
  auto* cells = static_cast<std::int16_t*>(Cells(whole.get()));
  EXPECT_EQ(std::vector<std::int16_t>(cells, cells + 6), (std::vector<std::int16_t>{5, 6, 3, 4, 1, 2}));
  // A block reaching past the southern edge: the overhang is at its bottom.
  ASSERT_EQ(raw->Read(gis::MakeXYPair(0, 1).get(), whole.get()), S_OK);
  EXPECT_EQ(std::vector<std::int16_t>(cells, cells + 6), (std::vector<std::int16_t>{3, 4, 1, 2, 0, 0}));

  const auto identify = [&](double x, double y) {
    com::ComPtr<IdentifyResults> results;
    gis::IdentifyRaster(dataset.get(), gis::MakePoint(x, y).get(), results.put());
    com::ComPtr<IUnknown> first;
    if (results) results->get_Element(0, first.put());
    com::BStr text;
    if (first) first.query<RasterIdentifyResult>()->get_Value(text.put());
    return text.utf8();
  };
  EXPECT_EQ(identify(1005, 2025), "5");  // the northern row
  EXPECT_EQ(identify(1015, 2005), "2");  // the southern row

  // Writing the top row of a block writes the northern row of the file.
  auto top = Block(band.get(), 2, 1);
  auto* row = static_cast<std::int16_t*>(Cells(top.get()));
  row[0] = 7, row[1] = 8;
  ASSERT_EQ(raw->Write(gis::MakeXYPair(0, 0).get(), top.get()), S_OK);
  EXPECT_EQ(std::vector<std::int16_t>(row, row + 2), (std::vector<std::int16_t>{7, 8}));  // the block is unchanged
  EXPECT_EQ(identify(1005, 2025), "7");
  band.reset();
  props.reset();
  raw.reset();
  dataset.reset();
  GDALDatasetUniquePtr back(GDALDataset::Open(Path("south.tif").c_str(), GDAL_OF_RASTER));
  ASSERT_TRUE(back);
  std::int16_t fileOrder[6] = {};
  ASSERT_EQ(back->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 2, 3, fileOrder, 2, 3, GDT_Int16, 0, 0), CE_None);
  EXPECT_EQ(std::vector<std::int16_t>(fileOrder, fileOrder + 6), (std::vector<std::int16_t>{1, 2, 3, 4, 7, 8}));
}

// A raster read strip by strip from the north lets GDAL's cache go of the blocks above the
// strip read, and a block changed through the band reaches the file before it goes: the
// cells read again afterwards are those written.
TEST_F(RasterTest, BlocksAboveTheRowsReadLeaveTheCacheWithTheirChangesWritten) {
  auto ws = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, dir_.string());
  constexpr LONG kWidth = 300, kHeight = 2000, kStrip = 100;  // tiles of 256 x 256: 2 across, 8 down
  Created r = Create(ws.get(), "walk", PT_LONG, kWidth, kHeight);
  ASSERT_TRUE(r.band);
  auto raw = r.band.query<RawPixels>();
  // A corner changed, not whole rows: its tile stays in the cache, changed.
  auto corner = Block(r.band.get(), 10, 10);
  std::fill_n(static_cast<std::int32_t*>(Cells(corner.get())), 100, 7);
  ASSERT_EQ(raw->Write(gis::MakeXYPair(0, 0).get(), corner.get()), S_OK);

  const GIntBig before = GDALGetCacheUsed64();
  auto strip = Block(r.band.get(), kWidth, kStrip + 2);
  GIntBig most = 0;
  for (LONG top = -1; top < kHeight; top += kStrip) {  // each strip with the row above it and the row below
    ASSERT_EQ(raw->Read(gis::MakeXYPair(0, top).get(), strip.get()), S_OK);
    most = std::max(most, GDALGetCacheUsed64() - before);
  }
  constexpr GIntBig kTileRow = 2 * 256 * 256 * 4;
  EXPECT_LE(most, 2 * kTileRow);  // the tiles of the strip read, and of the one before

  auto back = Block(r.band.get(), 10, 10);
  ASSERT_EQ(raw->Read(gis::MakeXYPair(0, 0).get(), back.get()), S_OK);
  const auto* cells = static_cast<const std::int32_t*>(Cells(back.get()));
  EXPECT_EQ(std::vector<std::int32_t>(cells, cells + 100), std::vector<std::int32_t>(100, 7));
}

// Identify finds the cell in whichever block of the file holds it, edge blocks cut short:
// tiles of 16 x 16 cells of two bands side by side, and strips of 5 rows of three bands
// each on its own, over 40 x 36 cells.
TEST_F(RasterTest, IdentifyFindsTheCellInItsBlock) {
  constexpr int kWidth = 40, kHeight = 36;
  struct Case {
    const char* name;
    int bands;
    std::vector<const char*> options;
  };
  const Case cases[] = {{"tiles", 2, {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16", "INTERLEAVE=PIXEL"}},
                        {"strips", 3, {"BLOCKYSIZE=5", "INTERLEAVE=BAND"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(std::string(c.name) + ".tif");
    {
      std::vector<const char*> options = c.options;
      options.push_back(nullptr);
      GDALDatasetUniquePtr made(GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
          path.c_str(), kWidth, kHeight, c.bands, GDT_Int16, const_cast<char**>(options.data())));
      ASSERT_TRUE(made);
      double gt[6] = {1000, 10, 0, 2000, 0, -10};
      ASSERT_EQ(made->SetGeoTransform(gt), CE_None);
      std::vector<std::int16_t> cells(kWidth * kHeight);
      for (int b = 1; b <= c.bands; ++b) {
        for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = static_cast<std::int16_t>(b * 1000 + i % 97);
        ASSERT_EQ(made->GetRasterBand(b)->RasterIO(GF_Write, 0, 0, kWidth, kHeight, cells.data(), kWidth, kHeight,
                                                   GDT_Int16, 0, 0),
                  CE_None);
      }
    }
    auto dataset = gis::OpenRasterFile(path);
    ASSERT_TRUE(dataset);
    const auto identify = [&](int column, int row) {
      com::ComPtr<IdentifyResults> results;
      gis::IdentifyRaster(dataset.get(), gis::MakePoint(1005 + 10 * column, 1995 - 10 * row).get(), results.put());
      com::ComPtr<IUnknown> first;
      if (results) results->get_Element(0, first.put());
      com::BStr text;
      if (first) first.query<RasterIdentifyResult>()->get_Value(text.put());
      return text.utf8();
    };
    const std::pair<int, int> where[] = {{0, 0}, {15, 15}, {16, 15}, {17, 33}, {39, 35}, {38, 20}, {3, 5}};
    for (const auto& [column, row] : where) {
      SCOPED_TRACE(std::to_string(column) + ", " + std::to_string(row));
      const int v = (row * kWidth + column) % 97;
      std::string expected;
      for (int b = 1; b <= c.bands; ++b) expected += (b > 1 ? ", " : "") + std::to_string(b * 1000 + v);
      EXPECT_EQ(identify(column, row), expected);
    }
  }
}

TEST_F(RasterTest, DeleteRemovesTheFiles) {
  auto ws = OpenWorkspace<RasterWorkspace>(CLSID_RasterWorkspaceFactory, dir_.string());
  auto r = Create(ws.get(), "gone", PT_UCHAR, 2, 2);
  ASSERT_TRUE(std::filesystem::exists(Path("gone.tif")));
  auto block = Block(r.band.get(), 2, 2);
  EXPECT_EQ(r.dataset->Delete(), S_OK);
  EXPECT_FALSE(std::filesystem::exists(Path("gone.tif")));
  // A band still held answers with a failure code, not with freed memory.
  LONG width = 0;
  com::Variant nodata;
  com::ComPtr<Envelope> extent;
  EXPECT_EQ(r.band.query<RasterProps>()->get_Width(&width), E_UNEXPECTED);
  EXPECT_EQ(r.band.query<RasterProps>()->get_NoDataValue(nodata.put()), E_UNEXPECTED);
  EXPECT_EQ(r.band.query<RasterProps>()->get_Extent(extent.put()), E_UNEXPECTED);
  EXPECT_EQ(r.band.query<RawPixels>()->Read(gis::MakeXYPair(0, 0).get(), block.get()), E_UNEXPECTED);
  EXPECT_EQ(r.dataset->Delete(), E_UNEXPECTED);
}

}  // namespace

namespace {

// A walk through a raster larger than memory must not leave its blocks in GDAL's cache,
// which would otherwise take a twentieth of the machine's memory.
TEST(RasterCacheTest, GdalsBlockCacheIsBounded) {
  if (CPLGetConfigOption("GDAL_CACHEMAX", nullptr)) GTEST_SKIP() << "GDAL_CACHEMAX chosen by the caller";
  gis::Initialize();
  EXPECT_LE(GDALGetCacheMax64(), GIntBig{256} << 20);
}

}  // namespace
