// Draws the test chart pixel by pixel into an RGB raster; every shape is
// sized relative to the page so that the chart looks the same at any
// resolution.
#include "companions/scansvc/page_generator.h"

#include <algorithm>
#include <cstdio>

namespace scansvc {

namespace {
struct Rgb {
  uint8_t r, g, b;
};

// White, yellow, cyan, green, magenta, red, blue, black: the usual bars.
constexpr Rgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                          {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};

class Raster {
 public:
  Raster(int w, int h, std::string* out, size_t offset) : w_(w), h_(h), out_(out), offset_(offset) {}
  void Set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= w_ || y >= h_) return;
    const size_t i = offset_ + (static_cast<size_t>(y) * w_ + x) * 3;
    (*out_)[i] = static_cast<char>(c.r);
    (*out_)[i + 1] = static_cast<char>(c.g);
    (*out_)[i + 2] = static_cast<char>(c.b);
  }
  void Fill(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) Set(x, y, c);
  }

 private:
  int w_, h_;
  std::string* out_;
  size_t offset_;
};
}  // namespace

PageSize PageSizeAt(int dpi) {
  return PageSize{kPageWidthTenthsInch * dpi / 10, kPageHeightTenthsInch * dpi / 10};
}

std::string PnmHeader(const PageSize& size) {
  char header[64];
  snprintf(header, sizeof header, "P6\n%d %d\n255\n", size.width, size.height);
  return header;
}

std::string GenerateTestChart(int dpi) {
  const PageSize size = PageSizeAt(dpi);
  const int w = size.width, h = size.height;
  std::string out = PnmHeader(size);
  const size_t offset = out.size();
  out.resize(offset + static_cast<size_t>(w) * h * 3, static_cast<char>(255));  // white paper
  Raster r(w, h, &out, offset);
  const int margin = w / 17;  // half an inch

  // Grey ramp, black at the left to white at the right.
  const int rampTop = margin, rampBottom = margin + h / 11;
  for (int x = margin; x < w - margin; ++x) {
    const uint8_t v = static_cast<uint8_t>(255 * (x - margin) / (w - 2 * margin - 1 > 0 ? w - 2 * margin - 1 : 1));
    r.Fill(x, rampTop, x + 1, rampBottom, Rgb{v, v, v});
  }
  // Colour bars below it.
  const int barsTop = rampBottom + margin / 2, barsBottom = barsTop + h / 6;
  const int barWidth = (w - 2 * margin) / 8;
  for (int i = 0; i < 8; ++i) {
    r.Fill(margin + i * barWidth, barsTop, margin + (i + 1) * barWidth, barsBottom, kBars[i]);
  }
  // A filled circle, left.
  const int shapesTop = barsBottom + margin;
  const int radius = w / 6;
  const int cx = margin + radius, cy = shapesTop + radius;
  for (int y = cy - radius; y <= cy + radius; ++y)
    for (int x = cx - radius; x <= cx + radius; ++x)
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) r.Set(x, y, Rgb{200, 30, 30});
  // A triangle, right: apex up.
  const int tLeft = w / 2 + margin / 2, tRight = w - margin, tTop = shapesTop, tBottom = shapesTop + 2 * radius;
  for (int y = tTop; y < tBottom; ++y) {
    const int half = (tRight - tLeft) * (y - tTop) / (2 * (tBottom - tTop));
    const int mid = (tLeft + tRight) / 2;
    r.Fill(mid - half, y, mid + half + 1, y + 1, Rgb{30, 60, 200});
  }
  // A checkerboard square near the bottom.
  const int cbTop = tBottom + margin, cbSize = (h - margin - cbTop) > 0 ? std::min(h - margin - cbTop, w - 2 * margin) : 0;
  const int cell = cbSize / 8 > 0 ? cbSize / 8 : 1;
  for (int y = 0; y < cbSize; ++y)
    for (int x = 0; x < cbSize; ++x)
      if (((x / cell) + (y / cell)) % 2 == 0) r.Set(margin + x, cbTop + y, Rgb{0, 0, 0});
  // A black frame, two dots wide at 100 dpi, around the whole chart.
  const int t = dpi / 50 > 0 ? dpi / 50 : 1;
  r.Fill(0, 0, w, t, Rgb{0, 0, 0});
  r.Fill(0, h - t, w, h, Rgb{0, 0, 0});
  r.Fill(0, 0, t, h, Rgb{0, 0, 0});
  r.Fill(w - t, 0, w, h, Rgb{0, 0, 0});
  return out;
}

}  // namespace scansvc
