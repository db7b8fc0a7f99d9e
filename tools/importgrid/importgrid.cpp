#include "tools/importgrid/importgrid.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "com/classes.h"
#include "data/gridfile.h"
#include "data/gridstrips.h"
#include "data/processlog.h"
#include "gis/gis.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "tools/importgrid/importgriddlg.h"
#include "ui/msgbox.h"

namespace plenth {

constinit const ClassInfo ImportGrid::kClass = ClassRow<ImportGrid, IImportGrid>({
    .name = "ImportGrid",
    .clsid = CLSID_ImportGrid,
    .scriptId = IDR_IMPORTGRID,
    .threadingModel = "Apartment",
    .category = &CATID_HostCommands,
    .programmable = true,
});

namespace {

const CommandInfo kInfo{
    ImportGrid::kClass,
    "Import Plenth Format to GRID Format",
    "Imports Plenth Format to GRID",
    "Imports Plenth format file to GRID format",
    IDB_IMPORTGRID,
    CommandInfo::Creation::CommonControls,
    CommandInfo::Click::Modal,
    CommandInfo::Restore::Reporting,
};

// Fills the raster from the file strip by strip, one "." in the log per strip. Once the
// file has no more values, the strips after the one where it ran out are left as the new
// raster has them, no-data, without writing them. False at a failure, or when `progress`
// asks to stop before a strip.
bool FillRaster(GridReader& file, const GridHeader& h, RasterDataset* dataset, const Progress& progress) {
  com::ComPtr<RasterBand> band;
  if (auto bands = com::ComPtr<RasterDataset>(dataset).query<RasterBandCollection>()) bands->Item(0, band.put());
  auto props = band.query<RasterProps>();
  if (!props) return false;
  // The no-data value as a variant of the cell type; a failure to set it is not the import's.
  props->put_NoDataValue(gis::CellVariant(h.datatype, h.nodata).get());
  auto raw = band.query<RawPixels>();
  if (!raw) return false;
  const GridStrips strips = StripsFor(h.ncols, h.nrows);
  auto size = gis::MakeXYPair(h.ncols, static_cast<double>(strips.rowsPerStrip));
  com::ComPtr<PixelBlock> block;
  if (FAILED(raw->CreatePixelBlock(size.get(), block.put())) || !block) return false;
  com::ComPtr<IUnknown> cache;
  raw->AcquireCache(cache.put());
  GridStripReader values(file, h.datatype, h.ncols, h.nrows);  // reads each next strip ahead
  com::ComPtr<CellArray> cells;
  for (std::int64_t s = 0; s < strips.count; ++s) {
    if (!GoOn(progress, "", s, strips.count)) return false;
    LogMessage(".");
    const std::int64_t top = s * strips.rowsPerStrip;
    const auto topLeft = gis::MakeXYPair(0, static_cast<double>(top));
    const bool last = s == strips.count - 1;
    if (last && strips.count > 1) {
      size->PutCoords(h.ncols, static_cast<double>(h.nrows - top));
      block.reset();
      if (FAILED(raw->CreatePixelBlock(size.get(), block.put())) || !block) return false;
    }
    if (s == 0 || last) {
      if (FAILED(raw->Read(topLeft.get(), block.get()))) return false;
      cells.reset();
      if (FAILED(block->GetPlane(0, cells.put())) || !cells) return false;
    }
    void* data = nullptr;
    cells->Data(&data);
    const std::int64_t rows = std::min(strips.rowsPerStrip, h.nrows - top);
    const std::size_t wanted = static_cast<std::size_t>(rows) * static_cast<std::size_t>(h.ncols);
    const std::size_t read = values.Read(s, data);
    // Cells the file has no value for hold the no-data value (a value of the cell type).
    VisitPixelType(h.datatype, [&]<class T>() {
      std::fill(static_cast<T*>(data) + read, static_cast<T*>(data) + wanted, static_cast<T>(h.nodata));
    });
    if (FAILED(block->PutPlane(0, cells.get()))) return false;
    if (FAILED(raw->Write(topLeft.get(), block.get()))) return false;
    if (read < wanted) {  // the rest of the raster is no-data as it stands: its dots in one go
      if (s + 1 < strips.count) LogMessage(std::string(static_cast<std::size_t>(strips.count - 1 - s), '.').c_str());
      break;
    }
  }
  return SUCCEEDED(raw->ReturnCache(cache.get()));
}

}  // namespace

ImportGrid::ImportGrid() : Command(kInfo) {}


INT_PTR ImportGrid::RunModalDialog() { return RunImportGridDlg(); }

void ImportGrid::ProcessOk() {
  const ImportGridChoice& choice = ImportGridResult();
  if (ImportGridFileToRaster(choice.inputPath, choice.directory, choice.outputName))
    MessageBox(nullptr, "cool", "cool", MB_OK);
  else
    MessageBox(nullptr, "shit", "shit", MB_OK | MB_ICONEXCLAMATION);
}

int ImportGridFileToRaster(const char* inputPath, const char* directory, const char* outputName,
                           const Progress& progress) {
  GridReader file;
  if (!file.Open(inputPath)) return 0;
  GridHeader header;
  if (!ReadGridHeader(file, &header)) return 0;
  auto factory = com::CreateInstance<WorkspaceFactory>(CLSID_RasterWorkspaceFactory);
  com::ComPtr<Workspace> workspace;
  if (factory) factory->OpenFromFile(com::BStr(directory).get(), 0, workspace.put());
  auto rasters = workspace.query<RasterWorkspace>();
  if (!rasters) return 0;
  auto origin = com::CreateInstance<Point>(CLSID_Point);
  if (!origin) return 0;
  origin->PutCoords(header.lowerleftX, header.lowerleftY);
  com::ComPtr<RasterDataset> dataset;
  const HRESULT created = rasters->CreateRasterDataset(com::BStr(outputName).get(), com::BStr("GRID").get(),
                                                       origin.get(), header.ncols, header.nrows, header.cellsize,
                                                       header.cellsize, 1, header.datatype, nullptr, VARIANT_TRUE,
                                                       dataset.put());
  if (created == GIS_E_TOOLARGE) {  // the one refusal the user can do something about: say why
    char reason[160];
    std::snprintf(reason, sizeof reason, "Unable to create a raster of %ld x %ld cells: more than the GRID format holds\r\n",
                  static_cast<long>(header.ncols), static_cast<long>(header.nrows));
    LogMessage(reason);
  }
  if (!dataset) return 0;
  if (!FillRaster(file, header, dataset.get(), progress)) {
    dataset->Delete();
    return 0;
  }
  return 1;
}

}  // namespace plenth
