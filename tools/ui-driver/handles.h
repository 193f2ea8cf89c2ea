// Owners of the Windows handles the driver opens, so that every way out of
// a function gives them back.
#pragma once

#include <windows.h>

#include <cstdio>
#include <memory>

namespace uidriver {

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};
// A kernel handle (process, thread, snapshot).
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

struct DcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
// A memory device context (CreateCompatibleDC).
using MemoryDc = std::unique_ptr<HDC__, DcDeleter>;

struct GdiObjectDeleter {
  void operator()(HBITMAP b) const { DeleteObject(b); }
};
using UniqueBitmap = std::unique_ptr<HBITMAP__, GdiObjectDeleter>;

// The screen's device context (GetDC(nullptr)).
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// An object selected into a device context until the end of the scope.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~Selected() {
    if (old_) SelectObject(dc_, old_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace uidriver
