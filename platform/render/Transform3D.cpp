#include "platform/render/Transform3D.h"

#include <algorithm>
#include <cmath>

namespace platform::render {

namespace {

using Matrix = std::array<std::array<double, 4>, 4>;

Matrix toMatrix(const Transform3D& t) {
    return {{{t.m11, t.m12, t.m13, t.m14},
             {t.m21, t.m22, t.m23, t.m24},
             {t.m31, t.m32, t.m33, t.m34},
             {t.m41, t.m42, t.m43, t.m44}}};
}

Transform3D fromMatrix(const Matrix& m) {
    return {m[0][0], m[0][1], m[0][2], m[0][3], m[1][0], m[1][1], m[1][2], m[1][3],
            m[2][0], m[2][1], m[2][2], m[2][3], m[3][0], m[3][1], m[3][2], m[3][3]};
}

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k)
                r[i][j] += a[i][k] * b[k][j];
    return r;
}

double
det3(double a, double b, double c, double d, double e, double f, double g, double h, double i) {
    return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
}

double determinant(const Matrix& m) {
    double det = 0;
    for (int col = 0; col < 4; ++col) {
        double minor[9];
        int n = 0;
        for (int r = 1; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                if (c != col) minor[n++] = m[r][c];
        double sign = col % 2 == 0 ? 1 : -1;
        det += sign * m[0][col] *
               det3(minor[0], minor[1], minor[2], minor[3], minor[4], minor[5], minor[6], minor[7],
                    minor[8]);
    }
    return det;
}

std::optional<Matrix> inverse(const Matrix& m) {
    double det = determinant(m);
    if (std::abs(det) < 1e-12) return std::nullopt;
    Matrix r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double minor[9];
            int n = 0;
            for (int a = 0; a < 4; ++a)
                for (int b = 0; b < 4; ++b)
                    if (a != j && b != i) minor[n++] = m[a][b];
            double sign = (i + j) % 2 == 0 ? 1 : -1;
            r[i][j] = sign *
                      det3(minor[0], minor[1], minor[2], minor[3], minor[4], minor[5], minor[6],
                           minor[7], minor[8]) /
                      det;
        }
    }
    return r;
}

using Vec3 = std::array<double, 3>;

double dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
double length(const Vec3& a) {
    return std::sqrt(dot(a, a));
}
Vec3 scaled(const Vec3& a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}
Vec3 combine(const Vec3& a, const Vec3& b, double sa, double sb) {
    return {a[0] * sa + b[0] * sb, a[1] * sa + b[1] * sb, a[2] * sa + b[2] * sb};
}
Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

// A transform taken apart into steps that interpolate one by one.
struct Decomposed {
    Vec3 translate{};
    Vec3 scale{};
    Vec3 skew{};  // xy, xz, yz
    std::array<double, 4> perspective{};
    std::array<double, 4> quaternion{};
};

std::optional<Decomposed> decompose(const Transform3D& t) {
    Matrix m = toMatrix(t);
    if (m[3][3] == 0) return std::nullopt;
    for (auto& row : m)
        for (double& v : row)
            v /= t.m44;
    Matrix p = m;
    for (int i = 0; i < 3; ++i)
        p[i][3] = 0;
    p[3][3] = 1;
    if (std::abs(determinant(p)) < 1e-12) return std::nullopt;
    Decomposed d;
    if (m[0][3] != 0 || m[1][3] != 0 || m[2][3] != 0) {
        std::array<double, 4> rhs{m[0][3], m[1][3], m[2][3], m[3][3]};
        auto inv = inverse(p);
        if (!inv) return std::nullopt;
        // rhs times the transposed inverse
        for (int i = 0; i < 4; ++i) {
            d.perspective[i] = 0;
            for (int k = 0; k < 4; ++k)
                d.perspective[i] += rhs[k] * (*inv)[i][k];
        }
    } else {
        d.perspective = {0, 0, 0, 1};
    }
    d.translate = {m[3][0], m[3][1], m[3][2]};
    Vec3 row[3];
    for (int i = 0; i < 3; ++i)
        row[i] = {m[i][0], m[i][1], m[i][2]};
    d.scale[0] = length(row[0]);
    if (d.scale[0] == 0) return std::nullopt;
    row[0] = scaled(row[0], 1 / d.scale[0]);
    d.skew[0] = dot(row[0], row[1]);
    row[1] = combine(row[1], row[0], 1, -d.skew[0]);
    d.scale[1] = length(row[1]);
    if (d.scale[1] == 0) return std::nullopt;
    row[1] = scaled(row[1], 1 / d.scale[1]);
    d.skew[0] /= d.scale[1];
    d.skew[1] = dot(row[0], row[2]);
    row[2] = combine(row[2], row[0], 1, -d.skew[1]);
    d.skew[2] = dot(row[1], row[2]);
    row[2] = combine(row[2], row[1], 1, -d.skew[2]);
    d.scale[2] = length(row[2]);
    if (d.scale[2] == 0) return std::nullopt;
    row[2] = scaled(row[2], 1 / d.scale[2]);
    d.skew[1] /= d.scale[2];
    d.skew[2] /= d.scale[2];
    if (dot(row[0], cross(row[1], row[2])) < 0) {
        for (int i = 0; i < 3; ++i) {
            d.scale[i] = -d.scale[i];
            row[i] = scaled(row[i], -1);
        }
    }
    auto& q = d.quaternion;
    q[0] = 0.5 * std::sqrt(std::max(1 + row[0][0] - row[1][1] - row[2][2], 0.0));
    q[1] = 0.5 * std::sqrt(std::max(1 - row[0][0] + row[1][1] - row[2][2], 0.0));
    q[2] = 0.5 * std::sqrt(std::max(1 - row[0][0] - row[1][1] + row[2][2], 0.0));
    q[3] = 0.5 * std::sqrt(std::max(1 + row[0][0] + row[1][1] + row[2][2], 0.0));
    if (row[2][1] > row[1][2]) q[0] = -q[0];
    if (row[0][2] > row[2][0]) q[1] = -q[1];
    if (row[1][0] > row[0][1]) q[2] = -q[2];
    return d;
}

Transform3D recompose(const Decomposed& d) {
    Matrix m = toMatrix(Transform3D{});
    for (int i = 0; i < 4; ++i)
        m[i][3] = d.perspective[i];
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 3; ++j)
            m[3][i] += d.translate[j] * m[j][i];
    double x = d.quaternion[0], y = d.quaternion[1], z = d.quaternion[2], w = d.quaternion[3];
    Matrix r = toMatrix(Transform3D{});
    // Row vectors: the transpose of the usual column-vector rotation.
    r[0][0] = 1 - 2 * (y * y + z * z);
    r[1][0] = 2 * (x * y - z * w);
    r[2][0] = 2 * (x * z + y * w);
    r[0][1] = 2 * (x * y + z * w);
    r[1][1] = 1 - 2 * (x * x + z * z);
    r[2][1] = 2 * (y * z - x * w);
    r[0][2] = 2 * (x * z - y * w);
    r[1][2] = 2 * (y * z + x * w);
    r[2][2] = 1 - 2 * (x * x + y * y);
    m = multiply(r, m);
    Matrix s = toMatrix(Transform3D{});
    if (d.skew[2] != 0) {
        s[2][1] = d.skew[2];
        m = multiply(s, m);
    }
    if (d.skew[1] != 0) {
        s[2][1] = 0;
        s[2][0] = d.skew[1];
        m = multiply(s, m);
    }
    if (d.skew[0] != 0) {
        s[2][0] = 0;
        s[1][0] = d.skew[0];
        m = multiply(s, m);
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            m[i][j] *= d.scale[i];
    return fromMatrix(m);
}

}  // namespace

Transform3D Transform3D::makeTranslation(double tx, double ty, double tz) {
    Transform3D t;
    t.m41 = tx;
    t.m42 = ty;
    t.m43 = tz;
    return t;
}

Transform3D Transform3D::makeScale(double sx, double sy, double sz) {
    Transform3D t;
    t.m11 = sx;
    t.m22 = sy;
    t.m33 = sz;
    return t;
}

Transform3D Transform3D::makeRotation(double angle, double x, double y, double z) {
    double len = std::sqrt(x * x + y * y + z * z);
    if (len == 0) return {};
    x /= len;
    y /= len;
    z /= len;
    double c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    Transform3D t;
    t.m11 = k * x * x + c;
    t.m12 = k * x * y + s * z;
    t.m13 = k * x * z - s * y;
    t.m21 = k * x * y - s * z;
    t.m22 = k * y * y + c;
    t.m23 = k * y * z + s * x;
    t.m31 = k * x * z + s * y;
    t.m32 = k * y * z - s * x;
    t.m33 = k * z * z + c;
    return t;
}

Transform3D Transform3D::makeAffine(double a, double b, double c, double d, double tx, double ty) {
    Transform3D t;
    t.m11 = a;
    t.m12 = b;
    t.m21 = c;
    t.m22 = d;
    t.m41 = tx;
    t.m42 = ty;
    return t;
}

Transform3D Transform3D::concat(const Transform3D& next) const {
    return fromMatrix(multiply(toMatrix(*this), toMatrix(next)));
}

bool Transform3D::isAffine() const {
    return m14 == 0 && m24 == 0 && m44 == 1;
}

std::optional<Point> Transform3D::apply(Point p) const {
    double w = p.x * m14 + p.y * m24 + m44;
    if (w <= 1e-9) return std::nullopt;
    return Point{(p.x * m11 + p.y * m21 + m41) / w, (p.x * m12 + p.y * m22 + m42) / w};
}

Transform3D transform3DTranslate(const Transform3D& t, double tx, double ty, double tz) {
    return Transform3D::makeTranslation(tx, ty, tz).concat(t);
}

Transform3D transform3DScale(const Transform3D& t, double sx, double sy, double sz) {
    return Transform3D::makeScale(sx, sy, sz).concat(t);
}

Transform3D transform3DRotate(const Transform3D& t, double angle, double x, double y, double z) {
    return Transform3D::makeRotation(angle, x, y, z).concat(t);
}

Transform3D transform3DConcat(const Transform3D& a, const Transform3D& b) {
    return a.concat(b);
}

Transform3D interpolate(const Transform3D& a, const Transform3D& b, double f) {
    if (f == 0) return a;
    if (f == 1) return b;
    auto da = decompose(a);
    auto db = decompose(b);
    if (!da || !db) {
        Matrix ma = toMatrix(a), mb = toMatrix(b), r{};
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                r[i][j] = ma[i][j] + (mb[i][j] - ma[i][j]) * f;
        return fromMatrix(r);
    }
    Decomposed d;
    for (int i = 0; i < 3; ++i) {
        d.translate[i] = da->translate[i] + (db->translate[i] - da->translate[i]) * f;
        d.scale[i] = da->scale[i] + (db->scale[i] - da->scale[i]) * f;
        d.skew[i] = da->skew[i] + (db->skew[i] - da->skew[i]) * f;
    }
    for (int i = 0; i < 4; ++i)
        d.perspective[i] = da->perspective[i] + (db->perspective[i] - da->perspective[i]) * f;
    // Spherical interpolation of the rotations, the short way round.
    auto qa = da->quaternion, qb = db->quaternion;
    double product = qa[0] * qb[0] + qa[1] * qb[1] + qa[2] * qb[2] + qa[3] * qb[3];
    if (product < 0) {
        for (double& v : qb)
            v = -v;
        product = -product;
    }
    product = std::min(product, 1.0);
    if (product > 1 - 1e-12) {
        for (int i = 0; i < 4; ++i)
            d.quaternion[i] = qa[i] + (qb[i] - qa[i]) * f;
    } else {
        double theta = std::acos(product);
        double w = std::sin(f * theta) / std::sqrt(1 - product * product);
        double keep = std::cos(f * theta) - product * w;
        for (int i = 0; i < 4; ++i)
            d.quaternion[i] = qa[i] * keep + qb[i] * w;
    }
    return recompose(d);
}

}  // namespace platform::render
