#include "platform/ui/icon.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/resource_table.h"
#include "platform/ui/device_context.h"

const IconColor kStandardIconPalette[16] = {
    {0x00, 0x00, 0x00}, {0x80, 0x00, 0x00}, {0x00, 0x80, 0x00}, {0x80, 0x80, 0x00},
    {0x00, 0x00, 0x80}, {0x80, 0x00, 0x80}, {0x00, 0x80, 0x80}, {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80}, {0xFF, 0x00, 0x00}, {0x00, 0xFF, 0x00}, {0xFF, 0xFF, 0x00},
    {0x00, 0x00, 0xFF}, {0xFF, 0x00, 0xFF}, {0x00, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF},
};

namespace {

int PixelCode(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Loaded icons live as long as the process, shared by every load of a group.
std::mutex gIconsMutex;
std::map<const IconGroup*, std::unique_ptr<WbIcon>>& LoadedIcons() {
  static auto* icons = new std::map<const IconGroup*, std::unique_ptr<WbIcon>>;
  return *icons;
}

const IconImage* ClosestImage(const IconGroup& group, int size) {
  const IconImage* best = nullptr;
  int bestDistance = 0;
  for (WORD i = 0; i < group.count; ++i) {
    const IconImage& image = group.images[i];
    if (!WbIconImageIsValid(image)) continue;
    int distance = image.width > size ? image.width - size : size - image.width;
    if (!best || distance < bestDistance) {
      best = &image;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace

bool WbIconImageIsValid(const IconImage& image) {
  if (image.width == 0 || image.height == 0 || !image.rows || !image.palette) return false;
  for (int y = 0; y < image.height; ++y) {
    const char* row = image.rows[y];
    if (!row || std::strlen(row) != image.width) return false;
    for (int x = 0; x < image.width; ++x)
      if (row[x] != '.' && PixelCode(row[x]) < 0) return false;
  }
  return true;
}

int WbIconPixel(const IconImage& image, int x, int y) {
  if (x < 0 || y < 0 || x >= image.width || y >= image.height || !image.rows || !image.rows[y]) return -1;
  return PixelCode(image.rows[y][x]);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  if (!IS_INTRESOURCE(name)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  WORD id = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
  DWORD size = 0;
  const void* data = WbFindResource(instance, WB_RT_GROUP_ICON, id, &size);
  if (!data || size < sizeof(IconGroup)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const auto* group = static_cast<const IconGroup*>(data);
  const IconImage* image = group->images ? ClosestImage(*group, GetSystemMetrics(SM_CXICON)) : nullptr;
  if (!image) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(gIconsMutex);
  auto& icons = LoadedIcons();
  auto found = icons.find(group);
  if (found == icons.end()) found = icons.emplace(group, std::make_unique<WbIcon>(WbIcon{group, image})).first;
  return found->second.get();
}

const IconImage* WbIconImage(HICON icon, int size) {
  if (!icon) return nullptr;
  if (size <= 0) return icon->image;
  return ClosestImage(*icon->group, size);
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
  if (!dc || !icon || !icon->image) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  dc->DrawIconImage(x, y, *icon->image, icon);
  return TRUE;
}
