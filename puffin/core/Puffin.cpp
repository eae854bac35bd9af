#include "puffin/core/Puffin.h"

#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/foundation/Log.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFUtilities.h"
#include "puffin/networking/PFConfig.h"

namespace {

constexpr const char* kMinimumSystemVersion = "5.1.1";

std::atomic<bool> gViewVisible{false};
std::atomic<bool> gSessionStarted{false};
std::atomic<bool> gInitialized{false};

struct WrapperStrings {
    std::mutex mutex;
    std::string frameworkName;
    std::string wrapperVersion;
    std::string frameworkVersion;
    std::string mediation;
};

WrapperStrings& wrapper() {
    static WrapperStrings strings;
    return strings;
}

// The first 20 characters of a version text.
std::string cutVersion(const std::string& version) {
    size_t count = 0, end = 0;
    while (end < version.size() && count < 20) {
        const auto lead = static_cast<unsigned char>(version[end]);
        end += lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        ++count;
    }
    return version.substr(0, end);
}

std::string nameOf(const std::map<uint64_t, std::string>& table, uint64_t value, uint64_t other) {
    auto it = table.find(value);
    return it != table.end() ? it->second : table.at(other);
}

}  // namespace

std::shared_ptr<Puffin> Puffin::sharedPuffin() {
    if (PFCompareVersions(platform::device::systemVersion(), kMinimumSystemVersion) < 0) {
        PFLogWarn("WARNING: Puffin Requires IOS OS Version Of Atleast %s. Initialization Failed.",
                  kMinimumSystemVersion);
        return nullptr;
    }
    static const auto instance = std::make_shared<Puffin>();
    return instance;
}

bool Puffin::isSessionStarted() {
    return gSessionStarted.load();
}
bool Puffin::isInitialized() {
    return gInitialized.load();
}
bool Puffin::isViewVisible() {
    return gViewVisible.load();
}
void Puffin::setViewIsVisible(bool visible) {
    gViewVisible.store(visible);
}
void Puffin::setSessionStarted(bool started) {
    gSessionStarted.store(started);
}
void Puffin::setInitialized(bool initialized) {
    gInitialized.store(initialized);
}

std::optional<std::string> Puffin::appId() {
    std::lock_guard guard(mutex_);
    if (!appId_) appId_ = PFConfig::appId();
    return appId_;
}

void Puffin::setAppId(const std::optional<std::string>& appId) {
    {
        std::lock_guard guard(mutex_);
        appId_ = appId;
    }
    PFConfig::setAppId(appId);
}

std::optional<std::string> Puffin::appSignature() {
    std::lock_guard guard(mutex_);
    if (!appSignature_) appSignature_ = PFConfig::appSignature();
    return appSignature_;
}

void Puffin::setAppSignature(const std::optional<std::string>& appSignature) {
    {
        std::lock_guard guard(mutex_);
        appSignature_ = appSignature;
    }
    PFConfig::setAppSignature(appSignature);
}

void Puffin::setCustomId(const std::optional<std::string>& customId) {
    if (auto puffin = sharedPuffin()) {
        std::lock_guard guard(puffin->mutex_);
        puffin->customIdentifier_ = customId;
    }
}

std::optional<std::string> Puffin::getCustomId() {
    auto puffin = sharedPuffin();
    if (!puffin) return std::nullopt;
    std::lock_guard guard(puffin->mutex_);
    return puffin->customIdentifier_;
}

int64_t Puffin::orientation() {
    {
        std::lock_guard guard(mutex_);
        if (orientationOverriden_) return orientation_;
    }
    return platform::device::statusBarOrientation();
}

void Puffin::setOrientation(int64_t orientation) {
    std::lock_guard guard(mutex_);
    orientation_ = orientation;
    orientationOverriden_ = true;
}

void Puffin::setMediationWithVersion(uint64_t mediation, const std::string& version) {
    const std::string name = nameOf(PFMediationNameForMediation(), mediation, 0);
    std::lock_guard guard(wrapper().mutex);
    wrapper().mediation = name + " " + cutVersion(version);
}

void Puffin::setFramework(uint64_t framework) {
    const std::string name = nameOf(PFFrameworkNameForFramework(), framework, 9);
    std::lock_guard guard(wrapper().mutex);
    wrapper().frameworkName = name;
    wrapper().wrapperVersion = name;
}

void Puffin::setFrameworkWithVersion(uint64_t framework, const std::string& version) {
    setFramework(framework);
    std::lock_guard guard(wrapper().mutex);
    wrapper().wrapperVersion = wrapper().frameworkName + " " + cutVersion(version);
}

void Puffin::setFrameworkVersion(const std::string& version) {
    std::lock_guard guard(wrapper().mutex);
    wrapper().frameworkVersion = version;
}

std::string Puffin::getFramework() {
    return frameworkName();
}

std::string Puffin::frameworkName() {
    std::lock_guard guard(wrapper().mutex);
    return wrapper().frameworkName;
}

std::string Puffin::frameworkVersion() {
    std::lock_guard guard(wrapper().mutex);
    return wrapper().frameworkVersion;
}

std::string Puffin::wrapperVersion() {
    std::lock_guard guard(wrapper().mutex);
    return wrapper().wrapperVersion;
}

std::string Puffin::mediationString() {
    std::lock_guard guard(wrapper().mutex);
    return wrapper().mediation;
}

bool PFWarnNotStarted(const char* method) {
    if (Puffin::isSessionStarted()) return true;
    platform::log(
        std::string("\n \n Puffin Integration Warning: startWithAppId:appSignature:delegate "
                    "must be called before ") +
        method + " \n \n \n");
    return false;
}
