// Shows the wizard window on each of its seven pages in turn and saves what
// the screen shows of it (frame included) as page0.bmp ... page6.bmp in the
// folder given on the command line. Run by tools/screenshots.sh.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "wizard/FrmSetup.h"

namespace {

void Pump(int milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    platform::ProcessMessages();
    Sleep(10);
  }
}

bool SaveWindow(HWND window, const std::string& file) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof(info);
  info.biWidth = w;
  info.biHeight = h;
  info.biPlanes = 1;
  info.biBitCount = 24;
  const int stride = (w * 3 + 3) & ~3;
  std::vector<char> pixels(static_cast<size_t>(stride) * h);
  GetDIBits(memory, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER header{};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof(header) + sizeof(info);
  header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&header), sizeof(header));
  out.write(reinterpret_cast<const char*>(&info), sizeof(info));
  out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  return out.good();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string folder = argv[1];
  platform::ComApartment com;
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  TfrmSetup form;
  form.Show();
  Pump(800);
  int failures = 0;
  for (int page = 0; page < TfrmSetup::kPageCount; ++page) {
    // While the copy page works, the bottom bar is hidden.
    form.SetVisible(L"pnlBottom", page != 5);
    form.SetEnabled(L"pbPrev", page > 0);
    form.CurrentPage = page;
    form.ShowPage(page);
    Pump(400);
    if (!SaveWindow(form.Handle(), folder + "\\page" + std::to_string(page) + ".bmp")) ++failures;
  }
  return failures;
}
