#include "host/outputpath.h"

#include "com/bstr.h"
#include "data/filenamepart.h"
#include "host/savefiledialog.h"
#include "ui/msgbox.h"

namespace plenth {

OutputPath SplitOutputPath(const std::string& path, std::size_t nameBytes, const char* separatorAfterCurrent) {
  const std::size_t at = FileNamePart(path);
  OutputPath out;
  out.name = std::string(com::CutUtf8(std::string_view(path).substr(at), nameBytes));
  out.directory = at > 0 ? path.substr(0, at) : CurrentDirectory() + separatorAfterCurrent;
  return out;
}

std::optional<OutputPath> TakeOutputPath(HWND dialog, const std::string& path, std::size_t nameBytes,
                                         std::size_t directoryBytes, const char* separatorAfterCurrent,
                                         const char* caption) {
  OutputPath out = SplitOutputPath(path, nameBytes, separatorAfterCurrent);
  if (path.size() >= directoryBytes || out.directory.size() >= directoryBytes) {
    MessageBox(dialog, "The output path is too long: it must fit in 254 characters.", caption,
               MB_OK | MB_ICONEXCLAMATION);
    return std::nullopt;
  }
  return out;
}

}  // namespace plenth
