#include "ui/clipboard.h"

#include <strings.h>

#include <mutex>
#include <string>
#include <vector>

UINT RegisterClipboardFormat(const char* name) {
  if (!name || !*name) return 0;
  static std::mutex lock;
  static std::vector<std::string> names;
  std::lock_guard guard(lock);
  for (std::size_t i = 0; i < names.size(); ++i)
    if (strcasecmp(names[i].c_str(), name) == 0) return static_cast<UINT>(0xC000 + i);
  names.emplace_back(name);
  return static_cast<UINT>(0xC000 + names.size() - 1);
}
