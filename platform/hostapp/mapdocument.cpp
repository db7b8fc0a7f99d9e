#include "hostapp/mapdocument.h"

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "com/bstr.h"
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

void ReadLayers(const json& entries, const fs::path& base, std::vector<com::ComPtr<Layer>>& out) {
  for (const json& entry : entries) {
    if (entry.contains("group")) {
      auto group = MakeGroupLayer(entry.at("group").get<std::string>());
      std::vector<com::ComPtr<Layer>> members;
      ReadLayers(entry.value("layers", json::array()), base, members);
      auto groupLayer = group.query<GroupLayer>();
      for (const auto& member : members) groupLayer->Add(member.get());
      out.push_back(group);
      continue;
    }
    fs::path path = entry.at("path").get<std::string>();
    if (path.is_relative()) path = base / path;
    std::error_code ec;
    if (!fs::exists(path, ec)) throw MapDocumentError(path.string() + ": no such file");
    try {
      out.push_back(LayerFromFile(path.string(), entry.value("name", std::string())));
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

std::vector<com::ComPtr<Layer>> ReadMapDocument(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw MapDocumentError(path + ": cannot read the map document");
  std::vector<com::ComPtr<Layer>> layers;
  try {
    const json document = json::parse(in);
    ReadLayers(document.at("layers"), fs::path(path).parent_path(), layers);
  } catch (const json::exception& e) {
    throw MapDocumentError(path + ": not a map document (" + e.what() + ")");
  }
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
  fs::path file = fs::path(directory.utf8()) / name.utf8();
  // A feature class is named by its shapefile's stem.
  if (com::ComPtr<Layer>(layer).query<FeatureLayer>() && file.extension() != ".shp") file += ".shp";
  return file.string();
}

std::vector<com::ComPtr<Layer>> MembersOf(Layer* layer) {
  std::vector<com::ComPtr<Layer>> members;
  auto group = com::ComPtr<Layer>(layer).query<GroupLayer>();
  if (!group) return members;
  LONG count = 0;
  group->get_Count(&count);
  for (LONG i = 0; i < count; ++i) {
    com::ComPtr<Layer> member;
    if (SUCCEEDED(group->get_Layer(i, member.put())) && member) members.push_back(member);
  }
  return members;
}

}  // namespace hostapp
