#include "puffin/views/PFAnimationManager.h"

#include <cmath>

#include "puffin/core/PFDynamicallyLoadedDependencies.h"
#include "puffin/core/Puffin.h"

using platform::render::Transform3D;
using platform::ui::AnimationValue;
using platform::ui::BasicAnimation;
using platform::ui::FillMode;
using platform::ui::KeyframeAnimation;
using platform::ui::Point;

namespace {

constexpr const char* kFramework = "QuartzCore";

using Rotate = std::function<Transform3D(const Transform3D&, double, double, double, double)>;
using Triple = std::function<Transform3D(const Transform3D&, double, double, double)>;

// What the animation framework offers by name; null members when it is missing.
struct Framework {
    const Rotate* rotate = nullptr;
    const Triple* scale = nullptr;
    const Triple* translate = nullptr;
    bool basic = false;
    bool keyframe = false;
    bool transition = false;

    bool usable() const { return rotate && scale && translate && basic && keyframe; }
    Transform3D R(const Transform3D& t, double a, double x, double y, double z) const {
        return (*rotate)(t, a, x, y, z);
    }
    Transform3D S(const Transform3D& t, double x, double y, double z) const {
        return (*scale)(t, x, y, z);
    }
    Transform3D T(const Transform3D& t, double x, double y, double z) const {
        return (*translate)(t, x, y, z);
    }
};

Framework framework() {
    Framework f;
    f.rotate = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<Rotate>(
        "CATransform3DRotate", kFramework);
    f.scale = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<Triple>("CATransform3DScale",
                                                                               kFramework);
    f.translate = PFDynamicallyLoadedDependencies::loadSymbolWithFramework<Triple>(
        "CATransform3DTranslate", kFramework);
    f.basic =
        PFDynamicallyLoadedDependencies::loadClassWithFramework("CABasicAnimation", kFramework)
            .has_value();
    f.keyframe =
        PFDynamicallyLoadedDependencies::loadClassWithFramework("CAKeyframeAnimation", kFramework)
            .has_value();
    f.transition =
        PFDynamicallyLoadedDependencies::loadClassWithFramework("CATransition", kFramework)
            .has_value();
    return f;
}

// The view's transform seen from 1500 points away.
Transform3D perspective(const platform::ui::View* layer) {
    Transform3D t =
        layer ? layer->transform() : Transform3D{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    t.m34 = -1.0 / 1500;
    return t;
}

enum class Edge { Top, Bottom, Left, Right };

// Where a slide starts (in) or ends (out): a whole width or height off its place, by side, turned
// with the interface on systems before iOS 8.
Point edgePoint(Edge edge, Point c, double w, double h) {
    auto pf = Puffin::sharedPuffin();
    const int64_t o = pf ? pf->orientation() : 1;
    const bool pre = PFUsesPreIOS8Layout();
    const Point up{c.x, c.y - h}, down{c.x, c.y + h}, left{c.x - w, c.y}, right{c.x + w, c.y};
    switch (edge) {
        case Edge::Top:
            if (o == 2) return down;
            if (o == 3) return pre ? right : up;
            if (o == 4) return pre ? left : up;
            return up;
        case Edge::Bottom:
            if (o == 2) return up;
            if (o == 3) return pre ? left : down;
            if (o == 4) return pre ? right : down;
            return down;
        case Edge::Left:
            if (o == 2) return right;
            if (o == 3) return pre ? up : left;
            if (o == 4) return pre ? down : left;
            return left;
        case Edge::Right:
            if (o == 2) return left;
            if (o == 3) return pre ? down : right;
            if (o == 4) return pre ? up : right;
            return right;
    }
    return c;
}

std::optional<Edge> edgeOf(int type) {
    switch (type) {
        case 4:
            return Edge::Top;
        case 5:
            return Edge::Bottom;
        case 8:
            return Edge::Left;
        case 9:
            return Edge::Right;
        default:
            return std::nullopt;
    }
}

std::shared_ptr<platform::ui::Animation> build(int type,
                                               const platform::ui::View* layer,
                                               double d,
                                               bool in) {
    const Framework f = framework();
    if (!f.usable()) return nullptr;
    if (type < 1 || type > 9) type = 2;
    const Transform3D t = perspective(layer);
    const double w = layer ? layer->frame().size.width : 0;
    const double h = layer ? layer->frame().size.height : 0;
    const Point c = layer ? layer->center() : Point{0, 0};
    std::shared_ptr<platform::ui::Animation> made;
    auto basic = [&](const char* keyPath, AnimationValue from, AnimationValue to, double duration) {
        auto a = std::make_shared<BasicAnimation>(BasicAnimation::withKeyPath(keyPath));
        a->fromValue = from;
        a->toValue = to;
        a->duration = duration;
        return a;
    };
    if (auto edge = edgeOf(type)) {
        const Point away = edgePoint(*edge, c, w, h);
        made = in ? basic("position", away, c, d) : basic("position", c, away, d);
    } else if (type == 1) {
        const Transform3D turned = in ? f.T(f.R(t, -M_PI / 3, 0, 1, 0), -500, 0, 0)
                                      : f.T(f.R(t, M_PI / 3, 0, 1, 0), 500, 0, 0);
        made = in ? basic("transform", turned, t, d) : basic("transform", t, turned, d);
    } else if (type == 2) {
        if (in) {
            auto a = std::make_shared<KeyframeAnimation>(
                KeyframeAnimation::withKeyPath("transform.scale"));
            a->values = {double(0.6f), double(1.1f), double(0.9f), 1.0};
            a->keyTimes = {0, double(0.6f), double(0.8f), 1.0};
            a->duration = d;
            made = a;
        } else {
            made = basic("transform.scale", 1.0, 0.0, d);
        }
    } else if (type == 3) {
        auto a = std::make_shared<KeyframeAnimation>(KeyframeAnimation::withKeyPath("transform"));
        if (in) {
            a->values = {f.R(f.S(f.T(t, 0, -300, 0), 0.3f, 0.3f, 1), -M_PI / 3, 1, 0, 0),
                         f.R(f.S(f.T(t, 0, 10, 0), 1.1f, 1.1f, 1), M_PI / 18, 1, 0, 0), t};
            a->keyTimes = {0, double(0.9f), 1.0};
        } else {
            a->values = {t, f.R(f.S(f.T(t, 0, 10, 0), 0.9f, 0.9f, 1), -M_PI / 18, 1, 0, 0),
                         f.R(f.S(f.T(t, 0, 500, 0), 1.3f, 1.3f, 1), M_PI / 6, 1, 0, 0)};
            a->keyTimes = {0, double(0.15f), 1.0};
        }
        a->duration = 1.5 * d;
        made = a;
    } else if (type == 6) {
        made = in ? basic("opacity", 0.0, 1.0, d) : basic("opacity", 1.0, 0.0, d);
    } else {  // 7: at once
        made = in ? basic("opacity", 0.0, 1.0, double(0.001f))
                  : basic("opacity", 1.0, 0.0, double(0.001f));
    }
    made->removedOnCompletion = in;
    made->fillMode = FillMode::Forwards;
    return made;
}

bool addTo(const std::shared_ptr<platform::ui::View>& layer,
           std::shared_ptr<platform::ui::Animation> animation,
           const PFAnimationManager::ConfigurationBlock& block,
           const char* key) {
    if (!layer || !animation) return false;
    if (block) block(*animation);
    layer->addAnimation(*animation, key);
    return true;
}

}  // namespace

std::shared_ptr<platform::ui::Animation> PFAnimationManager::transitionInAnimation(
    int type,
    const platform::ui::View* layer,
    double duration) {
    return build(type, layer, duration, true);
}

std::shared_ptr<platform::ui::Animation> PFAnimationManager::transitionOutAnimation(
    int type,
    const platform::ui::View* layer,
    double duration) {
    return build(type, layer, duration, false);
}

std::shared_ptr<platform::ui::Animation> PFAnimationManager::layerTransition(int type,
                                                                             double duration) {
    if (!framework().transition) return nullptr;
    using namespace platform::ui;
    auto transition = std::make_shared<Transition>();
    transition->duration = duration;
    static const char* const sides[] = {kTransitionFromTop, kTransitionFromBottom,
                                        kTransitionFromLeft, kTransitionFromRight};
    switch (type) {
        case 4:
        case 5:
            transition->type = kTransitionMoveIn;
            transition->subtype = sides[type - 4];
            break;
        case 6:
            transition->type = kTransitionFade;
            break;
        case 7:
            transition->type = kTransitionFade;
            transition->subtype = kTransitionFromBottom;
            transition->duration = double(0.001f);
            break;
        case 8:
        case 9:
            transition->type = kTransitionMoveIn;
            transition->subtype = sides[type - 6];
            break;
        default:
            if (type >= 10 && type <= 13) {
                transition->type = kTransitionPush;
                transition->subtype = sides[type - 10];
            } else if (type >= 14 && type <= 17) {
                transition->type = kTransitionReveal;
                transition->subtype = sides[type - 14];
            } else {
                transition->type = kTransitionMoveIn;
                transition->subtype = kTransitionFromLeft;
            }
    }
    return transition;
}

bool PFAnimationManager::transitionInWithAnimationTypeLayerDurationAnimationConfigurationBlock(
    int type,
    const std::shared_ptr<platform::ui::View>& layer,
    double duration,
    const ConfigurationBlock& block) {
    return addTo(layer, transitionInAnimation(type, layer.get(), duration), block, "transitionIn");
}

bool PFAnimationManager::transitionOutWithAnimationTypeLayerDurationAnimationConfigurationBlock(
    int type,
    const std::shared_ptr<platform::ui::View>& layer,
    double duration,
    const ConfigurationBlock& block) {
    return addTo(layer, transitionOutAnimation(type, layer.get(), duration), block,
                 "transitionOut");
}

bool PFAnimationManager::transitionWithAnimationTypeLayerDurationAnimationConfigurationBlock(
    int type,
    const std::shared_ptr<platform::ui::View>& layer,
    double duration,
    const ConfigurationBlock& block) {
    return addTo(layer, layerTransition(type, duration), block, "transition");
}

bool PFAnimationManager::transitionInWithAnimationTypeLayer(
    int type,
    const std::shared_ptr<platform::ui::View>& layer) {
    return transitionInWithAnimationTypeLayerDurationAnimationConfigurationBlock(
        type, layer, kDuration, nullptr);
}

bool PFAnimationManager::transitionOutWithAnimationTypeLayer(
    int type,
    const std::shared_ptr<platform::ui::View>& layer) {
    return transitionOutWithAnimationTypeLayerDurationAnimationConfigurationBlock(
        type, layer, kDuration, nullptr);
}

bool PFAnimationManager::transitionWithAnimationTypeLayer(
    int type,
    const std::shared_ptr<platform::ui::View>& layer) {
    return transitionWithAnimationTypeLayerDurationAnimationConfigurationBlock(type, layer,
                                                                               kDuration, nullptr);
}

std::shared_ptr<PFAnimationDidStopDelegate>
PFAnimationManager::animationDidStopDelegateWithCallback(
    PFAnimationDidStopDelegate::Callback callback) {
    auto made = std::make_shared<PFAnimationDidStopDelegate>();
    made->callback = std::move(callback);
    return made;
}
