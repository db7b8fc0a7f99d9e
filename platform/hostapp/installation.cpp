#include "hostapp/installation.h"

namespace hostapp {

namespace fs = std::filesystem;

fs::path ProgramDirectory() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::current_path(ec) : self.parent_path();
}

std::string InstalledModulePath() {
  constexpr char kModule[] = "libPlenthTools.so";
  const fs::path programs = ProgramDirectory();
  const fs::path beside = programs / kModule;
  std::error_code ec;
  if (fs::exists(beside, ec)) return beside.string();
  const fs::path installed = (programs / kLibraryDirectoryFromPrograms / kModule).lexically_normal();
  if (fs::exists(installed, ec)) return installed.string();
  return beside.string();
}

}  // namespace hostapp
