// The host's map document: the layers of a map, groups included, as a small JSON file
// that plenth and plenth-map both read and plenth-map writes:
//   {"layers": [{"name": "elev", "path": "dem.tif"},
//               {"group": "water", "layers": [{"name": "streams", "path": "streams.tif"}]}]}
// A relative path is taken from the document's own directory.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "com/object.h"
#include "hostapi/hostapi.h"

namespace hostapp {

struct MapDocumentError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One entry of a document: a layer's file or a group with its entries.
struct MapEntry {
  bool group = false;
  std::string name;  // the layer's name ("" for the file's stem) or the group's
  std::string path;  // a layer's file, relative paths taken from the document's directory
  std::vector<MapEntry> layers;  // a group's entries
};

// Groups may nest this deep.
inline constexpr int kMaxMapGroupDepth = 32;

// The entries of a document's text, opening no file; throws MapDocumentError saying what
// is wrong. `documentPath` resolves relative paths.
std::vector<MapEntry> ParseMapDocument(const std::string& text, const std::string& documentPath);

// The document's layers in map order, each opened from its file. Throws
// MapDocumentError naming the document when it cannot be read or is no map document,
// or naming the file of a layer that is missing or does not open.
std::vector<com::ComPtr<Layer>> ReadMapDocument(const std::string& path);

// Writes the layers (groups with their layers) into a document at path, each file named
// relative to the document's directory. A layer that was not read from a file cannot be
// written: it is left out, and its name is in the list returned. Throws
// MapDocumentError when the document cannot be written.
std::vector<std::string> WriteMapDocument(const std::string& path, const std::vector<com::ComPtr<Layer>>& layers);

// The file a layer's data comes from: a raster's file, a shapefile; "" for a group or a
// layer without a file.
std::string SourceFileOf(Layer* layer);

}  // namespace hostapp
