#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "host/plenthtoolbar.h"
#include "hostapi/categories.h"
#include "hostapp/discovery.h"
#include "hostapp/objects.h"
#include "module/classtable.h"
#include "registry/registry.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kExt = "{438E9AAF-4555-4806-8445-D9D721BDB5B8}";
constexpr const char* kBar = "{745C3EB7-6A8A-4214-A862-27A0D66158A4}";
constexpr const char* kDrop = "{CEED2118-C277-4ED1-82CF-EFB7146EB246}";
constexpr const char* kPolyClip = "{CDC0D710-2ACE-4288-B043-A2ECA352A1C6}";

class RegistrationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plenth-registration-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    registry::UseFile((dir_ / "registry.reg").string());
    module_ = std::make_unique<hostapp::LoadedModule>(PLENTH_MODULE_PATH);
  }
  void TearDown() override {
    module_.reset();
    registry::UseFile("");
    fs::remove_all(dir_);
  }
  fs::path dir_;
  std::unique_ptr<hostapp::LoadedModule> module_;
};

TEST_F(RegistrationTest, TheHostFindsEveryClassUnderItsCategory) {
  ASSERT_EQ(module_->RegisterServer(), S_OK);
  const auto tree = registry::Current().Read();
  const auto classes = hostapp::DiscoverClasses(tree, PLENTH_MODULE_PATH);
  int extensions = 0, bars = 0, commands = 0;
  for (const auto& c : classes) {
    extensions += c.category == CATID_HostExtensions;
    bars += c.category == CATID_HostCommandBars;
    commands += c.category == CATID_HostCommands;
  }
  EXPECT_EQ(extensions, 1);
  EXPECT_EQ(bars, 1);
  EXPECT_EQ(commands, 7);
  // The drop target is registered, under no category.
  const auto* drop = tree.Find(std::string("CLSID\\") + kDrop);
  ASSERT_NE(drop, nullptr);
  EXPECT_EQ(drop->Find("Implemented Categories"), nullptr);
}

TEST_F(RegistrationTest, TheKeysOfEachClassAreAsWritten) {
  ASSERT_EQ(module_->RegisterServer(), S_OK);
  const auto tree = registry::Current().Read();
  // Threading models keep their case; PolyClip has none.
  const std::pair<const char*, const char*> models[] = {{kExt, "Apartment"},
                                                        {kBar, "both"},
                                                        {"{B1EF95F4-BE29-444D-99DE-12520F4E0307}", "Free"}};
  for (const auto& [clsid, model] : models)
    EXPECT_EQ(tree.Find(std::string("CLSID\\") + clsid + "\\InprocServer32")->values.at("ThreadingModel"), model);
  const auto* polyServer = tree.Find(std::string("CLSID\\") + kPolyClip + "\\InprocServer32");
  ASSERT_NE(polyServer, nullptr);
  EXPECT_TRUE(polyServer->values.empty());
  EXPECT_EQ(polyServer->defaultValue, fs::canonical(PLENTH_MODULE_PATH).string());
  // Both ProgIDs, the current version, and the description.
  EXPECT_EQ(tree.Find("PlenthTools.PlenthExt.1")->defaultValue, "PlenthExt Class");
  EXPECT_EQ(tree.Find("PlenthTools.PlenthExt.1\\CLSID")->defaultValue, kExt);
  EXPECT_EQ(tree.Find("PlenthTools.PlenthExt\\CurVer")->defaultValue, "PlenthTools.PlenthExt.1");
  // Exactly the four programmable classes.
  int programmable = 0;
  for (const auto& [id, key] : tree.Find("CLSID")->subkeys) programmable += key->Find("Programmable") != nullptr;
  EXPECT_EQ(programmable, 4);
  EXPECT_NE(tree.Find("TypeLib\\{3D6E7CD9-083F-41FA-9996-0E104743E9BA}\\1.0"), nullptr);
}

// Every row of the class table, as registration writes it and as the module serves it:
// a row that disagrees with its registry script, or a class the module does not create,
// shows here.
TEST_F(RegistrationTest, EveryRowOfTheClassTableIsRegisteredAndServed) {
  ASSERT_EQ(module_->RegisterServer(), S_OK);
  const auto tree = registry::Current().Read();
  const std::string modulePath = fs::canonical(PLENTH_MODULE_PATH).string();
  for (const plenth::ClassInfo* row : plenth::ClassTable()) {
    SCOPED_TRACE(row->name);
    const std::string clsid = com::GuidToString(row->clsid);
    const std::string description = std::string(row->name) + " Class";
    const std::string progId = plenth::ProgId(row->name);
    const std::string versioned = progId + ".1";
    for (const std::string& id : {progId, versioned}) {
      const auto* key = tree.Find(id);
      ASSERT_NE(key, nullptr) << id;
      EXPECT_EQ(key->defaultValue, description);
      ASSERT_NE(key->Find("CLSID"), nullptr);
      EXPECT_EQ(key->Find("CLSID")->defaultValue, clsid);
    }
    ASSERT_NE(tree.Find(progId + "\\CurVer"), nullptr);
    EXPECT_EQ(tree.Find(progId + "\\CurVer")->defaultValue, versioned);

    const auto* cls = tree.Find("CLSID\\" + clsid);
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->defaultValue, description);
    EXPECT_EQ(cls->Find("ProgID")->defaultValue, versioned);
    EXPECT_EQ(cls->Find("VersionIndependentProgID")->defaultValue, progId);
    EXPECT_EQ(cls->Find("Programmable") != nullptr, row->programmable);
    const auto* categories = cls->Find("Implemented Categories");
    if (row->category) {
      ASSERT_NE(categories, nullptr);
      ASSERT_EQ(categories->subkeys.size(), 1u);
      EXPECT_NE(categories->Find(com::GuidToString(*row->category)), nullptr);
    } else {
      EXPECT_EQ(categories, nullptr);
    }
    const auto* server = cls->Find("InprocServer32");
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->defaultValue, modulePath);
    if (row->threadingModel)
      EXPECT_EQ(server->values.at("ThreadingModel"), row->threadingModel);
    else
      EXPECT_TRUE(server->values.empty());

    // The module creates the class through the factory of its class id, and the object
    // answers the default interface the type library names.
    com::ComPtr<IClassFactory> factory;
    ASSERT_EQ(module_->GetClassObject(row->clsid, IClassFactory::iid, factory.put_void()), S_OK);
    com::ComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, row->defaultInterface, object.put_void()), S_OK);
    EXPECT_TRUE(object);
  }
  // The toolbar's items are commands of the table, named by their ProgIDs.
  auto bar = module_->Create<HostToolbarDef>(CLSID_PlenthToolbar);
  ASSERT_TRUE(bar);
  LONG count = 0;
  bar->ItemCount(&count);
  for (LONG i = 0; i < count; ++i) {
    auto item = com::MakeObject<hostapp::HostToolbarItem>();
    ASSERT_EQ(bar->ItemInfo(i, item.get()), S_OK);
    const auto* id = tree.Find(item->id + "\\CLSID");
    ASSERT_NE(id, nullptr) << item->id;
    const auto* cls = tree.Find("CLSID\\" + id->defaultValue.value_or(""));
    ASSERT_NE(cls, nullptr) << item->id;
    EXPECT_NE(cls->Find(std::string("Implemented Categories\\") + com::GuidToString(CATID_HostCommands)), nullptr);
  }
}

// A registry that cannot even be looked at (a link that leads to itself) fails
// registration with a status code: no error of the file system leaves an entry point.
TEST_F(RegistrationTest, ARegistryThatCannotBeReadIsAFailureNotAnError) {
  const fs::path loop = dir_ / "loop.reg";
  fs::create_symlink(loop, loop);
  registry::UseFile(loop.string());
  HRESULT registered = S_OK, unregistered = S_OK;
  EXPECT_NO_THROW(registered = module_->RegisterServer());
  EXPECT_NO_THROW(unregistered = module_->UnregisterServer());
  EXPECT_EQ(registered, E_FAIL);
  EXPECT_EQ(unregistered, E_FAIL);
}

TEST_F(RegistrationTest, UnregistrationRemovesExactlyWhatRegistrationWrote) {
  registry::Current().Change([](registry::Tree& t) {
    t.Create("CLSID\\{99999999-0000-0000-0000-000000000000}").defaultValue = "another module";
    t.Create(".dat").defaultValue = "unrelated";
  });
  const auto before = registry::Current().Read();
  ASSERT_EQ(module_->RegisterServer(), S_OK);
  ASSERT_EQ(module_->RegisterServer(), S_OK);  // twice is the same as once
  ASSERT_EQ(module_->UnregisterServer(), S_OK);
  const auto after = registry::Current().Read();
  EXPECT_TRUE(after == before) << registry::ToRegText(after);
}

// A module installed under a path with a single quote in it registers that very path and
// unregisters cleanly.
TEST_F(RegistrationTest, AModulePathWithAQuoteSurvives) {
  const fs::path built = fs::canonical(PLENTH_MODULE_PATH);
  const fs::path quoted = dir_ / "o'neil";
  fs::create_directories(quoted);
  fs::copy_file(built, quoted / built.filename());
  for (const auto& entry : fs::directory_iterator(built.parent_path()))  // the libraries beside it
    if (entry.path().extension() == ".so" && entry.path().filename() != built.filename())
      fs::create_symlink(entry.path(), quoted / entry.path().filename());
  const std::string path = fs::canonical(quoted / built.filename()).string();

  registry::Current().Change([](registry::Tree& t) { t.Create("CLSID"); });  // which stays
  const auto before = registry::Current().Read();
  hostapp::LoadedModule copy(path);
  ASSERT_EQ(copy.RegisterServer(), S_OK);
  const auto tree = registry::Current().Read();
  const auto* server = tree.Find(std::string("CLSID\\") + kExt + "\\InprocServer32");
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->defaultValue, path);
  EXPECT_EQ(hostapp::DiscoverClasses(tree, path).size(), 9u);
  ASSERT_EQ(copy.UnregisterServer(), S_OK);
  const auto after = registry::Current().Read();
  EXPECT_TRUE(after == before) << registry::ToRegText(after);
}

}  // namespace
