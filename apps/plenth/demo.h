// `plenth demo`: the sample data, then every tool on it, with what each wrote.
#pragma once

#include <ostream>
#include <string>

#include "apps/plenth/gridcommands.h"

namespace plenth::cli {

void RunDemo(const GridRun& run, const std::string& directory, std::ostream& out);

}  // namespace plenth::cli
