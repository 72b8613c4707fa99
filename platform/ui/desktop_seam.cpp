#include "platform/ui/desktop_seam.h"

#include <atomic>

namespace {
std::atomic<const WbDesktopSeam*> gSeam{nullptr};
}

const WbDesktopSeam* WbSetDesktopSeam(const WbDesktopSeam* seam) { return gSeam.exchange(seam); }
const WbDesktopSeam* WbGetDesktopSeam() { return gSeam.load(); }
