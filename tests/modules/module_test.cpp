// The module layer: where LoadLibraryA finds a bare name, what the handles
// give back, string resources and their bounds, and a library's start-up
// reaching the loader.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/library_startup.h"
#include "platform/module.h"
#include "platform/resource_table.h"
#include "support/scratch.h"

namespace {

// The program's own resources, found through a null module handle.
constexpr WbResourceEntry kProgramEntries[] = {
    {WB_RT_STRING, 1, "program string", 14},
};
constexpr WbResourceDirectory kProgramDirectory = {WB_RESOURCE_MAGIC, 1, kProgramEntries};

}  // namespace

WB_EXPORT_RESOURCES(kProgramDirectory)

namespace {

const std::string kFixtures = WB_FIXTURE_DIR;

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? resolved : path;
}

// --- Search order ---------------------------------------------------------

struct SearchCase {
  const char* name;
  bool inProgramFolder;
  bool inCurrentFolder;
  bool onLibraryPath;
  const char* request;   // what the host asks for
  const char* expected;  // "program", "current", "path", or "null 126"
};

class ModuleSearch : public ::testing::TestWithParam<SearchCase> {};

TEST_P(ModuleSearch, FindsTheFirstCopyInSearchOrder) {
  const SearchCase& c = GetParam();
  wbtest::ScratchDir scratch;
  const std::string program = scratch.Sub("program");
  const std::string current = scratch.Sub("current");
  const std::string path = scratch.Sub("path");
  ASSERT_TRUE(wbtest::CopyFile(kFixtures + "/module_host", program + "/module_host"));
  const std::string library = kFixtures + "/fixture_strings.dll";
  if (c.inProgramFolder) {
    ASSERT_TRUE(wbtest::CopyFile(library, program + "/probe.dll"));
  }
  if (c.inCurrentFolder) {
    ASSERT_TRUE(wbtest::CopyFile(library, current + "/probe.dll"));
  }
  if (c.onLibraryPath) {
    ASSERT_TRUE(wbtest::CopyFile(library, path + "/probe.dll"));
  }

  std::string out = wbtest::Run(current, "LD_LIBRARY_PATH='" + path + "' '" + program +
                                             "/module_host' load '" + c.request + "'");
  std::string expected = c.expected;
  if (expected == "program") expected = "loaded " + RealPath(program) + "/probe.dll";
  if (expected == "current") expected = "loaded " + RealPath(current) + "/probe.dll";
  if (expected == "path") expected = "loaded " + RealPath(path) + "/probe.dll";
  EXPECT_EQ(out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ModuleSearch,
    ::testing::Values(SearchCase{"Everywhere", true, true, true, "probe.dll", "program"},
                      SearchCase{"CurrentAndPath", false, true, true, "probe.dll", "current"},
                      SearchCase{"PathOnly", false, false, true, "probe.dll", "path"},
                      SearchCase{"Nowhere", false, false, false, "probe.dll", "null 126"},
                      SearchCase{"NoExtensionMeansDll", false, true, false, "probe", "current"},
                      SearchCase{"PathWithSlashSkipsTheSearch", true, true, false, "./probe.dll",
                                 "current"},
                      SearchCase{"MissingPathIsNotSearched", true, false, false, "./probe.dll",
                                 "null 126"}),
    [](const ::testing::TestParamInfo<SearchCase>& info) { return std::string(info.param.name); });

// --- Handles and resources ----------------------------------------------------

TEST(Module, HandlesAreCountedAndCheckedAndNameTheirFile) {
  const std::string path = kFixtures + "/fixture_strings.dll";
  HMODULE first = LoadLibraryA(path.c_str());
  ASSERT_NE(first, nullptr);
  HMODULE second = LoadLibraryA(path.c_str());
  EXPECT_EQ(first, second);

  char name[MAX_PATH];
  DWORD n = GetModuleFileNameA(first, name, sizeof(name));
  EXPECT_EQ(std::string(name, n), RealPath(path));
  char cut[6];
  EXPECT_EQ(GetModuleFileNameA(first, cut, sizeof(cut)), 5u);
  EXPECT_EQ(std::string(cut), RealPath(path).substr(0, 5));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

  EXPECT_NE(GetProcAddress(first, WB_RESOURCE_DIRECTORY_SYMBOL), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(first, "NoSuchFunction"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  EXPECT_TRUE(FreeLibrary(second));
  // Still loaded for the first handle.
  EXPECT_EQ(GetModuleFileNameA(first, name, sizeof(name)), RealPath(path).size());
  EXPECT_TRUE(FreeLibrary(first));
  EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
  // A freed handle is no longer one.
  EXPECT_FALSE(FreeLibrary(first));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(GetModuleFileNameA(first, name, sizeof(name)), 0u);
}

TEST(Module, NullHandleIsTheRunningProgram) {
  char name[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, name, sizeof(name));
  EXPECT_EQ(std::string(name, n), RealPath("/proc/self/exe"));

  // The program's own table, even while a loaded library exports one too.
  HMODULE library = LoadLibraryA((kFixtures + "/fixture_strings.dll").c_str());
  ASSERT_NE(library, nullptr);
  char text[64];
  EXPECT_EQ(LoadStringA(nullptr, 1, text, sizeof(text)), 14);
  EXPECT_STREQ(text, "program string");
  EXPECT_EQ(LoadStringA(library, 1, text, sizeof(text)), 5);
  EXPECT_STREQ(text, "short");
  FreeLibrary(library);
}

TEST(Module, LoadingAFileThatIsNoLibraryFails) {
  wbtest::ScratchDir scratch;
  wbtest::WriteFile(scratch.path() + "/text.dll", "not a library");
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA((scratch.path() + "/text.dll").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

struct StringCase {
  const char* name;
  UINT id;
  int bufferMax;
  int expectedCount;
  const char* expectedText;
};

class LoadStringBounds : public ::testing::TestWithParam<StringCase> {
 protected:
  static void SetUpTestSuite() { library_ = LoadLibraryA((kFixtures + "/fixture_strings.dll").c_str()); }
  static void TearDownTestSuite() { FreeLibrary(library_); }
  static HMODULE library_;
};
HMODULE LoadStringBounds::library_ = nullptr;

TEST_P(LoadStringBounds, CopiesAtMostBufferMaxMinusOneAndTerminates) {
  const StringCase& c = GetParam();
  ASSERT_NE(library_, nullptr);
  // A guard band after the offered part shows any write past it.
  char buffer[256];
  memset(buffer, '#', sizeof(buffer));
  EXPECT_EQ(LoadStringA(library_, c.id, buffer, c.bufferMax), c.expectedCount);
  EXPECT_STREQ(buffer, c.expectedText);
  for (size_t i = static_cast<size_t>(c.bufferMax); i < sizeof(buffer); ++i) {
    ASSERT_EQ(buffer[i], '#') << "written past the buffer at " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LoadStringBounds,
    ::testing::Values(
        StringCase{"Fits", 1, 64, 5, "short"}, StringCase{"ExactFit", 1, 6, 5, "short"},
        StringCase{"OneShort", 1, 5, 4, "shor"}, StringCase{"OnlyRoomForNul", 1, 1, 0, ""},
        StringCase{"EmptyString", 2, 64, 0, ""}, StringCase{"Absent", 77, 64, 0, ""},
        StringCase{"LongerThanBuffer", 3, 11, 10, "0123456789"},
        StringCase{"StopsAtNul", 4, 64, 3, "cut"}, StringCase{"IdAboveTable", 0x10001, 64, 0, ""}),
    [](const ::testing::TestParamInfo<StringCase>& info) { return std::string(info.param.name); });

TEST(Module, LoadStringRefusesUnusableBuffers) {
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(LoadStringA(nullptr, 1, buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(LoadStringA(nullptr, 1, nullptr, 10), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// --- A library's start-up and the loader -------------------------------------

struct StartupCase {
  const char* name;
  const char* mode;
  bool loads;
};

class LibraryStartup : public ::testing::TestWithParam<StartupCase> {};

TEST_P(LibraryStartup, LoadLibraryReportsAFailedStartUpAndUnloadsTheLibrary) {
  const StartupCase& c = GetParam();
  wbtest::ScratchDir scratch;
  const std::string events = scratch.path() + "/events";
  wbtest::ScopedEnv eventsEnv("WB_FIXTURE_EVENTS", events);
  wbtest::ScopedEnv modeEnv("WB_FIXTURE_INIT", c.mode);
  const std::string path = kFixtures + "/fixture_startup.dll";

  SetLastError(0);
  HMODULE module = LoadLibraryA(path.c_str());
  if (c.loads) {
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(wbtest::ReadFile(events), "construct\ninit\n");
    EXPECT_TRUE(FreeLibrary(module));
  } else {
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  }
  // Teardown ran, in order, and the library is gone.
  EXPECT_EQ(wbtest::ReadFile(events), "construct\ninit\nexit\ndestroy\n");
  EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

TEST_P(LibraryStartup, PlainDlopenGetsTheSameStartUpAndTeardown) {
  const StartupCase& c = GetParam();
  wbtest::ScratchDir scratch;
  const std::string events = scratch.path() + "/events";
  wbtest::ScopedEnv eventsEnv("WB_FIXTURE_EVENTS", events);
  wbtest::ScopedEnv modeEnv("WB_FIXTURE_INIT", c.mode);
  const std::string path = kFixtures + "/fixture_startup.dll";

  void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(dl, nullptr) << dlerror();
  const WbStartupRecord* record = WbFindStartupRecord(dl);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->state, c.loads ? WB_STARTUP_DONE : WB_STARTUP_FAILED);
  EXPECT_EQ(wbtest::ReadFile(events), "construct\ninit\n");
  dlclose(dl);
  EXPECT_EQ(wbtest::ReadFile(events), "construct\ninit\nexit\ndestroy\n");
  EXPECT_EQ(dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Table, LibraryStartup,
                         ::testing::Values(StartupCase{"Succeeds", "true", true},
                                           StartupCase{"ReturnsFalse", "false", false},
                                           StartupCase{"Throws", "throw", false}),
                         [](const ::testing::TestParamInfo<StartupCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(LibraryStartup, LibrariesWithoutARecordLoadAsUsual) {
  void* dl = dlopen((kFixtures + "/fixture_strings.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(dl, nullptr);
  EXPECT_EQ(WbFindStartupRecord(dl), nullptr);
  dlclose(dl);
  // This program has no start-up of its own.
  EXPECT_EQ(WbGetLibraryStartupState(), WB_STARTUP_PENDING);
}

}  // namespace
