// A shapefile's table written anew in one pass by an update cursor, beside the table
// written record by record in place, which the same calls write when no rewrite may begin.
#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sys/stat.h>

#include <functional>
#include <set>

#include "gis/tablerewrite.h"
#include "tests/gis/fixture.h"

namespace {

namespace fs = std::filesystem;
using gis::detail::SetTableRewriteHooks;
using gis::detail::TableRewriteHooks;

struct Column {
  const char* name;
  OGRFieldType type;
  int width = 0, precision = 0;
  bool logical = false;  // a one-character text column marked logical, as other programs write them
};

// The text, integer, double, date and logical columns of the tables below.
const std::vector<Column> kEveryType = {
    {"TXT", OFTString, 12}, {"INT", OFTInteger, 9}, {"DBL", OFTReal, 15, 4}, {"DAT", OFTDate}, {"LOG", OFTString, 1, 0, true}};
const std::vector<Column> kNoLogical(kEveryType.begin(), kEveryType.end() - 1);
const std::vector<Column> kOwnFid = {{"FID", OFTInteger, 9}, {"NAME", OFTString, 10}};
constexpr int kRows = 6;

// A point shapefile of `rows` records, written by GDAL with these layer creation
// options; every column holds a value in most records and none in one of kRows.
void WriteTable(const std::string& path, const std::vector<Column>& columns, const std::vector<std::string>& options,
                int rows = kRows) {
  {
    GDALDatasetUniquePtr ds(GetGDALDriverManager()->GetDriverByName("ESRI Shapefile")->Create(
        path.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    ASSERT_TRUE(ds);
    CPLStringList creation;
    for (const auto& o : options) creation.AddString(o.c_str());
    OGRLayer* layer = ds->CreateLayer("t", nullptr, wkbPoint, creation.List());
    ASSERT_TRUE(layer);
    for (const Column& c : columns) {
      OGRFieldDefn field(c.name, c.type);
      field.SetWidth(c.width);
      field.SetPrecision(c.precision);
      ASSERT_EQ(layer->CreateField(&field), OGRERR_NONE);
    }
    for (int k = 0; k < rows; ++k) {
      OGRFeature f(layer->GetLayerDefn());
      for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        if ((k + i) % kRows == kRows - 1) continue;  // no value
        const Column& c = columns[static_cast<std::size_t>(i)];
        if (c.logical) f.SetField(i, k % 3 == 0 ? "T" : k % 3 == 1 ? "F" : "?");
        else if (c.type == OFTString) f.SetField(i, (std::string("\xc3\xa9t\xc3\xa9 ") + std::to_string(k)).c_str());
        else if (c.type == OFTInteger) f.SetField(i, 7 * k - 3);
        else if (c.type == OFTReal) f.SetField(i, k / 3.0 - 1);
        else if (c.type == OFTDate) f.SetField(i, 2020 + k, 1 + k, 28 - k);
      }
      OGRPoint point(k, 2 * k);
      f.SetGeometry(&point);
      ASSERT_EQ(layer->CreateFeature(&f), OGRERR_NONE);
    }
  }
  // GDAL writes no logical columns: the test marks them in the header itself.
  std::fstream dbf(fs::path(path).replace_extension(".dbf"), std::ios::in | std::ios::out | std::ios::binary);
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (columns[i].logical) {
      dbf.seekp(static_cast<std::streamoff>(32 + 32 * i + 11));
      dbf.put('L');
    }
}

void DeleteRecords(const std::string& path, const std::vector<GIntBig>& fids) {
  const char* const options[] = {"AUTO_REPACK=NO", nullptr};
  GDALDatasetUniquePtr ds(GDALDataset::Open(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, nullptr, options));
  ASSERT_TRUE(ds);
  for (const GIntBig fid : fids) ASSERT_EQ(ds->GetLayer(0)->DeleteFeature(fid), OGRERR_NONE);
}

// Runs `write` on every feature of an update cursor, writing back those it says.
HRESULT UpdateEach(FeatureClass* fc, const std::function<bool(Feature*, LONG)>& write) {
  com::ComPtr<FeatureCursor> cursor;
  EXPECT_EQ(fc->Update(VARIANT_FALSE, cursor.put()), S_OK);
  HRESULT last = S_OK;
  for (com::ComPtr<Feature> f; (last = cursor->NextFeature(f.put())) == S_OK && f;) {
    LONG id = -1;
    f->get_OID(&id);
    if (write(f.get(), id)) {
      EXPECT_EQ(cursor->UpdateFeature(f.get()), S_OK) << id;
    }
  }
  return last;
}

com::ComPtr<Field> NewField(const char* name, LONG type) {
  auto field = com::CreateInstance<Field>(CLSID_Field);
  field->put_Name(com::BStr(name).get());
  field->put_Type(type);
  return field;
}

// A file's bytes and the time it was last written.
struct FileState {
  std::string bytes;
  timespec modified{};
  bool operator==(const FileState& o) const {
    return bytes == o.bytes && modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

class TableRewriteTest : public gistest::TempDir {
 protected:
  static FileState StateOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return {Bytes(path), st.st_mtim};
  }
  std::set<std::string> FilesIn(const std::string& dir) const {
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(Path(dir))) files.insert(entry.path().filename());
    return files;
  }
  void TearDown() override {
    SetTableRewriteHooks({});
    TempDir::TearDown();
  }

  // Writes the table `dir`/t.shp with `columns`.
  std::string Table(const std::string& dir, const std::vector<Column>& columns, const std::vector<std::string>& options,
                    int rows = kRows) {
    fs::create_directories(Path(dir));
    WriteTable(Path(dir + "/t.shp"), columns, options, rows);
    return Path(dir + "/t.shp");
  }
  // Runs `op` on the class of a shapefile, the rewrite refused (the table written in
  // place) or allowed; whether a new table replaced the old.
  static bool Run(const std::string& shp, bool rewrite, const std::function<void(FeatureClass*)>& op) {
    bool replaced = false;
    SetTableRewriteHooks({[rewrite] { return rewrite; }, [&](const std::string&) {
                            replaced = true;
                            return S_OK;
                          }});
    auto fc = gis::OpenFeatureFile(shp);
    EXPECT_TRUE(fc);
    if (fc) op(fc.get());
    fc.reset();
    SetTableRewriteHooks({});
    return replaced;
  }
};

// Column indexes: 0 the object id, 1 the shape, then the table's columns from 2.
constexpr LONG kTxt = 2, kInt = 3, kDbl = 4, kDat = 5;

void WriteIntegers(FeatureClass* fc) {
  UpdateEach(fc, [](Feature* f, LONG k) { return f->put_Value(kInt, com::Variant::I4(100 + k).get()) == S_OK; });
}
void AddAndWrite(FeatureClass* fc) {
  ASSERT_EQ(fc->AddField(NewField("VALUE", kFieldDouble).get()), S_OK);
  LONG v = -1;
  fc->FindField(com::BStr("VALUE").get(), &v);
  UpdateEach(fc, [v](Feature* f, LONG k) { return f->put_Value(v, com::Variant::R8(k + 0.5).get()) == S_OK; });
}

// The new table holds, byte for byte, what writing the same features in place writes:
// the columns described as the old table has them, every value of every type, the
// code page and the encoding of its text, the end mark; the shapes are not touched.
TEST_F(TableRewriteTest, TheNewTableIsWhatWritingInPlaceWrites) {
  const struct Case {
    const char* what;
    std::vector<Column> columns;
    std::vector<std::string> options;
    std::function<void(FeatureClass*)> op;
    bool rewritten;
    bool shapesKept = true;
    int rows = kRows;
  } cases[] = {
      {"integers written over integers", kNoLogical, {}, WriteIntegers, true},
      {"every type written, text in the table's code page", kNoLogical, {},
       [](FeatureClass* fc) {
         UpdateEach(fc, [](Feature* f, LONG k) {
           const std::string text = "\xc3\xbc" + std::to_string(k);
           return f->put_Value(kTxt, com::Variant::String(text).get()) == S_OK &&
                  f->put_Value(kDbl, com::Variant::R8(k * 1.25).get()) == S_OK &&
                  f->put_Value(kDat, k == 2 ? com::Variant().get() : com::Variant::String("2001/02/03").get()) == S_OK;
         });
       },
       true},
      {"reals into an integer column, as the library converts them", kNoLogical, {},
       [](FeatureClass* fc) {
         UpdateEach(fc, [](Feature* f, LONG k) { return f->put_Value(kInt, com::Variant::R8(k + 0.5).get()) == S_OK; });
       },
       true},
      {"a column added and written, some features passed over", kNoLogical, {},
       [](FeatureClass* fc) {
         ASSERT_EQ(fc->AddField(NewField("VALUE", kFieldDouble).get()), S_OK);
         LONG v = -1;
         fc->FindField(com::BStr("VALUE").get(), &v);
         UpdateEach(fc, [v](Feature* f, LONG k) { return k % 2 == 1 && f->put_Value(v, com::Variant::R8(-k).get()) == S_OK; });
       },
       true},
      {"two columns added, no value written", kNoLogical, {},
       [](FeatureClass* fc) {
         ASSERT_EQ(fc->AddField(NewField("A", kFieldInteger).get()), S_OK);
         ASSERT_EQ(fc->AddField(NewField("B", kFieldString).get()), S_OK);
       },
       true},
      {"a table's own column FID written", kOwnFid, {},
       [](FeatureClass* fc) {
         LONG fid = -1;
         fc->FindField(com::BStr("FID").get(), &fid);
         UpdateEach(fc, [fid](Feature* f, LONG k) { return f->put_Value(fid, com::Variant::I4(-k).get()) == S_OK; });
       },
       true},
      {"no end mark, the last record written", kNoLogical, {"DBF_EOF_CHAR=NO"}, WriteIntegers, true},
      {"no end mark, the last record passed over", kNoLogical, {"DBF_EOF_CHAR=NO"},
       [](FeatureClass* fc) {
         UpdateEach(fc, [](Feature* f, LONG k) { return k < kRows - 1 && f->put_Value(kInt, com::Variant::I4(k).get()) == S_OK; });
       },
       true},
      {"no end mark, a column added and no value written", kNoLogical, {"DBF_EOF_CHAR=NO"},
       [](FeatureClass* fc) { ASSERT_EQ(fc->AddField(NewField("A", kFieldInteger).get()), S_OK); }, true},
      {"text in the code page a .cpg file names", kNoLogical, {"ENCODING=CP1252"},
       [](FeatureClass* fc) {
         UpdateEach(fc, [](Feature* f, LONG) { return f->put_Value(kTxt, com::Variant::String("\xe2\x82\xac").get()) == S_OK; });
       },
       true},
      {"a feature written again after later ones, and a shape moved", kNoLogical, {},
       [](FeatureClass* fc) {
         com::ComPtr<FeatureCursor> cursor;
         ASSERT_EQ(fc->Update(VARIANT_FALSE, cursor.put()), S_OK);
         com::ComPtr<Feature> first, f;
         cursor->NextFeature(first.put());
         first->put_Value(kInt, com::Variant::I4(1).get());
         EXPECT_EQ(cursor->UpdateFeature(first.get()), S_OK);
         for (LONG k = 1; cursor->NextFeature(f.put()) == S_OK && f; ++k) {
           f->put_Value(kInt, com::Variant::I4(10 * k).get());
           if (k == 3) f->putref_Shape(gis::MakePoint(-5, -5).get());
           EXPECT_EQ(cursor->UpdateFeature(f.get()), S_OK);
           if (k == 4) {
             first->put_Value(kInt, com::Variant::I4(2).get());
             EXPECT_EQ(cursor->UpdateFeature(first.get()), S_OK);
           }
         }
       },
       true, false},
      {"a logical column: the table is written in place", kEveryType, {}, WriteIntegers, false},
      // More records than the writer takes in one hand-over, and more than it holds
      // waiting: records handed over while earlier ones are written, gaps copied.
      {"thousands of records, a column added and every third written", kNoLogical, {},
       [](FeatureClass* fc) {
         ASSERT_EQ(fc->AddField(NewField("VALUE", kFieldDouble).get()), S_OK);
         LONG v = -1;
         fc->FindField(com::BStr("VALUE").get(), &v);
         UpdateEach(fc, [v](Feature* f, LONG k) { return k % 3 != 1 && f->put_Value(v, com::Variant::R8(k / 7.0).get()) == S_OK; });
       },
       true, true, 5000},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string place = std::to_string(n) + "place", anew = std::to_string(n) + "anew";
    ++n;
    EXPECT_FALSE(Run(Table(place, c.columns, c.options, c.rows), false, c.op));
    const std::string shp = Table(anew, c.columns, c.options, c.rows);
    const FileState shapes = StateOf(Path(anew + "/t.shp")), index = StateOf(Path(anew + "/t.shx"));
    EXPECT_EQ(Run(shp, true, c.op), c.rewritten);

    for (const char* file : {"/t.dbf", "/t.cpg", "/t.shp", "/t.shx"})
      EXPECT_EQ(Bytes(Path(anew + file)), Bytes(Path(place + file))) << file;
    if (c.rewritten && c.shapesKept) {
      EXPECT_TRUE(StateOf(Path(anew + "/t.shp")) == shapes);
      EXPECT_TRUE(StateOf(Path(anew + "/t.shx")) == index);
    }
    EXPECT_EQ(FilesIn(anew), FilesIn(place));  // no new table left behind
  }
}

// Records the old table holds as deleted stay deleted, in their places, so that every
// record still pairs with its shape; what a deleted record held is not kept, GDAL
// reading nothing of it.
TEST_F(TableRewriteTest, DeletedRecordsStayDeletedInTheirPlaces) {
  const std::vector<GIntBig> deleted = {1, kRows - 1};
  std::string tables[2];
  for (const bool rewrite : {false, true}) {
    const std::string shp = Table(rewrite ? "anew" : "place", kNoLogical, {});
    DeleteRecords(shp, deleted);
    EXPECT_EQ(Run(shp, rewrite, AddAndWrite), rewrite);
    tables[rewrite] = Bytes(fs::path(shp).replace_extension(".dbf"));
    GDALDatasetUniquePtr ds(GDALDataset::Open(shp.c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetLayer(0)->GetFeatureCount(), kRows);
    std::vector<GIntBig> read;
    for (const auto& f : *ds->GetLayer(0)) read.push_back(f->GetFID());
    EXPECT_EQ(read, (std::vector<GIntBig>{0, 2, 3, 4}));
  }
  const std::string &place = tables[0], &anew = tables[1];
  ASSERT_EQ(anew.size(), place.size());
  const auto little = [&](std::size_t at) {
    return static_cast<std::size_t>(static_cast<unsigned char>(place[at]) | static_cast<unsigned char>(place[at + 1]) << 8);
  };
  const std::size_t header = little(8), record = little(10);
  EXPECT_EQ(anew.substr(0, header), place.substr(0, header));
  for (GIntBig r = 0; r < kRows; ++r) {
    const std::size_t at = header + static_cast<std::size_t>(r) * record;
    if (std::find(deleted.begin(), deleted.end(), r) != deleted.end()) {
      EXPECT_EQ(anew[at], '*') << r;
      EXPECT_EQ(place[at], '*') << r;
    } else {
      EXPECT_EQ(anew.substr(at, record), place.substr(at, record)) << r;
    }
  }
  EXPECT_EQ(anew.substr(header + kRows * record), place.substr(header + kRows * record));
}

// A rewrite that fails before its new table takes the old one's place leaves the old
// table as it was, byte for byte, removes the new one and says so.
TEST_F(TableRewriteTest, AFailureBeforeTheRenameLeavesTheOldTable) {
  const struct {
    const char* what;
    void (*op)(FeatureClass*);
  } cases[] = {{"values written", WriteIntegers}, {"a column added and written", AddAndWrite}};
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = std::to_string(n++);
    const std::string shp = Table(dir, kNoLogical, {}), dbf = fs::path(shp).replace_extension(".dbf");
    const FileState before = StateOf(dbf), shapes = StateOf(shp);
    const std::set<std::string> files = FilesIn(dir);
    int tried = 0;
    SetTableRewriteHooks({nullptr, [&](const std::string& table) {
                            ++tried;
                            EXPECT_TRUE(fs::exists(table));
                            return GIS_E_IO;
                          }});
    {
      auto fc = gis::OpenFeatureFile(shp);
      ASSERT_TRUE(fc);
      com::ComPtr<FeatureCursor> cursor;
      LONG v = kInt;
      if (c.op == AddAndWrite) {
        ASSERT_EQ(fc->AddField(NewField("VALUE", kFieldDouble).get()), S_OK);
        fc->FindField(com::BStr("VALUE").get(), &v);
      }
      EXPECT_EQ(UpdateEach(fc.get(), [v](Feature* f, LONG k) { return f->put_Value(v, com::Variant::I4(k).get()) == S_OK; }),
                GIS_E_IO);
    }
    SetTableRewriteHooks({});
    EXPECT_GE(tried, 1);
    EXPECT_TRUE(StateOf(dbf) == before);
    EXPECT_TRUE(StateOf(shp) == shapes);
    EXPECT_EQ(FilesIn(dir), files);
  }
}

}  // namespace
