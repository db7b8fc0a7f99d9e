// Where a host finds what was installed with it. In a build tree every program, library
// and the module lie side by side; installed, the programs lie in bin/ and the module
// with the libraries in lib/plenthtools/ beside it.
#pragma once

#include <filesystem>
#include <string>

namespace hostapp {

// The private library directory, from the programs' directory.
inline constexpr char kLibraryDirectoryFromPrograms[] = "../lib/plenthtools";

// The directory of the running program.
std::filesystem::path ProgramDirectory();
// The module installed with the running program: beside it, else in the private
// library directory. The path beside it when neither holds one.
std::string InstalledModulePath();

}  // namespace hostapp
