#include "ads/foundation/HRNCSIConfiguration.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <random>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNSettings.h"
#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"

namespace {

uint32_t uniformDraw(uint32_t bound) {
    static std::mutex lock;
    static std::mt19937 generator{std::random_device{}()};
    std::lock_guard guard(lock);
    return std::uniform_int_distribution<uint32_t>(0, bound - 1)(generator);
}

std::string replaced(std::string text, char from, char to) {
    for (char& c : text)
        if (c == from) c = to;
    return text;
}

std::string infoText(const char* key) {
    const auto& info = HRNApplication::infoDictionary();
    auto it = info.find(key);
    return it == info.end() ? std::string() : it->second.asString();
}

}  // namespace

std::shared_ptr<HRNCSIConfiguration> HRNCSIConfiguration::defaultConfiguration() {
    auto configuration = std::make_shared<HRNCSIConfiguration>("rodi_rar");
    if (auto server = HRNSettingValue("csi_reporting_url"); server && server->string())
        configuration->setServer(*server->string());
    float probability = 0.05f;
    if (auto setting = HRNSettingValue("csi_reporting_probability")) {
        if (setting->isNumber())
            probability = static_cast<float>(setting->asReal());
        else if (const std::string* text = setting->string())
            probability = static_cast<float>(std::strtod(text->c_str(), nullptr));
    }
    configuration->setReportingProbability(probability);
    return configuration;
}

HRNCSIConfiguration::HRNCSIConfiguration(std::string serviceName)
    : serviceName_(std::move(serviceName)) {}

bool HRNCSIConfiguration::reportingEnabledForProbabilityDraw(float probability, uint32_t draw) {
    // Clamped before it becomes unsigned: a negative or NaN probability reports never, a huge
    // one always.
    double threshold = static_cast<double>(probability) * 1000.0;
    if (!(threshold > 0)) threshold = 0;
    if (threshold > 1000) threshold = 1000;
    return draw < static_cast<uint32_t>(threshold);
}

void HRNCSIConfiguration::setReportingProbability(float probability) {
    reportingEnabled_ = reportingEnabledForProbabilityDraw(probability, uniformDraw(1000));
}

std::string HRNCSIConfiguration::deviceVersionString() {
    if (HRNDevice::sharedInstance()->isSimulator()) return "Simulator";
    std::string machine = platform::device::hardwareMachine();
    if (machine.empty()) return "Unknown";
    for (size_t i = 0; i < machine.size(); ++i)
        if (std::isdigit(static_cast<unsigned char>(machine[i]))) {
            machine.insert(i, "/");
            break;
        }
    return replaced(machine, ',', '.');
}

std::string HRNCSIConfiguration::userAgent() {
    std::lock_guard guard(userAgentLock_);
    if (!cachedUserAgentString_) {
        const auto languages = platform::device::preferredLanguages();
        const std::string locale = languages.empty() ? "en-US" : replaced(languages[0], '_', '-');
        cachedUserAgentString_ = "VodiroViv/1.0 (" + deviceVersionString() + "; U; CPU " +
                                 platform::device::systemName() + " " +
                                 replaced(platform::device::systemVersion(), '.', '_') + "; " +
                                 locale + ") " + infoText("CFBundleName") + "/" +
                                 infoText("CFBundleVersion");
    }
    return *cachedUserAgentString_;
}
