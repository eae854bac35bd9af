#pragma once
// A 3-D transform of a view's plane: a 4 x 4 matrix applied to row vectors (x, y, z, 1), as
// layers take it. m41..m43 translate; m34 = -1/d gives a perspective seen from distance d. A
// point of the plane (z = 0) lands at (X / W, Y / W) with X = x m11 + y m21 + m41,
// Y = x m12 + y m22 + m42, W = x m14 + y m24 + m44.
//
// translate/scale/rotate(t, ...) apply the new step before t (the result maps p to
// step(p) * t), so rotate(translate(identity, ...), ...) rotates first. Angles are radians; a
// positive angle about the z axis turns x towards y (clockwise on a screen whose y points down).

#include <array>
#include <optional>

#include "platform/render/Geometry.h"

namespace platform::render {

struct Transform3D {
    double m11 = 1, m12 = 0, m13 = 0, m14 = 0;
    double m21 = 0, m22 = 1, m23 = 0, m24 = 0;
    double m31 = 0, m32 = 0, m33 = 1, m34 = 0;
    double m41 = 0, m42 = 0, m43 = 0, m44 = 1;

    static Transform3D identity() { return {}; }
    static Transform3D makeTranslation(double tx, double ty, double tz);
    static Transform3D makeScale(double sx, double sy, double sz);
    // About the axis (x, y, z); a zero axis gives the identity.
    static Transform3D makeRotation(double angle, double x, double y, double z);
    // The 2-D affine transform (a b; c d; tx ty): x' = a x + c y + tx, y' = b x + d y + ty.
    static Transform3D makeAffine(double a, double b, double c, double d, double tx, double ty);

    // This transform, then `next`.
    Transform3D concat(const Transform3D& next) const;
    bool isIdentity() const { return *this == Transform3D{}; }
    // Whether the plane stays flat under it, so a 2-D affine transform draws it exactly.
    bool isAffine() const;
    // Where a point of the plane lands; nullopt when it falls behind the viewer (W <= 0).
    std::optional<Point> apply(Point p) const;

    friend bool operator==(const Transform3D&, const Transform3D&) = default;
};

Transform3D transform3DTranslate(const Transform3D& t, double tx, double ty, double tz);
Transform3D transform3DScale(const Transform3D& t, double sx, double sy, double sz);
Transform3D transform3DRotate(const Transform3D& t, double angle, double x, double y, double z);
Transform3D transform3DConcat(const Transform3D& a, const Transform3D& b);

// The transform a fraction f of the way from a to b, moving through translation, rotation,
// scale, skew and perspective separately (so a turn stays a turn on the way); element by element
// when either cannot be taken apart (a singular matrix).
Transform3D interpolate(const Transform3D& a, const Transform3D& b, double f);

}  // namespace platform::render
