#include "host/outputpath.h"

#include "com/bstr.h"
#include "data/filenamepart.h"
#include "host/savefiledialog.h"

namespace plenth {

OutputPath SplitOutputPath(const std::string& path, std::size_t nameBytes, const char* separatorAfterCurrent) {
  const std::size_t at = FileNamePart(path);
  OutputPath out;
  out.name = std::string(com::CutUtf8(std::string_view(path).substr(at), nameBytes));
  out.directory = at > 0 ? path.substr(0, at) : CurrentDirectory() + separatorAfterCurrent;
  return out;
}

}  // namespace plenth
