#include "platform/ui/Animation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform::ui {

namespace {

// The clock sums its steps in doubles: an end a nanosecond away has come.
constexpr double kEpsilon = 1e-9;

double lerp(double a, double b, double f) {
    return a + (b - a) * f;
}

}  // namespace

// ---- AnimationValue ----

double AnimationValue::number() const {
    if (auto* n = std::get_if<double>(&v_)) return *n;
    return 0;
}

Point AnimationValue::point() const {
    if (auto* p = std::get_if<Point>(&v_)) return *p;
    if (auto* n = std::get_if<double>(&v_)) return {*n, *n};
    return {};
}

Size AnimationValue::size() const {
    if (auto* s = std::get_if<Size>(&v_)) return *s;
    if (auto* r = std::get_if<Rect>(&v_)) return r->size;
    return {};
}

Rect AnimationValue::rect() const {
    if (auto* r = std::get_if<Rect>(&v_)) return *r;
    if (auto* s = std::get_if<Size>(&v_)) return Rect(Point{}, *s);
    return {};
}

Transform3D AnimationValue::transform() const {
    if (auto* t = std::get_if<Transform3D>(&v_)) return *t;
    if (auto* n = std::get_if<double>(&v_)) return Transform3D::makeScale(*n, *n, 1);
    return {};
}

AnimationValue AnimationValue::interpolate(const AnimationValue& a,
                                           const AnimationValue& b,
                                           double f) {
    return std::visit(
        [&](const auto& to) -> AnimationValue {
            using T = std::decay_t<decltype(to)>;
            if constexpr (std::is_same_v<T, double>) {
                return lerp(a.number(), to, f);
            } else if constexpr (std::is_same_v<T, Point>) {
                Point from = a.point();
                return Point{lerp(from.x, to.x, f), lerp(from.y, to.y, f)};
            } else if constexpr (std::is_same_v<T, Size>) {
                Size from = a.size();
                return Size{lerp(from.width, to.width, f), lerp(from.height, to.height, f)};
            } else if constexpr (std::is_same_v<T, Rect>) {
                Rect from = a.rect();
                return Rect(lerp(from.minX(), to.minX(), f), lerp(from.minY(), to.minY(), f),
                            lerp(from.width(), to.width(), f), lerp(from.height(), to.height(), f));
            } else {
                return render::interpolate(a.transform(), to, f);
            }
        },
        b.v_);
}

// ---- TimingFunction ----

TimingFunction TimingFunction::named(Name name) {
    switch (name) {
        case Name::Linear:
            return controlPoints(0, 0, 1, 1);
        case Name::EaseIn:
            return controlPoints(0.42, 0, 1, 1);
        case Name::EaseOut:
            return controlPoints(0, 0, 0.58, 1);
        case Name::EaseInEaseOut:
            return controlPoints(0.42, 0, 0.58, 1);
        case Name::Default:
            break;
    }
    return controlPoints(0.25, 0.1, 0.25, 1);
}

TimingFunction TimingFunction::controlPoints(double x1, double y1, double x2, double y2) {
    TimingFunction f;
    f.x1_ = std::clamp(x1, 0.0, 1.0);
    f.y1_ = y1;
    f.x2_ = std::clamp(x2, 0.0, 1.0);
    f.y2_ = y2;
    return f;
}

double TimingFunction::apply(double x) const {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    if (x1_ == y1_ && x2_ == y2_) return x;  // linear
    auto bezier = [](double p1, double p2, double t) {
        double u = 1 - t;
        return 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t;
    };
    // x(t) rises monotonically (control x within 0..1): bisection finds t for x.
    double lo = 0, hi = 1, t = x;
    for (int i = 0; i < 60; ++i) {
        t = (lo + hi) / 2;
        if (bezier(x1_, x2_, t) < x) {
            lo = t;
        } else {
            hi = t;
        }
    }
    return bezier(y1_, y2_, t);
}

// ---- Animation ----

double Animation::activeDuration() const {
    if (duration <= 0) return 0;
    if (std::isinf(repeatCount)) return std::numeric_limits<double>::infinity();
    double cycles = repeatCount > 0 ? repeatCount : 1;
    return cycles * duration * (autoreverses ? 2 : 1);
}

bool Animation::isFinishedAt(double now) const {
    return now >= beginTime + activeDuration() - kEpsilon;
}

std::optional<double> Animation::progressAt(double now) const {
    double t = now - beginTime;
    bool backwards = fillMode == FillMode::Backwards || fillMode == FillMode::Both;
    bool forwards = fillMode == FillMode::Forwards || fillMode == FillMode::Both;
    if (t < 0) {
        if (!backwards) return std::nullopt;
        t = 0;
    }
    double active = activeDuration();
    bool ended = t >= active - kEpsilon;
    if (ended) {
        if (!forwards || removedOnCompletion) return std::nullopt;
        t = active;
    }
    double f;
    if (duration <= 0) {
        f = autoreverses ? 0 : 1;
    } else {
        double cycle = duration * (autoreverses ? 2 : 1);
        double phase = std::fmod(t, cycle);
        // The very end of a whole cycle is its last point, not the start of the next one.
        if (ended && std::abs(phase) < kEpsilon && t > 0) phase = cycle;
        f = phase <= duration ? phase / duration : (autoreverses ? 2 - phase / duration : 1);
        f = std::clamp(f, 0.0, 1.0);
    }
    return timingFunction ? timingFunction->apply(f) : f;
}

std::optional<AnimationValue> BasicAnimation::valueAt(double now,
                                                      const AnimationValue& model) const {
    auto f = progressAt(now);
    if (!f) return std::nullopt;
    AnimationValue from = fromValue.value_or(model);
    AnimationValue to = toValue.value_or(model);
    if (*f == 0) return from;
    if (*f == 1) return to;
    return AnimationValue::interpolate(from, to, *f);
}

std::optional<AnimationValue> KeyframeAnimation::valueAt(double now,
                                                         const AnimationValue& model) const {
    if (values.empty()) return std::nullopt;
    auto f = progressAt(now);
    if (!f) return std::nullopt;
    if (values.size() == 1) return values[0];
    const size_t n = values.size();
    auto timeOf = [&](size_t i) {
        return keyTimes.size() == n ? keyTimes[i] : double(i) / double(n - 1);
    };
    (void)model;
    if (*f <= timeOf(0)) return values[0];
    for (size_t i = 0; i + 1 < n; ++i) {
        double t0 = timeOf(i), t1 = timeOf(i + 1);
        if (*f > t1 && i + 2 < n) continue;
        if (*f >= t1) return values[i + 1];
        double local = t1 > t0 ? (*f - t0) / (t1 - t0) : 1;
        if (i < timingFunctions.size()) local = timingFunctions[i].apply(local);
        return AnimationValue::interpolate(values[i], values[i + 1], local);
    }
    return values.back();
}

}  // namespace platform::ui
