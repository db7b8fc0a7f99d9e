#include "hostapp/picture.h"

#include <dlfcn.h>

#include <mutex>
#include <stdexcept>

namespace hostapp {
namespace {

// The painter library's two entry points (hostapp/painter.cpp), found once; the library
// stays loaded as long as the process.
struct PainterEntries {
  HRESULT (*create)(LONG, LONG, Display**) = nullptr;
  int (*save)(Display*, const char*) = nullptr;
  std::string error;
};

const PainterEntries& Painter() {
  static PainterEntries entries;
  static std::once_flag once;
  std::call_once(once, [] {
    // Found beside this library, as the host's libraries find each other.
    void* library = dlopen("libplenth_hostpainter.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char* why = dlerror();
      entries.error = why ? why : "libplenth_hostpainter.so cannot be loaded";
      return;
    }
    entries.create = reinterpret_cast<HRESULT (*)(LONG, LONG, Display**)>(dlsym(library, "PlenthCreatePainterDisplay"));
    entries.save = reinterpret_cast<int (*)(Display*, const char*)>(dlsym(library, "PlenthSavePainterPng"));
    if (!entries.create || !entries.save) entries.error = "libplenth_hostpainter.so lacks its entry points";
  });
  return entries;
}

}  // namespace

MapPicture::MapPicture(LONG width, LONG height) {
  const PainterEntries& painter = Painter();
  if (!painter.error.empty()) throw std::runtime_error(painter.error);
  if (FAILED(painter.create(width, height, display_.put())) || !display_)
    throw std::runtime_error("a picture of that size cannot be made");
  save_ = painter.save;
}

bool MapPicture::SavePng(const std::string& path) const { return save_(display_.get(), path.c_str()) != 0; }

}  // namespace hostapp
