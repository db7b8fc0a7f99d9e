#include "apps/plenth/demo.h"

#include <filesystem>
#include <sstream>

#include "apps/plenth/sampledata.h"

namespace plenth::cli {

namespace fs = std::filesystem;

void RunDemo(const GridRun& run, const std::string& directory, std::ostream& out) {
  const fs::path dir = fs::absolute(directory);
  out << "== Sample data in " << dir.string() << "\n";
  for (const auto& f : WriteSampleData(dir.string())) out << "  " << f.path << ": " << f.what << "\n";

  out << "\n== Export the DEM to Plenth Format (plenth export-grid " << (dir / "dem.tif").string() << " "
      << (dir / "dem").string() << ")\n";
  fs::remove(dir / "dem.dat");
  std::ostringstream log;
  for (const auto& f : ExportGrid(run, (dir / "dem.tif").string(), (dir / "dem").string(), log))
    out << "  wrote " << f << " (" << fs::file_size(f) << " bytes)\n";

  out << "\n== Import it back as a GeoTIFF (plenth import-grid " << (dir / "dem.dat").string() << " "
      << (dir / "dem_imported").string() << ")\n";
  fs::remove(dir / "dem_imported.tif");
  out << "  created " << ImportGrid(run, (dir / "dem.dat").string(), (dir / "dem_imported").string(), log) << "\n";
}

}  // namespace plenth::cli
