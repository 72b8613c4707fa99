#include "platform/ui/system_info.h"

#include <chrono>
#include <thread>

#include "platform/ui/desktop_seam.h"
#include "platform/ui/user_types.h"

namespace {
constexpr DWORD kNtMajor = 4;
constexpr DWORD kNtMinor = 0;
constexpr DWORD kNtBuild = 1381;
}  // namespace

DWORD GetVersion() {
  const WbDesktopSeam* seam = WbGetDesktopSeam();
  if (seam && seam->getVersion) return seam->getVersion();
  return kNtMajor | (kNtMinor << 8) | (kNtBuild << 16);
}

void Sleep(DWORD milliseconds) {
  const WbDesktopSeam* seam = WbGetDesktopSeam();
  if (seam && seam->sleep) {
    seam->sleep(milliseconds);
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXICON:
    case SM_CYICON:
      return 32;
    default:
      return 0;
  }
}
