// Writes the default compass picture: a vehicle seen from above, nose up,
// inside a ring of compass graduations, as an enhanced metafile.
//
//   make_compass_emf OUTPUT.emf
//
// The drawing is 1000 x 1000 device units with the centre at (500, 500), so
// the program's needle (three quarters of the half-size long) ends inside
// the graduation ring.

#include <uemf.h>
#include <uemf_utf.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kSize = 1000;
constexpr int kCentre = kSize / 2;
constexpr double kPi = 3.14159265358979323846;

struct Rgb {
  std::uint8_t r, g, b;
};

class Writer {
 public:
  explicit Writer(const char* path) {
    if (emf_start(path, 100000, 25000, &et_) != 0 || emf_htable_create(64, 64, &eht_) != 0) {
      std::fprintf(stderr, "make_compass_emf: cannot start %s\n", path);
      std::exit(1);
    }
  }

  void Append(char* record) {
    if (record == nullptr || emf_append(reinterpret_cast<U_ENHMETARECORD*>(record), et_, 1) != 0) {
      std::fprintf(stderr, "make_compass_emf: cannot append a record\n");
      std::exit(1);
    }
  }

  void Header() {
    // 10 device units per millimetre: a 100 mm square picture.
    const U_RECTL bounds{0, 0, kSize - 1, kSize - 1};
    const U_RECTL frameHundredthsMm{0, 0, kSize * 10 - 1, kSize * 10 - 1};
    const U_SIZEL devicePx{2000, 2000};
    const U_SIZEL deviceMm{200, 200};
    // Description: application name and picture name, each NUL-terminated,
    // then a final NUL.
    const char description[] = "Quarbe\1mobile\1";
    size_t units = 0;
    uint16_t* text = U_Utf8ToUtf16le(description, 0, &units);
    for (size_t i = 0; i < units; ++i) {
      if (text[i] == 1) text[i] = 0;
    }
    Append(U_EMRHEADER_set(bounds, frameHundredthsMm, nullptr, static_cast<U_CBSTR>(units + 1), text,
                           devicePx, deviceMm, 0));
    std::free(text);
    Append(U_EMRSETMAPMODE_set(U_MM_TEXT));
    Append(U_EMRSETBKMODE_set(U_TRANSPARENT));
    Append(U_EMRSETPOLYFILLMODE_set(U_WINDING));
  }

  // Selects a new solid pen and brush (replacing and deleting the previous).
  void Style(Rgb line, int widthPx, const Rgb* fill) {
    DropStyle();
    // A geometric pen: its width is in logical units, as a metafile player
    // scaling the picture expects.
    PU_EXTLOGPEN pen = extlogpen_set(U_PS_SOLID | U_PS_GEOMETRIC | U_PS_ENDCAP_ROUND | U_PS_JOIN_ROUND,
                                     static_cast<uint32_t>(widthPx), U_BS_SOLID,
                                     colorref3_set(line.r, line.g, line.b), 0, 0, nullptr);
    Append(extcreatepen_set(&pen_, eht_, nullptr, 0, nullptr, pen));
    std::free(pen);
    Append(selectobject_set(pen_, eht_));
    U_LOGBRUSH brush = fill != nullptr ? logbrush_set(U_BS_SOLID, colorref3_set(fill->r, fill->g, fill->b), 0)
                                       : logbrush_set(U_BS_NULL, colorref3_set(0, 0, 0), 0);
    Append(createbrushindirect_set(&brush_, eht_, brush));
    Append(selectobject_set(brush_, eht_));
  }

  void Ellipse(int left, int top, int right, int bottom) {
    Append(U_EMRELLIPSE_set(U_RECTL{left, top, right, bottom}));
  }

  void Rectangle(int left, int top, int right, int bottom) {
    Append(U_EMRRECTANGLE_set(U_RECTL{left, top, right, bottom}));
  }

  void RoundRect(int left, int top, int right, int bottom, int corner) {
    Append(U_EMRROUNDRECT_set(U_RECTL{left, top, right, bottom}, sizel_set(corner, corner)));
  }

  void Polygon(const std::vector<U_POINT16>& points) {
    Append(U_EMRPOLYGON16_set(Bounds(points), static_cast<uint32_t>(points.size()), points.data()));
  }

  void Line(int x1, int y1, int x2, int y2) {
    const std::vector<U_POINT16> points{Point(x1, y1), Point(x2, y2)};
    Append(U_EMRPOLYLINE16_set(Bounds(points), 2, points.data()));
  }

  void Finish() {
    DropStyle();
    Append(U_EMREOF_set(0, nullptr, et_));
    if (emf_finish(et_, eht_) != 0) {
      std::fprintf(stderr, "make_compass_emf: cannot write the file\n");
      std::exit(1);
    }
    emf_free(&et_);
    emf_htable_free(&eht_);
  }

  static U_POINT16 Point(int x, int y) {
    return U_POINT16{static_cast<int16_t>(x), static_cast<int16_t>(y)};
  }

 private:
  static U_RECTL Bounds(const std::vector<U_POINT16>& points) {
    U_RECTL r{kSize, kSize, 0, 0};
    for (const U_POINT16& p : points) {
      if (p.x < r.left) r.left = p.x;
      if (p.x > r.right) r.right = p.x;
      if (p.y < r.top) r.top = p.y;
      if (p.y > r.bottom) r.bottom = p.y;
    }
    return r;
  }

  void DropStyle() {
    if (pen_ != 0) {
      Append(selectobject_set(U_BLACK_PEN, eht_));
      Append(deleteobject_set(&pen_, eht_));
    }
    if (brush_ != 0) {
      Append(selectobject_set(U_NULL_BRUSH, eht_));
      Append(deleteobject_set(&brush_, eht_));
    }
  }

  EMFTRACK* et_ = nullptr;
  EMFHANDLES* eht_ = nullptr;
  uint32_t pen_ = 0;
  uint32_t brush_ = 0;
};

// Point at radius r and bearing deg (clockwise from up) around the centre.
U_POINT16 Polar(double r, double deg) {
  const double a = deg * kPi / 180.0;
  return Writer::Point(static_cast<int>(std::lround(kCentre + r * std::sin(a))),
                       static_cast<int>(std::lround(kCentre - r * std::cos(a))));
}

void DrawDial(Writer& w) {
  const Rgb face{236, 238, 241};
  const Rgb rim{70, 74, 82};
  w.Style(rim, 8, &face);
  w.Ellipse(kCentre - 490, kCentre - 490, kCentre + 490, kCentre + 490);

  const Rgb inner{176, 180, 188};
  w.Style(inner, 3, nullptr);
  w.Ellipse(kCentre - 405, kCentre - 405, kCentre + 405, kCentre + 405);

  // Graduations every 5 degrees, longer every 10, longest every 30.
  const Rgb tick{40, 42, 48};
  for (int deg = 0; deg < 360; deg += 5) {
    double inside = 462;
    int width = 3;
    if (deg % 30 == 0) {
      inside = 415;
      width = 9;
    } else if (deg % 10 == 0) {
      inside = 440;
      width = 5;
    }
    w.Style(tick, width, nullptr);
    const U_POINT16 a = Polar(inside, deg);
    const U_POINT16 b = Polar(482, deg);
    w.Line(a.x, a.y, b.x, b.y);
  }

  // Pointers at the four cardinal directions, the one ahead in red.
  for (int deg = 0; deg < 360; deg += 90) {
    const Rgb red{208, 32, 32};
    const Rgb dark{60, 64, 72};
    const Rgb& colour = deg == 0 ? red : dark;
    w.Style(colour, 2, &colour);
    w.Polygon({Polar(405, deg), Polar(335, deg - 7), Polar(335, deg + 7)});
  }
}

void DrawVehicle(Writer& w) {
  const Rgb black{16, 16, 18};
  const Rgb tyre{34, 34, 36};
  // Wheels first, so the body overlaps their inner halves.
  w.Style(black, 2, &tyre);
  for (int top : {345, 585}) {
    w.RoundRect(386, top, 416, top + 72, 12);
    w.RoundRect(584, top, 614, top + 72, 12);
  }

  // Body, nose up.
  const Rgb paint{28, 78, 160};
  w.Style(black, 5, &paint);
  w.RoundRect(405, 290, 595, 712, 90);

  // Bonnet crease and boot line.
  const Rgb crease{20, 56, 120};
  w.Style(crease, 3, nullptr);
  w.Line(450, 310, 450, 385);
  w.Line(550, 310, 550, 385);

  // Windscreen, roof and rear window.
  const Rgb glass{176, 214, 240};
  w.Style(black, 3, &glass);
  w.Polygon({Writer::Point(425, 395), Writer::Point(575, 395), Writer::Point(558, 462), Writer::Point(442, 462)});
  w.Polygon({Writer::Point(440, 612), Writer::Point(560, 612), Writer::Point(572, 655), Writer::Point(428, 655)});
  const Rgb roof{46, 100, 188};
  w.Style(black, 3, &roof);
  w.RoundRect(438, 470, 562, 604, 24);

  // Door mirrors.
  w.Style(black, 2, &paint);
  w.Polygon({Writer::Point(405, 455), Writer::Point(372, 462), Writer::Point(372, 478), Writer::Point(405, 478)});
  w.Polygon({Writer::Point(595, 455), Writer::Point(628, 462), Writer::Point(628, 478), Writer::Point(595, 478)});

  // Headlights and tail lights.
  const Rgb headlight{250, 224, 90};
  w.Style(black, 2, &headlight);
  w.Ellipse(420, 300, 456, 322);
  w.Ellipse(544, 300, 580, 322);
  const Rgb taillight{200, 30, 30};
  w.Style(black, 2, &taillight);
  w.Rectangle(420, 688, 456, 702);
  w.Rectangle(544, 688, 580, 702);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_compass_emf OUTPUT.emf\n");
    return 2;
  }
  Writer w(argv[1]);
  w.Header();
  DrawDial(w);
  DrawVehicle(w);
  w.Finish();
  return 0;
}
