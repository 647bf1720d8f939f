#include "picker/Pictures.h"

#include <initializer_list>
#include <vector>

#include "platform/Handles.h"

namespace picker {

namespace {

// Pen and brush selected for the lifetime of one shape.
class Ink {
 public:
  Ink(HDC dc, COLORREF outline, COLORREF fill)
      : dc_(dc), pen_(CreatePen(PS_SOLID, 1, outline)), brush_(CreateSolidBrush(fill)) {
    oldPen_ = SelectObject(dc_, pen_.get());
    oldBrush_ = SelectObject(dc_, brush_.get());
  }
  // The old pen and brush go back in before the members release ours.
  ~Ink() {
    SelectObject(dc_, oldPen_);
    SelectObject(dc_, oldBrush_);
  }
  Ink(const Ink&) = delete;
  Ink& operator=(const Ink&) = delete;

 private:
  HDC dc_;
  platform::UniquePen pen_;
  platform::UniqueBrush brush_;
  HGDIOBJ oldPen_, oldBrush_;
};

void Poly(HDC dc, int x, int y, std::initializer_list<POINT> points, COLORREF outline,
          COLORREF fill) {
  std::vector<POINT> p(points);
  for (auto& q : p) q.x += x, q.y += y;
  Ink ink(dc, outline, fill);
  Polygon(dc, p.data(), static_cast<int>(p.size()));
}

void Box(HDC dc, int x, int y, int l, int t, int r, int b, COLORREF outline, COLORREF fill) {
  Ink ink(dc, outline, fill);
  Rectangle(dc, x + l, y + t, x + r, y + b);
}

void Round(HDC dc, int x, int y, int l, int t, int r, int b, COLORREF outline, COLORREF fill) {
  Ink ink(dc, outline, fill);
  Ellipse(dc, x + l, y + t, x + r, y + b);
}

void Line(HDC dc, int x, int y, int x1, int y1, int x2, int y2, COLORREF colour) {
  Ink ink(dc, colour, colour);
  MoveToEx(dc, x + x1, y + y1, nullptr);
  LineTo(dc, x + x2, y + y2);
}

const COLORREF kEdge = RGB(128, 96, 0);
const COLORREF kBack = RGB(230, 180, 50);
const COLORREF kFront = RGB(255, 222, 110);
const COLORREF kDark = RGB(64, 64, 64);
const COLORREF kGrey = RGB(192, 192, 192);

}  // namespace

void DrawFolderPicture(HDC dc, int x, int y, FolderPicture picture) {
  // Back of the folder with its tab.
  Poly(dc, x, y, {{1, 3}, {6, 3}, {7, 5}, {14, 5}, {14, 14}, {1, 14}}, kEdge,
       picture == FolderPicture::Closed ? kFront : kBack);
  if (picture == FolderPicture::Closed) {
    Line(dc, x, y, 2, 6, 14, 6, RGB(255, 245, 200));
    return;
  }
  // The folder that is open holds a sheet of paper.
  if (picture == FolderPicture::Current) Box(dc, x, y, 4, 4, 12, 10, kDark, RGB(255, 255, 255));
  // Front flap, tilted open.
  Poly(dc, x, y, {{4, 8}, {15, 8}, {13, 14}, {1, 14}}, kEdge, kFront);
}

void DrawDrivePicture(HDC dc, int x, int y, UINT type) {
  switch (type) {
    case DRIVE_REMOVABLE:  // a diskette
      Box(dc, x, y, 2, 1, 15, 15, kDark, RGB(40, 60, 140));
      Box(dc, x, y, 5, 1, 12, 6, kDark, kGrey);
      Box(dc, x, y, 4, 9, 13, 15, kDark, RGB(255, 255, 255));
      break;
    case DRIVE_CDROM:  // a disc
      Round(dc, x, y, 1, 1, 15, 15, kDark, RGB(210, 220, 235));
      Round(dc, x, y, 6, 6, 10, 10, kDark, RGB(255, 255, 255));
      break;
    case DRIVE_RAMDISK:  // a memory chip
      for (int i = 3; i <= 12; i += 3) {
        Line(dc, x, y, i, 3, i, 13, kDark);
      }
      Box(dc, x, y, 1, 5, 15, 11, kDark, RGB(40, 120, 60));
      break;
    case DRIVE_REMOTE:  // a disk on a cable
      Box(dc, x, y, 2, 2, 14, 8, kDark, kGrey);
      Line(dc, x, y, 11, 5, 13, 5, RGB(0, 160, 0));
      Line(dc, x, y, 8, 8, 8, 13, kDark);
      Line(dc, x, y, 2, 13, 15, 13, kDark);
      break;
    default:  // a fixed disk
      Box(dc, x, y, 1, 5, 15, 12, kDark, kGrey);
      Line(dc, x, y, 2, 10, 14, 10, RGB(128, 128, 128));
      Line(dc, x, y, 11, 8, 13, 8, RGB(0, 160, 0));
      break;
  }
}

}  // namespace picker
