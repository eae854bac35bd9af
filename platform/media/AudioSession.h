#pragma once
// The app's shared audio session: the category that says how the app's sound mixes with other
// sound (ads set "ambient": mixed in, silenced by the ring switch) and the device's output
// volume. The category is kept for callers that read it back; every category mixes here.
// Thread-safe.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/foundation/Error.h"

namespace platform::media {

inline constexpr const char* kAudioSessionCategoryAmbient = "AudioSessionCategoryAmbient";
inline constexpr const char* kAudioSessionCategorySoloAmbient = "AudioSessionCategorySoloAmbient";
inline constexpr const char* kAudioSessionCategoryPlayback = "AudioSessionCategoryPlayback";

class AudioSession {
  public:
    static AudioSession& shared();

    // SoloAmbient at first.
    std::string category() const;
    // False, with *error set (domain "AudioSessionErrorDomain"), for an unknown category.
    bool setCategory(const std::string& category, Error* error);

    // The device's output volume, 0...1 (platform::device::outputVolume).
    float outputVolume() const;

    // Interruptions (a call, an alarm) and route changes (headphones in or out: reasons 1 and
    // 2; the category changed: 3; others), as the front end or a test reports them. Observers
    // are called on the reporting thread, in the order added; tokens are never 0.
    using InterruptionObserver = std::function<void(bool began)>;
    using RouteChangeObserver = std::function<void(int reason)>;
    uint64_t addInterruptionObserver(InterruptionObserver observer);
    uint64_t addRouteChangeObserver(RouteChangeObserver observer);
    void removeObserver(uint64_t token);
    void interruptionBegan();
    void interruptionEnded(bool shouldResume);
    // Whether the last interruption that ended said playback should resume.
    bool interruptionShouldResume() const;
    void routeChanged(int reason);

  private:
    AudioSession() = default;
};

}  // namespace platform::media
