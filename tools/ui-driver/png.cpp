#include "png.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "handles.h"
#include "text.h"

namespace uidriver {

namespace {

uint32_t Crc32(const unsigned char* data, size_t size) {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(256);
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t crc = ~0u;
  for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void PutBE32(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v >> 24));
  out->push_back(static_cast<char>(v >> 16));
  out->push_back(static_cast<char>(v >> 8));
  out->push_back(static_cast<char>(v));
}

void Chunk(std::string* png, const char* type, const std::string& data) {
  PutBE32(png, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  png->append(body);
  PutBE32(png, Crc32(reinterpret_cast<const unsigned char*>(body.data()), body.size()));
}

}  // namespace

bool Pixels(int width, int height, const std::function<bool(HDC into, HDC screen)>& draw,
            std::vector<DWORD>* px) {
  px->assign(static_cast<size_t>(width) * height, 0);
  ScreenDc screen;
  MemoryDc mem(CreateCompatibleDC(screen.get()));
  UniqueBitmap bmp(CreateCompatibleBitmap(screen.get(), width, height));
  if (!mem || !bmp) return false;
  bool drawn;
  {
    Selected selected(mem.get(), bmp.get());
    drawn = draw(mem.get(), screen.get());
  }
  if (!drawn) return false;
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return GetDIBits(mem.get(), bmp.get(), 0, static_cast<UINT>(height), px->data(), &bi,
                   DIB_RGB_COLORS) == height;
}

// The pixel data goes in stored (uncompressed) deflate blocks, which every
// reader accepts.
bool WritePng(const std::string& path, int width, int height,
              const std::vector<unsigned char>& rgb) {
  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (static_cast<size_t>(width) * 3 + 1));
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');
    raw.append(reinterpret_cast<const char*>(&rgb[static_cast<size_t>(y) * width * 3]),
               static_cast<size_t>(width) * 3);
  }
  std::string z = "\x78\x01";
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  size_t pos = 0;
  do {
    size_t n = std::min<size_t>(65535, raw.size() - pos);
    bool last = pos + n == raw.size();
    z.push_back(last ? '\x01' : '\x00');
    z.push_back(static_cast<char>(n & 0xFF));
    z.push_back(static_cast<char>(n >> 8));
    z.push_back(static_cast<char>(~n & 0xFF));
    z.push_back(static_cast<char>((~n >> 8) & 0xFF));
    z.append(raw, pos, n);
    pos += n;
  } while (pos < raw.size());
  PutBE32(&z, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  PutBE32(&ihdr, static_cast<uint32_t>(width));
  PutBE32(&ihdr, static_cast<uint32_t>(height));
  ihdr += std::string("\x08\x02\x00\x00\x00", 5);
  Chunk(&png, "IHDR", ihdr);
  Chunk(&png, "IDAT", z);
  Chunk(&png, "IEND", std::string());
  UniqueFile f(_wfopen(FromUtf8(path).c_str(), L"wb"));
  if (!f) return false;
  bool ok = std::fwrite(png.data(), 1, png.size(), f.get()) == png.size();
  return std::fclose(f.release()) == 0 && ok;
}

bool Screenshot(HWND hwnd, const std::string& path) {
  RECT r;
  if (!GetWindowRect(hwnd, &r)) return false;
  int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0 || w > 4096 || h > 4096) return false;
  std::vector<DWORD> px;
  if (!Pixels(w, h,
              [&](HDC into, HDC screen) {
                return BitBlt(into, 0, 0, w, h, screen, r.left, r.top, SRCCOPY | CAPTUREBLT) !=
                       FALSE;
              },
              &px))
    return false;
  std::vector<unsigned char> rgb(px.size() * 3);
  for (size_t i = 0; i < px.size(); ++i) {
    rgb[i * 3] = static_cast<unsigned char>(px[i] >> 16);
    rgb[i * 3 + 1] = static_cast<unsigned char>(px[i] >> 8);
    rgb[i * 3 + 2] = static_cast<unsigned char>(px[i]);
  }
  return WritePng(path, w, h, rgb);
}

}  // namespace uidriver
