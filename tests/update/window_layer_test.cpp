// The pieces under the update procedure: dialog units, the copy that never
// leaves a half-written file, the file finder and the path buffers.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/ui/dialog_units.h"
#include "platform/ui/file_ops.h"
#include "platform/ui/icon.h"
#include "wbupdate/update_paths.h"
#include "wbupdate/update_resources.h"

namespace fs = std::filesystem;

namespace {

std::string Read(const fs::path& path) {
  std::ifstream in(path.string());
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class FileOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/wbfiles-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    chmod(dir_.c_str(), 0700);
    fs::remove_all(dir_);
  }
  size_t EntryCount() const { return std::distance(fs::directory_iterator(dir_), fs::directory_iterator()); }
  fs::path dir_;
};

TEST(DialogUnitsTest, LiberationSansAtEightPointsGivesTheOriginalBaseUnits) {
  EXPECT_EQ(WbSubstituteFontName("MS Sans Serif"), "Liberation Sans");
  EXPECT_EQ(WbFontPixelSize(8), 11);
  WbDialogBaseUnits units = WbKnownBaseUnits("Liberation Sans", 11);
  EXPECT_EQ(units.cx, 6);
  EXPECT_EQ(units.cy, 13);
  // The main dialog, 258 by 95 units, and its button 1 at 15,65 sized 56 by 14.
  EXPECT_EQ(WbDialogUnitsToPixelsX(258, units), 387);
  EXPECT_EQ(WbDialogUnitsToPixelsY(95, units), 154);
  EXPECT_EQ(WbDialogUnitsToPixelsX(15, units), 22);
  EXPECT_EQ(WbDialogUnitsToPixelsY(65, units), 105);
  EXPECT_EQ(WbDialogUnitsToPixelsY(14, units), 22);
  // The average width of the 52 letters, rounded as there: 311 pixels -> 6.
  EXPECT_EQ(WbBaseUnitsFromMetrics(311, 13).cx, 6);
  EXPECT_EQ(WbBaseUnitsFromMetrics(260, 13).cx, 5);
}

TEST(IconTest, ProgramIconHasValid32And16PixelImagesOf16Colours) {
  ASSERT_EQ(kUpdateIconGroup.count, 2);
  EXPECT_EQ(kUpdateIconGroup.images[0].width, 32);
  EXPECT_EQ(kUpdateIconGroup.images[1].width, 16);
  for (int i = 0; i < kUpdateIconGroup.count; ++i) EXPECT_TRUE(WbIconImageIsValid(kUpdateIconGroup.images[i]));
  const char* const badRows[] = {"0F", "0"};
  IconImage bad{2, 2, kStandardIconPalette, badRows};
  EXPECT_FALSE(WbIconImageIsValid(bad));
  EXPECT_EQ(WbIconPixel(bad, 5, 0), -1);
}

TEST_F(FileOpsTest, CopyReplacesTheDestinationAndKeepsNoTemporaryFile) {
  std::ofstream((dir_ / "new.dll").string()) << "new contents";
  std::ofstream((dir_ / "wbremote.dll").string()) << "old";
  // Mixed separators name the same files.
  std::string source = dir_.string() + "\\new.dll";
  std::string destination = dir_.string() + "/wbremote.dll";
  ASSERT_TRUE(CopyFileA(source.c_str(), destination.c_str(), FALSE));
  EXPECT_EQ(Read(dir_ / "wbremote.dll"), "new contents");
  EXPECT_EQ(EntryCount(), 2u);
  EXPECT_FALSE(CopyFileA(source.c_str(), destination.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(FileOpsTest, FailedCopiesLeaveTheOldFileWhole) {
  std::ofstream((dir_ / "wbremote.dll").string()) << "old";
  std::string destination = (dir_ / "wbremote.dll").string();
  EXPECT_FALSE(CopyFileA((dir_ / "missing.dll").c_str(), destination.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Read(destination), "old");

  std::ofstream((dir_ / "new.dll").string()) << "new";
  if (geteuid() != 0) {
    // A folder that may not be written: the temporary file cannot be made.
    ASSERT_EQ(chmod(dir_.c_str(), 0500), 0);
    EXPECT_FALSE(CopyFileA((dir_ / "new.dll").c_str(), destination.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ASSERT_EQ(chmod(dir_.c_str(), 0700), 0);
    EXPECT_EQ(Read(destination), "old");
  }
  // A destination that is a folder is refused.
  fs::create_directories(dir_ / "folder.dll");
  EXPECT_FALSE(CopyFileA((dir_ / "new.dll").c_str(), (dir_ / "folder.dll").c_str(), FALSE));
  EXPECT_EQ(EntryCount(), 3u);
  // A FIFO in place of the source is refused at once instead of blocking
  // the open until a writer comes.
  ASSERT_EQ(mkfifo((dir_ / "fifo.dll").c_str(), 0600), 0);
  EXPECT_FALSE(CopyFileA((dir_ / "fifo.dll").c_str(), destination.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Read(destination), "old");
}

TEST_F(FileOpsTest, FinderMatchesAnyEntryOfAnExistingFolder) {
  std::string empty = dir_.string() + "\\*.*";
  CFileFind finder;
  EXPECT_TRUE(finder.FindFile(empty.c_str(), 0));  // "." and ".." at least
  std::string missing = dir_.string() + "\\nowhere\\*.*";
  EXPECT_FALSE(finder.FindFile(missing.c_str(), 0));
  std::ofstream((dir_ / "App.EXE").string()) << "x";
  std::string exe = dir_.string() + "/*.exe";
  ASSERT_TRUE(finder.FindFile(exe.c_str(), 0));
  finder.FindNextFile();
  EXPECT_EQ(finder.GetFileName(), "App.EXE");
  std::string dll = dir_.string() + "/*.dll";
  EXPECT_FALSE(finder.FindFile(dll.c_str(), 0));
}

TEST(WildcardTest, MatchesAsTheOriginalPlatform) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.*", "README", true}, {"*.*", ".", true},        {"*.dll", "wbremote.DLL", true},
      {"*.dll", "wbremote.dl", false}, {"wb?emote.*", "wbremote.dll", true}, {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},     {"x.*", "x", true},                   {"", "x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(WbWildcardMatch(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

TEST(UpdatePathsTest, FolderFromValueStopsAtTheLastSeparatorOfTheStoredBytes) {
  UpdatePath folder;
  const char value[] = "C:\\Scan\\bin\\app.exe";
  ApplicationFolderFromValue(reinterpret_cast<const BYTE*>(value), sizeof value, folder);
  EXPECT_STREQ(folder, "C:\\Scan\\bin");
  // Bytes past the size stored are not searched.
  ApplicationFolderFromValue(reinterpret_cast<const BYTE*>(value), 8, folder);
  EXPECT_STREQ(folder, "C:\\Scan");
  // A full 128-byte value without a zero: the folder still ends inside.
  BYTE full[128];
  std::memset(full, 'a', sizeof full);
  full[126] = '\\';
  ApplicationFolderFromValue(full, sizeof full, folder);
  EXPECT_EQ(std::strlen(folder), 126u);
}

TEST(UpdatePathsTest, OwnFolderAndSourceMustFitTheirBuffers) {
  // An own folder of 115 characters with its separator still takes
  // "wbremote.dll"; one of 116 does not.
  for (size_t length : {115u, 116u}) {
    UpdatePath own;
    std::string path = std::string(length - 1, 'd') + "/wbupdate";
    ASSERT_LT(path.size(), sizeof own);
    std::memcpy(own, path.c_str(), path.size() + 1);
    ASSERT_TRUE(CutAfterLastSeparator(own));
    EXPECT_EQ(std::strlen(own), length);
    UpdatePath source;
    EXPECT_EQ(JoinUpdatePath(source, own, "wbremote.dll"), length == 115) << length;
    if (length == 116) {
      EXPECT_STREQ(source, "");
    }
  }
  UpdatePath bare = "wbupdate";
  EXPECT_FALSE(CutAfterLastSeparator(bare));
}

}  // namespace
