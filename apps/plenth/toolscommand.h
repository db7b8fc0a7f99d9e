// `plenth tools`: what the module offers the host.
#pragma once

#include <ostream>
#include <string>

namespace plenth::cli {

int ListTools(const std::string& modulePath, std::ostream& out);

}  // namespace plenth::cli
