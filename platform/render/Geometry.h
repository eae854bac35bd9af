#pragma once
// Points, sizes and rectangles in points (not pixels): the origin is the top-left corner and y
// grows downwards. A bitmap's scale turns points into pixels; nothing here knows about it.
//
// A rectangle is empty when its width or height is zero or less. Rectangles are half-open: a
// point on the right or bottom edge lies outside. Operations return new values.

#include <algorithm>

namespace platform::render {

struct Point {
    double x = 0;
    double y = 0;

    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;

    friend bool operator==(const Size&, const Size&) = default;
};

// Distances inwards from each edge; negative values grow a rectangle.
struct EdgeInsets {
    double top = 0;
    double left = 0;
    double bottom = 0;
    double right = 0;

    friend bool operator==(const EdgeInsets&, const EdgeInsets&) = default;
};

struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(Point origin, Size size) : origin(origin), size(size) {}
    Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}

    double minX() const { return origin.x; }
    double minY() const { return origin.y; }
    double maxX() const { return origin.x + size.width; }
    double maxY() const { return origin.y + size.height; }
    double width() const { return size.width; }
    double height() const { return size.height; }
    Point center() const { return {origin.x + size.width / 2, origin.y + size.height / 2}; }

    bool isEmpty() const { return size.width <= 0 || size.height <= 0; }

    bool contains(Point p) const {
        return !isEmpty() && p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }

    // Whether the two share an area (touching edges do not count).
    bool intersects(const Rect& other) const { return !intersection(other).isEmpty(); }

    // The common area, or an all-zero rectangle when there is none.
    Rect intersection(const Rect& other) const {
        double x0 = std::max(minX(), other.minX());
        double y0 = std::max(minY(), other.minY());
        double x1 = std::min(maxX(), other.maxX());
        double y1 = std::min(maxY(), other.maxY());
        if (isEmpty() || other.isEmpty() || x1 <= x0 || y1 <= y0) return Rect();
        return Rect(x0, y0, x1 - x0, y1 - y0);
    }

    // The smallest rectangle holding both; an empty operand is ignored.
    Rect united(const Rect& other) const {
        if (isEmpty()) return other;
        if (other.isEmpty()) return *this;
        double x0 = std::min(minX(), other.minX());
        double y0 = std::min(minY(), other.minY());
        return Rect(x0, y0, std::max(maxX(), other.maxX()) - x0,
                    std::max(maxY(), other.maxY()) - y0);
    }

    Rect offsetBy(double dx, double dy) const {
        return Rect(origin.x + dx, origin.y + dy, size.width, size.height);
    }

    // Shrinks by dx on the left and on the right, dy at the top and at the bottom.
    Rect insetBy(double dx, double dy) const {
        return Rect(origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy);
    }

    Rect insetBy(const EdgeInsets& e) const {
        return Rect(origin.x + e.left, origin.y + e.top, size.width - e.left - e.right,
                    size.height - e.top - e.bottom);
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace platform::render
