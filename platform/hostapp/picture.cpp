#include "hostapp/picture.h"

#include <dlfcn.h>

#include <mutex>
#include <stdexcept>
#include <string>

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
    // Beside this library, where it is built and installed. Named by its whole path: a
    // bare name would be looked for from the caller of dlopen, which is not this library
    // where a sanitizer's runtime stands between.
    std::string path = "libplenth_hostpainter.so";
    Dl_info self;
    if (dladdr(reinterpret_cast<void*>(&Painter), &self) && self.dli_fname) {
      const std::string here = self.dli_fname;
      const std::size_t slash = here.rfind('/');
      if (slash != std::string::npos) path = here.substr(0, slash + 1) + path;
    }
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
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
