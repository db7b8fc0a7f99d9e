#include <gtest/gtest.h>

#include "com/classes.h"
#include "host/command.h"
#include "host/plenthext.h"
#include "tests/module/modulehost.h"
#include "tools/effortsurface/effortsurface.h"
#include "tools/exportgrid/exportgrid.h"
#include "tools/gridspot/gridspot.h"
#include "tools/importgrid/importgrid.h"
#include "tools/lineorientation/lineorientation.h"
#include "tools/pointgrid/createpointgridtool.h"
#include "tools/polyclip/polyclip.h"
#include "ui/clipboard.h"
#include "ui/automation.h"
#include "ui/bitmap.h"
#include "ui/window.h"

namespace {

namespace ua = ui::automation;
using plenth::test::StartHost;

struct CommandRow {
  CLSID clsid;
  const char* name;
  const char* caption;
  const char* tooltip;
  const char* message;
  bool modal;
  const char* dialogCaption;
};

const CommandRow kCommands[] = {
    {CLSID_CreatePointGridTool, "PlenthTools_CreatePointGridTool", "Regular Point Grid Tool",
     "Creates Regular Point Grid", "Creates a regular grid of points in a new shapefile", false, "Point Grid Generator"},
    {CLSID_EffortSurface, "PlenthTools_EffortSurface", "Effort Surface Calculator", "Generates Effort Surface Grid",
     "Creates an effort surface based on environmental data", true, "Dialog"},
    {CLSID_ExportGrid, "PlenthTools_ExportGrid", "Export GRID Format to Plenth Format", "Exports GRID to Plenth Format",
     "Exports a GRID file to Plenth format", true, "Export Grid"},
    {CLSID_GridSpot, "PlenthTools_GridSpot", "Grid Spot Tool", "Grid Spot Tool",
     "Adds Grid Values to Point Shapefile based on Raster Overlay", false, "Grid Spot Emulator"},
    {CLSID_ImportGrid, "PlenthTools_ImportGrid", "Import Plenth Format to GRID Format", "Imports Plenth Format to GRID",
     "Imports Plenth format file to GRID format", true, "Dialog"},
    {CLSID_LineOrientation, "PlenthTools_LineOrientation", "Line Orientation Tool", "Line Orientation Tool",
     "Creates a new Polyline Shapefile with a Bearing Field", true, "Line Orientation"},
    {CLSID_PolyClip, "PlenthTools_PolyClip", "Polygon Clip Tool", "Polygon Clip Tool",
     "Adds Statistics to Polygon Shapefile based on Raster Clip", false, "Poly Clip Statistics"},
};

com::ComPtr<HostCommand> CommandOf(hostapp::HostSession& host, const CLSID& clsid) {
  for (auto& c : host.commands())
    if (c.clsid == clsid) return c.command;
  return {};
}

bool Enabled(HostCommand* command) {
  VARIANT_BOOL b = 7;
  EXPECT_EQ(command->IsEnabled(&b), S_OK);
  return b == VARIANT_TRUE;
}

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ua::TakeMessageBoxes();
    ua::TakeUnansweredDialogs();
  }
};

TEST_F(CommandTest, EveryCommandHasItsTextsAndPicture) {
  auto host = StartHost();
  ASSERT_EQ(host->commands().size(), 7u);
  for (const CommandRow& row : kCommands) {
    SCOPED_TRACE(row.name);
    auto cmd = CommandOf(*host, row.clsid);
    ASSERT_TRUE(cmd);
    com::BStr s;
    cmd->Name(s.put());
    EXPECT_EQ(s.utf8(), row.name);
    cmd->Caption(s.put());
    EXPECT_EQ(s.utf8(), row.caption);
    cmd->Tooltip(s.put());
    EXPECT_EQ(s.utf8(), row.tooltip);
    cmd->Message(s.put());
    EXPECT_EQ(s.utf8(), row.message);
    cmd->Category(s.put());
    EXPECT_EQ(s.utf8(), "Plenth Tools");
    VARIANT_BOOL checked = 7;
    EXPECT_EQ(cmd->IsChecked(&checked), S_OK);
    EXPECT_EQ(checked, VARIANT_FALSE);
    OLE_HANDLE bitmap = 0;
    EXPECT_EQ(cmd->Bitmap(&bitmap), S_OK);
    const ui::Bitmap* picture = ui::BitmapOf(reinterpret_cast<HBITMAP>(bitmap));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->width, 16);
    EXPECT_EQ(picture->bitsPerPixel, 4);
  }
}

TEST_F(CommandTest, MissingOutArgumentsAndHelpAreRefused) {
  auto host = StartHost();
  for (const CommandRow& row : kCommands) {
    SCOPED_TRACE(row.name);
    auto cmd = CommandOf(*host, row.clsid);
    EXPECT_EQ(cmd->IsEnabled(nullptr), E_POINTER);
    EXPECT_EQ(cmd->IsChecked(nullptr), E_POINTER);
    EXPECT_EQ(cmd->Name(nullptr), E_POINTER);
    EXPECT_EQ(cmd->Caption(nullptr), E_POINTER);
    EXPECT_EQ(cmd->Tooltip(nullptr), E_POINTER);
    EXPECT_EQ(cmd->Message(nullptr), E_POINTER);
    EXPECT_EQ(cmd->Category(nullptr), E_POINTER);
    EXPECT_EQ(cmd->Bitmap(nullptr), E_POINTER);
    EXPECT_EQ(cmd->HelpFile(nullptr), E_POINTER);
    EXPECT_EQ(cmd->HelpContextId(nullptr), E_POINTER);
    BSTR file = reinterpret_cast<BSTR>(0x1234);
    LONG id = 77;
    EXPECT_EQ(cmd->HelpFile(&file), E_NOTIMPL);
    EXPECT_EQ(cmd->HelpContextId(&id), E_NOTIMPL);
    EXPECT_EQ(file, reinterpret_cast<BSTR>(0x1234));
    EXPECT_EQ(id, 77);
  }
}

TEST_F(CommandTest, EnabledOnlyWithTheExtensionEnabledAndLayersOnAMapDocument) {
  struct Scene {
    LONG state;
    int layers;
    bool mapDocument;
    bool enabled;
  } scenes[] = {
      {kExtensionEnabled, 1, true, true},       {kExtensionEnabled, 3, true, true},
      {kExtensionEnabled, 0, true, false},      {kExtensionUnavailable, 1, true, false},
      {kExtensionDisabled, 2, true, false},     {0, 1, true, false},
      {kExtensionEnabled, 1, false, false},
  };
  for (const Scene& scene : scenes) {
    SCOPED_TRACE(testing::Message() << "state " << scene.state << " layers " << scene.layers << " map document "
                                    << scene.mapDocument);
    auto host = StartHost(scene.state, scene.layers);
    host->app().document()->SetMapDocument(scene.mapDocument);
    for (auto& c : host->commands()) EXPECT_EQ(Enabled(c.command.get()), scene.enabled) << c.name;
  }
}

// A ClassIdValue whose value cannot be set.
class StubbornClassId final : public com::ComClass<StubbornClassId, ClassIdValue> {
 public:
  HRESULT put_Value(BSTR) override { return E_ACCESSDENIED; }
  HRESULT get_Value(BSTR*) override { return E_FAIL; }
};

TEST_F(CommandTest, OnCreateReportsWhatWentWrongAndLeavesTheCommandDisabled) {
  auto host = StartHost();
  auto& app = host->app();
  const auto fresh = [&] { return host->module().Create<HostCommand>(CLSID_ExportGrid); };
  {
    auto factory = com::MakeObject<com::ClassFactory>(
        [](IUnknown* outer, REFIID riid, void** object) { return com::CreateObject<StubbornClassId>(outer, riid, object); },
        nullptr);
    DWORD cookie = 0;
    CoRegisterClassObject(CLSID_ClassIdValue, factory->Identity(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    auto cmd = fresh();
    EXPECT_EQ(cmd->OnCreate(app.Identity()), E_ACCESSDENIED);
    EXPECT_FALSE(Enabled(cmd.get()));
    CoRevokeClassObject(cookie);
  }
  app.ClearExtensions();
  auto missing = fresh();
  EXPECT_EQ(missing->OnCreate(app.Identity()), E_FAIL);
  EXPECT_FALSE(Enabled(missing.get()));
  app.AddExtension(CLSID_PlenthExt, com::MakeObject<hostapp::NamedLayer>("not an extension")->Identity());
  auto wrongKind = fresh();
  EXPECT_EQ(wrongKind->OnCreate(app.Identity()), E_POINTER);
  EXPECT_FALSE(Enabled(wrongKind.get()));
}

// A command whose creation fails after an earlier one succeeded keeps nothing of the
// earlier extension: it is disabled.
TEST_F(CommandTest, AFailedOnCreateLeavesNoEarlierExtensionBehind) {
  struct Scene {
    const char* what;
    std::function<void(hostapp::HostApplicationImpl&)> set;
    HRESULT created;
  } scenes[] = {
      {"no extension", [](auto& app) { app.ClearExtensions(); }, E_FAIL},
      {"not an extension",
       [](auto& app) {
         app.ClearExtensions();
         app.AddExtension(CLSID_PlenthExt, com::MakeObject<hostapp::NamedLayer>("not an extension")->Identity());
       },
       E_POINTER},
  };
  for (const Scene& scene : scenes) {
    SCOPED_TRACE(scene.what);
    auto host = StartHost();
    auto cmd = host->module().Create<HostCommand>(CLSID_ExportGrid);
    ASSERT_EQ(cmd->OnCreate(host->app().Identity()), S_OK);
    ASSERT_TRUE(Enabled(cmd.get()));
    scene.set(host->app());
    EXPECT_EQ(cmd->OnCreate(host->app().Identity()), scene.created);
    EXPECT_FALSE(Enabled(cmd.get()));
  }
}

// A modeless command keeps one dialog: a second click brings the open one forward, OK
// or Cancel closes it, and a command released with its dialog open takes it along.
TEST_F(CommandTest, AModelessCommandKeepsOneDialog) {
  const std::pair<CLSID, std::string> commands[] = {{CLSID_GridSpot, "Grid Spot Emulator"},
                                                    {CLSID_PolyClip, "Poly Clip Statistics"}};
  for (const auto& [clsid, caption] : commands) {
    SCOPED_TRACE(caption);
    auto host = StartHost();
    const auto shown = [&] {
      int n = 0;
      for (HWND w : ua::TopLevelWindows()) n += ua::Text(w) == caption;
      return n;
    };
    auto cmd = host->module().Create<HostCommand>(clsid);
    ASSERT_EQ(cmd->OnCreate(host->app().Identity()), S_OK);
    for (const int button : {IDOK, IDCANCEL}) {
      ASSERT_EQ(cmd->OnClick(), S_OK);
      const HWND dialog = ua::FindWindowByCaption(caption);
      ASSERT_NE(dialog, nullptr);
      SetForegroundWindow(host->app().mainWindow());  // the person turns back to the map
      ASSERT_EQ(cmd->OnClick(), S_OK);
      EXPECT_EQ(shown(), 1);
      EXPECT_EQ(GetForegroundWindow(), dialog);
      ASSERT_TRUE(ua::Click(dialog, button));
      EXPECT_EQ(shown(), 0);
    }
    ASSERT_EQ(cmd->OnClick(), S_OK);
    ASSERT_EQ(cmd->OnClick(), S_OK);
    cmd.reset();
    EXPECT_EQ(shown(), 0);
    EXPECT_EQ(ui::LiveDialogCount(host->module().Resources()), 0);
  }
}

TEST_F(CommandTest, ACallThroughAnEmptyHostReferenceReachesTheHost) {
  auto host = StartHost();
  auto cmd = host->module().Create<HostCommand>(CLSID_GridSpot);  // never handed the application
  VARIANT_BOOL enabled = VARIANT_FALSE;
  std::string error;
  EXPECT_EQ(hostapp::CallModule([&] { return cmd->IsEnabled(&enabled); }, &error), E_POINTER);
  EXPECT_FALSE(error.empty());
}

// Clicks a modal command whose dialog the person cancels.
void ClickAndCancel(HostCommand* command) {
  ua::ScopedUser user([](HWND dialog) { ua::Click(dialog, IDCANCEL); });
  EXPECT_EQ(hostapp::CallModule([&] { return command->OnClick(); }), S_OK);
}

TEST_F(CommandTest, CancelGivesTheSelectToolBackAndReportsEachFailure) {
  struct Scene {
    const char* what;
    std::function<void(hostapp::HostApplicationImpl&)> set;
    std::vector<std::pair<std::string, std::string>> boxes;  // caption, text
    int toolChanges;
  } scenes[] = {
      {"select tool found", [](auto&) {}, {}, 1},
      {"no document", [](auto& app) { app.SetDocument(nullptr); }, {}, 0},
      {"no command bars", [](auto& app) { app.document()->FailCommandBarsWith(E_FAIL); },
       {{"no command bars", "0x80004005"}}, 0},
      {"search fails", [](auto& app) { app.document()->commandBars().FailSearchesWith(E_UNEXPECTED); },
       {{"command not found", "0x8000FFFF"}}, 0},
      {"no such item", [](auto& app) { app.document()->commandBars().RemoveItem("PageLayout_SelectTool"); },
       {{"command not found", "0x0"}}, 1},
      {"empty answer", [](auto& app) { app.document()->commandBars().AnswerEmptyWith(S_FALSE); },
       {{"command not found", "0x1"}}, 1},
      {"tool not changed", [](auto& app) { app.FailCurrentToolWith(E_FAIL); },
       {{"current tool not changed", "0x80004005"}}, 0},
  };
  for (const Scene& scene : scenes) {
    SCOPED_TRACE(scene.what);
    auto host = StartHost();
    auto cmd = CommandOf(*host, CLSID_ImportGrid);  // its dialog does not read the map
    scene.set(host->app());
    ClickAndCancel(cmd.get());
    std::vector<std::pair<std::string, std::string>> boxes;
    for (const auto& box : ua::TakeMessageBoxes()) {
      EXPECT_EQ(box.owner, nullptr);
      EXPECT_EQ(box.type, MB_OK);
      boxes.emplace_back(box.caption, box.text);
    }
    EXPECT_EQ(boxes, scene.boxes);
    EXPECT_EQ(host->app().currentToolChanges(), scene.toolChanges);
    if (scene.toolChanges && scene.boxes.empty()) {
      EXPECT_EQ(host->app().currentToolName(), "PageLayout_SelectTool");
    }
    if (scene.toolChanges && !scene.boxes.empty()) {
      EXPECT_EQ(host->app().currentToolName(), "");
    }
  }
}

TEST_F(CommandTest, ClicksOpenEachCommandsDialog) {
  auto host = StartHost();
  for (const CommandRow& row : kCommands) {
    SCOPED_TRACE(row.name);
    auto cmd = CommandOf(*host, row.clsid);
    std::string caption;
    ua::ScopedUser user([&](HWND dialog) {
      caption = ua::Text(dialog);
      ua::Click(dialog, IDCANCEL);
    });
    ASSERT_EQ(cmd->OnClick(), S_OK);
    if (row.modal) {
      EXPECT_EQ(caption, row.dialogCaption);
      continue;
    }
    // A modeless dialog stays open, owned by the host's main window.
    const HWND dialog = ua::FindWindowByCaption(row.dialogCaption);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(GetParent(dialog), host->app().mainWindow());
    EXPECT_TRUE(ua::Visible(dialog));
    const int before = host->app().currentToolChanges();
    ASSERT_TRUE(ua::Click(dialog, IDCANCEL));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(host->app().currentToolChanges(), before + 1);
  }
  EXPECT_TRUE(ua::TakeMessageBoxes().empty());
}

TEST_F(CommandTest, QuietCommandsReportNothingWhenTheRestoreFails) {
  for (const CLSID& clsid : {CLSID_GridSpot, CLSID_PolyClip}) {
    auto host = StartHost();
    host->app().document()->commandBars().FailSearchesWith(E_FAIL);
    auto cmd = CommandOf(*host, clsid);
    cmd->OnClick();
    const auto windows = ua::TopLevelWindows();
    HWND dialog = nullptr;
    for (HWND w : windows)
      if (ui::ClassOf(w) == "#32770") dialog = w;
    ASSERT_NE(dialog, nullptr);
    ua::Click(dialog, IDCANCEL);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(ua::TakeMessageBoxes().empty());
  }
}

TEST_F(CommandTest, ThePointGridToolRegistersTheLayersClipboardFormat) {
  hostapp::RegisterHostClasses();
  auto app = com::MakeObject<hostapp::HostApplicationImpl>();
  auto ext = com::MakeObject<plenth::PlenthExt>();
  app->AddExtension(CLSID_PlenthExt, ext->Identity());
  plenth::LayersClipboardFormat = 0;
  auto tool = com::MakeObject<plenth::CreatePointGridTool>();
  ASSERT_EQ(tool->OnCreate(app->Identity()), S_OK);
  EXPECT_NE(plenth::LayersClipboardFormat, 0u);
  EXPECT_EQ(plenth::LayersClipboardFormat, RegisterClipboardFormat("Map Layers"));
  app->ClearExtensions();
}

TEST_F(CommandTest, AModalClickSetsTheCurrentApplicationEvenWhenCancelled) {
  // The module's own code, linked in, so that its module-wide state can be seen.
  hostapp::RegisterHostClasses();
  auto app = com::MakeObject<hostapp::HostApplicationImpl>();
  auto ext = com::MakeObject<plenth::PlenthExt>();
  app->AddExtension(CLSID_PlenthExt, ext->Identity());
  auto cmd = com::MakeObject<plenth::ExportGrid>();
  ASSERT_EQ(cmd->OnCreate(app->Identity()), S_OK);
  plenth::CurrentApplication.reset();
  ClickAndCancel(cmd.get());
  EXPECT_EQ(plenth::CurrentApplication.get(), static_cast<HostApplication*>(app.get()));
  plenth::CurrentApplication.reset();
  app->ClearExtensions();
}

}  // namespace
