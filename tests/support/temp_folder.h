// A fresh temporary folder that becomes the current folder for one test and
// is removed with everything in it afterwards.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace wbtest {

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/wbtest.XXXXXX";
    const char* made = ::mkdtemp(pattern);
    if (!made) std::abort();
    path_ = made;
    old_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::filesystem::path old_;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

}  // namespace wbtest
