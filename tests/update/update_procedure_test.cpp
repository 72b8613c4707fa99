// The update procedure run in-process through the desktop seam: a recorder
// plays the user and stands in for the version probe and the window finder
// (and, where a case needs it, for the finder's match and the copy), while
// the registry hive, the translation library and the files are real.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/framework.h"
#include "platform/ui/desktop_seam.h"
#include "platform/ui/dialog.h"
#include "wbupdate/resource.h"
#include "wbupdate/update_app.h"

namespace fs = std::filesystem;

namespace {

constexpr DWORD kNt4 = 0x05650004;
constexpr DWORD kWindows95 = 0xC3B60004;
constexpr DWORD kWindows31 = 0x80000A03;
constexpr UINT kWarningOk = MB_OK | MB_ICONWARNING;

const char kIntroduction[] = "This program updates VL Imagewell software.";
const char kMessage1[] = "An error has occured. Please reinstall the scanning software to correct the problem.";
const char kMessage4[] =
    "An error occurred, and setup is unable to complete. Be sure all applications are closed and try running setup "
    "again.";
const char kMessage10[] = "You must have administrator rights to install this software on Windows NT(tm).";
const char kMessage11[] =
    "This software does not support Windows(r) 3.1x or Windows(r) 95.  It requires Windows NT(tm).";

struct Box {
  std::string text, title;
  UINT style;
};

// What the user and the desktop do in one run, and what the run did.
struct Script {
  int modalAction = WB_USER_PRESS_ENTER;
  int noticeAnswer = IDOK;
  DWORD version = kNt4;
  bool windowOpen = false;
  bool fakeFind = false;
  BOOL findResult = TRUE;
  bool fakeCopy = false;
  BOOL copyResult = TRUE;
  void (*inspectMain)(CDialog&) = nullptr;

  std::vector<std::string> events;
  std::vector<Box> boxes;
  std::string mainCaption, mainText, okText, cancelText;
  std::string popupText;
  std::string findPattern, copySource, copyDestination;
};

Script* gScript = nullptr;
WbWindow gApplicationWindow;

int PlayModal(CDialog& dialog) {
  gScript->events.push_back("modal");
  gScript->mainCaption = dialog.GetWindowText();
  gScript->mainText = dialog.GetDlgItemText(IDC_INTRODUCTION_TEXT);
  gScript->okText = dialog.GetDlgItemText(IDOK);
  gScript->cancelText = dialog.GetDlgItemText(IDCANCEL);
  if (gScript->inspectMain) gScript->inspectMain(dialog);
  return gScript->modalAction;
}

int PlayBox(LPCSTR text, LPCSTR caption, UINT type) {
  gScript->events.push_back(std::string("box ") + caption);
  gScript->boxes.push_back(Box{text, caption, type});
  return gScript->boxes.back().title == "Notice" ? gScript->noticeAnswer : IDOK;
}

void WatchModeless(CDialog& dialog, WbWindowEvent event) {
  switch (event) {
    case WB_WINDOW_CREATED:
      gScript->events.push_back("popup created");
      break;
    case WB_WINDOW_SHOWN:
      gScript->popupText = dialog.GetDlgItemText(IDC_COPYING_TEXT);
      gScript->events.push_back("popup shown");
      break;
    case WB_WINDOW_HIDDEN:
      gScript->events.push_back("popup hidden");
      break;
    case WB_WINDOW_DESTROYED:
      gScript->events.push_back("popup destroyed");
      break;
  }
}

DWORD ProbeVersion() {
  gScript->events.push_back("version");
  return gScript->version;
}

HWND FindApplication(LPCSTR className, LPCSTR title) {
  gScript->events.push_back(std::string("find window ") + (className ? className : "(any)") + " " + title);
  return gScript->windowOpen && std::string(title) == "VL Claritype Pro" ? &gApplicationWindow : nullptr;
}

BOOL FindFirst(LPCSTR pattern) {
  gScript->events.push_back("find file");
  gScript->findPattern = pattern;
  return gScript->findResult;
}

BOOL Copy(LPCSTR source, LPCSTR destination, BOOL failIfExists) {
  gScript->events.push_back(failIfExists ? "copy keeping" : "copy");
  gScript->copySource = source;
  gScript->copyDestination = destination;
  return gScript->copyResult;
}

void Pause(DWORD milliseconds) { gScript->events.push_back("sleep " + std::to_string(milliseconds)); }

// The .reg form of a string: backslashes and quotes escaped.
std::string RegString(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

class UpdateProcedureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wbupdate-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);
    fs::create_directories(dir_ / "reg");
    setenv("WB_REGISTRY_DIR", (dir_ / "reg").c_str(), 1);
    AfxSetResourceHandle(nullptr);
    gScript = &script_;
    seam_.playModalDialog = &PlayModal;
    seam_.playMessageBox = &PlayBox;
    seam_.watchModeless = &WatchModeless;
    seam_.getVersion = &ProbeVersion;
    seam_.findWindow = &FindApplication;
    seam_.sleep = &Pause;
    WbSetDesktopSeam(&seam_);
  }

  void TearDown() override {
    WbSetDesktopSeam(nullptr);
    gScript = nullptr;
    AfxSetResourceHandle(nullptr);
    fs::current_path(oldCwd_);
    fs::remove_all(dir_);
  }

  void WriteHive(const std::string& body) {
    std::ofstream((dir_ / "reg" / "HKEY_CURRENT_USER.reg").string())
        << "Windows Registry Editor Version 5.00\r\n\r\n"
        << "[HKEY_CURRENT_USER\\Software\\Velmora\\VL Claritype Pro\\IE]\r\n"
        << body;
  }
  void WriteCoach(const std::string& value) { WriteHive("\"Coach\"=\"" + RegString(value) + "\"\r\n"); }

  void UseTranslation(const char* library) { fs::copy_file(library, dir_ / "patchtxt.dll"); }

  // Fakes the finder's match and the copy, for paths that do not exist here.
  void FakeFiles() {
    seam_.findFile = &FindFirst;
    seam_.copyFile = &Copy;
  }

  BOOL Run() {
    CUpdateApp app;
    return app.InitInstance();
  }

  std::string Events() const {
    std::string all;
    for (const auto& event : script_.events) all += event + "; ";
    return all;
  }

  fs::path dir_, oldCwd_;
  Script script_;
  WbDesktopSeam seam_{};
};

TEST_F(UpdateProcedureTest, MainDialogEndedOtherThanByButtonOneEndsAtOnce) {
  WriteCoach("C:\\Scan\\bin\\app.exe");
  for (int action : {IDCANCEL, int(WB_USER_PRESS_ESCAPE), int(WB_USER_CLOSE_BOX)}) {
    script_ = Script{};
    script_.modalAction = action;
    EXPECT_FALSE(Run());
    EXPECT_EQ(Events(), "modal; ") << "action " << action;
  }
}

TEST_F(UpdateProcedureTest, MainDialogShowsItsOwnTextsWithoutTranslation) {
  script_.modalAction = IDCANCEL;
  Run();
  EXPECT_EQ(script_.mainCaption, "Velmora Software Update");
  EXPECT_EQ(script_.mainText, kIntroduction);
  EXPECT_EQ(script_.okText, "OK");
  EXPECT_EQ(script_.cancelText, "Cancel");
}

TEST_F(UpdateProcedureTest, EnterActsAsButtonOne) {
  script_.modalAction = WB_USER_PRESS_ENTER;
  script_.noticeAnswer = IDCANCEL;
  EXPECT_EXIT(Run(), ::testing::ExitedWithCode(254), "");
}

// Not Windows NT: after the dialog, message 11 alone, then status -1. The
// recorder's trace is checked in the ending process, at its exit.
TEST_F(UpdateProcedureTest, SystemOtherThanNtShowsMessage11AndExitsWithMinusOne) {
  WriteCoach("C:\\Scan\\bin\\app.exe");
  FakeFiles();
  for (DWORD version : {kWindows95, kWindows31}) {
    script_ = Script{};
    script_.version = version;
    EXPECT_EXIT(
        {
          atexit([] {
            bool ok = gScript->boxes.size() == 1 && gScript->events.size() == 3 && gScript->events[0] == "modal" &&
                      gScript->events[1] == "version" && gScript->boxes[0].title == "Error" &&
                      gScript->boxes[0].style == (MB_OK | MB_ICONERROR) && gScript->boxes[0].text == kMessage11;
            std::_Exit(ok ? 255 : 1);
          });
          Run();
        },
        ::testing::ExitedWithCode(255), "")
        << std::hex << version;
  }
}

TEST_F(UpdateProcedureTest, WindowsVersionCodeFollowsTheTopBitAndMajorVersion) {
  struct Case {
    DWORD version;
    int code;
  } cases[] = {{kNt4, 4}, {0x0A280105, 4}, {kWindows95, 2}, {kWindows31, 1}, {0x80000004, 2}};
  for (const Case& c : cases) {
    script_.version = c.version;
    EXPECT_EQ(WindowsVersionCode(), c.code) << std::hex << c.version;
  }
}

TEST_F(UpdateProcedureTest, NoticeAnsweredWithCancelExitsWithMinusTwoBeforeTheRegistry) {
  WriteCoach("C:\\Scan\\bin\\app.exe");
  FakeFiles();
  script_.noticeAnswer = IDCANCEL;
  EXPECT_EXIT(
      {
        atexit([] {
          const Box& box = gScript->boxes.at(0);
          bool ok = gScript->boxes.size() == 1 && box.title == "Notice" &&
                    box.style == (MB_OKCANCEL | MB_ICONWARNING) && box.text == kMessage10 &&
                    gScript->findPattern.empty();
          std::_Exit(ok ? 254 : 1);
        });
        Run();
      },
      ::testing::ExitedWithCode(254), "");
}

// Every way of not finding the application: one message 1, nothing searched
// further, nothing copied.
TEST_F(UpdateProcedureTest, ApplicationNotFoundShowsMessage1) {
  struct Case {
    const char* name;
    std::string hive;  // null: no hive file at all
    bool writeHive;
  } cases[] = {
      {"no key", "", false},
      {"no Coach value", "\"Other\"=\"C:\\\\x\\\\app.exe\"\r\n", true},
      {"value of 129 bytes", "\"Coach\"=\"C:\\\\" + std::string(125, 'a') + "\"\r\n", true},
  };
  for (const Case& c : cases) {
    fs::remove(dir_ / "reg" / "HKEY_CURRENT_USER.reg");
    if (c.writeHive) WriteHive(c.hive);
    script_ = Script{};
    FakeFiles();
    EXPECT_FALSE(Run());
    ASSERT_EQ(script_.boxes.size(), 2u) << c.name << ": " << Events();
    EXPECT_EQ(script_.boxes[1].title, "Error") << c.name;
    EXPECT_EQ(script_.boxes[1].style, kWarningOk) << c.name;
    EXPECT_EQ(script_.boxes[1].text, kMessage1) << c.name;
    EXPECT_EQ(Events(), "modal; version; box Notice; box Error; ") << c.name;
  }
}

TEST_F(UpdateProcedureTest, ValueOfExactly128BytesIsRead) {
  // 127 characters and the zero: the last backslash leaves a short folder.
  std::string value = "C:\\a\\" + std::string(122, 'b');
  ASSERT_EQ(value.size(), 127u);
  WriteCoach(value);
  FakeFiles();
  script_.windowOpen = true;
  Run();
  EXPECT_EQ(script_.findPattern, "C:\\a\\*.*");
}

// The folder, pattern and destination derived from "Coach".
TEST_F(UpdateProcedureTest, PathsDerivedFromTheValue) {
  struct Case {
    std::string value, pattern, destination;
  } cases[] = {
      {"C:\\Scan\\bin\\app.exe", "C:\\Scan\\bin\\*.*", "C:\\Scan\\bin\\wbremote.dll"},
      {"C:\\Scan\\bin\\", "C:\\Scan\\bin\\*.*", "C:\\Scan\\bin\\wbremote.dll"},
      {"C:\\Scan\\bin", "C:\\Scan\\*.*", "C:\\Scan\\wbremote.dll"},
      {"app.exe", "\\*.*", "\\wbremote.dll"},
      {"/opt/claritype/bin/app.exe", "/opt/claritype/bin\\*.*", "/opt/claritype/bin\\wbremote.dll"},
      {"\\opt\\claritype\\bin\\app.exe", "\\opt\\claritype\\bin\\*.*", "\\opt\\claritype\\bin\\wbremote.dll"},
  };
  for (const Case& c : cases) {
    WriteCoach(c.value);
    script_ = Script{};
    FakeFiles();
    EXPECT_FALSE(Run());
    EXPECT_EQ(script_.findPattern, c.pattern) << c.value;
    EXPECT_EQ(script_.copyDestination, c.destination) << c.value;
    EXPECT_EQ(fs::path(script_.copySource).filename(), "wbremote.dll") << c.value;
  }
}

TEST_F(UpdateProcedureTest, FoldersTooLongForTheirBuffersStopWithMessage1) {
  // 123 characters still fit the pattern, 114 the destination.
  struct Case {
    size_t folderLength;
    bool fits;
  } cases[] = {{114, true}, {115, false}, {123, false}, {124, false}, {126, false}};
  for (const Case& c : cases) {
    std::string folder = "C:" + std::string(c.folderLength - 2, 'f');
    WriteCoach(folder + "\\x");
    script_ = Script{};
    FakeFiles();
    Run();
    if (c.fits) {
      EXPECT_EQ(script_.copyDestination, folder + "\\wbremote.dll");
      EXPECT_EQ(script_.copyDestination.size(), 127u);
    } else {
      EXPECT_EQ(Events(), "modal; version; box Notice; box Error; ") << c.folderLength;
      EXPECT_EQ(script_.boxes.back().text, kMessage1);
    }
  }
}

TEST_F(UpdateProcedureTest, MissingFolderShowsMessage1WithoutPopup) {
  WriteCoach((dir_ / "nowhere" / "app.exe").string());
  EXPECT_FALSE(Run());
  EXPECT_EQ(Events(), "modal; version; box Notice; box Error; ");
  EXPECT_EQ(script_.boxes.back().text, kMessage1);
}

TEST_F(UpdateProcedureTest, OpenApplicationWindowShowsMessage4AndCopiesNothing) {
  fs::create_directories(dir_ / "app");
  std::ofstream((dir_ / "app" / "wbremote.dll").string()) << "old";
  WriteCoach((dir_ / "app" / "app.exe").string());
  script_.windowOpen = true;
  EXPECT_FALSE(Run());
  EXPECT_EQ(Events(), "modal; version; box Notice; find window (any) VL Claritype Pro; box Error; ");
  EXPECT_EQ(script_.boxes.back().text, kMessage4);
  EXPECT_EQ(script_.boxes.back().style, kWarningOk);
  std::ifstream kept((dir_ / "app" / "wbremote.dll").string());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "old");
}

// The popup's template is visible, so it shows once at its creation and again
// when the procedure shows it, its text set by then.
TEST_F(UpdateProcedureTest, SuccessfulCopyOverwritesShowsPopupPausesThenCompletes) {
  fs::create_directories(dir_ / "app");
  std::ofstream((dir_ / "app" / "wbremote.dll").string()) << "old";
  WriteCoach((dir_ / "app" / "app.exe").string());
  EXPECT_FALSE(Run());
  EXPECT_EQ(Events(),
            "modal; version; box Notice; find window (any) VL Claritype Pro; popup created; popup shown; "
            "popup shown; sleep 3500; popup destroyed; box Complete; ");
  EXPECT_EQ(script_.popupText, "Copying files...");
  EXPECT_EQ(script_.boxes.back().text, "Update complete.");
  EXPECT_EQ(script_.boxes.back().style, MB_OK);
  std::ifstream copied((dir_ / "app" / "wbremote.dll").string());
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), "new client library\n");
  // Nothing but the copied file is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "app"), fs::directory_iterator()), 1);
}

TEST_F(UpdateProcedureTest, FailedCopyDestroysPopupAtOnceAndShowsMessage2) {
  WriteCoach("C:\\Scan\\bin\\app.exe");
  FakeFiles();
  script_.copyResult = FALSE;
  EXPECT_FALSE(Run());
  EXPECT_EQ(Events(),
            "modal; version; box Notice; find file; find window (any) VL Claritype Pro; popup created; popup shown; "
            "popup shown; copy; popup destroyed; box Error; ");
  EXPECT_EQ(script_.boxes.back().text, "Update incomplete.");
  EXPECT_EQ(script_.boxes.back().style, kWarningOk);
}

TEST_F(UpdateProcedureTest, GermanTranslationGivesEveryText) {
  UseTranslation(WB_PATCHTXT_GERMAN);
  WriteCoach("C:\\Scan\\bin\\app.exe");
  FakeFiles();
  EXPECT_FALSE(Run());
  // The caption and the dialog stay the program's; the texts are the library's.
  EXPECT_EQ(script_.mainCaption, "Velmora Software Update");
  EXPECT_EQ(script_.mainText, "Dieses Programm aktualisiert die Software VL Imagewell.");
  EXPECT_EQ(script_.okText, "OK");
  EXPECT_EQ(script_.cancelText, "Abbrechen");
  EXPECT_EQ(script_.popupText, "Dateien werden kopiert...");
  ASSERT_EQ(script_.boxes.size(), 2u);
  EXPECT_EQ(script_.boxes[0].title, "Notice");
  EXPECT_EQ(script_.boxes[0].text.rfind("Sie ben", 0), 0u);
  EXPECT_EQ(script_.boxes[1].title, "Complete");
  EXPECT_EQ(script_.boxes[1].text, "Aktualisierung abgeschlossen.");
}

TEST_F(UpdateProcedureTest, PartialTranslationShowsEmptyTextsAndNoPopup) {
  UseTranslation(WB_PATCHTXT_PARTIAL);
  WriteCoach("C:\\Scan\\bin\\app.exe");
  FakeFiles();
  EXPECT_FALSE(Run());
  EXPECT_EQ(script_.mainText, "Partial introduction");
  EXPECT_EQ(script_.okText, "Go");
  EXPECT_EQ(script_.cancelText, "");
  // No popup template: no window, yet the copy and the closing message go on.
  EXPECT_EQ(Events(),
            "modal; version; box Notice; find file; find window (any) VL Claritype Pro; copy; sleep 3500; "
            "box Complete; ");
  EXPECT_EQ(script_.boxes[0].title, "Notice");
  EXPECT_EQ(script_.boxes[0].text, "");
  EXPECT_EQ(script_.boxes[1].text, "Partial complete");
}

TEST_F(UpdateProcedureTest, PartialTranslationLeavesFailureMessagesEmptyUnderFixedTitles) {
  UseTranslation(WB_PATCHTXT_PARTIAL);
  WriteCoach("C:\\Scan\\bin\\app.exe");
  FakeFiles();
  script_.windowOpen = true;
  Run();
  EXPECT_EQ(script_.boxes.back().title, "Error");
  EXPECT_EQ(script_.boxes.back().text, "");
}

// The main dialog as the seam sees it: its icon, focus, minimised painting.
TEST_F(UpdateProcedureTest, MainDialogIconFocusAndMinimisedPainting) {
  static std::vector<std::string> painted;
  static std::string checks;
  painted.clear();
  checks.clear();
  seam_.watchPaint = [](HWND, HICON icon, int x, int y) {
    painted.push_back(icon ? "icon " + std::to_string(x) + "," + std::to_string(y) : "erase");
  };
  script_.modalAction = IDCANCEL;
  script_.inspectMain = [](CDialog& dialog) {
    HICON icon = LoadIconA(nullptr, MAKEINTRESOURCEA(IDR_MAINFRAME));
    std::ostringstream out;
    out << (icon != nullptr) << (dialog.GetIcon(TRUE) == icon) << (dialog.GetIcon(FALSE) == icon)
        << (reinterpret_cast<HICON>(dialog.SendMessage(WM_QUERYDRAGICON)) == icon) << dialog.GetFocusId();
    const IconImage* image = WbIconImage(icon);
    out << " " << (image ? image->width : 0) << "x" << (image ? image->height : 0);
    RECT client;
    dialog.GetClientRect(&client);
    out << " " << client.right << "x" << client.bottom;
    dialog.SendMessage(WM_PAINT);  // not minimised: nothing of its own
    dialog.MoveWindow(0, 0, 36, 36);
    dialog.ShowWindow(SW_MINIMIZE);
    out << " iconic " << dialog.IsIconic();
    dialog.SendMessage(WM_PAINT);
    dialog.MoveWindow(0, 0, 37, 40);
    dialog.SendMessage(WM_PAINT);
    checks = out.str();
  };
  Run();
  EXPECT_EQ(checks, "11111 32x32 387x154 iconic 1");
  EXPECT_EQ(painted, (std::vector<std::string>{"erase", "icon 2,2", "erase", "icon 3,4"}));
}

}  // namespace
