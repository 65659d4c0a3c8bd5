// The dialog stand-in on its own: radio groups, greyed and modal windows, list boxes, the
// message box and the open-file dialog, through the scripted driver.

#include <gtest/gtest.h>

#include "platform/ui/common_dialogs.h"
#include "platform/ui/resources.h"
#include "platform/ui/scripted_driver.h"
#include "tests/support/machine_fixture.h"

namespace {

using namespace platform::ui::tpl;
using platform::ui::ScriptedDriver;
using platform::ui::UiThread;

const platform::ui::DialogTemplate kOuter = {
    1, "Outer", 200, 120,
    {
        radioButton("A", 10, 0, 0, 40, 10, WS_GROUP),
        radioButton("B", 11, 0, 10, 40, 10),
        radioButton("C", 12, 0, 20, 40, 10, WS_GROUP),
        radioButton("D", 13, 0, 30, 40, 10),
        listBox(20, 50, 0, 60, 60, LBS_SORT),
        pushButton("Inner", 30, 120, 0, 40, 14),
        pushButton("Ask", 31, 120, 20, 40, 14),
        pushButton("Open", 32, 120, 40, 40, 14),
        label("", 40, 0, 80, 190, 10),
    }};
const platform::ui::DialogTemplate kInner = {2, "Inner", 100, 40, {defPushButton("OK", IDOK, 10, 10, 40, 14)}};
const platform::ui::ResourceTable kResources{{&kOuter, &kInner}, {}, {}};

HINSTANCE instance() { return platform::ui::moduleOf(reinterpret_cast<const void*>(&instance)); }

INT_PTR innerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) EndDialog(dialog, 7);
  return TRUE;
}

INT_PTR outerProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) {
    for (const char* text : {"pear", "Apple", "banana"})
      SendDlgItemMessageA(dialog, 20, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    return TRUE;
  }
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
  std::string result;
  if (LOWORD(wParam) == 30)
    result = std::to_string(DialogBoxParamA(instance(), MAKEINTRESOURCEA(2), dialog, innerProc, 0));
  if (LOWORD(wParam) == 31) result = MessageBoxA(dialog, "Go on?", "Question", MB_OKCANCEL) == IDOK ? "ok" : "cancel";
  if (LOWORD(wParam) == 32) {
    char path[MAX_PATH] = {};
    OPENFILENAMEA request{};
    request.hwndOwner = dialog;
    request.lpstrFilter = "Pages (*.htm)\0*.htm\0All\0*.*\0";
    request.lpstrFile = path;
    request.nMaxFile = sizeof(path);
    request.Flags = OFN_FILEMUSTEXIST;
    result = GetOpenFileNameA(&request) ? path : "cancelled";
  }
  SetDlgItemTextA(dialog, 40, result.c_str());
  return TRUE;
}

class UiTest : public testing_support::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    platform::ui::registerResources(instance(), &kResources);
    driver.run([] { CreateDialogParamA(instance(), MAKEINTRESOURCEA(1), nullptr, outerProc, 0); });
  }
  void TearDown() override {
    ui.reset();
    MachineTest::TearDown();
  }
  std::unique_ptr<UiThread> ui = std::make_unique<UiThread>();
  ScriptedDriver driver{*ui};
};

TEST_F(UiTest, RadioButtonsClearOnlyTheirOwnGroup) {
  driver.click("Outer", "A");
  driver.click("Outer", "C");
  driver.click("Outer", "B");
  EXPECT_EQ(driver.control("Outer", 10).check, 0);
  EXPECT_EQ(driver.control("Outer", 11).check, 1);
  EXPECT_EQ(driver.control("Outer", 12).check, 1);
}

TEST_F(UiTest, SortedListsIgnoreCase) {
  const auto items = driver.control("Outer", 20).items;
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].text, "Apple");
  EXPECT_EQ(items[1].text, "banana");
  EXPECT_EQ(items[2].text, "pear");
}

TEST_F(UiTest, AModalDialogGreysItsOwnerUntilItEnds) {
  driver.click("Outer", "Inner");
  EXPECT_FALSE(driver.window("Outer").enabled);
  EXPECT_THROW(driver.click("Outer", "A"), platform::ui::DriverError);  // input to the owner is dropped
  driver.click("Inner", "OK");
  EXPECT_FALSE(driver.isOpen("Inner"));
  EXPECT_TRUE(driver.window("Outer").enabled);
  EXPECT_EQ(driver.control("Outer", 40).text, "7");
}

TEST_F(UiTest, TheMessageBoxAnswersOkOrCancel) {
  driver.click("Outer", "Ask");
  driver.click("Question", "Cancel");
  EXPECT_EQ(driver.control("Outer", 40).text, "cancel");
  driver.click("Outer", "Ask");
  driver.close("Question");  // the close box is Cancel
  EXPECT_EQ(driver.control("Outer", 40).text, "cancel");
  driver.click("Outer", "Ask");
  driver.click("Question", "OK");
  EXPECT_EQ(driver.control("Outer", 40).text, "ok");
}

TEST_F(UiTest, TheOpenFileDialogWalksFoldersAndFiltersFiles) {
  writeHostFile(driveC("Site/Pages/a.htm"), "a");
  writeHostFile(driveC("Site/Pages/b.txt"), "b");
  driver.click("Outer", "Open");
  driver.doubleClick("Open", 1120, "[Site]");
  driver.doubleClick("Open", 1120, "[Pages]");
  EXPECT_EQ(driver.control("Open", 1088).text, "C:\\Site\\Pages");
  auto names = driver.control("Open", 1120).items;
  ASSERT_EQ(names.size(), 2u);  // "[..]" and the page; the text file is filtered out
  EXPECT_EQ(names[1].text, "a.htm");
  driver.select("Open", 1136, "All");
  EXPECT_EQ(driver.control("Open", 1120).items.size(), 3u);
  driver.select("Open", 1120, "a.htm");
  EXPECT_EQ(driver.control("Open", 1152).text, "a.htm");
  driver.click("Open", "Open");
  EXPECT_EQ(driver.control("Outer", 40).text, "C:\\Site\\Pages\\a.htm");
  driver.click("Outer", "Open");
  driver.click("Open", "Cancel");
  EXPECT_EQ(driver.control("Outer", 40).text, "cancelled");
}

TEST_F(UiTest, ClosingTheThreadEndsOpenModalDialogs) {
  driver.click("Outer", "Inner");
  ui.reset();  // must not hang on the dialog's loop
  EXPECT_TRUE(platform::ui::takeScreen().windows.empty());
}

}  // namespace
