#include "hostapp/mapdocument.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "com/bstr.h"
#include "gis/gis.h"
#include "hostapp/layers.h"

namespace hostapp {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string NameOf(Layer* layer) {
  com::BStr name;
  layer->get_Name(name.put());
  return name.utf8();
}

std::vector<MapEntry> Entries(const json& layers, const fs::path& base, int depth) {
  if (!layers.is_array()) throw MapDocumentError("\"layers\" is not a list");
  std::vector<MapEntry> entries;
  for (const json& item : layers) {
    if (!item.is_object()) throw MapDocumentError("a layer entry is not an object");
    MapEntry entry;
    if (item.contains("group")) {
      if (depth >= kMaxMapGroupDepth)
        throw MapDocumentError("groups nested deeper than " + std::to_string(kMaxMapGroupDepth));
      entry.group = true;
      entry.name = item.at("group").get<std::string>();
      entry.layers = Entries(item.value("layers", json::array()), base, depth + 1);
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

void OpenLayers(const std::vector<MapEntry>& entries, std::vector<com::ComPtr<Layer>>& out) {
  for (const MapEntry& entry : entries) {
    if (entry.group) {
      auto group = MakeGroupLayer(entry.name);
      std::vector<com::ComPtr<Layer>> members;
      OpenLayers(entry.layers, members);
      auto groupLayer = group.query<GroupLayer>();
      for (const auto& member : members) groupLayer->Add(member.get());
      out.push_back(group);
      continue;
    }
    std::error_code ec;
    if (!fs::exists(entry.path, ec)) throw MapDocumentError(entry.path + ": no such file");
    try {
      out.push_back(LayerFromFile(entry.path, entry.name));
    } catch (const std::runtime_error& e) {
      throw MapDocumentError(e.what());
    }
  }
}

json WriteLayers(const std::vector<com::ComPtr<Layer>>& layers, const fs::path& base, std::vector<std::string>& left) {
  json entries = json::array();
  for (const auto& layer : layers) {
    if (layer.query<GroupLayer>()) {
      entries.push_back({{"group", NameOf(layer.get())}, {"layers", WriteLayers(MembersOf(layer.get()), base, left)}});
      continue;
    }
    const std::string file = SourceFileOf(layer.get());
    if (file.empty()) {
      left.push_back(NameOf(layer.get()));
      continue;
    }
    const fs::path absolute = fs::absolute(file).lexically_normal();
    const fs::path relative = absolute.lexically_relative(base);
    const bool inside = !relative.empty() && *relative.begin() != "..";
    entries.push_back({{"name", NameOf(layer.get())}, {"path", (inside ? relative : absolute).generic_string()}});
  }
  return entries;
}

}  // namespace

std::vector<MapEntry> ParseMapDocument(const std::string& text, const std::string& documentPath) {
  try {
    const json document = json::parse(text);
    if (!document.is_object()) throw MapDocumentError("the document is not a JSON object");
    return Entries(document.at("layers"), fs::path(documentPath).parent_path(), 0);
  } catch (const json::exception& e) {
    throw MapDocumentError(e.what());
  }
}

std::vector<com::ComPtr<Layer>> ReadMapDocument(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MapDocumentError(path + ": cannot read the map document");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<MapEntry> entries;
  try {
    entries = ParseMapDocument(text, path);
  } catch (const MapDocumentError& e) {
    throw MapDocumentError(path + ": not a map document (" + e.what() + ")");
  }
  std::vector<com::ComPtr<Layer>> layers;
  OpenLayers(entries, layers);
  return layers;
}

std::vector<std::string> WriteMapDocument(const std::string& path, const std::vector<com::ComPtr<Layer>>& layers) {
  const fs::path base = fs::absolute(fs::path(path)).parent_path().lexically_normal();
  std::vector<std::string> left;
  const json document = {{"layers", WriteLayers(layers, base, left)}};
  // Written beside and renamed over the old document, so that a failed write keeps it.
  const std::string temporary = path + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << document.dump(2) << "\n";
    if (!out.flush()) {
      std::error_code ec;
      fs::remove(temporary, ec);
      throw MapDocumentError(path + ": cannot write the map document");
    }
  }
  std::error_code ec;
  fs::rename(temporary, path, ec);
  if (ec) throw MapDocumentError(path + ": cannot write the map document (" + ec.message() + ")");
  return left;
}

std::string SourceFileOf(Layer* layer) {
  auto data = com::ComPtr<Layer>(layer).query<DataLayer>();
  if (!data) return {};
  com::ComPtr<DatasetName> dataset;
  com::ComPtr<WorkspaceName> workspace;
  if (FAILED(data->get_DataSourceName(dataset.put())) || !dataset ||
      FAILED(dataset->get_WorkspaceName(workspace.put())) || !workspace)
    return {};
  com::BStr name, directory;
  dataset->get_Name(name.put());
  workspace->get_PathName(directory.put());
  // A feature class is named by its shapefile's stem.
  if (com::ComPtr<Layer>(layer).query<FeatureLayer>()) return gis::FindShapefile(directory.utf8(), name.utf8());
  return (fs::path(directory.utf8()) / name.utf8()).string();
}

}  // namespace hostapp
