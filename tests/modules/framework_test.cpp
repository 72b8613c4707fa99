// The framework layer: module state switching, the program driver
// AfxWinMain, and CString's loading and formatting.
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/cstring.h"
#include "platform/framework.h"

namespace {

const std::string kFixtures = WB_FIXTURE_DIR;

TEST(ModuleState, SetReturnsThePreviousAndScopesRestoreIt) {
  AFX_MODULE_STATE* own = AfxGetStaticModuleState();
  EXPECT_EQ(AfxGetModuleState(), own);
  AFX_MODULE_STATE other;
  {
    AFX_MAINTAIN_STATE scope(&other);
    EXPECT_EQ(scope.m_pPrevModuleState, own);
    EXPECT_EQ(AfxGetModuleState(), &other);
    {
      AFX_MAINTAIN_STATE inner(own);
      EXPECT_EQ(AfxGetModuleState(), own);
    }
    EXPECT_EQ(AfxGetModuleState(), &other);
    // Another thread keeps its own current state.
    AFX_MODULE_STATE* seen = nullptr;
    std::thread([&] { seen = AfxGetModuleState(); }).join();
    EXPECT_EQ(seen, own);
  }
  EXPECT_EQ(AfxGetModuleState(), own);
}

TEST(ModuleState, ResourceHandleBelongsToTheCurrentState) {
  AFX_MODULE_STATE other;
  HMODULE library = LoadLibraryA((kFixtures + "/fixture_strings.dll").c_str());
  ASSERT_NE(library, nullptr);
  {
    AFX_MAINTAIN_STATE scope(&other);
    AfxSetResourceHandle(library);
    CString text;
    EXPECT_TRUE(text.LoadString(1));
    EXPECT_EQ(text, "short");
  }
  EXPECT_EQ(AfxGetResourceHandle(), nullptr);
  EXPECT_EQ(other.m_hCurrentResourceHandle, library);
  FreeLibrary(library);
}

TEST(CStringTest, LoadsWholeStringsAndFormats) {
  HMODULE library = LoadLibraryA((kFixtures + "/fixture_strings.dll").c_str());
  ASSERT_NE(library, nullptr);
  AfxSetResourceHandle(library);
  CString text;
  EXPECT_TRUE(text.LoadString(3));
  EXPECT_EQ(text.GetLength(), 144);
  EXPECT_FALSE(text.LoadString(77));
  EXPECT_TRUE(text.IsEmpty());
  AfxSetResourceHandle(nullptr);
  FreeLibrary(library);

  CString formatted;
  formatted.Format("%s %d: %s", "error", 1722, std::string(600, 'x').c_str());
  EXPECT_EQ(formatted.GetLength(), 6 + 4 + 2 + 600);
  formatted += "!";
  EXPECT_EQ(std::string(formatted).back(), '!');
}

// --- AfxWinMain ------------------------------------------------------------------

class ProgramApp : public CWinApp {
 public:
  enum Mode { kStop, kGoOn, kThrow };
  explicit ProgramApp(Mode mode) : CWinApp("program"), mode_(mode) {}
  BOOL InitInstance() override {
    steps += "init ";
    if (mode_ == kThrow) AfxThrowMemoryException();
    return mode_ == kGoOn;
  }
  int Run() override {
    steps += "run ";
    return CWinApp::Run();
  }
  int ExitInstance() override {
    steps += "exit";
    return mode_ == kStop ? -2 : 3;
  }
  std::string steps;

 private:
  Mode mode_;
};

TEST(AfxWinMainTest, RunsTheApplicationObjectAndReturnsItsExitCode) {
  EXPECT_EQ(AfxGetApp(), nullptr);
  EXPECT_EQ(AfxWinMain(), -1);  // no application object
  {
    ProgramApp app(ProgramApp::kStop);
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_EQ(AfxWinMain(), -2);
    EXPECT_EQ(app.steps, "init exit");
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    ProgramApp app(ProgramApp::kGoOn);
    EXPECT_EQ(AfxWinMain(), 3);
    EXPECT_EQ(app.steps, "init run exit");
  }
  {
    ProgramApp app(ProgramApp::kThrow);
    EXPECT_EQ(AfxWinMain(), -1);
    EXPECT_EQ(app.steps, "init ");
  }
}

TEST(Exceptions, MemoryExceptionIsAStaticObjectThatSurvivesDelete) {
  for (int i = 0; i < 2; ++i) {
    try {
      AfxThrowMemoryException();
    } catch (CException* e) {
      EXPECT_NE(dynamic_cast<CMemoryException*>(e), nullptr);
      e->Delete();
    }
  }
}

}  // namespace
