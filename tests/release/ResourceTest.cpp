// The resources of the built SetupVantor.exe, read as Windows reads them:
// every icon draws the picture it names, the version block is filed under
// its own language.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Handles.h"
#include "platform/Platform.h"
#include "tests/release/ReleaseTestSupport.h"
#include "wizard/ResourceIds.h"

namespace {

// A loaded module, released at scope end.
struct Module {
  HMODULE handle;
  ~Module() {
    if (handle) FreeLibrary(handle);
  }
};

// The icon's 16 x 16 pixels as DrawIconEx paints them over a black and over
// a white ground: together they hold both its colours and its mask.
std::vector<COLORREF> Pixels(HICON icon) {
  std::vector<COLORREF> pixels;
  platform::UniqueBitmap bitmap(CreateBitmap(16, 16, 1, 32, nullptr));
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bitmap.get());
  for (int ground : {BLACK_BRUSH, WHITE_BRUSH}) {
    RECT all{0, 0, 16, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(ground)));
    DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x) pixels.push_back(GetPixel(dc, x, y));
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  return pixels;
}

platform::UniqueIcon ModuleIcon(HMODULE module, int id) {
  return platform::UniqueIcon(static_cast<HICON>(
      LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
}

platform::UniqueIcon FileIcon(const std::wstring& path) {
  return platform::UniqueIcon(
      static_cast<HICON>(LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE)));
}

TEST(ProgramResources, EveryIconDrawsItsOwnPicture) {
  Module program{LoadLibraryExW(testutil::ProgramPath().c_str(), nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)};
  ASSERT_NE(program.handle, nullptr) << GetLastError();
  const std::pair<int, const wchar_t*> icons[] = {{IDI_BINOCULARS, L"binoculars.ico"},
                                                  {IDI_SETUP, L"app.ico"}};
  std::vector<std::vector<COLORREF>> drawn;
  for (const auto& [id, file] : icons) {
    platform::UniqueIcon built = ModuleIcon(program.handle, id);
    platform::UniqueIcon source =
        FileIcon(releasetest::SourcePath(L"resources\\" + std::wstring(file)));
    ASSERT_TRUE(built) << id;
    ASSERT_TRUE(source) << platform::Utf8(file);
    drawn.push_back(Pixels(built.get()));
    EXPECT_EQ(drawn.back(), Pixels(source.get()))
        << "icon " << id << " is not " << platform::Utf8(file);
  }
  // The two pictures differ, so the comparison above tells them apart.
  EXPECT_NE(drawn[0], drawn[1]);
}

TEST(ProgramResources, VersionIsFiledInCzech) {
  Module program{
      LoadLibraryExW(testutil::ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)};
  ASSERT_NE(program.handle, nullptr);
  const auto version = [&](WORD language) {
    return FindResourceExW(program.handle, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), language);
  };
  EXPECT_NE(version(MAKELANGID(LANG_CZECH, SUBLANG_DEFAULT)), nullptr);
  EXPECT_EQ(version(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), nullptr);
}

}  // namespace
