#include <stdexcept>
#include <string>

#include "fuzz/targets/fuzzinput.h"
#include "ui/resources.h"

namespace plenthfuzz {

void ResourceScript(const std::uint8_t* data, std::size_t size) {
  // The script, then after a NUL byte the text every #include gives (none without one).
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string script = input.substr(0, split);
  const auto include = [&](std::string_view) -> std::string {
    if (split == std::string::npos) throw std::runtime_error("no such file");
    return input.substr(split + 1);
  };
  try {
    ui::ParseResourceScript(script, include);
  } catch (const std::runtime_error&) {
  }
}

}  // namespace plenthfuzz
