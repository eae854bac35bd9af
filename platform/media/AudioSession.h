#pragma once
// The app's shared audio session: the category that says how the app's sound mixes with other
// sound (ads set "ambient": mixed in, silenced by the ring switch) and the device's output
// volume. The category is kept for callers that read it back; every category mixes here.
// Thread-safe.

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

  private:
    AudioSession() = default;
};

}  // namespace platform::media
