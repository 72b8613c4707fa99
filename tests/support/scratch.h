// Test helpers: scratch folders that remove themselves, file copies, and
// running a program in a folder of its own with its output captured.
#pragma once

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace wbtest {

class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/wbtest-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made ? made : "";
  }
  ~ScratchDir() {
    if (!path_.empty()) {
      nftw(path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
           16, FTW_DEPTH | FTW_PHYS);
    }
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string Sub(const std::string& name) const {
    std::string p = path_ + "/" + name;
    mkdir(p.c_str(), 0700);
    return p;
  }

 private:
  std::string path_;
};

inline bool CopyFile(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  if (!in || !out) return false;
  out << in.rdbuf();
  out.close();
  struct stat st;
  if (stat(from.c_str(), &st) == 0) chmod(to.c_str(), st.st_mode & 0777);
  return static_cast<bool>(out);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

inline bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Runs `command` through the shell in `folder`; returns its standard output.
inline std::string Run(const std::string& folder, const std::string& command) {
  std::string line = "cd '" + folder + "' && " + command;
  FILE* pipe = popen(line.c_str(), "r");
  if (!pipe) return "popen failed";
  std::string out;
  char buffer[512];
  size_t n;
  while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

// build/bin: $WB_BIN_DIR, or the folder of the test program, which lands there.
inline std::string BinDir() {
  const char* dir = getenv("WB_BIN_DIR");
  if (dir && dir[0]) return dir;
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  std::string self(buffer, n > 0 ? static_cast<size_t>(n) : 0);
  return self.substr(0, self.rfind('/'));
}

// The current folder for the life of the object.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    char buffer[4096];
    previous_ = getcwd(buffer, sizeof(buffer)) ? buffer : ".";
    if (chdir(folder.c_str()) != 0) previous_.clear();
  }
  ~CurrentFolder() {
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) abort();
  }

 private:
  std::string previous_;
};

// An environment variable set for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    const char* old = getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_) setenv(name_.c_str(), old_.c_str(), 1);
    else unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace wbtest
