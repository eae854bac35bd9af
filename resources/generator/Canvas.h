#pragma once
// A small drawing kit over cairo and pango for the bundle's pictures.
//
// A Canvas is one picture: its size is given in points and it is drawn at scale 2, so every
// coordinate passed to the helpers below is in points and the file holds twice as many pixels.
// The helpers leave the cairo state (source, path, transform) as they found it unless their
// name says they build a path.

#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace resgen {

inline constexpr double kScale = 2.0;
inline constexpr const char* kFontFamily = "Noto Sans CJK SC";

struct Color {
    double r = 0, g = 0, b = 0, a = 1;
};
// 0xRRGGBB with an optional alpha.
Color rgb(uint32_t hex, double alpha = 1.0);
// The colour moved towards white (amount > 0) or black (amount < 0), amount in [-1, 1].
Color shade(Color c, double amount);

class Canvas {
  public:
    Canvas(double widthPt, double heightPt);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }
    double width() const { return width_; }
    double height() const { return height_; }

    // Writes the picture; false (with a line on stderr) when the file cannot be written.
    bool savePng(const std::filesystem::path& file) const;
    bool saveJpeg(const std::filesystem::path& file, int quality) const;

  private:
    double width_, height_;
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

// Paths.
void roundedRectPath(cairo_t* cr, double x, double y, double w, double h, double r);
void ellipsePath(cairo_t* cr, double cx, double cy, double rx, double ry);
void starPath(cairo_t* cr, double cx, double cy, double outer, double inner, int points);

// Fills.
void setColor(cairo_t* cr, Color c);
// Fills the current path with a vertical gradient from top (at y0) to bottom (at y1).
void fillVertical(cairo_t* cr,
                  double y0,
                  double y1,
                  Color top,
                  Color bottom,
                  bool preserve = false);
// Fills the current path with a radial gradient from the centre colour to the edge colour.
void fillRadial(cairo_t* cr,
                double cx,
                double cy,
                double radius,
                Color centre,
                Color edge,
                bool preserve = false);
void fillColor(cairo_t* cr, Color c, bool preserve = false);
void strokeColor(cairo_t* cr, Color c, double width, bool preserve = false);

// Shapes.
void rect(cairo_t* cr, double x, double y, double w, double h, Color c);
void circle(cairo_t* cr, double cx, double cy, double r, Color c);
// A rounded, vertically shaded panel with a soft shadow, a light top edge and an outline.
void panel(cairo_t* cr,
           double x,
           double y,
           double w,
           double h,
           double radius,
           Color top,
           Color bottom,
           Color outline);

// Text, laid out by pango in the CJK font.
struct TextStyle {
    double size = 12;  // points
    Color color = {1, 1, 1, 1};
    bool bold = true;
    Color outline = {0, 0, 0, 0};  // drawn first, when its alpha is not 0
    double outlineWidth = 2;
    double wrapWidth = 0;  // wrap to this width (points), 0 for one line
    double lineSpacing = 1.0;
    bool leftAligned = false;  // wrapped text: left instead of centred
};
// Draws text with its box centred on (cx, cy).
void textCentred(cairo_t* cr,
                 const std::string& text,
                 double cx,
                 double cy,
                 const TextStyle& style);
// Draws text with its box's top-left corner at (x, y); returns the height used.
double textAt(cairo_t* cr, const std::string& text, double x, double y, const TextStyle& style);

}  // namespace resgen
