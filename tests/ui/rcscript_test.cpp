#include <gtest/gtest.h>

#include "ui/resources.h"

extern const ResourceModule kPlenthToolsResources;

namespace {

ui::ResourceScript Parse(std::string_view text) {
  return ui::ParseResourceScript(text, [](std::string_view name) -> std::string {
    if (name == "ids.h") return "#define IDC_NAME 300\n#define IDD_ONE 7\n";
    throw std::runtime_error("no file " + std::string(name));
  });
}

TEST(ResourceScript, ControlStatementsTakeTheirDefaultStyles) {
  const auto script = Parse(R"(#include "ids.h"
IDD_ONE DIALOG 0, 0, 100, 50
STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION
CAPTION "One ""quoted"""
FONT 8, "MS Sans Serif"
BEGIN
    DEFPUSHBUTTON   "OK",IDOK,5,6,50,14
    LTEXT           "Label",IDC_STATIC,1,2,3,4,WS_BORDER | NOT WS_GROUP
    EDITTEXT        IDC_NAME,7,8,9,10,ES_AUTOHSCROLL
    COMBOBOX        301,1,1,1,1,CBS_DROPDOWNLIST | CBS_SORT
    CONTROL         "",302,"Button",BS_BITMAP | WS_TABSTOP,161,60,17,14
END
)");
  const auto& d = script.dialogs.at(7);
  EXPECT_EQ(d.caption, "One \"quoted\"");
  EXPECT_EQ(d.cx, 100);
  EXPECT_EQ(d.fontFace, "MS Sans Serif");
  EXPECT_EQ(d.style, DS_MODALFRAME | WS_POPUP | WS_CAPTION | DS_SETFONT);
  ASSERT_EQ(d.controls.size(), 5u);
  const DWORD base = WS_CHILD | WS_VISIBLE;
  struct Expect {
    const char* cls;
    int id;
    DWORD style;
  } expect[] = {
      {"Button", IDOK, base | BS_DEFPUSHBUTTON | WS_TABSTOP},
      {"Static", IDC_STATIC, base | SS_LEFT | WS_BORDER},
      {"Edit", 300, base | ES_LEFT | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
      {"ComboBox", 301, base | CBS_DROPDOWNLIST | CBS_SORT | WS_TABSTOP},
      {"Button", 302, base | BS_BITMAP | WS_TABSTOP},
  };
  for (std::size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(d.controls[i].cls, expect[i].cls);
    EXPECT_EQ(d.controls[i].id, expect[i].id);
    EXPECT_EQ(d.controls[i].style, expect[i].style);
  }
  EXPECT_EQ(d.controls[4].x, 161);
  EXPECT_EQ(d.controls[4].cy, 14);
}

TEST(ResourceScript, MalformedTextIsRefusedWithItsLine) {
  const char* bad[] = {
      "7 DIALOG 0, 0, 1, 1\nBEGIN\n  FANCYBUTTON \"x\",1,1,1,1,1\nEND\n",
      "7 DIALOG 0, 0, 1, 1\nCAPTION \"open\nBEGIN\nEND\n",
      "7 BITMAP\n",
      "UNKNOWN_NAME BITMAP \"a.bmp\"\n",
      "7 DIALOG 0, 0, 1, 1\nBEGIN\n  LTEXT \"x\",1,1,1,1,1\n",
  };
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    try {
      Parse(text);
      ADD_FAILURE() << "accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_NE(std::string(e.what()).find("line"), std::string::npos) << e.what();
    }
  }
}

// Files that include each other are refused when the nesting runs deep, not read until
// the stack runs out.
TEST(ResourceScript, FilesIncludingEachOtherAreRefused) {
  const auto self = [](std::string_view) { return std::string("#include \"loop.h\"\n"); };
  try {
    ui::ParseResourceScript("#include \"loop.h\"\n", self);
    ADD_FAILURE() << "accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("nested more than 16 files deep"), std::string::npos) << e.what();
  }
}

TEST(ResourceScript, TheModuleScriptHoldsEveryDialogAndVersion) {
  const ui::ResourceScript* script = ui::ScriptOf(&kPlenthToolsResources);
  ASSERT_NE(script, nullptr) << ui::LastResourceError();
  struct Dialog {
    int id;
    const char* caption;
    int cx, cy;
    std::size_t controls;
  } dialogs[] = {
      {203, "Point Grid Generator", 232, 308, 23}, {212, "Poly Clip Statistics", 190, 134, 8},
      {215, "Grid Spot Emulator", 206, 131, 8},    {217, "Operation Progress", 186, 195, 3},
      {220, "Export Grid", 273, 89, 7},            {222, "Dialog", 259, 92, 8},
      {224, "Line Orientation", 215, 121, 7},      {268, "Dialog", 194, 222, 17},
  };
  for (const Dialog& d : dialogs) {
    SCOPED_TRACE(d.id);
    const auto& t = script->dialogs.at(d.id);
    EXPECT_EQ(t.caption, d.caption);
    EXPECT_EQ(t.cx, d.cx);
    EXPECT_EQ(t.cy, d.cy);
    EXPECT_EQ(t.controls.size(), d.controls);
    EXPECT_EQ(t.fontSize, 8);
  }
  // The progress window is neither a popup nor a child.
  EXPECT_EQ(script->dialogs.at(217).style & (WS_POPUP | WS_CHILD), 0u);
  for (int id : {201, 213, 214, 216, 219, 221, 223, 271}) EXPECT_EQ(script->bitmaps.count(id), 1u) << id;
  ASSERT_TRUE(script->version);
  EXPECT_EQ(script->version->strings.at("FileDescription"), "PlenthTools Module");
  EXPECT_EQ(script->version->strings.at("FileVersion"), "1, 0, 0, 1");
  EXPECT_EQ(script->version->fileVersion[3], 1);
}

}  // namespace
