#include "apps/plenth/mapdocument.h"

#include <filesystem>
#include <nlohmann/json.hpp>

namespace plenth::cli {

namespace {

namespace fs = std::filesystem;

std::vector<MapEntry> Entries(const nlohmann::json& layers, const fs::path& base, int depth) {
  if (!layers.is_array()) throw std::runtime_error("\"layers\" is not a list");
  std::vector<MapEntry> entries;
  for (const auto& item : layers) {
    if (!item.is_object()) throw std::runtime_error("a layer entry is not an object");
    MapEntry entry;
    if (item.contains("group")) {
      if (depth >= kMaxMapGroupDepth)
        throw std::runtime_error("groups nested deeper than " + std::to_string(kMaxMapGroupDepth));
      entry.group = true;
      entry.name = item.at("group").get<std::string>();
      entry.layers = Entries(item.value("layers", nlohmann::json::array()), base, depth + 1);
    } else {
      fs::path path = item.at("path").get<std::string>();
      if (path.is_relative()) path = base / path;
      entry.path = path.string();
      entry.name = item.value("name", std::string());
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

}  // namespace

std::vector<MapEntry> ParseMapDocument(const std::string& text, const std::string& documentPath) {
  try {
    const auto doc = nlohmann::json::parse(text);
    if (!doc.is_object()) throw std::runtime_error("the document is not a JSON object");
    return Entries(doc.at("layers"), fs::path(documentPath).parent_path(), 0);
  } catch (const nlohmann::json::exception& e) {
    throw std::runtime_error(std::string(e.what()));
  }
}

}  // namespace plenth::cli
