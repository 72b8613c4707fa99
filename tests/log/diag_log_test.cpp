#include "wbremote/log/diag_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"
#include "tests/support/log_fixture.h"

namespace {

using wbtest::gCtrlHeld;
using wbtest::LogFixture;

const char kStamp[] = "14:05:00 - ";

TEST_F(LogFixture, WithoutCtrlNothingIsWrittenAndNoFileAppears) {
  wbtest::WriteFile("wbremote.log", "older run\r\n");
  CDiagLog log;
  log.Init("wbremote.log", 7, nullptr);
  EXPECT_EQ(0, CDiagLog::Write("Log Initialized..."));
  EXPECT_EQ(0, CDiagLog::ReportSystemError(5, "a.cpp", 1));
  EXPECT_EQ("older run\r\n", LogText());

  std::remove("wbremote.log");
  CDiagLog::Write("again");
  EXPECT_FALSE(LogExists());
}

struct OptionsCase {
  int options;
  std::string expected;
};

TEST_F(LogFixture, OptionsDecideDateLineAndTimeStamps) {
  const std::string date = "Date: 3/7/1999\r\n";
  const std::string line = "Log Initialized...\r\n";
  const OptionsCase cases[] = {
      {7, kStamp + date + kStamp + line},
      {3, kStamp + date + kStamp + line},
      {1, kStamp + date + line},
      {2, kStamp + line},
      {0, line},
      {4, line},
      {0xF8, line},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    diaglog::ResetForTest();
    wbtest::WriteFile("wbremote.log", "stale content\r\n");
    gCtrlHeld = true;
    CDiagLog log;
    log.Init("wbremote.log", static_cast<BYTE>(c.options), nullptr);
    EXPECT_EQ(1, CDiagLog::Write("Log Initialized..."));
    EXPECT_EQ(c.expected, LogText());
  }
}

TEST_F(LogFixture, TextIsCutAt511AndWrittenByteForByte) {
  gCtrlHeld = true;
  CDiagLog log;
  log.Init("wbremote.log", 0, nullptr);
  const struct {
    std::string text;
    std::string line;
  } cases[] = {
      {std::string(511, 'a'), std::string(511, 'a') + "\r\n"},
      {std::string(512, 'b'), std::string(511, 'b') + "\r\n"},
      {std::string(2000, 'c'), std::string(511, 'c') + "\r\n"},
      {"", "\r\n"},
      {"first\nsecond", "first\nsecond\r\n"},
      {"ends in a feed\n", "ends in a feed\n\r\n"},
      {"100% \t\x01 kept", "100% \t\x01 kept\r\n"},
  };
  for (const auto& c : cases) {
    CDiagLog::Clear();
    EXPECT_EQ(1, CDiagLog::Write("%s", c.text.c_str()));
    EXPECT_EQ(c.line, LogText());
  }
}

TEST_F(LogFixture, EmptyTextWithTimeStampsIsStampAndLineEnd) {
  gCtrlHeld = true;
  CDiagLog log;
  log.Init("wbremote.log", DIAGLOG_TIME_STAMPS, nullptr);
  EXPECT_EQ(1, CDiagLog::Write("%s", ""));
  EXPECT_EQ(std::string(kStamp) + "\r\n", LogText());
}

TEST_F(LogFixture, DeletedFileIsNotCreatedAgain) {
  gCtrlHeld = true;
  CDiagLog log;
  log.Init("wbremote.log", 7, nullptr);
  ASSERT_TRUE(LogExists());
  std::remove("wbremote.log");
  EXPECT_EQ(0, CDiagLog::Write("lost"));
  EXPECT_EQ(0, CDiagLog::ReportSystemError(5, "a.cpp", 1));
  EXPECT_FALSE(LogExists());
  EXPECT_EQ(CFileException::fileNotFound, diaglog::LastOpenFailureCause());
}

TEST_F(LogFixture, AFifoInPlaceOfTheFileNeverHoldsAWriter) {
  gCtrlHeld = true;
  CDiagLog log;
  log.Init("wbremote.log", 7, nullptr);
  std::remove("wbremote.log");
  ASSERT_EQ(0, mkfifo("wbremote.log", 0600));
  // Without a reader, opening a FIFO for writing would block for ever.
  EXPECT_EQ(0, CDiagLog::Write("lost"));
  EXPECT_EQ(0, CDiagLog::ReportSystemError(5, "a.cpp", 1));
  char out[WB_MAX_FULL_PATH];
  CDiagLog::GetLogPath(out);
  EXPECT_STREQ("Not Available...", out);
  EXPECT_NE(CFileException::none, diaglog::LastOpenFailureCause());
}

TEST_F(LogFixture, SecondHandleNeitherEmptiesNorDatesButMayBringTheWindow) {
  gCtrlHeld = true;
  CDiagLog first;
  first.Init("wbremote.log", 7, nullptr);
  CDiagLog::Write("kept");
  const std::string before = LogText();

  HWND queue = WbCreateMessageWindow("listener");
  CWnd window(queue);
  for (bool held : {true, false}) {
    gCtrlHeld = held;
    CDiagLog second;
    second.Init("wbremote.log", 7, &window);
    EXPECT_EQ(before, LogText());
  }
  // The second handle's window was taken, since none was set.
  CDiagLog::EnableNotify();
  CDiagLog::Write("after");
  MSG msg;
  EXPECT_TRUE(WbPeekMessage(queue, &msg));
  WbDestroyMessageWindow(queue);
}

TEST_F(LogFixture, NotificationsFollowTheSwitch) {
  HWND queue = WbCreateMessageWindow("listener");
  CWnd window(queue);
  gCtrlHeld = true;
  CDiagLog log;
  log.Init("wbremote.log", 7, &window);
  MSG msg;
  // Off by default: the date line and this line post nothing.
  CDiagLog::Write("quiet");
  EXPECT_FALSE(WbPeekMessage(queue, &msg));

  CDiagLog::EnableNotify();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(1, CDiagLog::Write("line %d", i));
  EXPECT_EQ(1, CDiagLog::ReportSystemError(2, "x.cpp", 9));
  int posted = 0;
  while (WbPeekMessage(queue, &msg)) {
    ++posted;
    EXPECT_EQ(static_cast<UINT>(WM_DIAGLOG_LINE), msg.message);
    EXPECT_EQ(1144u, msg.message);
    EXPECT_EQ(0, msg.lParam);
    ASSERT_NE(0u, msg.wParam);
  }
  EXPECT_EQ(4, posted);
  // The first parameter is the shared text buffer: it holds the last text.
  EXPECT_THAT(reinterpret_cast<const char*>(msg.wParam), ::testing::StartsWith("System Error: 2\n"));

  CDiagLog::DisableNotify();
  CDiagLog::Write("quiet again");
  EXPECT_FALSE(WbPeekMessage(queue, &msg));

  // A window object whose handle is null gets nothing and breaks nothing.
  window.m_hWnd = nullptr;
  CDiagLog::EnableNotify();
  EXPECT_EQ(1, CDiagLog::Write("no handle"));
  EXPECT_FALSE(WbPeekMessage(queue, &msg));
  WbDestroyMessageWindow(queue);
}

TEST(DescribeFileError, CausesAndUnknownValues) {
  const struct {
    int cause;
    const char* text;
  } cases[] = {
      {0, "No error has occurred."},
      {2, "The file could not be located."},
      {4, "The permitted number of open files has been exceeded."},
      {11, "SHARE.EXE is not loaded, or a shared region is locked."},
      {12, "There was an attempt to lock a region that was already locked."},
      {13, "The disk is full."},
      {14, "The end of file was reached."},
      {15, "Unknown error."},
      {1000, "Unknown error."},
      {-1, "Unknown error."},
  };
  for (const auto& c : cases) {
    char out[63];
    std::memset(out, 'x', sizeof out);
    CDiagLog::DescribeFileError(c.cause, out);
    EXPECT_STREQ(c.text, out) << c.cause;
  }
}

TEST_F(LogFixture, ReportLayoutWithAndWithoutTimeStamps) {
  gCtrlHeld = true;
  CDiagLog log;
  log.Init("wbremote.log", 7, nullptr);
  CDiagLog::Clear();
  EXPECT_EQ(1, CDiagLog::ReportSystemError(5, "C:\\src\\wbremote\\log.cpp", 120));
  EXPECT_EQ(std::string(kStamp) +
                "System Error: 5\nDesc: Access was refused.\n\nFile: log.cpp\nLine: 120\n",
            LogText());

  diaglog::ResetForTest();
  log.Init("wbremote.log", 0, nullptr);
  const std::string deepSource = "/" + std::string(700, 'd') + "/deep.cpp";
  const struct {
    LONG error;
    const char* source;
    int line;
    const char* expected;
  } cases[] = {
      {static_cast<LONG>(0x80070005), "/home/dev/src/a.cpp", 7,
       "System Error: -2147024891\nDesc: \n\nFile: a.cpp\nLine: 7\n"},
      {1722, "main.c", -3, "System Error: 1722\nDesc: The RPC server cannot be reached.\n\nFile: main.c\nLine: -3\n"},
      {2, "src/Makefile", 1, "System Error: 2\nDesc: The file could not be found.\n\nFile: Makefile\nLine: 1\n"},
      {2, "", 0, "System Error: 2\nDesc: The file could not be found.\n\nFile: \nLine: 0\n"},
      // A folder longer than any part's buffer still leaves the file name.
      {2, deepSource.c_str(), 3,
       "System Error: 2\nDesc: The file could not be found.\n\nFile: deep.cpp\nLine: 3\n"},
      {317, "d:rel.x.y", 4,
       "System Error: 317\nDesc: No text exists for message number 0x%1 in the message file for %2."
       "\n\nFile: rel.x.y\nLine: 4\n"},
  };
  for (const auto& c : cases) {
    CDiagLog::Clear();
    EXPECT_EQ(1, CDiagLog::ReportSystemError(c.error, c.source, c.line));
    EXPECT_EQ(c.expected, LogText());
  }
}

TEST_F(LogFixture, LongReportIsCutAndLosesItsFinalFeed) {
  gCtrlHeld = true;
  CDiagLog log;
  log.Init("wbremote.log", 0, nullptr);
  CDiagLog::Clear();
  const std::string source = "/src/" + std::string(480, 'n') + ".cpp";
  EXPECT_EQ(1, CDiagLog::ReportSystemError(5, source.c_str(), 1));
  const std::string text = LogText();
  EXPECT_EQ(511u, text.size());
  EXPECT_NE('\n', text.back());
}

TEST_F(LogFixture, LogPathIsTheFullPathOrNotAvailable) {
  char out[WB_MAX_FULL_PATH];
  CDiagLog::GetLogPath(out);
  EXPECT_STREQ("Not Available...", out);

  gCtrlHeld = true;
  CDiagLog log;
  log.Init("wbremote.log", 7, nullptr);
  CDiagLog::GetLogPath(out);
  EXPECT_EQ(folder_.path() + "/wbremote.log", out);

  {
    CFile holder;  // another holder keeps the file to itself
    ASSERT_TRUE(holder.Open("wbremote.log", CFile::modeRead | CFile::shareExclusive));
    CDiagLog::GetLogPath(out);
    EXPECT_STREQ("Not Available...", out);
    EXPECT_EQ(0, CDiagLog::ReportSystemError(5, "a.cpp", 1));
  }
  std::remove("wbremote.log");
  CDiagLog::GetLogPath(out);
  EXPECT_STREQ("Not Available...", out);
}

// --- failures inside a line, through the file-operations seam -------------

struct FaultOps {
  static inline std::atomic<int> failSeek{0}, failWrite{0}, opens{0}, closes{0};
  static inline std::atomic<bool> blockWrite{false}, inWrite{false};
  static inline std::atomic<bool> release{false};

  static int Open(const char* p, int a, bool c, bool t) {
    ++opens;
    return WbSystemFileOps()->open(p, a, c, t);
  }
  static int64_t SeekEnd(int fd) {
    if (failSeek.load() && failSeek-- > 0) return -ESPIPE;
    return WbSystemFileOps()->seekEnd(fd);
  }
  static int64_t Write(int fd, const void* b, size_t n) {
    if (blockWrite.load()) {
      inWrite = true;
      for (int i = 0; i < 20000 && !release.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (failWrite.load() && failWrite-- > 0) return -ENOSPC;
    return WbSystemFileOps()->write(fd, b, n);
  }
  static int Close(int fd) {
    ++closes;
    return WbSystemFileOps()->close(fd);
  }
  static const WbFileOps* Table() {
    static WbFileOps ops = *WbSystemFileOps();
    ops.open = Open;
    ops.seekEnd = SeekEnd;
    ops.write = Write;
    ops.close = Close;
    return &ops;
  }
};

class LogFaultTest : public LogFixture {
 protected:
  void SetUp() override {
    LogFixture::SetUp();
    gCtrlHeld = true;
    log_.Init("wbremote.log", 7, nullptr);
    CDiagLog::Clear();
    FaultOps::opens = FaultOps::closes = 0;
    WbSetFileOps(FaultOps::Table());
  }
  void TearDown() override {
    WbSetFileOps(nullptr);
    FaultOps::failSeek = FaultOps::failWrite = 0;
    FaultOps::blockWrite = false;
    FaultOps::release = false;
    LogFixture::TearDown();
  }
  CDiagLog log_;
};

TEST_F(LogFaultTest, FailedSeekOrWriteClosesTheFileAndFreesTheGuard) {
  const struct {
    int seeks, writes;
  } faults[] = {{1, 0}, {2, 0}, {0, 1}, {0, 2}, {0, 3}};
  for (const auto& f : faults) {
    FaultOps::failSeek = f.seeks;
    FaultOps::failWrite = f.writes;
    const int before = FaultOps::opens.load();
    EXPECT_EQ(0, CDiagLog::Write("doomed"));
    EXPECT_EQ(FaultOps::opens.load(), FaultOps::closes.load());
    EXPECT_EQ(before + 1, FaultOps::opens.load());
    FaultOps::failSeek = FaultOps::failWrite = 0;
    EXPECT_EQ(1, CDiagLog::Write("fine"));  // the guard was dropped
  }
  FaultOps::failWrite = 1;
  EXPECT_EQ(0, CDiagLog::ReportSystemError(5, "a.cpp", 1));
  EXPECT_EQ(FaultOps::opens.load(), FaultOps::closes.load());
  EXPECT_EQ(1, CDiagLog::ReportSystemError(5, "a.cpp", 1));
}

TEST_F(LogFaultTest, LinesAndReportsArriving_DuringALineAreDroppedWithoutWaiting) {
  FaultOps::blockWrite = true;
  std::atomic<int> firstResult{-1};
  std::thread writer([&] { firstResult = CDiagLog::Write("slow line"); });
  for (int i = 0; i < 20000 && !FaultOps::inWrite.load(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(FaultOps::inWrite.load());
  // The writer sits inside its write: everyone else gives up at once.
  EXPECT_EQ(0, CDiagLog::Write("dropped"));
  EXPECT_EQ(0, CDiagLog::ReportSystemError(5, "a.cpp", 1));
  FaultOps::blockWrite = false;
  FaultOps::release = true;
  writer.join();
  EXPECT_EQ(1, firstResult.load());
  EXPECT_EQ(1, CDiagLog::Write("next"));
  const std::string text = LogText();
  EXPECT_THAT(text, ::testing::HasSubstr("slow line"));
  EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("dropped")));
  EXPECT_THAT(text, ::testing::Not(::testing::HasSubstr("System Error")));
}

TEST_F(LogFixture, ConcurrentWritersNeverInterleave) {
  WbSetClock(nullptr);  // the real clock: stamps change while writing
  gCtrlHeld = true;
  CDiagLog log;
  log.Init("wbremote.log", 7, nullptr);
  CDiagLog::Clear();
  constexpr int kThreads = 8, kLines = 2000;
  std::atomic<int> written{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &written] {
      for (int i = 0; i < kLines; ++i) written += CDiagLog::Write("thread %d line %d %s", t, i, "payload");
    });
  }
  for (auto& th : threads) th.join();
  const std::string text = LogText();
  const std::regex line(R"(\d\d:\d\d:\d\d - thread \d line \d+ payload\r)");
  size_t start = 0;
  int lines = 0;
  while (start < text.size()) {
    const size_t end = text.find('\n', start);
    ASSERT_NE(std::string::npos, end) << "unterminated tail";
    const std::string one = text.substr(start, end - start);
    ASSERT_TRUE(std::regex_match(one, line)) << one;
    ++lines;
    start = end + 1;
  }
  EXPECT_EQ(written.load(), lines);
  EXPECT_GT(lines, 0);
  EXPECT_LE(lines, kThreads * kLines);
}

}  // namespace
