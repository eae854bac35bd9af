#pragma once
// Property animations: a record of how one property of a view moves over time, added to a view
// under a key (View::addAnimation). Code and tests read the records back; drawing reads the
// value at the current Clock time. Only "opacity" changes what is drawn; other key paths are
// kept as records.
//
// Timing: one pass runs from fromValue to toValue in `duration` seconds; with autoreverses it
// runs back in another `duration`. The animation makes repeatCount such cycles (one when 0;
// repeatCount may be infinite, and a fraction makes part of a last cycle). While running, the
// animated value replaces the model value. After the end, a record with fillMode Forwards and
// removedOnCompletion false holds its end value (fromValue again when it autoreverses);
// otherwise the model value shows again.

#include <optional>
#include <string>

namespace platform::ui {

enum class FillMode { Removed, Forwards };

struct BasicAnimation {
    std::string keyPath;  // e.g. "opacity"
    // Missing ends take the model value at the time the animation is read.
    std::optional<double> fromValue;
    std::optional<double> toValue;
    double duration = 0.25;
    bool autoreverses = false;
    double repeatCount = 0;
    FillMode fillMode = FillMode::Removed;
    bool removedOnCompletion = true;
    // Clock::now() when the view took it; set by View::addAnimation.
    double beginTime = 0;

    static BasicAnimation withKeyPath(std::string keyPath) {
        BasicAnimation a;
        a.keyPath = std::move(keyPath);
        return a;
    }

    // Seconds from beginTime to the end of the last cycle (infinite when repeating forever).
    double activeDuration() const;
    bool isFinishedAt(double now) const { return now >= beginTime + activeDuration(); }
    // The value at `now`, or nullopt when the animation no longer affects the property (after
    // its end without fill forwards). `model` stands in for a missing from/to value.
    std::optional<double> valueAt(double now, double model) const;
};

}  // namespace platform::ui
