#include "platform/media/AudioSession.h"

#include <map>
#include <mutex>
#include <vector>

#include "platform/device/DeviceFacts.h"

namespace platform::media {

namespace {
std::mutex sessionMutex;
std::string sessionCategory = kAudioSessionCategorySoloAmbient;
bool shouldResume = false;
uint64_t nextToken = 1;
std::map<uint64_t, AudioSession::InterruptionObserver> interruptionObservers;
std::map<uint64_t, AudioSession::RouteChangeObserver> routeObservers;
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

uint64_t AudioSession::addInterruptionObserver(InterruptionObserver observer) {
    std::lock_guard lock(sessionMutex);
    interruptionObservers[nextToken] = std::move(observer);
    return nextToken++;
}

uint64_t AudioSession::addRouteChangeObserver(RouteChangeObserver observer) {
    std::lock_guard lock(sessionMutex);
    routeObservers[nextToken] = std::move(observer);
    return nextToken++;
}

void AudioSession::removeObserver(uint64_t token) {
    std::lock_guard lock(sessionMutex);
    interruptionObservers.erase(token);
    routeObservers.erase(token);
}

void AudioSession::interruptionBegan() {
    std::vector<InterruptionObserver> observers;
    {
        std::lock_guard lock(sessionMutex);
        for (const auto& [token, observer] : interruptionObservers)
            observers.push_back(observer);
    }
    for (const auto& observer : observers)
        observer(true);
}

void AudioSession::interruptionEnded(bool resume) {
    std::vector<InterruptionObserver> observers;
    {
        std::lock_guard lock(sessionMutex);
        shouldResume = resume;
        for (const auto& [token, observer] : interruptionObservers)
            observers.push_back(observer);
    }
    for (const auto& observer : observers)
        observer(false);
}

bool AudioSession::interruptionShouldResume() const {
    std::lock_guard lock(sessionMutex);
    return shouldResume;
}

void AudioSession::routeChanged(int reason) {
    std::vector<RouteChangeObserver> observers;
    {
        std::lock_guard lock(sessionMutex);
        for (const auto& [token, observer] : routeObservers)
            observers.push_back(observer);
    }
    for (const auto& observer : observers)
        observer(reason);
}

}  // namespace platform::media
