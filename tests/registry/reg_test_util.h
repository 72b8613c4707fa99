// Helpers for the registry tests: a scratch registry folder that
// WB_REGISTRY_DIR points at while a test runs, hive files written in either
// encoding and replaced atomically, and a UTF-16LE encoder for test texts.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace regtest {

// UTF-16LE bytes of UTF-8 text (which the tests write well-formed).
inline std::string Utf16Le(std::string_view utf8, bool withMark) {
  std::string out;
  if (withMark) out += "\xFF\xFE";
  auto put = [&](uint32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
  };
  for (size_t i = 0; i < utf8.size();) {
    auto b = static_cast<uint8_t>(utf8[i]);
    uint32_t cp;
    size_t len;
    if (b < 0x80) { cp = b; len = 1; }
    else if (b < 0xE0) { cp = b & 0x1F; len = 2; }
    else if (b < 0xF0) { cp = b & 0x0F; len = 3; }
    else { cp = b & 0x07; len = 4; }
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

inline void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value == nullptr) unsetenv(name); else setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_.c_str(), old_->c_str(), 1); else unsetenv(name_.c_str());
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A fresh folder that WB_REGISTRY_DIR names while the object lives.
class ScratchRegistry {
 public:
  ScratchRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wbregXXXXXX").string();
    dir_ = mkdtemp(pattern.data());
    env_.emplace("WB_REGISTRY_DIR", dir_.c_str());
  }
  ~ScratchRegistry() {
    env_.reset();
    std::error_code ec;
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(dir_, ec);
  }

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path Hive(const char* root) const { return dir_ / (std::string(root) + ".reg"); }
  std::filesystem::path Machine() const { return Hive("HKEY_LOCAL_MACHINE"); }
  std::filesystem::path User() const { return Hive("HKEY_CURRENT_USER"); }

  // Writes the hive in place (same file, truncated and rewritten).
  void WriteMachine(std::string_view bytes) const { WriteFile(Machine(), bytes); }
  void WriteUser(std::string_view bytes) const { WriteFile(User(), bytes); }

  // Replaces the hive atomically: a new file renamed over the old one.
  void ReplaceMachine(std::string_view bytes, const std::string& tag) const {
    std::filesystem::path tmp = dir_ / ("HKEY_LOCAL_MACHINE.reg.new" + tag);
    WriteFile(tmp, bytes);
    std::filesystem::rename(tmp, Machine());
  }

 private:
  std::filesystem::path dir_;
  std::optional<ScopedEnv> env_;
};

// Reads a value as a string through a fresh open; nullopt with the status in
// *status when any step fails.
inline std::optional<std::string> ReadString(HKEY root, const char* subKey, const char* name,
                                             LONG* status = nullptr) {
  HKEY key = nullptr;
  LONG rc = RegOpenKeyExA(root, subKey, 0, KEY_READ, &key);
  if (rc == ERROR_SUCCESS) {
    char buffer[4096];
    DWORD size = sizeof(buffer);
    DWORD type = 0;
    rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size);
    RegCloseKey(key);
    if (rc == ERROR_SUCCESS) {
      if (status) *status = rc;
      return std::string(buffer, size > 0 && buffer[size - 1] == '\0' ? size - 1 : size);
    }
  }
  if (status) *status = rc;
  return std::nullopt;
}

}  // namespace regtest
