#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "com/marshal.h"
#include "host/drptgt.h"
#include "host/plenthext.h"
#include "host/plenthtoolbar.h"
#include "tools/effortsurface/effortsurface.h"
#include "tools/exportgrid/exportgrid.h"
#include "tools/gridspot/gridspot.h"
#include "tools/importgrid/importgrid.h"
#include "tools/lineorientation/lineorientation.h"
#include "tools/pointgrid/createpointgridtool.h"
#include "tools/polyclip/polyclip.h"
#include "tests/module/modulehost.h"
#include "ui/automation.h"
#include "ui/window.h"

namespace {

namespace ua = ui::automation;

hostapp::LoadedModule& Module() {
  static hostapp::LoadedModule module(PLENTH_MODULE_PATH);
  return module;
}

const CLSID kAllClasses[] = {CLSID_PlenthExt,  CLSID_PlenthToolbar,  CLSID_CreatePointGridTool, CLSID_DrpTgt,
                             CLSID_PolyClip,   CLSID_GridSpot,       CLSID_EffortSurface,       CLSID_ExportGrid,
                             CLSID_ImportGrid, CLSID_LineOrientation};

TEST(ClassFactories, UnknownAndDescriptionOnlyClassesAreNotAvailable) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(Module().GetClassObject(CLSID_ExportGrid, IClassFactory::iid, nullptr), E_POINTER);
  for (const CLSID& id : {com::Guid("{D23D9124-7998-437B-988C-D2E1EF6A2751}"),   // EventHelper
                          com::Guid("{C2833060-524D-4C5B-9498-83663F24E4F4}"),   // DownhillSlopeTool
                          com::Guid("{0AF3598E-1B91-41FB-84EF-F0FE821C10CC}"),   // SlopeLengthTool
                          com::Guid("{00000000-0000-0000-0000-000000000001}")}) {
    EXPECT_EQ(Module().GetClassObject(id, IClassFactory::iid, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);
  }
}

TEST(ClassFactories, EachClassHasOneFactoryEvenUnderTwoThreads) {
  for (const CLSID& id : kAllClasses) {
    SCOPED_TRACE(com::GuidToString(id));
    com::ComPtr<IClassFactory> a, b;
    std::thread other([&] { Module().GetClassObject(id, IClassFactory::iid, b.put_void()); });
    ASSERT_EQ(Module().GetClassObject(id, IClassFactory::iid, a.put_void()), S_OK);
    other.join();
    EXPECT_EQ(a.get(), b.get());
  }
}

TEST(ClassFactories, EveryClassCanBeAggregated) {
  struct Outer final : com::ComClass<Outer, IUnknown> {};
  for (const CLSID& id : kAllClasses) {
    SCOPED_TRACE(com::GuidToString(id));
    com::ComPtr<IClassFactory> factory;
    ASSERT_EQ(Module().GetClassObject(id, IClassFactory::iid, factory.put_void()), S_OK);
    auto outer = com::MakeObject<Outer>();
    com::ComPtr<IUnknown> inner;
    EXPECT_EQ(factory->CreateInstance(outer->Identity(), IUnknown::iid, inner.put_void()), S_OK);
    EXPECT_TRUE(inner);
    void* p = nullptr;
    EXPECT_EQ(factory->CreateInstance(outer->Identity(), HostCommand::iid, &p), CLASS_E_NOAGGREGATION);
  }
}

TEST(ClassFactories, EachClassAnswersItsInterfaces) {
  struct Row {
    CLSID clsid;
    std::vector<IID> interfaces;
  } rows[] = {
      {CLSID_PlenthExt, {IPlenthExt::iid, IDispatch::iid, HostExtension::iid, HostExtensionConfig::iid}},
      {CLSID_PlenthToolbar, {IPlenthToolbar::iid, HostToolbarDef::iid}},
      {CLSID_CreatePointGridTool, {ICreatePointGridTool::iid, HostCommand::iid}},
      {CLSID_DrpTgt, {IDrpTgt::iid}},
      {CLSID_PolyClip, {IPolyClip::iid, HostCommand::iid}},
      {CLSID_GridSpot, {IGridSpot::iid, HostCommand::iid}},
      {CLSID_EffortSurface, {IEffortSurface::iid, IDispatch::iid, IMarshal::iid, HostCommand::iid}},
      {CLSID_ExportGrid, {IExportGrid::iid, IDispatch::iid, HostCommand::iid}},
      {CLSID_ImportGrid, {IImportGrid::iid, IDispatch::iid, HostCommand::iid}},
      {CLSID_LineOrientation, {ILineOrientation::iid, HostCommand::iid}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(com::GuidToString(row.clsid));
    auto object = Module().Create<IUnknown>(row.clsid);
    ASSERT_TRUE(object);
    for (const IID& iid : row.interfaces) {
      com::ComPtr<IUnknown> answer;
      EXPECT_EQ(object->QueryInterface(iid, answer.put_void()), S_OK) << com::GuidToString(iid);
    }
    com::ComPtr<IUnknown> none;
    EXPECT_EQ(object->QueryInterface(IClassFactory::iid, none.put_void()), E_NOINTERFACE);
  }
}

TEST(ClassFactories, TheEffortSurfaceCrossesThreadsAsItself) {
  auto command = Module().Create<HostCommand>(CLSID_EffortSurface);
  auto marshal = command.query<IMarshal>();
  ASSERT_TRUE(marshal);
  EXPECT_EQ(marshal.query<IUnknown>().get(), command.query<IUnknown>().get());  // aggregated
  com::ComPtr<IStream> stream;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
  ASSERT_EQ(marshal->MarshalInterface(stream.get(), HostCommand::iid, command.get(), MSHCTX_INPROC, nullptr,
                                      MSHLFLAGS_NORMAL),
            S_OK);
  stream->Seek({0}, STREAM_SEEK_SET, nullptr);
  com::ComPtr<HostCommand> other;
  std::thread worker([&] { marshal->UnmarshalInterface(stream.get(), HostCommand::iid, other.put_void()); });
  worker.join();
  EXPECT_EQ(other.get(), command.get());
}

// A host application that says when it goes, around the simulated one.
class WatchedApplication final : public com::ComClass<WatchedApplication, HostApplication> {
 public:
  WatchedApplication() : inner_(com::MakeObject<hostapp::HostApplicationImpl>()) {}
  ~WatchedApplication() override;
  HRESULT get_Document(Document** document) override { return inner_->get_Document(document); }
  HRESULT get_hWnd(OLE_HANDLE* window) override { return inner_->get_hWnd(window); }
  HRESULT get_StatusBar(StatusBar** bar) override { return inner_->get_StatusBar(bar); }
  HRESULT put_CurrentTool(CommandItem* tool) override { return inner_->put_CurrentTool(tool); }
  HRESULT get_CurrentTool(CommandItem** tool) override { return inner_->get_CurrentTool(tool); }
  HRESULT FindExtensionByCLSID(ClassIdValue* clsid, IUnknown** extension) override {
    return inner_->FindExtensionByCLSID(clsid, extension);
  }
  hostapp::HostApplicationImpl& inner() { return *inner_.get(); }

 private:
  com::ComPtr<hostapp::HostApplicationImpl> inner_;
};

// What the process that ends with the module loaded still holds, for its exit handler.
hostapp::LoadedModule* exitingModule = nullptr;
IClassFactory* exitingFactory = nullptr;
bool applicationReleased = false;

WatchedApplication::~WatchedApplication() {
  applicationReleased = true;
  std::fputs("application released\n", stderr);
}

// A process that ends with the module still loaded: the C++ static destructors leave the
// module's state whole (its factories, the application of the last modal click), and the
// module's own release, which runs after them, lets the application go.
TEST(ModuleExitDeathTest, TheModuleKeepsItsStateUntilItsOwnRelease) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, the module not yet loaded
  EXPECT_EXIT(
      {
        // Registered before the module is loaded, so it runs after the module's static
        // destructors and before the module's release.
        std::atexit([] {
          exitingFactory->AddRef();
          const ULONG references = exitingFactory->Release();  // this test's and the module's
          std::fprintf(stderr, "at exit: the module holds %s factory and %s application\n",
                       references == 2 ? "its" : "no", applicationReleased ? "no" : "the");
        });
        exitingModule = new hostapp::LoadedModule(PLENTH_MODULE_PATH);  // never unloaded
        hostapp::RegisterHostClasses();
        exitingModule->GetClassObject(CLSID_ImportGrid, IClassFactory::iid, reinterpret_cast<void**>(&exitingFactory));
        auto app = com::MakeObject<WatchedApplication>();
        auto extension = exitingModule->Create<IUnknown>(CLSID_PlenthExt);
        app->inner().AddExtension(CLSID_PlenthExt, extension.get());
        auto command = exitingModule->Create<HostCommand>(CLSID_ImportGrid);
        if (FAILED(command->OnCreate(app->Identity()))) std::exit(2);
        {
          ua::ScopedUser cancel([](HWND dialog) { ua::Click(dialog, IDCANCEL); });
          command->OnClick();  // the module now holds the application as the current one
        }
        command.reset();
        app->inner().ClearExtensions();
        app.reset();
        std::exit(0);
      },
      testing::ExitedWithCode(0),
      "at exit: the module holds its factory and the application\n(.|\n)*application released");
}

TEST(CanUnloadNow, CountsObjectsLocksAndOpenDialogs) {
  ASSERT_EQ(Module().CanUnloadNow(), S_OK);
  {
    auto ext = Module().Create<IUnknown>(CLSID_PlenthExt);
    EXPECT_EQ(Module().CanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(Module().CanUnloadNow(), S_OK);
  com::ComPtr<IClassFactory> factory;
  Module().GetClassObject(CLSID_ExportGrid, IClassFactory::iid, factory.put_void());
  factory->LockServer(TRUE);
  EXPECT_EQ(Module().CanUnloadNow(), S_FALSE);
  factory->LockServer(FALSE);
  EXPECT_EQ(Module().CanUnloadNow(), S_OK);
  {
    auto host = plenth::test::StartHost();
    host->FindCommand("PlenthTools_GridSpot")->command->OnClick();
    EXPECT_EQ(Module().CanUnloadNow(), S_FALSE);
  }
  // The command is gone and took its dialog with it.
  EXPECT_EQ(Module().CanUnloadNow(), S_OK);
}

}  // namespace
