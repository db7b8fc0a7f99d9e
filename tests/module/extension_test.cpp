#include <gtest/gtest.h>

#include "host/plenthext.h"
#include "host/plenthtoolbar.h"
#include "tests/module/modulehost.h"

namespace {

using plenth::test::StartHost;

std::string Text(HRESULT hr, com::BStr& s) {
  EXPECT_EQ(hr, S_OK);
  return s.utf8();
}

TEST(PlenthExt, AnswersItsTextsAndKeepsAnyState) {
  auto host = StartHost();
  auto ext = host->module().Create<HostExtensionConfig>(CLSID_PlenthExt);
  ASSERT_TRUE(ext);
  LONG state = 0;
  EXPECT_EQ(ext->GetState(&state), S_OK);
  EXPECT_EQ(state, kExtensionUnavailable);  // until the host sets it
  for (LONG value : {1, 2, 4, 0, -7, 12345}) {
    EXPECT_EQ(ext->SetState(value), S_OK);
    ext->GetState(&state);
    EXPECT_EQ(state, value);
  }
  com::BStr s;
  EXPECT_EQ(Text(ext->ProductName(s.put()), s), "Plenth Tools Extension");
  EXPECT_EQ(Text(ext->Description(s.put()), s), "Tools designed for use in Plenth GIS lab");
  auto base = ext.query<HostExtension>();
  ASSERT_TRUE(base);
  EXPECT_EQ(Text(base->Name(s.put()), s), "Plenth Tools");
  EXPECT_EQ(base->Startup(nullptr), S_OK);
  EXPECT_EQ(base->Shutdown(), S_OK);
  EXPECT_TRUE(ext.query<IPlenthExt>());
  EXPECT_TRUE(ext.query<IDispatch>());
  for (auto* call : {+[](HostExtensionConfig* e) { return e->ProductName(nullptr); },
                     +[](HostExtensionConfig* e) { return e->Description(nullptr); },
                     +[](HostExtensionConfig* e) { return e->GetState(nullptr); }})
    EXPECT_EQ(call(ext.get()), E_POINTER);
  EXPECT_EQ(base->Name(nullptr), E_POINTER);
}

TEST(PlenthToolbar, ListsThreeCommandsAndRefusesOtherPositions) {
  auto host = StartHost();
  const auto& bar = host->toolbar();
  ASSERT_TRUE(bar);
  LONG count = 0;
  EXPECT_EQ(bar->ItemCount(&count), S_OK);
  EXPECT_EQ(count, 3);
  const char* expected[] = {"PlenthTools.CreatePointGridTool", "PlenthTools.PolyClip", "PlenthTools.LineOrientation"};
  for (LONG i = 0; i < 3; ++i) {
    auto item = com::MakeObject<hostapp::HostToolbarItem>();
    EXPECT_EQ(bar->ItemInfo(i, item.get()), S_OK);
    EXPECT_EQ(item->id, expected[i]);
    EXPECT_FALSE(item->groupSet);  // no separator, no sub-type
    EXPECT_FALSE(item->subTypeSet);
  }
  for (LONG bad : {3, -1}) {
    auto item = com::MakeObject<hostapp::HostToolbarItem>();
    EXPECT_EQ(bar->ItemInfo(bad, item.get()), E_INVALIDARG);
    EXPECT_EQ(item->id, "");
  }
  EXPECT_EQ(bar->ItemInfo(0, nullptr), E_POINTER);
  auto failing = com::MakeObject<hostapp::HostToolbarItem>();
  failing->failure = E_ACCESSDENIED;
  EXPECT_EQ(bar->ItemInfo(1, failing.get()), E_ACCESSDENIED);
  com::BStr s;
  EXPECT_EQ(Text(bar->Name(s.put()), s), "Plenth Extension Toolbar");
  EXPECT_EQ(Text(bar->Caption(s.put()), s), "Plenth Extension Toolbar");
  EXPECT_EQ(bar->ItemCount(nullptr), E_POINTER);
  EXPECT_TRUE(bar.query<IPlenthToolbar>());
}

}  // namespace
