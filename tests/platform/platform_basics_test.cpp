#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file.h"
#include "platform/key_state.h"
#include "platform/path_split.h"
#include "platform/system_messages.h"
#include "platform/window.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(SplitPath, PartsOfPaths) {
  const struct {
    const char* path;
    const char *drive, *dir, *fname, *ext;
  } cases[] = {
      {"C:\\src\\wbremote\\log.cpp", "C:", "\\src\\wbremote\\", "log", ".cpp"},
      {"/home/dev/a.b/c", "", "/home/dev/a.b/", "c", ""},
      {"log.cpp", "", "", "log", ".cpp"},
      {"Makefile", "", "", "Makefile", ""},
      {"dir/", "", "dir/", "", ""},
      {"x:name.tar.gz", "x:", "", "name.tar", ".gz"},
      {".hidden", "", "", "", ".hidden"},
      {"", "", "", "", ""},
  };
  for (const auto& c : cases) {
    char drive[512], dir[512], fname[512], ext[512];
    ASSERT_EQ(0, _splitpath_s(c.path, drive, sizeof drive, dir, sizeof dir, fname, sizeof fname, ext, sizeof ext));
    EXPECT_STREQ(c.drive, drive) << c.path;
    EXPECT_STREQ(c.dir, dir) << c.path;
    EXPECT_STREQ(c.fname, fname) << c.path;
    EXPECT_STREQ(c.ext, ext) << c.path;
  }
}

TEST(SplitPath, NeverWritesPastItsBuffers) {
  const std::string longName = "/d/" + std::string(400, 'n') + ".ext";
  char fname[16], ext[8];
  std::memset(fname, 'x', sizeof fname);
  EXPECT_EQ(34, _splitpath_s(longName.c_str(), nullptr, 0, nullptr, 0, fname, sizeof fname, ext, sizeof ext));
  EXPECT_STREQ("", fname);
  EXPECT_STREQ("", ext);
  EXPECT_EQ(22, _splitpath_s(nullptr, nullptr, 0, nullptr, 0, fname, sizeof fname, ext, sizeof ext));

  // The unsized form cuts each part to the classic sizes.
  char dir[_MAX_DIR + 16];
  std::memset(dir, 'x', sizeof dir);
  const std::string deep = "/" + std::string(600, 'd') + "/f.c";
  char name[_MAX_FNAME];
  _splitpath(deep.c_str(), nullptr, dir, name, nullptr);
  EXPECT_EQ(_MAX_DIR - 1u, std::strlen(dir));
  EXPECT_EQ('x', dir[_MAX_DIR]);
  EXPECT_STREQ("f", name);
}

TEST(SystemMessages, KnownUnknownAndShortBuffers) {
  char buffer[512];
  const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  const DWORD lang = MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT);
  EXPECT_EQ(0x0800u, lang);
  DWORD n = FormatMessageA(flags, nullptr, 5, lang, buffer, sizeof buffer, nullptr);
  EXPECT_EQ(std::strlen("Access was refused."), n);
  EXPECT_STREQ("Access was refused.", buffer);

  // Every RPC status the runtime raises has a text.
  for (DWORD code : {1700u, 1702u, 1703u, 1704u, 1717u, 1722u, 1726u, 1727u, 1728u, 1745u, 1753u, 1783u, 1818u, 1830u}) {
    EXPECT_GT(FormatMessageA(flags, nullptr, code, lang, buffer, sizeof buffer, nullptr), 0u) << code;
  }
  SetLastError(0);
  EXPECT_EQ(0u, FormatMessageA(flags, nullptr, 0x12345, lang, buffer, sizeof buffer, nullptr));
  EXPECT_EQ(ERROR_MR_MID_NOT_FOUND, GetLastError());
  EXPECT_EQ(0u, FormatMessageA(flags, nullptr, 5, lang, buffer, 5, nullptr));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, lang, buffer, sizeof buffer, nullptr));
  EXPECT_EQ(ERROR_INVALID_PARAMETER, GetLastError());
  EXPECT_EQ(0u, FormatMessageA(flags, nullptr, 5, MAKELANGID(0x07, 1), buffer, sizeof buffer, nullptr));
  EXPECT_EQ(ERROR_RESOURCE_LANG_NOT_FOUND, GetLastError());
}

TEST(FileErrors, OperatingSystemErrorsMapToCauses) {
  const struct {
    int err;
    int cause;
  } cases[] = {
      {ENOENT, CFileException::fileNotFound},   {ENOTDIR, CFileException::badPath},
      {ENAMETOOLONG, CFileException::badPath},  {EMFILE, CFileException::tooManyOpenFiles},
      {EACCES, CFileException::accessDenied},   {EROFS, CFileException::accessDenied},
      {EBADF, CFileException::invalidFile},     {ESPIPE, CFileException::badSeek},
      {EIO, CFileException::hardIO},            {EBUSY, CFileException::sharingViolation},
      {EAGAIN, CFileException::lockViolation},  {ENOSPC, CFileException::diskFull},
      {EDQUOT, CFileException::diskFull},       {EXDEV, CFileException::hardIO},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.cause, CFileException::OsErrorToCause(TranslateSystemError(c.err))) << c.err;
  }
}

class FileTest : public ::testing::Test {
 protected:
  wbtest::TempFolder folder_;
};

TEST_F(FileTest, CreateAlwaysOpenExistingAndFullPath) {
  CFile file;
  CFileException error;
  EXPECT_FALSE(file.Open("missing.txt", CFile::modeWrite | CFile::shareDenyNone, &error));
  EXPECT_EQ(CFileException::fileNotFound, error.m_cause);
  EXPECT_FALSE(file.Open("nofolder/x.txt", CFile::modeCreate | CFile::modeWrite, &error));
  EXPECT_EQ(CFileException::fileNotFound, error.m_cause);

  wbtest::WriteFile("a.txt", "old content");
  ASSERT_TRUE(file.Open("a.txt", CFile::modeCreate | CFile::modeRead | CFile::shareDenyNone));
  EXPECT_EQ(folder_.path() + "/a.txt", file.GetFilePath());
  file.Close();
  EXPECT_EQ("", wbtest::ReadFile("a.txt"));

  ASSERT_TRUE(file.Open("a.txt", CFile::modeWrite | CFile::shareDenyNone));
  EXPECT_EQ(0, file.SeekToEnd());
  EXPECT_TRUE(file.Write("abc", 3));
  EXPECT_EQ(3, file.SeekToEnd());
  EXPECT_TRUE(file.Write("de", 2));
  file.Close();
  EXPECT_EQ("abcde", wbtest::ReadFile("a.txt"));
  EXPECT_FALSE(file.Write("x", 1, &error));
  EXPECT_EQ(CFileException::invalidFile, error.m_cause);
}

TEST_F(FileTest, NotSharedRefusesOthersAndIsNeverEmptiedByThem) {
  wbtest::WriteFile("s.txt", "precious");
  CFile holder;
  ASSERT_TRUE(holder.Open("s.txt", CFile::modeRead | CFile::shareExclusive));
  CFile other;
  CFileException error;
  for (UINT flags : {CFile::modeWrite | CFile::shareDenyNone, CFile::modeRead | CFile::shareExclusive,
                     CFile::modeCreate | CFile::modeWrite | CFile::shareDenyNone}) {
    EXPECT_FALSE(other.Open("s.txt", flags, &error));
    EXPECT_EQ(CFileException::sharingViolation, error.m_cause);
  }
  EXPECT_EQ("precious", wbtest::ReadFile("s.txt"));
  holder.Close();
  EXPECT_TRUE(other.Open("s.txt", CFile::modeWrite | CFile::shareDenyNone));
  // Shared holders admit each other but not an exclusive one.
  CFile second;
  EXPECT_TRUE(second.Open("s.txt", CFile::modeRead | CFile::shareDenyNone));
  EXPECT_FALSE(holder.Open("s.txt", CFile::modeRead | CFile::shareExclusive, &error));
  EXPECT_EQ(CFileException::sharingViolation, error.m_cause);
}

TEST_F(FileTest, SharingHoldsBetweenProcesses) {
  wbtest::WriteFile("p.txt", "x");
  int ready[2], done[2];
  ASSERT_EQ(0, pipe(ready));
  ASSERT_EQ(0, pipe(done));
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    CFile mine;
    char c = mine.Open("p.txt", CFile::modeRead | CFile::shareExclusive) ? 'y' : 'n';
    if (write(ready[1], &c, 1) != 1) _exit(2);
    if (read(done[0], &c, 1) != 1) _exit(3);  // hold until the parent has tried
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(1, read(ready[0], &c, 1));
  ASSERT_EQ('y', c);
  CFile file;
  CFileException error;
  EXPECT_FALSE(file.Open("p.txt", CFile::modeWrite | CFile::shareDenyNone, &error));
  EXPECT_EQ(CFileException::sharingViolation, error.m_cause);
  ASSERT_EQ(1, write(done[1], "g", 1));
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(0, WEXITSTATUS(status));
  EXPECT_TRUE(file.Open("p.txt", CFile::modeWrite | CFile::shareDenyNone));
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
}

TEST(KeyState, WithoutDisplayTheEnvironmentHoldsTheKeys) {
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  unsetenv("DISPLAY");
  const struct {
    const char* held;
    bool ctrl, shift;
  } cases[] = {
      {"ctrl", true, false},   {"shift, CTRL", true, true}, {"control", true, false},
      {"", false, false},      {"ctrlx,shif", false, false}, {",,shift,,", false, true},
  };
  for (const auto& c : cases) {
    setenv("WB_HELD_KEYS", c.held, 1);
    EXPECT_EQ(c.ctrl, (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0) << c.held;
    EXPECT_EQ(c.shift, (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0) << c.held;
  }
  unsetenv("WB_HELD_KEYS");
  EXPECT_EQ(0, GetAsyncKeyState(VK_CONTROL));
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
}

TEST(KeyState, TheReaderCanBeReplaced) {
  WbKeyStateReader old = WbSetKeyStateReader([](int vk) -> SHORT { return vk == VK_CONTROL ? SHORT(0x8000) : 0; });
  EXPECT_NE(0, GetAsyncKeyState(VK_CONTROL) & 0x8000);
  EXPECT_EQ(0, GetAsyncKeyState(VK_SHIFT));
  WbSetKeyStateReader(old);
}

TEST(WindowQueue, PostedMessagesArriveInOrder) {
  SetLastError(0);
  EXPECT_FALSE(PostMessageA(nullptr, WM_USER, 0, 0));
  EXPECT_EQ(ERROR_INVALID_WINDOW_HANDLE, GetLastError());
  HWND w = WbCreateMessageWindow("q");
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(PostMessageA(w, WM_USER + i, i, -i));
  MSG m;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(WbPeekMessage(w, &m));
    EXPECT_EQ(static_cast<UINT>(WM_USER + i), m.message);
    EXPECT_EQ(static_cast<WPARAM>(i), m.wParam);
    EXPECT_EQ(-i, m.lParam);
  }
  EXPECT_FALSE(WbPeekMessage(w, &m));
  WbDestroyMessageWindow(w);
}

}  // namespace
