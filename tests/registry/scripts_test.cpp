// The module's ten registry scripts, run from resources/ against in-memory trees and
// compared with the registry content each class must have, key by key.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "module/typelibinfo.h"
#include "registry/registrar.h"
#include "registry/registry.h"

namespace {

constexpr char kLibId[] = "{3D6E7CD9-083F-41FA-9996-0E104743E9BA}";
constexpr char kExtensions[] = "{B56A7C45-83D4-11D2-A2E9-080009B6F22B}";
constexpr char kCommandBars[] = "{B56A7C4A-83D4-11D2-A2E9-080009B6F22B}";
constexpr char kCommands[] = "{B56A7C42-83D4-11D2-A2E9-080009B6F22B}";
// A path as the module hands it over: its single quote doubled for the script.
constexpr char kModulePath[] = "/opt/o'neil/lib PlenthTools.so";
constexpr char kModuleInScript[] = "/opt/o''neil/lib PlenthTools.so";

struct ClassRow {
  const char* name;
  const char* clsid;
  const char* threadingModel;  // null: none written
  const char* category;        // null: none
  bool programmable;
};

constexpr ClassRow kClasses[] = {
    {"PlenthExt", "{438E9AAF-4555-4806-8445-D9D721BDB5B8}", "Apartment", kExtensions, true},
    {"PlenthToolbar", "{745C3EB7-6A8A-4214-A862-27A0D66158A4}", "both", kCommandBars, false},
    {"CreatePointGridTool", "{33DAB5E3-F518-4BC4-88A8-FAC1BEBB5D7D}", "both", kCommands, false},
    {"DrpTgt", "{CEED2118-C277-4ED1-82CF-EFB7146EB246}", "Apartment", nullptr, false},
    {"PolyClip", "{CDC0D710-2ACE-4288-B043-A2ECA352A1C6}", nullptr, kCommands, false},
    {"GridSpot", "{0CB7451C-D843-4429-8986-1DFEC4B7AA30}", "Apartment", kCommands, false},
    {"EffortSurface", "{B1EF95F4-BE29-444D-99DE-12520F4E0307}", "Free", kCommands, true},
    {"ExportGrid", "{7A546A82-E0A4-4542-B7AC-77AE4821F7BD}", "Apartment", kCommands, true},
    {"ImportGrid", "{F701FBE9-AD08-47D1-97B7-4B02B7C8F6CB}", "Apartment", kCommands, true},
    {"LineOrientation", "{C4CEED55-56AB-4DF0-9688-87F99D0A7478}", "Apartment", kCommands, false},
};

std::string ScriptOf(const ClassRow& row) {
  std::string file = row.name;
  for (char& c : file) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::ifstream in(std::string(PLENTH_RESOURCES_DIR) + "/" + file + ".rgs", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Everything one class's registration must write, and nothing else.
registry::Tree Expected(const ClassRow& row) {
  registry::Tree tree;
  const std::string description = std::string(row.name) + " Class";
  const std::string progId = std::string("PlenthTools.") + row.name;
  const std::string versioned = progId + ".1";
  tree.Create(versioned).defaultValue = description;
  tree.Create(versioned + "\\CLSID").defaultValue = row.clsid;
  tree.Create(progId).defaultValue = description;
  tree.Create(progId + "\\CLSID").defaultValue = row.clsid;
  tree.Create(progId + "\\CurVer").defaultValue = versioned;
  registry::Key& cls = tree.Create(std::string("CLSID\\") + row.clsid);
  cls.defaultValue = description;
  if (row.category) cls.Create(std::string("Implemented Categories\\") + row.category);
  cls.Create("ProgID").defaultValue = versioned;
  cls.Create("VersionIndependentProgID").defaultValue = progId;
  if (row.programmable) cls.Create("Programmable");
  registry::Key& server = cls.Create("InprocServer32");
  server.defaultValue = kModulePath;
  if (row.threadingModel) server.values["ThreadingModel"] = row.threadingModel;
  cls.Create("TypeLib").defaultValue = kLibId;
  return tree;
}

TEST(RegistryScripts, EachWritesExactlyItsClassAndUnregistersIt) {
  for (const ClassRow& row : kClasses) {
    SCOPED_TRACE(row.name);
    const std::string text = ScriptOf(row);
    ASSERT_FALSE(text.empty()) << "no script for " << row.name;
    const auto script = registry::ParseScript(text, {{"MODULE", kModuleInScript}});

    registry::Tree tree;
    registry::ApplyRegistration(tree, script);
    const registry::Tree expected = Expected(row);
    EXPECT_TRUE(tree == expected) << registry::ToRegText(tree);
    // Key names keep the case they are written with, which == does not look at.
    EXPECT_EQ(registry::ToRegText(tree), registry::ToRegText(expected));

    // Another server's class under CLSID stays, and so does CLSID itself.
    registry::Tree shared;
    shared.Create("CLSID\\{99999999-0000-0000-0000-000000000000}\\InprocServer32").defaultValue = "/other.so";
    const registry::Tree before = shared;
    registry::ApplyRegistration(shared, script);
    registry::ApplyUnregistration(shared, script);
    EXPECT_TRUE(shared == before) << registry::ToRegText(shared);
  }
}

TEST(RegistryScripts, TheHostFindsEachClassUnderItsCategoryOnly) {
  registry::Tree tree;
  for (const ClassRow& row : kClasses)
    registry::ApplyRegistration(tree, registry::ParseScript(ScriptOf(row), {{"MODULE", kModuleInScript}}));
  for (const char* category : {kExtensions, kCommandBars, kCommands}) {
    SCOPED_TRACE(category);
    std::set<std::string> found, expected;
    for (const auto& c : registry::ClassesInCategory(tree, category)) {
      found.insert(c.clsid);
      EXPECT_EQ(c.modulePath, kModulePath);
    }
    for (const ClassRow& row : kClasses)
      if (row.category == category) expected.insert(row.clsid);
    EXPECT_EQ(found, expected);
  }
}

// The type library's classes and the registered classes name the same ids, and its
// registration writes one Interface key per dual interface.
TEST(ModuleTypeLib, AgreesWithTheClassesAndRoundTrips) {
  const registry::TypeLibInfo& lib = plenth::ModuleTypeLib();
  EXPECT_EQ(lib.libid, kLibId);
  EXPECT_EQ(lib.name, "PLENTHTOOLSLib");
  EXPECT_EQ(lib.version, "1.0");
  EXPECT_EQ(lib.lcid, 0x409u);
  EXPECT_EQ(lib.helpString, "PlenthTools 1.0 Type Library");
  ASSERT_EQ(lib.classes.size(), 13u);
  std::set<std::string> described;
  for (const auto& c : lib.classes) {
    EXPECT_EQ(c.interfaceName, "I" + c.name);
    described.insert(c.name + c.clsid);
  }
  for (const ClassRow& row : kClasses) EXPECT_EQ(described.count(std::string(row.name) + row.clsid), 1u) << row.name;

  registry::Tree tree;
  tree.Create("CLSID");
  const registry::Tree before = tree;
  registry::RegisterTypeLib(tree, lib, "/opt/plenth/libPlenthTools.so");
  std::set<std::string> interfaces;
  for (const auto& [iid, key] : tree.Find("Interface")->subkeys) interfaces.insert(*key->defaultValue);
  EXPECT_EQ(interfaces, (std::set<std::string>{"IPlenthExt", "IEventHelper", "IEffortSurface", "IExportGrid", "IImportGrid"}));
  EXPECT_EQ(tree.Find(std::string("TypeLib\\") + kLibId + "\\1.0\\HELPDIR")->defaultValue, "/opt/plenth");
  EXPECT_EQ(tree.Find(std::string("TypeLib\\") + kLibId + "\\1.0\\FLAGS")->defaultValue, "0");
  registry::UnregisterTypeLib(tree, lib);
  EXPECT_TRUE(tree == before) << registry::ToRegText(tree);
}

}  // namespace
