#pragma once
// Turns an ad response's animation type ("animation") into the entrance or exit animation of
// an ad's view, and PFAnimationDidStopDelegate runs a block when such an animation stops. The
// animation framework's classes and transform functions are reached by name ("QuartzCore",
// PFDynamicallyLoadedDependencies); without them no animation is made and the callers go on
// without one.
//
// Types in: 1 turn in from the left, 2 (and anything outside 1..9) bounce in by scale, 3 drop
// in from above, 4/5/8/9 slide in from the top, bottom, left, right (sides follow the
// interface orientation on systems before iOS 8), 6 fade in, 7 appear at once. Out: the
// same, reversed. Layer transitions 4..17: move-in, fade, push and reveal from the sides.
//
// Threading: main thread (the animations go on views).

#include <functional>
#include <memory>

#include "platform/ui/Animation.h"
#include "platform/ui/View.h"

class PFAnimationDidStopDelegate : public platform::ui::AnimationDelegate {
  public:
    using Callback = std::function<void(platform::ui::Animation& animation, bool finished)>;
    // The callback runs whether or not the animation finished; none does nothing.
    Callback callback;
    void animationDidStopFinished(platform::ui::Animation& animation, bool finished) override {
        if (callback) callback(animation, finished);
    }
};

class PFAnimationManager {
  public:
    using ConfigurationBlock = std::function<void(platform::ui::Animation& animation)>;
    static constexpr double kDuration = 0.2555;

    // Each builds the animation, sets its fields, lets the block configure it (a stop delegate)
    // and adds it to the view under "transitionIn", "transitionOut" or "transition". False, with
    // nothing added and the block not called, when the animation framework is missing or there
    // is no view.
    static bool transitionInWithAnimationTypeLayerDurationAnimationConfigurationBlock(
        int type,
        const std::shared_ptr<platform::ui::View>& layer,
        double duration,
        const ConfigurationBlock& block);
    static bool transitionOutWithAnimationTypeLayerDurationAnimationConfigurationBlock(
        int type,
        const std::shared_ptr<platform::ui::View>& layer,
        double duration,
        const ConfigurationBlock& block);
    static bool transitionWithAnimationTypeLayerDurationAnimationConfigurationBlock(
        int type,
        const std::shared_ptr<platform::ui::View>& layer,
        double duration,
        const ConfigurationBlock& block);
    static bool transitionInWithAnimationTypeLayer(
        int type,
        const std::shared_ptr<platform::ui::View>& layer);
    static bool transitionOutWithAnimationTypeLayer(
        int type,
        const std::shared_ptr<platform::ui::View>& layer);
    static bool transitionWithAnimationTypeLayer(int type,
                                                 const std::shared_ptr<platform::ui::View>& layer);
    static std::shared_ptr<PFAnimationDidStopDelegate> animationDidStopDelegateWithCallback(
        PFAnimationDidStopDelegate::Callback callback);

    // The animations as built (null without the framework); a null view is a zero-size one
    // with a zero transform.
    static std::shared_ptr<platform::ui::Animation>
    transitionInAnimation(int type, const platform::ui::View* layer, double duration);
    static std::shared_ptr<platform::ui::Animation>
    transitionOutAnimation(int type, const platform::ui::View* layer, double duration);
    static std::shared_ptr<platform::ui::Animation> layerTransition(int type, double duration);
};
