#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>

#include "registry/registrar.h"
#include "registry/registry.h"

namespace {

namespace fs = std::filesystem;
using registry::RegistryError;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("plenth-registry-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    file_ = (dir_ / "registry.reg").string();
    registry::UseFile(file_);
  }
  void TearDown() override {
    registry::UseFile("");
    fs::remove_all(dir_);
  }
  static std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_;
  std::string file_;
};

TEST_F(RegistryTest, RegTextRoundTripsWithItsEscapes) {
  registry::Tree tree;
  auto& key = tree.Create("CLSID\\{ABC}\\InprocServer32");
  key.defaultValue = "C:\\path with \"quotes\"\\lib.so";
  key.values["ThreadingModel"] = "Apartment";
  tree.Create("Empty Key");
  const std::string text = registry::ToRegText(tree);
  EXPECT_NE(text.find("@=\"C:\\\\path with \\\"quotes\\\"\\\\lib.so\"\r\n"), std::string::npos);
  EXPECT_TRUE(registry::FromRegText(text) == tree);
  // Lookups ignore case, names keep theirs.
  EXPECT_NE(tree.Find("clsid\\{abc}\\INPROCSERVER32"), nullptr);
  EXPECT_EQ(tree.Find("CLSID\\{abc}")->name, "{ABC}");
}

TEST_F(RegistryTest, TwoWritersKeepEachOthersKeys) {
  registry::RegistryFile first(file_), second(file_);
  first.Change([](registry::Tree& t) { t.Create("One").defaultValue = "1"; });
  second.Change([](registry::Tree& t) { t.Create("Two").defaultValue = "2"; });
  const auto tree = first.Read();
  EXPECT_EQ(tree.Find("One")->defaultValue, "1");
  EXPECT_EQ(tree.Find("Two")->defaultValue, "2");
}

// Two hosts registering at the same moment: every change of each survives.
TEST_F(RegistryTest, TwoProcessesChangingAtOnceLoseNothing) {
  constexpr int kChanges = 25;
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = ::fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      int status = 0;
      try {
        registry::RegistryFile store(file_);
        for (int i = 0; i < kChanges; ++i)
          store.Change([&](registry::Tree& t) { t.Create("P" + std::to_string(p) + "\\K" + std::to_string(i)); });
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
  }
  for (pid_t child : children) {
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const auto tree = registry::RegistryFile(file_).Read();
  for (int p = 0; p < 2; ++p) {
    const auto* keys = tree.Find("P" + std::to_string(p));
    ASSERT_NE(keys, nullptr);
    EXPECT_EQ(keys->subkeys.size(), static_cast<std::size_t>(kChanges));
  }
}

TEST_F(RegistryTest, ACrashBeforeTheRenameLeavesTheFileWhole) {
  registry::RegistryFile store(file_);
  store.Change([](registry::Tree& t) { t.Create("Kept").defaultValue = "yes"; });
  const std::string before = Bytes(file_);
  // What a writer that died between writing and renaming leaves behind.
  std::ofstream(file_ + ".tmp.99999") << "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\Half";
  EXPECT_EQ(Bytes(file_), before);
  EXPECT_EQ(store.Read().Find("Kept")->defaultValue, "yes");
  store.Change([](registry::Tree& t) { t.Create("Later"); });
  EXPECT_NE(store.Read().Find("Later"), nullptr);
}

// A writer killed at whatever point of a change, over and over: the file holds every
// change it announced and the next one whole or not at all, never part of one.
TEST_F(RegistryTest, AWriterKilledInTheMiddleOfAChangeLeavesAWholeFile) {
  constexpr int kValues = 2000;  // a change of some 100 kB, so that a kill lands within its write
  const auto change = [](int i) {
    return [i](registry::Tree& t) {
      auto& key = t.Create("Step" + std::to_string(i));
      // Appended rather than "V" + ...: GCC 12 at -O3 sees a false overlap in that operator+.
      for (int v = 0; v < kValues; ++v)
        key.values[std::string("V").append(std::to_string(v))] = std::string(40, 'a' + i % 26);
    };
  };
  registry::RegistryFile store(file_);
  for (const int announced : {1, 2, 5, 9}) {
    SCOPED_TRACE("killed after " + std::to_string(announced) + " changes");
    fs::remove(file_);
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipe[0]);
      for (int i = 0;; ++i) {
        store.Change(change(i));
        if (::write(pipe[1], "x", 1) != 1) ::_exit(1);
      }
    }
    ::close(pipe[1]);
    char c;
    for (int i = 0; i < announced; ++i) ASSERT_EQ(::read(pipe[0], &c, 1), 1);
    ::kill(child, SIGKILL);  // while it writes the next change
    ::close(pipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const registry::Tree tree = store.Read();  // throws on a damaged file
    int steps = 0;
    while (const auto* key = tree.Find("Step" + std::to_string(steps))) {
      EXPECT_EQ(key->values.size(), static_cast<std::size_t>(kValues)) << "step " << steps;
      ++steps;
    }
    EXPECT_GE(steps, announced);
    EXPECT_EQ(tree.subkeys.size(), static_cast<std::size_t>(steps));
  }
  store.Change([](registry::Tree& t) { t.Create("After"); });  // the lock died with the writer
  EXPECT_NE(store.Read().Find("After"), nullptr);
}

TEST_F(RegistryTest, ADamagedFileIsAnErrorAndStaysAsItWas) {
  std::string deep = "Windows Registry Editor Version 5.00\r\n[HKEY_CLASSES_ROOT";
  for (int level = 0; level < 100000; ++level) deep += "\\k";
  deep += "]\r\n";
  const std::string damaged[] = {
      deep,  // deeper than any registry key may lie
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT\\A]\r\ngarbage\r\n",
      "REGEDIT4\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n",
      "Windows Registry Editor Version 5.00\r\n[HKEY_CLASSES_ROOT\\A]\r\n@=\"open\r\n",
      "Windows Registry Editor Version 5.00\r\n@=\"before any key\"\r\n",
  };
  for (const std::string& text : damaged) {
    SCOPED_TRACE(text.substr(0, 80));
    std::ofstream(file_, std::ios::binary) << text;
    registry::RegistryFile store(file_);
    try {
      store.Change([](registry::Tree& t) { t.Create("New"); });
      ADD_FAILURE() << "accepted";
    } catch (const RegistryError& e) {
      EXPECT_NE(std::string(e.what()).find(file_ + ":"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Bytes(file_), text);
  }
}

// Names and values that would split a line of the file are refused before anything is
// written, so that the file stays readable.
TEST_F(RegistryTest, LineBreaksAreRefusedAndTheFileStaysReadable) {
  registry::RegistryFile store(file_);
  store.Change([](registry::Tree& t) { t.Create("Kept").defaultValue = "yes"; });
  const std::string before = Bytes(file_);
  const std::function<void(registry::Tree&)> changes[] = {
      [](registry::Tree& t) { t.Create("Key").defaultValue = "two\nlines"; },
      [](registry::Tree& t) { t.Create("Key").values["Name"] = "carriage\rreturn"; },
      [](registry::Tree& t) { t.Create("Key").values["two\nlines"] = "v"; },
      [](registry::Tree& t) { t.Create("Two\nLines"); },
  };
  for (const auto& change : changes) {
    EXPECT_THROW(store.Change(change), RegistryError);
    EXPECT_EQ(Bytes(file_), before);
  }
  EXPECT_EQ(store.Read().Find("Kept")->defaultValue, "yes");
}

TEST_F(RegistryTest, TheRootKeysOwnValuesSurviveAChange) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CLASSES_ROOT]\r\n@=\"root\"\r\n\"Name\"=\"value\"\r\n";
  std::ofstream(file_, std::ios::binary) << text;
  registry::RegistryFile store(file_);
  store.Change([](registry::Tree& t) { t.Create("New"); });
  const auto tree = store.Read();
  EXPECT_EQ(tree.defaultValue, "root");
  EXPECT_EQ(tree.values.at("Name"), "value");
  EXPECT_NE(tree.Find("New"), nullptr);
}

constexpr char kScript[] = R"(HKCR
{
	Thing.1 = s 'Thing Class'
	{
		CLSID = s '{11111111-2222-3333-4444-555555555555}'
	}
	NoRemove CLSID
	{
		ForceRemove {11111111-2222-3333-4444-555555555555} = s 'Thing Class'
		{
			'Implemented Categories'
			{
				{B56A7C42-83D4-11D2-A2E9-080009B6F22B}
			}
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'both'
			}
		}
	}
}
)";

TEST_F(RegistryTest, ScriptsRegisterAndUnregisterExactly) {
  registry::Current().Change([](registry::Tree& t) {
    t.Create("CLSID\\{99999999-0000-0000-0000-000000000000}").defaultValue = "someone else";
    t.Create("CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale");  // ForceRemove clears it
  });
  const registry::Tree before = registry::Current().Read();
  registry::RunScript(kScript, {{"MODULE", "/opt/it''s/lib.so"}}, true);
  const auto tree = registry::Current().Read();
  const auto* server = tree.Find("CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32");
  ASSERT_NE(server, nullptr);
  EXPECT_EQ(server->defaultValue, "/opt/it's/lib.so");
  EXPECT_EQ(server->values.at("ThreadingModel"), "both");
  EXPECT_EQ(tree.Find("CLSID\\{11111111-2222-3333-4444-555555555555}\\Stale"), nullptr);
  const auto found = registry::ClassesInCategory(tree, "{B56A7C42-83D4-11D2-A2E9-080009B6F22B}");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].modulePath, "/opt/it's/lib.so");

  registry::RunScript(kScript, {{"MODULE", "x"}}, false);
  auto after = registry::Current().Read();
  // The stale key went with the class; everything else is as it was.
  registry::Tree expected = before;
  expected.Remove("CLSID\\{11111111-2222-3333-4444-555555555555}");
  EXPECT_TRUE(after == expected) << registry::ToRegText(after);
  EXPECT_NE(after.Find("CLSID"), nullptr);
}

TEST_F(RegistryTest, MalformedScriptsChangeNothing) {
  registry::Current().Change([](registry::Tree& t) { t.Create("Kept"); });
  const std::string before = Bytes(file_);
  const char* bad[] = {
      "HKCR { Key = s 'open }",
      "HKLM { Key }",
      "HKCR { Key = 'no type' }",
      "HKCR { Key { val = s 'x' } }",
      "HKCR { Key = s '%UNKNOWN%' }",
      "HKCR { Key { Inner ",
      "HKCR { Key ; }",
      "HKCR { val Name = s 'a value needs its key' }",
      "HKCR { '' = s 'no name' }",
      "HKCR { 'Two\\Levels' = s 'one key name' }",
      "HKCR { Key = s 'two\nlines' }",
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    try {
      registry::RunScript(text, {{"MODULE", "m"}}, true);
      ADD_FAILURE() << "accepted";
    } catch (const RegistryError& e) {
      EXPECT_NE(std::string(e.what()).find("line"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Bytes(file_), before);
  }
}

TEST_F(RegistryTest, TypeLibraryRegistrationRoundTrips) {
  const registry::TypeLibInfo lib{"{3D6E7CD9-083F-41FA-9996-0E104743E9BA}", "LIB", "1.0", 0x409, "Lib 1.0 Type Library",
                                  {{"A", "{A}", "IA", "{D44A14A1-B783-43CC-9533-A49F5EA89A1B}", true},
                                   {"B", "{B}", "IB", "{7B605F40-EB9B-44A9-99F9-0B50220A6CCF}", false}}};
  registry::Tree tree;
  tree.Create("CLSID");
  const registry::Tree before = tree;
  registry::RegisterTypeLib(tree, lib, "/opt/lib/module.so");
  const auto* version = tree.Find("TypeLib\\{3D6E7CD9-083F-41FA-9996-0E104743E9BA}\\1.0");
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->defaultValue, "Lib 1.0 Type Library");
  EXPECT_EQ(version->Find("409\\win32")->defaultValue, "/opt/lib/module.so");
  EXPECT_EQ(version->Find("HELPDIR")->defaultValue, "/opt/lib");
  const auto* dual = tree.Find("Interface\\{D44A14A1-B783-43CC-9533-A49F5EA89A1B}");
  ASSERT_NE(dual, nullptr);
  EXPECT_EQ(dual->Find("ProxyStubClsid32")->defaultValue, registry::kTypeLibMarshaler);
  EXPECT_EQ(dual->Find("TypeLib")->values.at("Version"), "1.0");
  EXPECT_EQ(tree.Find("Interface\\{7B605F40-EB9B-44A9-99F9-0B50220A6CCF}"), nullptr);
  registry::UnregisterTypeLib(tree, lib);
  EXPECT_TRUE(tree == before);
}

// Two libraries describing the same interface: the one registered last owns its key, and
// unregistering the other one leaves it.
TEST_F(RegistryTest, UnregisteringALibraryLeavesInterfacesAnotherOneOwns) {
  const registry::TypeLibClass shared{"A", "{A}", "IA", "{D44A14A1-B783-43CC-9533-A49F5EA89A1B}", true};
  const registry::TypeLibInfo older{"{11111111-0000-0000-0000-000000000000}", "OLD", "1.0", 0x409, "old", {shared}};
  const registry::TypeLibInfo newer{"{22222222-0000-0000-0000-000000000000}", "NEW", "1.0", 0x409, "new", {shared}};
  registry::Tree tree;
  registry::RegisterTypeLib(tree, older, "/opt/old.so");
  registry::RegisterTypeLib(tree, newer, "/opt/new.so");
  registry::UnregisterTypeLib(tree, older);
  const auto* itf = tree.Find("Interface\\{D44A14A1-B783-43CC-9533-A49F5EA89A1B}\\TypeLib");
  ASSERT_NE(itf, nullptr);
  EXPECT_EQ(itf->defaultValue, newer.libid);
  EXPECT_EQ(tree.Find("TypeLib\\" + older.libid), nullptr);
  registry::UnregisterTypeLib(tree, newer);
  EXPECT_EQ(tree.Find("Interface"), nullptr);
  EXPECT_EQ(tree.Find("TypeLib"), nullptr);
}

}  // namespace
