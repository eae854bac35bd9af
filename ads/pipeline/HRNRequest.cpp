#include "ads/pipeline/HRNRequest.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "ads/formats/HRNExtras.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNDispatch.h"
#include "ads/foundation/HRNLogger.h"
#include "ads/foundation/HRNNetwork.h"
#include "ads/foundation/HRNSettings.h"
#include "ads/pipeline/HRNSignalQueryParameter.h"
#include "platform/dispatch/Queue.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

std::string trimmed(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) text += separator;
        text += parts[i];
    }
    return text;
}

Array stringArray(const std::vector<std::string>& texts) {
    return Array(texts.begin(), texts.end());
}

std::optional<std::vector<std::string>> stringsOf(const Value* value) {
    if (!value || !value->array()) return std::nullopt;
    std::vector<std::string> texts;
    for (const Value& element : *value->array())
        if (element.string()) texts.push_back(*element.string());
    return texts;
}

// The text form of a number, as a format value is written ("2", "2.5").
std::string numberText(const Value& value) {
    if (value.isInteger()) return std::to_string(value.asInteger());
    if (value.isBool()) return value.asBool() ? "1" : "0";
    char text[64];
    std::snprintf(text, sizeof text, "%g", value.asReal());
    return text;
}

// Local midnight of a Gregorian day, seconds since 1970; std::nullopt when it does not exist.
std::optional<double> localDate(int64_t year, int64_t month, int64_t day) {
    std::tm parts{};
    parts.tm_year = static_cast<int>(year - 1900);
    parts.tm_mon = static_cast<int>(month - 1);
    parts.tm_mday = static_cast<int>(day);
    parts.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&parts);
    if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<double>(seconds);
}

// "yyyyMMdd", eight digits, into a local date.
std::optional<double> parseDayText(const std::string& text) {
    if (text.size() != 8) return std::nullopt;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    const int64_t year = std::stoll(text.substr(0, 4));
    const int64_t month = std::stoll(text.substr(4, 2));
    const int64_t day = std::stoll(text.substr(6, 2));
    if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
    return localDate(year, month, day);
}

void startSDKOnce() {
    // Touching the request class is one of the triggers of the SDK's start-up.
    static std::once_flag classInitialized;
    std::call_once(classInitialized, [] {
        HRNDispatchToMainThread([] { HRNApplication::sharedInstance()->runEarlyActivities(); });
    });
}

}  // namespace

HRNRequest::HRNRequest() {
    startSDKOnce();
}

HRNRequest::~HRNRequest() = default;

std::shared_ptr<HRNRequest> HRNRequest::request() {
    return std::make_shared<HRNRequest>();
}

const std::string& HRNRequest::sdkVersion() {
    static const auto& version = *new std::string("hsdk-i-v3.1.0");
    return version;
}

const std::string& HRNRequest::sdkVersionIdentifiers() {
    static const auto& identifiers = *new std::string([] {
        const std::string identifier = "rc.1";
        return identifier.empty() ? std::string() : "-" + identifier;
    }());
    return identifiers;
}

const std::string& HRNRequest::sdkVersionMetadata() {
    static const auto& metadata = *new std::string([] {
        const std::string commit = "5d3c2b1a0f9e8d7c6b5a4f3e2d1c0b9a8f7e6d5c";
        return commit.empty() ? std::string() : "+" + commit;
    }());
    return metadata;
}

const std::string& HRNRequest::extendedSDKVersionNumber() {
    static const auto& version =
        *new std::string(sdkVersion() + sdkVersionIdentifiers() + sdkVersionMetadata());
    return version;
}

int64_t HRNRequest::requestTypeFromString(const std::string& text) {
    if (text == "heron") return 2;
    if (text == "xfp") return 3;
    if (text == "adsense") return 1;
    return 0;
}

std::shared_ptr<HRNRequest> HRNRequest::requestWithParameters(const Dictionary& parameters) {
    std::shared_ptr<HRNRequest> request;
    const Value* properties = parameters.count("_request_object_properties")
                                  ? &parameters.find("_request_object_properties")->second
                                  : nullptr;
    if (properties && properties->dictionary()) {
        const Value* name = properties->find("class");
        if (name && name->string() && *name->string() != "HRNRequest") {
            if (auto cls = platform::runtime::classNamed(*name->string()); cls && cls->factory)
                request = std::dynamic_pointer_cast<HRNRequest>(cls->factory());
        }
    }
    if (!request) request = std::make_shared<HRNRequest>();
    request->applyParameters(parameters);
    return request;
}

void HRNRequest::applyParameters(const Dictionary& parameters) {
    auto find = [&parameters](const char* key) -> const Value* {
        auto found = parameters.find(key);
        return found == parameters.end() ? nullptr : &found->second;
    };
    if (const Value* properties = find("_request_object_properties");
        properties && properties->dictionary()) {
        if (auto devices = stringsOf(properties->find("testDevices"))) testDevices_ = devices;
        if (const Value* formats = properties->find("formatParameters");
            formats && formats->array())
            formatParameters_ = *formats->array();
        if (const Value* extras = properties->find("privateMediationExtras");
            extras && extras->dictionary())
            privateMediationExtras_ = *extras->dictionary();
    }
    if (const Value* gender = find("cust_gender"); gender && gender->string()) {
        if (*gender->string() == "1") gender_ = kHRNGenderMale;
        if (*gender->string() == "2") gender_ = kHRNGenderFemale;
    }
    if (const Value* age = find("cust_age"); age && age->string())
        birthday_ = parseDayText(*age->string());
    if (const Value* uule = find("uule"); uule && uule->dictionary())
        location_ = HRNLocation::initWithDictionary(*uule->dictionary());
    if (auto keywords = stringsOf(find("kw"))) keywords_ = keywords;
    if (const Value* tag = find("tag_for_child_directed_treatment"); tag && tag->string())
        childDirectedTreatment_ = HRNValueBoolValue(*tag);
    if (const Value* options = find("options"); options && options->dictionary())
        adConfigurations_ = *options->dictionary();
    if (const Value* url = find("url"); url && url->string()) contentURL_ = *url->string();
    if (const Value* version = find("native_version"); version && version->isNumber())
        responseType_ = version->asInteger();
    if (const Value* agent = find("request_agent"); agent && agent->string())
        requestAgent_ = *agent->string();
    if (const Value* targeting = find("custom_targeting"); targeting && targeting->dictionary())
        customTargeting_ = *targeting->dictionary();
    if (const Value* ene = find("ene"); ene && ene->isNumber())
        nativeExpressEnabled_ = ene->asInteger() != 0 || ene->asReal() != 0;
    if (const Value* extras = find("extras"); extras && extras->dictionary())
        registerAdNetworkExtras(std::make_shared<HRNExtras>(*extras->dictionary()));
}

std::shared_ptr<HRNRequest> HRNRequest::copy() const {
    return std::make_shared<HRNRequest>(*this);
}

void HRNRequest::registerAdNetworkExtras(const std::shared_ptr<HRNAdNetworkExtras>& extras) {
    if (!extras) {
        HRNLogger::sharedInstance()->logPublicMessage(
            "Must specify extras for registerAdNetworkExtras:.");
        return;
    }
    networkExtras_[extras->className()] = extras;
}

std::shared_ptr<HRNAdNetworkExtras> HRNRequest::adNetworkExtrasFor(
    const std::string& className) const {
    auto found = networkExtras_.find(className);
    return found == networkExtras_.end() ? nullptr : found->second;
}

void HRNRequest::removeAdNetworkExtrasFor(const std::string& className) {
    networkExtras_.erase(className);
}

Dictionary HRNRequest::networkExtrasAdditionalParameters() {
    auto extras = std::dynamic_pointer_cast<HRNExtras>(adNetworkExtrasFor("HRNExtras"));
    if (!extras) return {};
    Dictionary parameters = extras->additionalParameters();
    auto useOnce = parameters.find("_useOnce");
    if (useOnce != parameters.end() && HRNValueBoolValue(useOnce->second))
        removeAdNetworkExtrasFor("HRNExtras");
    return parameters;
}

void HRNRequest::setLocationWithLatitudeLongitudeAccuracy(double latitude,
                                                          double longitude,
                                                          double accuracy) {
    location_ = HRNLocation::initWithLatitudeLongitudeAccuracy(latitude, longitude, accuracy);
}

void HRNRequest::setLocationWithDescription(const std::string& description) {
    location_ = HRNLocation::initWithLocationDescription(description);
}

void HRNRequest::setBirthdayWithMonthDayYear(int64_t month, int64_t day, int64_t year) {
    birthday_ = localDate(year, month, day);
}

bool HRNRequest::isATestDevice() const {
    if (!testDevices_) return false;
    const std::shared_ptr<HRNDevice> device = HRNDevice::sharedInstance();
    const std::string identifier = device->isSimulator() ? "Simulator" : device->deviceIdentifier();
    for (const std::string& entry : *testDevices_)
        if (!entry.empty() && entry == identifier) return true;
    return false;
}

std::optional<std::string> HRNRequest::genderString() const {
    if (gender_ == kHRNGenderMale) return "1";
    if (gender_ == kHRNGenderFemale) return "2";
    return std::nullopt;
}

std::optional<std::string> HRNRequest::birthdayString() const {
    if (!birthday_) return std::nullopt;
    const std::time_t seconds = static_cast<std::time_t>(*birthday_);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    char text[48];
    std::snprintf(text, sizeof text, "%04d%02d%02d", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday);
    return std::string(text);
}

std::optional<std::string> HRNRequest::contentURLString() const {
    if (!contentURL_) return std::nullopt;
    std::string text = trimmed(*contentURL_);
    if (text.empty()) return std::nullopt;
    return text;
}

bool HRNRequest::cacheable() const {
    for (const auto& [name, extras] : networkExtras_) {
        auto own = std::dynamic_pointer_cast<HRNExtras>(extras);
        if (!own) return false;
        if (own->ad() || own->additionalParameters().count("_ad")) return false;
    }
    return true;
}

Dictionary HRNRequest::threadSafeParameters() const {
    Dictionary parameters;
    auto application = HRNApplication::sharedInstance();
    if (const auto adapters = application->availableAdapterNames())
        parameters["adapters"] = stringArray(*adapters);
    const std::shared_ptr<HRNDevice> device = HRNDevice::sharedInstance();
    for (auto& [key, value] : device->parameters())
        parameters[key] = std::move(value);
    parameters["js"] = sdkVersion();
    if (auto net = device->network()->networkTypeString()) parameters["net"] = *net;
    if (auto last = device->network()->lastKnownNetworkTypeString()) parameters["net_last"] = *last;
    if (device->isSimulator()) parameters["simulator"] = "1";
    if (isATestDevice()) parameters["adtest"] = "on";
    if (auto extras = std::dynamic_pointer_cast<HRNExtras>(adNetworkExtrasFor("HRNExtras")))
        parameters["extras"] = extras->additionalParameters();
    if (auto gender = genderString()) parameters["cust_gender"] = *gender;
    if (auto birthday = birthdayString()) parameters["cust_age"] = *birthday;
    if (keywords_) parameters["kw"] = stringArray(*keywords_);
    if (childDirectedTreatment_) {
        parameters["tag_for_child_directed_treatment"] = *childDirectedTreatment_ ? "1" : "0";
    }
    if (auto url = contentURLString()) parameters["url"] = *url;
    if (requestAgent_) parameters["request_agent"] = *requestAgent_;
    if (location_) {
        if (auto uule = location_->dictionaryRepresentation()) parameters["uule"] = *uule;
    }
    if (formatParameters_) {
        std::vector<std::string> formats;
        for (const Value& entry : *formatParameters_) {
            if (auto templates = stringsOf(entry.find("custom_template_ids"));
                templates && !templates->empty())
                parameters["native_custom_templates"] = joined(*templates, ",");
            if (const Value* format = entry.find("format"); format && format->isNumber())
                formats.push_back(numberText(*format));
        }
        const std::string templates = joined(formats, ",");
        if (!templates.empty() && responseType_ != 0) {
            parameters["native_templates"] = templates;
            parameters["native_version"] = responseType_;
        }
    }
    if (customTargeting_ && !customTargeting_->empty())
        parameters["custom_targeting"] = *customTargeting_;
    if (origin_) parameters["request_origin"] = *origin_;
    Dictionary properties;
    if (testDevices_) properties["testDevices"] = stringArray(*testDevices_);
    if (formatParameters_) properties["formatParameters"] = *formatParameters_;
    if (privateMediationExtras_) properties["privateMediationExtras"] = *privateMediationExtras_;
    properties["class"] = className();
    parameters["_request_object_properties"] = std::move(properties);
    if (adConfigurations_) parameters["options"] = *adConfigurations_;
    if (nativeExpressEnabled_) parameters["ene"] = 1;
    if (HRNSettingBoolValue("render_in_browser")) parameters["render_in_browser"] = 1;
    return parameters;
}

Dictionary HRNRequest::parameters() const {
    Dictionary parameters = threadSafeParameters();
    std::optional<Dictionary> signal;
    if (platform::Queue::main()->isCurrent()) {
        signal = HRNSignalQueryParameter();
    } else {
        platform::Queue::main()->sync([&signal] { signal = HRNSignalQueryParameter(); });
    }
    if (signal)
        for (auto& [key, value] : *signal)
            parameters[key] = std::move(value);
    return parameters;
}

std::string HRNRequest::description() const {
    char head[160];
    std::snprintf(head, sizeof head, "<%s %p: ", className().c_str(),
                  static_cast<const void*>(this));
    std::string text = head;
    if (gender_ == kHRNGenderMale) text += "\ngender:Male";
    if (gender_ == kHRNGenderFemale) text += "\ngender:Female";
    if (auto birthday = birthdayString()) text += "\nbirthday:" + *birthday;
    if (location_) text += "\nlocation:" + location_->locationDescription();
    if (keywords_) text += "\nkeywords:" + joined(*keywords_, ", ");
    if (auto extras = std::dynamic_pointer_cast<HRNExtras>(adNetworkExtrasFor("HRNExtras"))) {
        text += "\nadditionalParameters:" +
                platform::json::serialize(Value(extras->additionalParameters())).value_or("");
    }
    return text + ">";
}
