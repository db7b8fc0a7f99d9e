// plenth: runs the PlenthTools module's commands on real files, as the host would.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <filesystem>
#include <iostream>

#include "apps/plenth/demo.h"
#include "apps/plenth/effortcommand.h"
#include "apps/plenth/gridcommands.h"
#include "apps/plenth/hostrun.h"
#include "apps/plenth/pointgridcommand.h"
#include "apps/plenth/sampledata.h"
#include "apps/plenth/toolscommand.h"
#include "apps/plenth/vectorcommands.h"
#include "com/boundary.h"
#include "hostapp/installation.h"
#include "hostapp/module.h"
#include "registry/registry.h"

namespace {

// Runs a command body, turning its failure into a one-line reason and exit status 1.
void Run(const char* name, const std::function<void()>& body) {
  try {
    body();
    std::exit(0);
  } catch (const std::exception& e) {
    std::cerr << "plenth " << name << ": " << e.what() << "\n";
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"plenth: the PlenthTools GIS lab tools, run on files as the map application runs them"};
  app.require_subcommand(1);
  app.footer("Run 'plenth COMMAND --help' for a command's options.\n");
  plenth::cli::GridRun run{hostapp::InstalledModulePath(), {}};
  app.add_option("--module", run.modulePath, "The PlenthTools module to load")->capture_default_str();
  std::string registryFile;
  app.add_option("--registry", registryFile,
                 "The registry file the module is registered in (default $XDG_DATA_HOME/plenth/registry.reg)");
  app.parse_complete_callback([&] {
    if (!registryFile.empty()) registry::UseFile(registryFile);
  });

  std::string moduleArg;
  for (const bool registering : {true, false}) {
    auto* sub = app.add_subcommand(registering ? "register" : "unregister",
                                   registering ? "Register the module's classes, categories and type library"
                                               : "Remove the module's registration");
    sub->add_option("MODULE", moduleArg, "The module (default: the one installed beside plenth)");
    sub->callback([&, registering] {
      Run(registering ? "register" : "unregister", [&] {
        const std::string path = moduleArg.empty() ? run.modulePath : moduleArg;
        hostapp::LoadedModule module(path);
        const HRESULT hr = registering ? module.RegisterServer() : module.UnregisterServer();
        if (FAILED(hr)) throw plenth::cli::RunError("the module answered a failure (" + com::StatusText(hr) + ")");
        std::cout << (registering ? "registered " : "unregistered ") << path << " in " << registry::CurrentFile() << "\n";
      });
    });
  }

  auto* tools = app.add_subcommand("tools", "List the extension, the toolbar and the commands the module offers");
  tools->callback([&] { Run("tools", [&] { plenth::cli::ListTools(run.modulePath, std::cout); }); });

  std::string sampleDir;
  auto* sample = app.add_subcommand("sample-data", "Write the project's deterministic sample data into DIR");
  sample->add_option("DIR", sampleDir, "Directory to write into (created when missing)")->required();
  sample->callback([&] {
    Run("sample-data", [&] {
      for (const auto& f : plenth::cli::WriteSampleData(sampleDir)) std::cout << f.path << ": " << f.what << "\n";
    });
  });

  std::string raster, outPath, gridFile;
  auto* exportGrid = app.add_subcommand("export-grid", "Export a raster to Plenth Format grid text files (one per band)");
  exportGrid->add_option("RASTER", raster, "The raster: PATH or NAME=PATH (the layer name defaults to the file's stem)")
      ->required();
  exportGrid->add_option("OUTPATH", outPath,
                         "What a person types as the output file: out/elev writes out/elev.dat (out/elev0.dat, "
                         "out/elev1.dat, ... for several bands)")
      ->required();
  exportGrid->add_option("--map", run.mapFile, "A map document (JSON) with further layers and groups");
  exportGrid->footer("Example: plenth export-grid sample/dem.tif out/dem\n");
  exportGrid->callback([&] {
    Run("export-grid", [&] {
      for (const auto& f : plenth::cli::ExportGrid(run, raster, outPath, std::cout)) std::cout << "wrote " << f << "\n";
    });
  });

  auto* importGrid = app.add_subcommand("import-grid", "Import a Plenth Format grid text file as a new one-band raster");
  importGrid->add_option("GRIDFILE", gridFile, "The grid text file (.dat)")->required();
  importGrid->add_option("OUTPATH", outPath, "The new raster: out/elev creates the GeoTIFF out/elev.tif")->required();
  importGrid->add_option("--map", run.mapFile, "A map document (JSON) with layers for the map");
  importGrid->footer("Example: plenth import-grid out/dem.dat out/dem_back\n");
  importGrid->callback([&] {
    Run("import-grid", [&] {
      const std::string created = plenth::cli::ImportGrid(run, gridFile, outPath, std::cout);
      std::cout << "created " << created << "\n";
    });
  });

  plenth::cli::EffortArgs effort;
  auto* effortSurface = app.add_subcommand(
      "effort-surface", "Calculate the four-band effort surface (travel costs north, north-east, east, south-east)");
  for (const auto& [flag, target, what] :
       {std::tuple{"--dem", &effort.dem, "The DEM"}, {"--trails", &effort.trails, "Trail cells (differ from no-data)"},
        {"--roads", &effort.roads, "Roads (required by the dialog, not read)"},
        {"--streams", &effort.streams, "Stream cells (differ from no-data)"},
        {"--cover", &effort.cover, "Ground-cover classes"}})
    effortSurface->add_option(flag, *target, std::string(what) + ": PATH or NAME=PATH, on the DEM's grid")->required();
  effortSurface->add_option("--z-factor", effort.zFactor, "The Z factor as typed (recorded, not applied)");
  effortSurface->add_option("OUTPATH", effort.outPath,
                            "What a person types as the output: out/surface writes out/surface.tif (the name cut to "
                            "7 characters) and the log out/EffortSurface_log.txt")
      ->required();
  effortSurface->add_option("--map", run.mapFile, "A map document (JSON) with further layers and groups");
  effortSurface->footer(
      "Example: plenth effort-surface --dem sample/dem.tif --trails sample/trails.tif --roads sample/trails.tif "
      "--streams sample/streams.tif --cover sample/groundcover.tif out/effort\nCtrl-C presses Cancel.\n");
  effortSurface->callback([&] {
    Run("effort-surface", [&] {
      const std::string written =
          plenth::cli::EffortSurface(run, effort, std::cout, ::isatty(STDOUT_FILENO) != 0);
      std::cout << "wrote " << written << "\n";
    });
  });

  plenth::cli::PointGridArgs grid;
  auto* pointGrid = app.add_subcommand("point-grid", "Write a regular grid or random points over a rectangle into a new point shapefile");
  pointGrid->add_option("OUTPATH", grid.outPath, "The new shapefile as typed into the dialog: out/grid and out/grid.shp write out/grid.shp; any other extension stays part of the name")
      ->required();
  pointGrid->add_option("--west", grid.west, "West bound (map units)")->required();
  pointGrid->add_option("--east", grid.east, "East bound")->required();
  pointGrid->add_option("--north", grid.north, "North bound")->required();
  pointGrid->add_option("--south", grid.south, "South bound")->required();
  auto* spacing = pointGrid->add_option("--spacing", grid.spacing, "Distance between points: a regular grid");
  auto* random = pointGrid->add_option("--random", grid.count, "Number of random points");
  spacing->excludes(random);
  pointGrid->add_option("--crs-of", grid.crsOf, "A layer (PATH or NAME=PATH) put on the map, whose coordinate system the points take");
  pointGrid->add_option("--map", run.mapFile, "A map document (JSON) with further layers");
  pointGrid->add_option("--preview", grid.previewPng, "Save the map with the grid's preview as this PNG picture");
  pointGrid->add_option("--seed", grid.seed, "Seed the random points with this in place of the current second");
  pointGrid->footer("Example: plenth point-grid out/grid --west 500000 --east 509000 --north 4107200 --south 4100000 "
                    "--spacing 500 --crs-of sample/dem.tif --preview out/grid.png\n");
  pointGrid->callback([&] {
    Run("point-grid", [&] {
      const auto written = plenth::cli::PointGrid(run, grid, std::cout);
      std::cout << "wrote " << written.points << " points to " << written.shapefile << " (layer PointGrid)\n";
      if (!grid.previewPng.empty()) std::cout << "preview " << grid.previewPng << "\n";
    });
  });
  plenth::cli::AddVectorCommands(app, run, Run);

  std::string demoDir = "demo-out";
  auto* demo = app.add_subcommand("demo", "Write the sample data into DIR and run every tool on it");
  demo->add_option("DIR", demoDir, "Directory for the sample data and every tool's output")->capture_default_str();
  demo->callback([&] { Run("demo", [&] { plenth::cli::RunDemo(run, demoDir, std::cout); }); });

  CLI11_PARSE(app, argc, argv);
  return 0;
}
