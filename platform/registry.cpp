// The read-only registry of registry.h: where the hive files live, how they
// are read and kept, and the key handles.
//
// Ownership: a parsed hive is an immutable tree shared (shared_ptr) by the
// cache and by every handle opened on it, so a handle keeps the snapshot it
// was opened on while a newer file replaces the cached one. Handles are
// numbers looked up in a table, never pointers the caller could hand back
// after closing them.
#include "platform/registry.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/reg_file.h"

namespace {

constexpr std::string_view kSystemRegistryDir = "/etc/wirebay/registry";
constexpr std::string_view kUserRegistrySubdir = "wirebay/registry";

constexpr std::string_view kComputerNamePath[] = {"System", "CurrentControlSet", "Control",
                                                  "ComputerName", "ComputerName"};
constexpr std::string_view kComputerNameValue = "ComputerName";

// A write into a file within this time of its timestamp could leave the
// timestamp unchanged (coarse file-system clocks), so such a file is parsed
// again at every open rather than trusted from the cache.
constexpr int64_t kTimestampSettleNs = 2'000'000'000;

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK |
                                0x00010000 /* delete */ | 0x00040000 /* change security */ |
                                0x00080000 /* change owner */;
constexpr REGSAM kMaximumAllowed = 0x02000000;

struct RootInfo {
  uintptr_t handle;
  std::string_view name;
  std::string_view shortName;
};

constexpr RootInfo kRoots[] = {
    {0x80000000u, "HKEY_CLASSES_ROOT", "HKCR"},
    {0x80000001u, "HKEY_CURRENT_USER", "HKCU"},
    {0x80000002u, "HKEY_LOCAL_MACHINE", "HKLM"},
    {0x80000003u, "HKEY_USERS", "HKU"},
    {0x80000005u, "HKEY_CURRENT_CONFIG", "HKCC"},
};

bool IsPredefined(HKEY key) {
  uintptr_t v = reinterpret_cast<uintptr_t>(key);
  return v >= 0x80000000u && v <= 0x8000000Fu;
}

const RootInfo* FindRoot(HKEY key) {
  uintptr_t v = reinterpret_cast<uintptr_t>(key);
  for (const RootInfo& root : kRoots) {
    if (root.handle == v) return &root;
  }
  return nullptr;
}

std::string EnvironmentPath(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string UserHome() {
  std::string home = EnvironmentPath("HOME");
  if (!home.empty() && home[0] == '/') return home;
  struct passwd entry;
  struct passwd* found = nullptr;
  std::vector<char> buffer(16384);
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return std::string();
}

// The hive file of a root; empty when there is none.
std::string HivePath(const RootInfo& root) {
  std::string file = std::string(root.name) + ".reg";
  std::string dir = EnvironmentPath("WB_REGISTRY_DIR");
  if (!dir.empty()) return dir + "/" + file;
  if (root.name == "HKEY_CURRENT_USER") {
    std::string config = EnvironmentPath("XDG_CONFIG_HOME");
    if (config.empty() || config[0] != '/') {
      std::string home = UserHome();
      if (home.empty()) return std::string();
      config = home + "/.config";
    }
    return config + "/" + std::string(kUserRegistrySubdir) + "/" + file;
  }
  return std::string(kSystemRegistryDir) + "/" + file;
}

std::atomic<WbHostNameReader> gHostNameReader{nullptr};

int PlatformHostName(char* name, size_t size) { return gethostname(name, size); }

// This machine's name as the ComputerName value gives it: the host name up
// to its first dot. Empty when there is none.
std::string ComputerName() {
  WbHostNameReader reader = gHostNameReader.load();
  if (reader == nullptr) reader = PlatformHostName;
  char name[256] = {};
  if (reader(name, sizeof(name) - 1) != 0) return std::string();
  name[sizeof(name) - 1] = '\0';
  std::string result(name, strnlen(name, sizeof(name)));
  size_t dot = result.find('.');
  if (dot != std::string::npos) result.resize(dot);
  return result;
}

void AddComputerName(RegKeyNode* root, const std::string& computerName) {
  if (computerName.empty()) return;
  RegKeyNode* node = root;
  for (std::string_view part : kComputerNamePath) node = node->AddSubkey(part);
  if (node->FindValue(kComputerNameValue) != nullptr) return;
  RegValue value;
  value.name = std::string(kComputerNameValue);
  value.type = REG_SZ;
  value.data = computerName;
  value.data.push_back('\0');
  node->SetValue(std::move(value));
}

int64_t ToNs(const struct timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

int64_t PlatformClock() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return ToNs(now);
}

std::atomic<WbRegistryClock> gClock{nullptr};

int64_t NowNs() {
  WbRegistryClock clock = gClock.load();
  return clock == nullptr ? PlatformClock() : clock();
}

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;

  static FileIdentity Of(const struct stat& st) {
    return FileIdentity{st.st_dev, st.st_ino, st.st_size, ToNs(st.st_mtim), ToNs(st.st_ctim)};
  }
  bool operator==(const FileIdentity&) const = default;
};

// The outcome of reading one hive: a status and, on success, the tree.
struct HiveSnapshot {
  LONG status = ERROR_SUCCESS;
  std::shared_ptr<const RegKeyNode> root;
};

struct CacheEntry {
  FileIdentity identity;
  std::string computerName;
  HiveSnapshot snapshot;
};

std::mutex gCacheMutex;
std::map<std::string, CacheEntry> gCache;  // by hive file path
constexpr size_t kMaxCachedHives = 16;
std::mutex gLoadMutex;  // taken before gCacheMutex, never after

// Reads the whole hive file through an open descriptor, refusing anything
// but a regular file of bounded size. Opening without blocking keeps a FIFO
// in the hive's place from hanging the caller.
LONG ReadHiveFile(const std::string& path, std::string* bytes, FileIdentity* identity) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return static_cast<LONG>(TranslateSystemError(errno));
  struct stat st;
  LONG status = ERROR_SUCCESS;
  if (fstat(fd, &st) != 0) {
    status = static_cast<LONG>(TranslateSystemError(errno));
  } else if (!S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(WB_REGISTRY_MAX_HIVE_BYTES)) {
    status = ERROR_REGISTRY_CORRUPT;
  } else {
    *identity = FileIdentity::Of(st);
    // The file may grow while it is read: read one byte past the limit to see it.
    bytes->resize(static_cast<size_t>(st.st_size) + 1);
    size_t have = 0;
    for (;;) {
      if (have == bytes->size()) {
        if (bytes->size() > WB_REGISTRY_MAX_HIVE_BYTES) break;
        bytes->resize(std::min<size_t>(bytes->size() * 2, WB_REGISTRY_MAX_HIVE_BYTES + 1));
      }
      ssize_t n = read(fd, bytes->data() + have, bytes->size() - have);
      if (n < 0) {
        if (errno == EINTR) continue;
        status = static_cast<LONG>(TranslateSystemError(errno));
        break;
      }
      if (n == 0) break;
      have += static_cast<size_t>(n);
    }
    bytes->resize(have);
    if (status == ERROR_SUCCESS && have > WB_REGISTRY_MAX_HIVE_BYTES) status = ERROR_REGISTRY_CORRUPT;
  }
  close(fd);
  return status;
}

HiveSnapshot BuildSnapshot(const RootInfo& root, std::string_view bytes, bool fileExists,
                           const std::string& computerName) {
  auto tree = std::make_unique<RegKeyNode>(std::string(root.name));
  if (fileExists) {
    RegParseResult parsed = ParseRegFile(bytes, root.name, root.shortName, tree.get());
    if (parsed.format == RegFileFormat::kNone) return HiveSnapshot{ERROR_REGISTRY_CORRUPT, nullptr};
  }
  if (root.handle == reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE)) {
    AddComputerName(tree.get(), computerName);
  }
  return HiveSnapshot{ERROR_SUCCESS, std::shared_ptr<const RegKeyNode>(std::move(tree))};
}

// The hive of a root as its file holds it now.
HiveSnapshot LoadHive(const RootInfo& root) {
  const bool isMachine = root.handle == reinterpret_cast<uintptr_t>(HKEY_LOCAL_MACHINE);
  const std::string computerName = isMachine ? ComputerName() : std::string();
  const std::string path = HivePath(root);
  if (path.empty()) return BuildSnapshot(root, {}, false, computerName);

  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return BuildSnapshot(root, {}, false, computerName);
    return HiveSnapshot{static_cast<LONG>(TranslateSystemError(errno)), nullptr};
  }
  auto cached = [&]() -> std::optional<HiveSnapshot> {
    std::lock_guard<std::mutex> lock(gCacheMutex);
    auto it = gCache.find(path);
    if (it != gCache.end() && it->second.identity == FileIdentity::Of(st) &&
        it->second.computerName == computerName) {
      return it->second.snapshot;
    }
    return std::nullopt;
  };
  if (std::optional<HiveSnapshot> hit = cached()) return *hit;
  // One hive is parsed at a time: a large file parsed by many threads at
  // once would multiply its memory, and the first parse may serve the rest.
  std::lock_guard<std::mutex> loading(gLoadMutex);
  if (std::optional<HiveSnapshot> hit = cached()) return *hit;

  const int64_t readStartNs = NowNs();
  std::string bytes;
  FileIdentity identity;
  LONG status = ReadHiveFile(path, &bytes, &identity);
  if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) {
    return BuildSnapshot(root, {}, false, computerName);  // removed since the stat
  }
  HiveSnapshot snapshot = status == ERROR_SUCCESS
                              ? BuildSnapshot(root, bytes, true, computerName)
                              : HiveSnapshot{status, nullptr};
  const bool settled = status == ERROR_SUCCESS &&
                       identity.modifiedNs + kTimestampSettleNs < readStartNs &&
                       identity.changedNs + kTimestampSettleNs < readStartNs;
  std::lock_guard<std::mutex> cacheLock(gCacheMutex);
  if (settled) {
    if (gCache.size() >= kMaxCachedHives && gCache.find(path) == gCache.end()) gCache.clear();
    gCache[path] = CacheEntry{identity, computerName, snapshot};
  } else {
    gCache.erase(path);
  }
  return snapshot;
}

// An open key: the hive snapshot it was opened on and where in it.
struct OpenKey {
  const RootInfo* root;
  std::vector<std::string> path;  // below the root
  std::shared_ptr<const RegKeyNode> hive;
  const RegKeyNode* node;  // inside *hive
  REGSAM access;
};

std::mutex gHandleMutex;
std::unordered_map<uintptr_t, std::shared_ptr<const OpenKey>> gHandles;
uintptr_t gNextHandle = 0x1000;

HKEY RegisterHandle(std::shared_ptr<const OpenKey> key) {
  std::lock_guard<std::mutex> lock(gHandleMutex);
  uintptr_t id;
  do {
    gNextHandle += 4;
    if (gNextHandle < 0x1000) gNextHandle = 0x1000;  // wrapped
    id = gNextHandle;
  } while ((id >= 0x80000000u && id <= 0x8000000Fu) || gHandles.count(id) != 0);
  gHandles.emplace(id, std::move(key));
  return reinterpret_cast<HKEY>(id);
}

std::shared_ptr<const OpenKey> LookUpHandle(HKEY key) {
  std::lock_guard<std::mutex> lock(gHandleMutex);
  auto it = gHandles.find(reinterpret_cast<uintptr_t>(key));
  return it == gHandles.end() ? nullptr : it->second;
}

// Splits a subkey path at backslashes; one trailing backslash is allowed.
bool SplitSubkey(std::string_view subKey, std::vector<std::string>* parts) {
  if (!subKey.empty() && subKey.back() == '\\') subKey.remove_suffix(1);
  if (subKey.empty()) return true;
  size_t start = 0;
  for (;;) {
    size_t end = subKey.find('\\', start);
    std::string_view part = subKey.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty()) return false;
    parts->emplace_back(part);
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

const RegKeyNode* Walk(const RegKeyNode* node, const std::vector<std::string>& path) {
  for (const std::string& part : path) {
    if (node == nullptr) return nullptr;
    node = node->FindSubkey(part);
  }
  return node;
}

}  // namespace

LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM samDesired, PHKEY result) {
  (void)options;
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if ((samDesired & kWriteRights) != 0) return ERROR_ACCESS_DENIED;

  auto opened = std::make_shared<OpenKey>();
  if (IsPredefined(key)) {
    opened->root = FindRoot(key);
    if (opened->root == nullptr) return ERROR_INVALID_HANDLE;
  } else {
    std::shared_ptr<const OpenKey> parent = LookUpHandle(key);
    if (parent == nullptr) return ERROR_INVALID_HANDLE;
    opened->root = parent->root;
    opened->path = parent->path;
  }
  if (subKey != nullptr && !SplitSubkey(subKey, &opened->path)) return ERROR_BAD_PATHNAME;

  HiveSnapshot snapshot = LoadHive(*opened->root);
  if (snapshot.status != ERROR_SUCCESS) return snapshot.status;
  opened->node = Walk(snapshot.root.get(), opened->path);
  if (opened->node == nullptr) return ERROR_FILE_NOT_FOUND;
  opened->hive = std::move(snapshot.root);
  opened->access = (samDesired & kMaximumAllowed) != 0 ? KEY_READ : samDesired;
  *result = RegisterHandle(std::move(opened));
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (reserved != nullptr) return ERROR_INVALID_PARAMETER;
  if (data != nullptr && dataSize == nullptr) return ERROR_INVALID_PARAMETER;

  std::shared_ptr<const OpenKey> opened;
  std::shared_ptr<const RegKeyNode> rootHive;  // keeps a root's snapshot alive
  const RegKeyNode* node = nullptr;
  if (IsPredefined(key)) {
    const RootInfo* root = FindRoot(key);
    if (root == nullptr) return ERROR_INVALID_HANDLE;
    HiveSnapshot snapshot = LoadHive(*root);
    if (snapshot.status != ERROR_SUCCESS) return snapshot.status;
    rootHive = std::move(snapshot.root);
    node = rootHive.get();
  } else {
    opened = LookUpHandle(key);
    if (opened == nullptr) return ERROR_INVALID_HANDLE;
    if ((opened->access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    node = opened->node;
  }

  const RegValue* value = node->FindValue(valueName == nullptr ? "" : valueName);
  if (value == nullptr) return ERROR_FILE_NOT_FOUND;
  if (type != nullptr) *type = value->type;
  const DWORD size = static_cast<DWORD>(value->data.size());
  if (data == nullptr) {
    if (dataSize != nullptr) *dataSize = size;
    return ERROR_SUCCESS;
  }
  if (*dataSize < size) {
    *dataSize = size;
    return ERROR_MORE_DATA;
  }
  if (size != 0) std::memcpy(data, value->data.data(), size);
  *dataSize = size;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (key == nullptr) return ERROR_INVALID_HANDLE;
  if (IsPredefined(key)) return ERROR_SUCCESS;
  std::shared_ptr<const OpenKey> closed;  // destroyed outside the lock
  std::lock_guard<std::mutex> lock(gHandleMutex);
  auto it = gHandles.find(reinterpret_cast<uintptr_t>(key));
  if (it == gHandles.end()) return ERROR_INVALID_HANDLE;
  closed = std::move(it->second);
  gHandles.erase(it);
  return ERROR_SUCCESS;
}

DWORD WbGetRegistryHivePath(HKEY root, LPSTR path, DWORD size) {
  const RootInfo* info = FindRoot(root);
  if (info == nullptr) return 0;
  std::string full = HivePath(*info);
  if (path != nullptr && size > 0) {
    size_t n = std::min<size_t>(full.size(), size - 1);
    std::memcpy(path, full.data(), n);
    path[n] = '\0';
  }
  return static_cast<DWORD>(full.size());
}

WbHostNameReader WbSetHostNameReader(WbHostNameReader reader) { return gHostNameReader.exchange(reader); }

WbRegistryClock WbSetRegistryClock(WbRegistryClock clock) { return gClock.exchange(clock); }
