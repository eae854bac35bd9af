#include "platform/media/AudioSession.h"

#include <mutex>

#include "platform/device/DeviceFacts.h"

namespace platform::media {

namespace {
std::mutex sessionMutex;
std::string sessionCategory = kAudioSessionCategorySoloAmbient;
}  // namespace

AudioSession& AudioSession::shared() {
    static AudioSession session;
    return session;
}

std::string AudioSession::category() const {
    std::lock_guard lock(sessionMutex);
    return sessionCategory;
}

bool AudioSession::setCategory(const std::string& category, Error* error) {
    if (category != kAudioSessionCategoryAmbient && category != kAudioSessionCategorySoloAmbient &&
        category != kAudioSessionCategoryPlayback) {
        setError(error, Error::withDescription("AudioSessionErrorDomain", 1,
                                               "Unknown audio session category: " + category));
        return false;
    }
    std::lock_guard lock(sessionMutex);
    sessionCategory = category;
    return true;
}

float AudioSession::outputVolume() const {
    return device::outputVolume();
}

}  // namespace platform::media
