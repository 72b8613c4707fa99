// The scanner's page: a generated test chart as a binary PNM (P6) image,
// so that a client reads back a real image whose content can be checked.
// The chart is US Letter (8.5 x 11 inches) at the given resolution: a grey
// ramp across the top, eight colour bars, a black frame, a filled circle, a
// triangle and a checkerboard square.
#pragma once

#include <cstdint>
#include <string>

namespace scansvc {

constexpr int kPageWidthTenthsInch = 85;
constexpr int kPageHeightTenthsInch = 110;

struct PageSize {
  int width = 0;
  int height = 0;
};

// Pixel size of the page at dpi dots per inch.
PageSize PageSizeAt(int dpi);

// The whole P6 stream: header "P6\n<width> <height>\n255\n" and then
// width * height RGB triples, row by row from the top.
std::string GenerateTestChart(int dpi);

// The header that GenerateTestChart puts in front of the pixels.
std::string PnmHeader(const PageSize& size);

}  // namespace scansvc
