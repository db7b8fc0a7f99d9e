#include "apps/plenth/demo.h"

#include <filesystem>
#include <sstream>

#include "apps/plenth/sampledata.h"
#include "apps/plenth/vectorcommands.h"

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

  out << "\n== Count ground-cover cells per class inside the study areas (plenth poly-clip "
      << (dir / "areas.shp").string() << " " << (dir / "groundcover.tif").string() << " --prefix gc)\n";
  out << "  " << PolyClip(run, {(dir / "areas.shp").string(), (dir / "groundcover.tif").string(), "gc", false}, log)
      << "\n";

  out << "\n== Store the elevation under each site (plenth grid-spot " << (dir / "sites.shp").string() << " "
      << (dir / "dem.tif").string() << " --field elev)\n";
  out << "  " << GridSpot(run, {(dir / "sites.shp").string(), (dir / "dem.tif").string(), "elev"}, log) << "\n";

  out << "\n== Split the roads into segments with their azimuth (plenth line-orientation "
      << (dir / "roads.shp").string() << " " << (dir / "roadsegments").string() << ")\n";
  for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) fs::remove(dir / (std::string("roadseg") + ext));
  out << "  " << LineOrientation(run, (dir / "roads.shp").string(), (dir / "roadsegments").string(), log) << "\n";
}

}  // namespace plenth::cli
