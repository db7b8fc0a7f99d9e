#include "tools/exportgrid/exportgrid.h"

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "data/gridfile.h"
#include "data/gridstrips.h"
#include "data/layers.h"
#include "data/processlog.h"
#include "gis/gis.h"
#include "hostapi/categories.h"
#include "resources/resource.h"
#include "tools/exportgrid/exportgriddlg.h"
#include "ui/msgbox.h"

namespace plenth {

constinit const ClassInfo ExportGrid::kClass = ClassRow<ExportGrid, IExportGrid>({
    .name = "ExportGrid",
    .clsid = CLSID_ExportGrid,
    .scriptId = IDR_EXPORTGRID,
    .threadingModel = "Apartment",
    .category = &CATID_HostCommands,
    .programmable = true,
});

namespace {

const CommandInfo kInfo{
    ExportGrid::kClass,
    "Export GRID Format to Plenth Format",
    "Exports GRID to Plenth Format",
    "Exports a GRID file to Plenth format",
    IDB_EXPORTGRID,
    CommandInfo::Creation::CommonControls,
    CommandInfo::Click::Modal,
    CommandInfo::Restore::Reporting,
};

// Writes one band to `path`; false at the first failure, or when `goOn` answers false
// before a strip.
bool WriteBand(RasterBand* band, const RasterGeometry& geometry, const std::string& path,
               const std::function<bool(std::int64_t strip, std::int64_t strips)>& goOn) {
  auto props = com::ComPtr<RasterBand>(band).query<RasterProps>();
  if (!props) return false;
  LONG type = 0;
  if (FAILED(props->get_PixelType(&type))) return false;
  com::Variant nodata;
  if (FAILED(props->get_NoDataValue(nodata.put()))) return false;
  GridHeader header;
  header.ncols = geometry.columns;
  header.nrows = geometry.rows;
  header.cellsize = geometry.cellSize;
  geometry.lowerLeft->get_X(&header.lowerleftX);
  geometry.lowerLeft->get_Y(&header.lowerleftY);
  header.datatype = type;
  if (nodata.vt() != VT_EMPTY) nodata.ToDouble(&header.nodata);  // a band without one writes 0

  GridWriter file;
  if (!file.Open(path)) return false;
  WriteGridHeader(file, header);
  auto raw = com::ComPtr<RasterBand>(band).query<RawPixels>();
  if (!raw) {
    LogMessage("Unable to access raw raster data\r\n");
    return false;
  }
  const GridStrips strips = StripsFor(header.ncols, header.nrows);
  const auto blockSize = gis::MakeXYPair(header.ncols, static_cast<double>(strips.rowsPerStrip));
  com::ComPtr<PixelBlock> blocks[2];
  raw->CreatePixelBlock(blockSize.get(), blocks[0].put());
  if (!blocks[0]) {
    LogMessage("ERROR\r\n Insufficient memory to allocate pixel cache buffer\r\n");
    return false;
  }
  // A second block lets the next strip be read while this one is written; without the
  // memory for it, strips are read one after the other.
  if (strips.count > 1) raw->CreatePixelBlock(blockSize.get(), blocks[1].put());
  const bool readAhead = blocks[1] != nullptr;
  const auto readStrip = [&](std::int64_t s) -> const void* {
    if (!goOn(s, strips.count)) return nullptr;
    PixelBlock* block = blocks[readAhead ? s % 2 : 0].get();
    // The block keeps its full height: the last strip may reach past the last row.
    if (FAILED(raw->Read(gis::MakeXYPair(0, static_cast<double>(s * strips.rowsPerStrip)).get(), block))) {
      LogMessage("Unable to read raw pixels into buffer\r\n");
      return nullptr;
    }
    com::ComPtr<CellArray> cells;
    block->GetPlane(0, cells.put());
    void* data = nullptr;
    if (!cells || FAILED(cells->Data(&data))) {
      LogMessage("Unable to get pixel data array\r\n");
      return nullptr;
    }
    return data;  // the block's own cells, there as long as the block is
  };
  if (!WriteGridStrips(file, type, header.ncols, header.nrows, readStrip, readAhead)) return false;
  return file.Close();  // a file that could not be written whole is a failure
}

// Writes one band's file whole or not at all: the text goes to a file beside it, which
// replaces the file only once every byte is written, so a failure (a full disk, a
// raster that cannot be read) leaves neither a cut-off file that reads as a grid nor a
// previous file emptied.
bool ExportBand(RasterBand* band, const RasterGeometry& geometry, const std::string& path,
                const std::function<bool(std::int64_t strip, std::int64_t strips)>& goOn) {
  if (path.size() > 255) return false;
  const std::string part = path + ".part" + std::to_string(::getpid());
  if (WriteBand(band, geometry, part, goOn) && std::rename(part.c_str(), path.c_str()) == 0) return true;
  std::remove(part.c_str());
  return false;
}

// Every band of the dataset, each to its file; 1 for success, 0 for failure. A stop
// asked for by `progress` takes away the files of the bands written before it.
int ExportBands(const char* datasetDirectory, const char* datasetName, const RasterGeometry& geometry,
                const char* directory, const char* baseName, const Progress& progress) {
  const auto dataset = OpenRasterDataset(datasetDirectory, datasetName);
  if (!dataset) return 0;
  auto bands = dataset.query<RasterBandCollection>();
  if (!bands) return 0;
  LONG count = 0;
  bands->get_Count(&count);
  std::vector<std::string> written;
  bool stopped = false;
  for (LONG b = 0; b < count; ++b) {
    com::ComPtr<RasterBand> band;
    if (FAILED(bands->Item(b, band.put())) || !band) return 0;
    const auto goOn = [&](std::int64_t strip, std::int64_t strips) {
      stopped = !GoOn(progress, "", b * strips + strip, count * strips);
      return !stopped;
    };
    const std::string path = GridFileName(directory, baseName, b, count);
    if (!ExportBand(band.get(), geometry, path, goOn)) {
      if (stopped)
        for (const std::string& file : written) std::remove(file.c_str());
      return 0;
    }
    written.push_back(path);
  }
  return 1;
}

}  // namespace

ExportGrid::ExportGrid() : Command(kInfo) {}


INT_PTR ExportGrid::RunModalDialog() { return RunExportGridDlg(); }

void ExportGrid::ProcessOk() {
  const ExportGridChoice& choice = ExportGridResult();
  if (ExportRasterToGridFiles(choice.layerName, choice.directory, choice.baseName))
    MessageBox(nullptr, "cool", "cool", MB_OK);
  else
    MessageBox(nullptr, "shit", "shit", MB_OK | MB_ICONEXCLAMATION);
}

int ExportRasterToGridFiles(const char* layerName, const char* directory, const char* baseName) {
  char datasetName[100] = "";
  char datasetDirectory[256] = "";
  RasterGeometry geometry;
  const DatasetBuffers buffers{datasetName, sizeof datasetName, datasetDirectory, sizeof datasetDirectory};
  if (!ReadRasterGeometry(CurrentApplication.get(), layerName, buffers, &geometry)) return 0;
  return ExportBands(datasetDirectory, datasetName, geometry, directory, baseName, {});
}

int ExportRasterDatasetToGridFiles(const char* datasetDirectory, const char* datasetName, const char* directory,
                                   const char* baseName, const Progress& progress) {
  char name[100] = "";
  char folder[256] = "";
  // A name cut to fit would name another dataset.
  if (!com::CopyToBuffer(name, sizeof name, datasetName) || !com::CopyToBuffer(folder, sizeof folder, datasetDirectory))
    return 0;
  RasterGeometry geometry;
  if (!ReadRasterGeometry(nullptr, "", {name, sizeof name, folder, sizeof folder}, &geometry)) return 0;
  return ExportBands(folder, name, geometry, directory, baseName, progress);
}

}  // namespace plenth
