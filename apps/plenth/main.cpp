// plenth: runs the PlenthTools module's commands on real files, as the host would.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>

#include "apps/plenth/sampledata.h"
#include "apps/plenth/toolscommand.h"

namespace {

// The module installed beside this program.
std::string DefaultModulePath() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (ec ? std::filesystem::path(".") : self.parent_path()) / "libPlenthTools.so";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"plenth: the PlenthTools GIS lab tools, run on files from the command line"};
  app.require_subcommand(1);
  std::string modulePath = DefaultModulePath();
  app.add_option("--module", modulePath, "The PlenthTools module to load")->capture_default_str();

  auto* tools = app.add_subcommand("tools", "List the extension, the toolbar and the commands the module offers");
  tools->callback([&] {
    try {
      std::exit(plenth::cli::ListTools(modulePath, std::cout));
    } catch (const std::exception& e) {
      std::cerr << "plenth tools: " << e.what() << "\n";
      std::exit(1);
    }
  });

  std::string sampleDir;
  auto* sample = app.add_subcommand("sample-data", "Write the project's deterministic sample data into DIR");
  sample->add_option("DIR", sampleDir, "Directory to write into (created when missing)")->required();
  sample->callback([&] {
    try {
      for (const auto& f : plenth::cli::WriteSampleData(sampleDir)) std::cout << f.path << ": " << f.what << "\n";
      std::exit(0);
    } catch (const std::exception& e) {
      std::cerr << "plenth sample-data: " << e.what() << "\n";
      std::exit(1);
    }
  });

  CLI11_PARSE(app, argc, argv);
  return 0;
}
