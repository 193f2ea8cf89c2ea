// Pictures: pixels drawn or taken from the screen, and PNG files of them.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace uidriver {

// The pixels (0x00RRGGBB, rows from the top) of a `width` x `height` picture
// that `draw` makes in a memory device context like the screen's (given
// too). False when `draw` or the reading back failed.
bool Pixels(int width, int height, const std::function<bool(HDC into, HDC screen)>& draw,
            std::vector<DWORD>* px);

// An RGB image (3 bytes a pixel, rows from the top) as a PNG file.
bool WritePng(const std::string& path, int width, int height,
              const std::vector<unsigned char>& rgb);

// The window as it is on the screen, from the screen itself, as a PNG file.
bool Screenshot(HWND hwnd, const std::string& path);

}  // namespace uidriver
