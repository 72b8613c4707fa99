// A scratch world for the start-up tests: a hive file of our own under
// $WB_REGISTRY_DIR, a current folder for wbremote.log, the Ctrl key held so
// that the log is on, and the log read back line by line without its time
// stamps.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/key_state.h"
#include "support/scratch.h"
#include "wbremote/log/diag_log.h"

namespace wbtest {

inline SHORT CtrlHeld(int key) { return key == VK_CONTROL ? static_cast<SHORT>(0x8000) : 0; }

// Sections of HKEY_LOCAL_MACHINE.reg.
constexpr const char* kClientKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client";
constexpr const char* kHistoryKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client\\History";
constexpr const char* kComputerNameKey =
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

// One .reg hive, written section by section.
class Hive {
 public:
  Hive& Key(const std::string& key) {
    text_ += "\r\n[" + key + "]\r\n";
    return *this;
  }
  // name=data, data already in .reg form ("\"text\"", "dword:...", "hex:...").
  Hive& Value(const std::string& name, const std::string& data) {
    text_ += "\"" + name + "\"=" + data + "\r\n";
    return *this;
  }
  Hive& String(const std::string& name, const std::string& text) {
    return Value(name, "\"" + text + "\"");
  }
  std::string Text() const { return "Windows Registry Editor Version 5.00\r\n" + text_; }

 private:
  std::string text_;
};

inline std::string HexValue(const std::vector<uint8_t>& bytes) {
  std::string out = "hex:";
  char two[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    snprintf(two, sizeof(two), i ? ",%02x" : "%02x", bytes[i]);
    out += two;
  }
  return out;
}

// The texts of wbremote.log: CR LF separated, each after its 11-byte time
// stamp; the date line keeps only "Date:".
inline std::vector<std::string> LogTexts(const std::string& path) {
  std::vector<std::string> lines;
  std::string all = ReadFile(path);
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find("\r\n", start);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(start, end - start);
    line = line.size() >= 11 && line[2] == ':' && line[8] == ' ' ? line.substr(11) : "UNSTAMPED " + line;
    if (line.rfind("Date: ", 0) == 0) line = "Date:";
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registryEnv_ = std::make_unique<ScopedEnv>("WB_REGISTRY_DIR", scratch_.path());
    folder_ = std::make_unique<CurrentFolder>(scratch_.path());
    previousReader_ = WbSetKeyStateReader(&CtrlHeld);
    diaglog::ResetForTest();
  }
  void TearDown() override {
    WbSetKeyStateReader(previousReader_);
    diaglog::ResetForTest();
    folder_.reset();
    registryEnv_.reset();
  }

  void WriteHive(const Hive& hive) {
    WriteFile(scratch_.path() + "/HKEY_LOCAL_MACHINE.reg", hive.Text());
  }
  std::vector<std::string> Log() const { return LogTexts(scratch_.path() + "/wbremote.log"); }
  bool LogExists() const { return Exists(scratch_.path() + "/wbremote.log"); }

  ScratchDir scratch_;

 private:
  std::unique_ptr<ScopedEnv> registryEnv_;
  std::unique_ptr<CurrentFolder> folder_;
  WbKeyStateReader previousReader_ = nullptr;
};

}  // namespace wbtest
