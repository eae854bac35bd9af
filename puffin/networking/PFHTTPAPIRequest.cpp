#include "puffin/networking/PFHTTPAPIRequest.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/device/DeviceFacts.h"
#include "platform/device/SystemVersion.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/security/Digest.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Screen.h"
#include "puffin/core/PFDynamicallyLoadedDependencies.h"
#include "puffin/core/PFIdentity.h"
#include "puffin/core/PFLog.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFAPISchemas.h"
#include "puffin/networking/PFCrypto.h"
#include "puffin/networking/PFNNetworkReachabilityManager.h"
#include "puffin/networking/PFWebviewHTTPAPIRequest.h"

using platform::Dictionary;
using platform::Value;

namespace {

constexpr const char* kDefaultBaseURL = "https://127.0.0.1:51730";

// Facts computed once per process.
struct ClassFacts {
    std::shared_ptr<PFTelephonyNetworkInfo> telephony;
    std::string deviceType;
    std::optional<std::string> deviceFamily;
    std::string bundleIdentifier;
    std::string bundleVersion;
    std::string baseURL;
};

std::vector<std::string> processArguments() {
    std::vector<std::string> arguments;
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string argument;
    while (std::getline(file, argument, '\0'))
        arguments.push_back(argument);
    return arguments;
}

std::string textOf(const Value& value) {
    if (value.isString()) return *value.string();
    if (value.isInteger()) return std::to_string(value.asInteger());
    if (value.isReal()) {
        const double d = value.asReal();
        if (d == std::floor(d) && std::abs(d) < 1e15)
            return std::to_string(static_cast<int64_t>(d));
    }
    return {};
}

std::optional<std::string> deviceFamilyFrom(const Dictionary& info) {
    auto it = info.find("UIDeviceFamily");
    const platform::Array empty;
    const platform::Array& family =
        it != info.end() && it->second.isArray() ? *it->second.array() : empty;
    if (family.size() == 1) {
        const std::string only = textOf(family[0]);
        if (only == "1") return "iPhone";
        if (only == "2") return "iPad";
        return std::nullopt;
    }
    if (family.size() == 2) {
        if (textOf(family[0]) == "1" && textOf(family[1]) == "2") return "Universal";
    }
    return "Unknown";
}

const ClassFacts& classFacts() {
    static const ClassFacts facts = [] {
        ClassFacts made;
        // Telephony.
        if (auto cls = PFDynamicallyLoadedDependencies::loadClassWithFramework(
                "CTTelephonyNetworkInfo", "CoreTelephony");
            cls && cls->factory)
            made.telephony = std::dynamic_pointer_cast<PFTelephonyNetworkInfo>(cls->factory());
        // Machine and family.
        made.deviceType = platform::device::hardwareMachine();
        const auto bundle = platform::ui::bundleDirectory();
        Dictionary info;
        if (auto plist = platform::plist::readFile(bundle / "Info.plist");
            plist && plist->isDictionary())
            info = *plist->dictionary();
        made.deviceFamily = deviceFamilyFrom(info);
        // Bundle.
        made.bundleIdentifier = platform::AppHome::bundleIdentifier();
        if (auto it = info.find("CFBundleVersion"); it != info.end() && it->second.isString())
            made.bundleVersion = *it->second.string();
        // Base URL.
        made.baseURL = kDefaultBaseURL;
        if (auto config = platform::plist::readFile(bundle / "ServerConfig.plist")) {
            if (const Value* url = config->find("PuffinAPIBaseURL"); url && url->isString())
                made.baseURL = *url->string();
        }
        if (const char* url = std::getenv("QEN_PUFFIN_API_URL"); url && *url) made.baseURL = url;
        const auto arguments = processArguments();
        for (size_t i = 0; i + 1 < arguments.size(); ++i)
            if (arguments[i] == "-pf_endpoint") {
                made.baseURL = arguments[i + 1];
                break;
            }
        return made;
    }();
    return facts;
}

// Whether a value can be written as JSON: no data, dates or non-finite numbers anywhere.
bool isJSONValue(const Value& value) {
    switch (value.type()) {
        case Value::Type::Data:
        case Value::Type::Date:
            return false;
        case Value::Type::Real:
            return std::isfinite(value.asReal());
        case Value::Type::Array:
            for (const Value& item : *value.array())
                if (!isJSONValue(item)) return false;
            return true;
        case Value::Type::Dictionary:
            for (const auto& [key, item] : *value.dictionary())
                if (!isJSONValue(item)) return false;
            return true;
        default:
            return true;
    }
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

PFHTTPAPIRequest::PFHTTPAPIRequest()
    : platform::net::URLRequest(*platform::net::URL::parse(kDefaultBaseURL)) {}

std::shared_ptr<PFHTTPAPIRequest> PFHTTPAPIRequest::create(const std::string& path) {
    return make<PFHTTPAPIRequest>(path);
}

void PFHTTPAPIRequest::initWithPath(const std::string& path) {
    initRequestBody();
    shouldRetry = false;
    retries = 0;
    responseMask = responseMaskForPath(path);
    responsePredicate = responsePredicateForPath(path);
    retryCount = 0;
    currentRetryCount = 0;
    httpMethod = "POST";
    cachePolicy = platform::net::CachePolicy::ReloadIgnoringLocalCacheData;
    HTTPShouldHandleCookies = true;
    timeoutInterval = 30;
    if (auto base = platform::net::URL::parse(apiBaseURL())) {
        if (auto resolved = platform::net::URL::resolve(path, *base)) url = *resolved;
    }
    appendHeaderKeyValue("X-Puffin-App", getAppId());
    appendHeaderKeyValue("X-Puffin-API", getAPIVersion());
    appendHeaderKeyValue("Accept", getContentType());
    appendHeaderKeyValue("Content-Type", getContentType());
    appendHeaderKeyValue("X-Puffin-Client", getUserAgent());
    appendDeviceInfoParameters();
    tag = uniqueTag();
}

void PFHTTPAPIRequest::initRequestBody() {
    body = Dictionary{};
}

std::optional<std::string> PFHTTPAPIRequest::keyPathWithKeys(
    const std::vector<std::optional<std::string>>& keys) {
    if (keys.empty() || !keys[0]) return std::nullopt;
    std::string path = *keys[0];
    for (size_t i = 1; i < keys.size() && keys[i]; ++i)
        path += "." + *keys[i];
    return path;
}

void PFHTTPAPIRequest::appendHeaderKeyValue(const std::optional<std::string>& name,
                                            const std::optional<std::string>& value) {
    if (name && value) setValueForHeader(*name, *value);
}

void PFHTTPAPIRequest::appendBodyArgumentKeyValue(const std::string& keyPath,
                                                  const std::optional<Value>& value) {
    if (!value) return;
    Value stored = *value;
    if (stored.isReal() && std::isnan(stored.asReal())) {
        stored = Value(0);
        PFLogInfo("appendBodyArgumentKey was NaN: %s set to 0", keyPath.c_str());
    }
    Value* parent = &body;
    size_t start = 0;
    for (size_t dot = keyPath.find('.'); dot != std::string::npos; dot = keyPath.find('.', start)) {
        if (!parent->isDictionary()) return;
        auto& entries = *parent->dictionary();
        auto it = entries.find(keyPath.substr(start, dot - start));
        if (it == entries.end() || !it->second.isDictionary()) return;  // never made here
        parent = &it->second;
        start = dot + 1;
    }
    if (!parent->isDictionary()) return;
    (*parent->dictionary())[keyPath.substr(start)] = std::move(stored);
}

void PFHTTPAPIRequest::appendShouldCache() {
    appendBodyArgumentKeyValue("cache", Value("1"));
}

void PFHTTPAPIRequest::appendCached() {
    appendBodyArgumentKeyValue("cached", Value("1"));
}

void PFHTTPAPIRequest::appendDeviceInfoParameters() {
    auto optionalText = [](const std::string& text) {
        return text.empty() ? std::nullopt : std::optional<Value>(text);
    };
    auto asValue = [](const std::optional<std::string>& text) {
        return text ? std::optional<Value>(*text) : std::nullopt;
    };
    appendBodyArgumentKeyValue("retry_count", Value(getRetryCount()));
    appendBodyArgumentKeyValue("session", Value(getSessionCount()));
    appendBodyArgumentKeyValue("app", asValue(getAppId()));
    appendBodyArgumentKeyValue("session_ID", asValue(getSessionId()));
    appendBodyArgumentKeyValue("bundle_id", Value(getBundleId()));
    appendBodyArgumentKeyValue("bundle", Value(getBundleVersion()));
    appendBodyArgumentKeyValue("ui", Value(getUserInterface()));
    appendBodyArgumentKeyValue("custom_id", asValue(getCustomId()));
    appendBodyArgumentKeyValue("test-mode", Value(getIsTestModeEnabled()));
    appendBodyArgumentKeyValue("scale", Value(getScreenScale()));
    if (!body.find("device_dimensions"))
        appendBodyArgumentKeyValue("device_dimensions", Dictionary{});
    appendBodyArgumentKeyValue(*keyPathWithKeys({"device_dimensions", "width"}),
                               Value(getDeviceWidth()));
    appendBodyArgumentKeyValue(*keyPathWithKeys({"device_dimensions", "height"}),
                               Value(getDeviceHeight()));
    appendBodyArgumentKeyValue("country", Value(getCountry()));
    appendBodyArgumentKeyValue("identity", Value(getIdentity()));
    appendBodyArgumentKeyValue("model", Value(getDeviceModel()));
    appendBodyArgumentKeyValue("os", Value(getSystemVersion()));
    appendBodyArgumentKeyValue("tracking", Value(getIsTrackingEnabled()));
    appendBodyArgumentKeyValue("language", Value(getLanguage()));
    appendBodyArgumentKeyValue("timestamp", Value(getTimestamp()));
    appendBodyArgumentKeyValue("retina", Value(getIsRetina()));
    appendBodyArgumentKeyValue("is_portrait", Value(getIsPortrait()));
    appendBodyArgumentKeyValue("timezone", Value(getTimezone()));
    appendBodyArgumentKeyValue("mobile_network", Value(getNetworkType()));
    appendBodyArgumentKeyValue("device_type", Value(getDeviceType()));
    appendBodyArgumentKeyValue("device_family", asValue(getDeviceFamily()));
    appendBodyArgumentKeyValue("carrier", Value(getCarrierInfo().value_or(Dictionary{})));
    appendBodyArgumentKeyValue("sdk", Value(getSDKVersion()));
    appendBodyArgumentKeyValue("mediation", optionalText(getMediationLibrary()));
    appendBodyArgumentKeyValue("framework_version", optionalText(getFrameworkVersion()));
    appendBodyArgumentKeyValue("wrapper_version", optionalText(getWrapperVersion()));
}

std::optional<platform::Data> PFHTTPAPIRequest::serializedBody() const {
    std::optional<std::string> text;
    if (body.isDictionary() && isJSONValue(body)) text = platform::json::serialize(body);
    if (!text) {
        PFLogWarn("NOT a JSON object: URL=%s body=%s", url.absoluteString().c_str(),
                  platform::json::serialize(body).value_or("<not JSON>").c_str());
        return std::nullopt;
    }
    return platform::Data::fromString(*text);
}

bool PFHTTPAPIRequest::serializeBody() {
    auto bytes = serializedBody();
    URLRequest::body = bytes.value_or(platform::Data());
    return bytes.has_value();
}

bool PFHTTPAPIRequest::signRequest() {
    appendBodyArgumentKeyValue("reachability", Value(getNetworkStatus()));
    if (!serializeBody()) {
        headers.remove("X-Puffin-Signature");
        return false;
    }
    setValueForHeader("X-Puffin-Signature", uniqueSignature());
    return true;
}

std::string PFHTTPAPIRequest::uniqueSignature() const {
    const std::string path = platform::percentUnescape(url.path()).value_or(url.path());
    std::string signature;
    if (auto puffin = Puffin::sharedPuffin()) signature = puffin->appSignature().value_or("");
    const std::string text = httpMethod + " " + path + "\n" + signature + "\n" +
                             serializedBody().value_or(platform::Data()).toString();
    return *PFCrypto::hexRepresentationOfData(
        PFCrypto::SHA1DataWithData(platform::Data::fromString(text)));
}

bool PFHTTPAPIRequest::incrementRetryCount() {
    ++retryCount;
    ++currentRetryCount;
    appendBodyArgumentKeyValue("retry_count", Value(getRetryCount()));
    return signRequest();
}

bool PFHTTPAPIRequest::retryForResponseError(const std::optional<Value>&,
                                             const platform::Error*) const {
    return true;
}

PFVPredicateRef PFHTTPAPIRequest::responsePredicateForPath(const std::string&) const {
    return nullptr;
}

PFVMask PFHTTPAPIRequest::responseMaskForPath(const std::string& path) const {
    return PFAPIResponseMaskForPath(path);
}

std::string PFHTTPAPIRequest::uniqueTag() {
    // A process-wide unique text: host, process, a counter and random bytes.
    static std::atomic<uint64_t> counter{0};
    static const auto& processPart = *new std::string([] {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        return std::string(host) + "-" + std::to_string(getpid());
    }());
    std::string text = processPart + "-" + std::to_string(++counter) + "-" +
                       platform::security::hex(platform::security::randomBytes(8));
    for (char& c : text)
        if (c == '/' || c == ':' || c == '.') c = '-';
    return text;
}

std::string PFHTTPAPIRequest::description() const {
    std::string text = "<\n" + httpMethod + ": " + url.absoluteString() + "\nTag: " + tag +
                       "\nBODY: " + platform::json::serialize(body, true).value_or("<not JSON>") +
                       "\nCURRENT RETRIES: " + std::to_string(currentRetryCount) +
                       "\nTOTAL RETRIES: " + std::to_string(retryCount) + "\n>";
    text = replaceAll(text, "\n", "\n    ");
    return replaceAll(text, "\n    >", "\n>");
}

Dictionary PFHTTPAPIRequest::encodeWithCoder() const {
    platform::Array headerList;
    for (const auto& [name, value] : headers.entries())
        headerList.push_back(platform::Array{name, value});
    return Dictionary{
        {"class", className()},
        {"URL", url.absoluteString()},
        {"HTTPMethod", httpMethod},
        {"headers", headerList},
        {"HTTPBody", URLRequest::body},
        {"cachePolicy", static_cast<int64_t>(cachePolicy)},
        {"timeoutInterval", timeoutInterval},
        {"shouldRetry", shouldRetry},
        {"body", body},
        {"tag", tag},
        {"retries", static_cast<int64_t>(retries)},
        {"retryCount", static_cast<int64_t>(retryCount)},
        {"currentRetryCount", static_cast<int64_t>(currentRetryCount)},
    };
}

std::shared_ptr<PFHTTPAPIRequest> PFHTTPAPIRequest::initWithCoder(const Dictionary& archive) {
    auto text = [&](const char* key) {
        auto it = archive.find(key);
        return it != archive.end() && it->second.isString() ? *it->second.string() : std::string();
    };
    auto number = [&](const char* key) {
        auto it = archive.find(key);
        return it != archive.end() ? it->second.asInteger() : 0;
    };
    auto parsed = platform::net::URL::parse(text("URL"));
    if (!parsed || parsed->scheme().empty()) return nullptr;
    auto request = emptyRequestOfClass(text("class"));
    request->url = *parsed;
    request->httpMethod = text("HTTPMethod");
    if (auto it = archive.find("headers"); it != archive.end() && it->second.isArray())
        for (const Value& pair : *it->second.array())
            if (pair.isArray() && pair.array()->size() == 2)
                request->setValueForHeader((*pair.array())[0].asString(),
                                           (*pair.array())[1].asString());
    if (auto it = archive.find("HTTPBody"); it != archive.end() && it->second.data())
        request->URLRequest::body = *it->second.data();
    request->cachePolicy = static_cast<platform::net::CachePolicy>(number("cachePolicy"));
    if (auto it = archive.find("timeoutInterval"); it != archive.end())
        request->timeoutInterval = it->second.asReal(30);
    if (auto it = archive.find("shouldRetry"); it != archive.end())
        request->shouldRetry = it->second.asBool();
    if (auto it = archive.find("body"); it != archive.end()) request->body = it->second;
    request->tag = text("tag");
    request->retries = static_cast<uint64_t>(number("retries"));
    request->retryCount = static_cast<uint64_t>(number("retryCount"));
    request->currentRetryCount = static_cast<uint64_t>(number("currentRetryCount"));
    return request;
}

std::shared_ptr<PFHTTPAPIRequest> PFHTTPAPIRequest::emptyRequestOfClass(const std::string& name) {
    if (name == "PFWebviewHTTPAPIRequest")
        return std::shared_ptr<PFHTTPAPIRequest>(new PFWebviewHTTPAPIRequest());
    if (name == "PFPIAHTTPAPIRequest")
        return std::shared_ptr<PFHTTPAPIRequest>(new PFPIAHTTPAPIRequest());
    return std::shared_ptr<PFHTTPAPIRequest>(new PFHTTPAPIRequest());
}

std::shared_ptr<PFHTTPAPIRequest> PFHTTPAPIRequest::createOfClass(const std::string& name,
                                                                  const std::string& path) {
    auto request = emptyRequestOfClass(name);
    request->initWithPath(path);
    return request;
}

std::optional<std::string> PFHTTPAPIRequest::getAppId() const {
    auto puffin = Puffin::sharedPuffin();
    return puffin ? puffin->appId() : std::nullopt;
}

std::string PFHTTPAPIRequest::getUserAgent() const {
    return std::string(kClientName) + " " + Puffin::frameworkName() + " " + kSDKVersion;
}

int64_t PFHTTPAPIRequest::getSessionCount() const {
    return platform::UserDefaults::standard().integer("PFSessionCountKey");
}

std::optional<std::string> PFHTTPAPIRequest::getSessionId() const {
    std::string id = PFTrack::getSessionID();  // empty before the first session
    if (id.empty()) return std::nullopt;
    return id;
}

std::string PFHTTPAPIRequest::getBundleId() const {
    return classFacts().bundleIdentifier;
}
std::string PFHTTPAPIRequest::getBundleVersion() const {
    return classFacts().bundleVersion;
}
std::string PFHTTPAPIRequest::getDeviceType() const {
    return classFacts().deviceType;
}
std::optional<std::string> PFHTTPAPIRequest::getDeviceFamily() const {
    return classFacts().deviceFamily;
}

int64_t PFHTTPAPIRequest::getUserInterface() const {
    return platform::device::userInterfaceIdiomIsPhone() ? 0 : 1;
}

std::optional<std::string> PFHTTPAPIRequest::getCustomId() const {
    return Puffin::getCustomId();
}

bool PFHTTPAPIRequest::getIsTestModeEnabled() const {
    const char* mode = std::getenv("PF_TEST_MODE");
    return mode && std::string(mode) == "on";
}

double PFHTTPAPIRequest::getScreenScale() const {
    return platform::ui::Screen::main().scale();
}

double PFHTTPAPIRequest::getDeviceWidth() const {
    return platform::ui::Screen::main().bounds().width() * getScreenScale();
}

double PFHTTPAPIRequest::getDeviceHeight() const {
    return platform::ui::Screen::main().bounds().height() * getScreenScale();
}

double PFHTTPAPIRequest::getApplicationWidth() const {
    return platform::ui::Screen::main().applicationFrame().width() * getScreenScale();
}

double PFHTTPAPIRequest::getApplicationHeight() const {
    return platform::ui::Screen::main().applicationFrame().height() * getScreenScale();
}

std::string PFHTTPAPIRequest::getCountry() const {
    // The region of the first preferred language ("zh-Hans-CN"), else the region of the phone
    // this platform stands for.
    const auto languages = platform::device::preferredLanguages();
    if (!languages.empty()) {
        const std::string& language = languages.front();
        const size_t dash = language.rfind('-');
        if (dash != std::string::npos && language.size() - dash == 3 &&
            std::isupper(language[dash + 1]))
            return language.substr(dash + 1);
    }
    return "CN";
}

std::string PFHTTPAPIRequest::getIdentity() const {
    return PFIdentity::hexIdentifier();
}

std::string PFHTTPAPIRequest::getDeviceModel() const {
    return platform::device::model();
}

std::string PFHTTPAPIRequest::getSystemVersion() const {
    return platform::device::systemVersion();
}

bool PFHTTPAPIRequest::getIsTrackingEnabled() const {
    return PFIdentity::advertisingTrackingEnabled();
}

std::string PFHTTPAPIRequest::getLanguage() const {
    const auto languages = platform::device::preferredLanguages();
    return languages.empty() ? std::string() : languages.front();
}

std::string PFHTTPAPIRequest::getTimestamp() const {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

bool PFHTTPAPIRequest::getIsRetina() const {
    return getScreenScale() > 1.0;
}

bool PFHTTPAPIRequest::getIsPortrait() const {
    auto puffin = Puffin::sharedPuffin();
    const int64_t orientation = puffin ? puffin->orientation() : 0;
    return orientation == 1 || orientation == 2;
}

std::optional<Dictionary> PFHTTPAPIRequest::getCarrierInfo() const {
    const auto& telephony = classFacts().telephony;
    if (!telephony) return Dictionary{};
    auto carrier =
        telephony->subscriberCellularProvider().value_or(PFTelephonyNetworkInfo::Carrier{});
    auto orNull = [](const std::optional<std::string>& text) {
        return text ? Value(*text) : Value();
    };
    return Dictionary{{"carrier-name", orNull(carrier.carrierName)},
                      {"iso-country-code", orNull(carrier.isoCountryCode)},
                      {"mobile-country-code", orNull(carrier.mobileCountryCode)},
                      {"mobile-network-code", orNull(carrier.mobileNetworkCode)}};
}

std::string PFHTTPAPIRequest::getMediationLibrary() const {
    return Puffin::mediationString();
}
std::string PFHTTPAPIRequest::getFrameworkVersion() const {
    return Puffin::frameworkVersion();
}
std::string PFHTTPAPIRequest::getWrapperVersion() const {
    return Puffin::wrapperVersion();
}

int64_t PFHTTPAPIRequest::getNetworkStatus() {
    return networkStatusToPFNetworkStatus(
        PFNNetworkReachabilityManager::sharedManager()->networkReachabilityStatus());
}

int64_t PFHTTPAPIRequest::networkStatusToPFNetworkStatus(int64_t status) {
    switch (status) {
        case -1:
            return -1;
        case 0:
            return 0;
        case 1:
            return 2;  // cellular
        case 2:
            return 1;  // WiFi
        default:
            return -1;
    }
}

int64_t PFHTTPAPIRequest::getRadioAccessTechnology() {
    static const std::map<std::string, int64_t> table = [] {
        const std::pair<const char*, int64_t> names[] = {
            {"CTRadioAccessTechnologyGPRS", 1},          {"CTRadioAccessTechnologyEdge", 2},
            {"CTRadioAccessTechnologyWCDMA", 3},         {"CTRadioAccessTechnologyHSDPA", 10},
            {"CTRadioAccessTechnologyHSUPA", 9},         {"CTRadioAccessTechnologyCDMA1x", 7},
            {"CTRadioAccessTechnologyCDMAEVDORev0", 5},  {"CTRadioAccessTechnologyCDMAEVDORevA", 6},
            {"CTRadioAccessTechnologyCDMAEVDORevB", 12}, {"CTRadioAccessTechnologyeHRPD", 14},
            {"CTRadioAccessTechnologyLTE", 13},
        };
        std::map<std::string, int64_t> made;
        for (const auto& [name, number] : names)
            if (auto constant = PFDynamicallyLoadedDependencies::loadStringConstantWithFramework(
                    name, "CoreTelephony"))
                made[*constant] = number;
        return made;
    }();
    const auto& telephony = classFacts().telephony;
    if (!telephony) return 0;
    auto technology = telephony->currentRadioAccessTechnology();
    if (!technology) return 0;
    auto it = table.find(*technology);
    return it == table.end() ? 0 : it->second;
}

std::string PFHTTPAPIRequest::localTimezone() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const long offset = local.tm_gmtoff;
    if (offset == 0) return "GMT";
    const long minutes = std::labs(offset) / 60;
    char text[32];
    std::snprintf(text, sizeof text, "GMT%c%02ld:%02ld", offset < 0 ? '-' : '+', minutes / 60,
                  minutes % 60);
    return text;
}

std::string PFHTTPAPIRequest::apiBaseURL() {
    return classFacts().baseURL;
}
