#pragma once
// What a window shows on the screen, read back through GDI and kept as a PNG file.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wine_tests {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom
};

// The window's rectangle as the screen shows it; empty when it cannot be read.
Picture pictureOf(HWND window);

// Writes the picture as an 8-bit RGB PNG; false when the file cannot be written.
bool writePng(const Picture& picture, const std::string& path);

}  // namespace wine_tests
