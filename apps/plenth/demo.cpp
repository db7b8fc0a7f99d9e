#include "apps/plenth/demo.h"

#include <filesystem>
#include <sstream>

#include "apps/plenth/effortcommand.h"
#include "apps/plenth/pointgridcommand.h"
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

  const auto at = [&](const char* name) { return (dir / name).string(); };
  const EffortArgs effort{at("dem.tif"), at("trails.tif"), at("trails.tif"), at("streams.tif"), at("groundcover.tif"),
                          std::nullopt, at("effort")};
  out << "\n== The effort surface (plenth effort-surface --dem " << effort.dem << " --trails " << effort.trails
      << " --roads " << effort.roads << " --streams " << effort.streams << " --cover " << effort.cover << " "
      << effort.outPath << ")\n";
  fs::remove(dir / "effort.tif");
  std::ostringstream shown;
  const std::string surface = EffortSurface(run, effort, shown, false);
  std::istringstream lines(shown.str());
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("clock ", 0) != 0) out << "  " << line << "\n";
  out << "  wrote " << surface << " (" << fs::file_size(surface) << " bytes)\n";

  PointGridArgs grid;
  grid.outPath = (dir / "pointgrid").string();
  grid.west = 501000;
  grid.east = 508000;
  grid.north = 4105000;
  grid.south = 4100000;
  grid.spacing = 500;
  grid.crsOf = (dir / "dem.tif").string();
  grid.previewPng = (dir / "pointgrid.png").string();
  out << "\n== A point grid over part of the DEM, with its preview (plenth point-grid " << grid.outPath
      << " --west 501000 --east 508000 --north 4105000 --south 4100000 --spacing 500 --crs-of " << grid.crsOf
      << " --preview " << grid.previewPng << ")\n";
  RemoveShapefile(grid.outPath + ".shp");
  const PointGridResult written = PointGrid(run, grid, log);
  out << "  wrote " << written.points << " points to " << written.shapefile << "\n"
      << "  preview " << grid.previewPng << "\n";
  out << "\n== Count ground-cover cells per class inside the study areas (plenth poly-clip "
      << (dir / "areas.shp").string() << " " << (dir / "groundcover.tif").string() << " --prefix gc)\n";
  out << "  " << PolyClip(run, {(dir / "areas.shp").string(), (dir / "groundcover.tif").string(), "gc", false}, log)
      << "\n";

  out << "\n== Store the elevation under each site (plenth grid-spot " << (dir / "sites.shp").string() << " "
      << (dir / "dem.tif").string() << " --field elev)\n";
  out << "  " << GridSpot(run, {(dir / "sites.shp").string(), (dir / "dem.tif").string(), "elev"}, log) << "\n";

  out << "\n== Split the roads into segments with their azimuth (plenth line-orientation "
      << (dir / "roads.shp").string() << " " << (dir / "roadsegments").string() << ")\n";
  RemoveShapefile(dir / "roadseg.shp");
  out << "  " << LineOrientation(run, (dir / "roads.shp").string(), (dir / "roadsegments").string(), log) << "\n";
}

}  // namespace plenth::cli
