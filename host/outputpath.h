// Splitting the output path a person typed into the directory and the name a tool
// writes to.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "ui/types.h"

namespace plenth {

struct OutputPath {
  std::string directory;  // ends with its separator; the current directory when none was typed
  std::string name;       // the file name part, cut to the tool's length
};

// Splits `path` after its last '/', '\' or ':'. The name is cut to `nameBytes` bytes
// without splitting a character. Without a directory part the directory is the current
// one followed by `separatorAfterCurrent` (which may be empty).
OutputPath SplitOutputPath(const std::string& path, std::size_t nameBytes, const char* separatorAfterCurrent);

// The output path of a dialog's OK: split as above, or, when the path or its directory would
// not fit a buffer of `directoryBytes` (a path cut to fit would name another place to write
// to), nothing, after telling the person so in a message box with `caption`.
std::optional<OutputPath> TakeOutputPath(HWND dialog, const std::string& path, std::size_t nameBytes,
                                         std::size_t directoryBytes, const char* separatorAfterCurrent,
                                         const char* caption);

}  // namespace plenth
