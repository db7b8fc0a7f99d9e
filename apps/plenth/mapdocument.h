// plenth's map document: a small JSON file naming the layers of a map, with groups.
//   {"layers": [{"name": "dem", "path": "dem.tif"}, {"group": "g", "layers": [...]}]}
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace plenth::cli {

struct MapEntry {
  bool group = false;
  std::string name;  // the layer's name ("" for the file's stem) or the group's
  std::string path;  // a layer's file, relative paths taken from the document's directory
  std::vector<MapEntry> layers;  // a group's layers
};

// Groups may nest this deep.
inline constexpr int kMaxMapGroupDepth = 32;

// The layers of the document's text; throws std::runtime_error saying what is wrong.
// `documentPath` names the document in messages and resolves relative paths.
std::vector<MapEntry> ParseMapDocument(const std::string& text, const std::string& documentPath);

}  // namespace plenth::cli
