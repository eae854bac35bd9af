#include "puffin/core/PFPlatformFrameworks.h"

#include <algorithm>
#include <any>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/device/DeviceFacts.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Data.h"
#include "platform/media/AudioSession.h"
#include "platform/net/Reachability.h"
#include "platform/net/ServerTrust.h"
#include "platform/render/Transform3D.h"
#include "platform/ui/Animation.h"

namespace {

using platform::Data;
using platform::runtime::Class;
using Symbols = std::map<std::string, std::any, std::less<>>;

const char* const kRadioTechnologies[] = {
    "CTRadioAccessTechnologyGPRS",         "CTRadioAccessTechnologyEdge",
    "CTRadioAccessTechnologyWCDMA",        "CTRadioAccessTechnologyHSDPA",
    "CTRadioAccessTechnologyHSUPA",        "CTRadioAccessTechnologyCDMA1x",
    "CTRadioAccessTechnologyCDMAEVDORev0", "CTRadioAccessTechnologyCDMAEVDORevA",
    "CTRadioAccessTechnologyCDMAEVDORevB", "CTRadioAccessTechnologyeHRPD",
    "CTRadioAccessTechnologyLTE",
};

const char* const kCoreDataClasses[] = {
    "NSManagedObjectModel",   "NSEntityDescription",
    "NSAttributeDescription", "NSPersistentStoreCoordinator",
    "NSManagedObjectContext", "NSManagedObject",
    "NSFetchRequest",         "NSPredicate",
};

constexpr const char* kTagClassExtension = "public.filename-extension";
constexpr const char* kTagClassMIME = "public.mime-type";
// Type identifiers made here name the MIME type they stand for after this prefix.
constexpr std::string_view kMIMEIdentifierPrefix = "dyn.mime.";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const std::map<std::string, std::string>& mimeTable() {
    static const std::map<std::string, std::string> table = [] {
        std::map<std::string, std::string> made = {
            {"png", "image/png"},         {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"},
            {"gif", "image/gif"},         {"txt", "text/plain"}, {"html", "text/html"},
            {"json", "application/json"}, {"mp4", "video/mp4"},  {"zip", "application/zip"},
        };
        std::ifstream file("/etc/mime.types");
        std::string line;
        while (std::getline(file, line)) {
            if (line.empty() || line[0] == '#') continue;
            std::istringstream words(line);
            std::string type, extension;
            words >> type;
            while (words >> extension)
                made.emplace(lower(extension), type);
        }
        return made;
    }();
    return table;
}

Class plainClass(const std::string& name, platform::runtime::Factory factory = nullptr) {
    return Class{name, std::move(factory), {}, {}, {}, {}};
}

}  // namespace

std::optional<std::string> PFTelephonyNetworkInfo::currentRadioAccessTechnology() const {
    return platform::device::currentRadioAccessTechnology();
}

std::optional<PFTelephonyNetworkInfo::Carrier> PFTelephonyNetworkInfo::subscriberCellularProvider()
    const {
    auto carrier = platform::device::subscriberCarrier();
    if (!carrier) return std::nullopt;
    Carrier made;
    made.mobileCountryCode = carrier->mobileCountryCode;
    made.mobileNetworkCode = carrier->mobileNetworkCode;
    return made;
}

std::string PFAdvertisingIdentifierManager::advertisingIdentifier() const {
    return platform::device::advertisingIdentifier();
}

bool PFAdvertisingIdentifierManager::isAdvertisingTrackingEnabled() const {
    return platform::device::advertisingTrackingEnabled();
}

std::optional<std::string> PFMIMETypeForExtension(const std::string& extension) {
    const auto& table = mimeTable();
    auto it = table.find(lower(extension));
    if (it == table.end()) return std::nullopt;
    return it->second;
}

void PFRegisterPlatformFrameworks() {
    namespace net = platform::net;
    using platform::runtime::registerFramework;

    registerFramework(
        "Security",
        Symbols{
            {"SecTrustEvaluate",
             std::function<bool(const std::vector<Data>&, const net::TrustPolicy&,
                                const std::vector<Data>*)>([](const std::vector<Data>& chain,
                                                              const net::TrustPolicy& policy,
                                                              const std::vector<Data>* anchors) {
                 return net::evaluateTrust(chain, policy, anchors);
             })},
            {"SecTrustCopyPublicKey",
             std::function<std::optional<Data>(const Data&)>(
                 [](const Data& certificate) { return net::publicKeyOfCertificate(certificate); })},
            {"SecPolicyCreateSSL",
             std::function<net::TrustPolicy(bool, std::optional<std::string>)>(
                 [](bool server, std::optional<std::string> host) {
                     return net::TrustPolicy{server, std::move(host)};
                 })},
            {"SecPolicyCreateBasicX509", std::function<net::TrustPolicy()>([] {
                 return net::TrustPolicy{false, {}};
             })},
        });

    registerFramework(
        "SystemConfiguration",
        Symbols{
            {"SCNetworkReachabilityGetFlags",
             std::function<std::optional<uint32_t>(const std::string&)>(
                 [](const std::string& host) { return net::reachabilityFlags(host); })},
            {"SCNetworkReachabilitySetCallback",
             std::function<uint64_t(std::function<void()>)>([](std::function<void()> callback) {
                 return net::addReachabilityObserver(std::move(callback));
             })},
            {"SCNetworkReachabilityUnscheduleFromRunLoop",
             std::function<void(uint64_t)>(
                 [](uint64_t token) { net::removeReachabilityObserver(token); })},
        });

    registerFramework(
        "MobileCoreServices",
        Symbols{
            {"UTTypeCreatePreferredIdentifierForTag",
             std::function<std::optional<std::string>(const std::string&, const std::string&)>(
                 [](const std::string& tagClass,
                    const std::string& tag) -> std::optional<std::string> {
                     if (tagClass == kTagClassMIME)
                         return std::string(kMIMEIdentifierPrefix) + lower(tag);
                     if (tagClass != kTagClassExtension) return std::nullopt;
                     auto mime = PFMIMETypeForExtension(tag);
                     if (!mime) return "dyn.ext." + lower(tag);
                     return std::string(kMIMEIdentifierPrefix) + *mime;
                 })},
            {"UTTypeCopyPreferredTagWithClass",
             std::function<std::optional<std::string>(const std::string&, const std::string&)>(
                 [](const std::string& identifier,
                    const std::string& tagClass) -> std::optional<std::string> {
                     if (tagClass != kTagClassMIME ||
                         identifier.rfind(kMIMEIdentifierPrefix, 0) != 0)
                         return std::nullopt;
                     return identifier.substr(kMIMEIdentifierPrefix.size());
                 })},
            {"kUTTagClassFilenameExtension", std::string(kTagClassExtension)},
            {"kUTTagClassMIMEType", std::string(kTagClassMIME)},
        });

    Symbols telephony{{"OBJC_CLASS_$_CTTelephonyNetworkInfo",
                       plainClass("CTTelephonyNetworkInfo",
                                  [] { return std::make_shared<PFTelephonyNetworkInfo>(); })}};
    for (const char* name : kRadioTechnologies)
        telephony.emplace(name, std::string(name));
    registerFramework("CoreTelephony", std::move(telephony));

    Symbols coreData{{"NSSQLiteStoreType", std::string("SQLite")}};
    for (const char* name : kCoreDataClasses)
        coreData.emplace(std::string("OBJC_CLASS_$_") + name, plainClass(name));
    registerFramework("CoreData", std::move(coreData));

    // The audio session's interruption and route-change events (platform/media), through the
    // C interface the SDK looks up: a listener per kind, the interruption type property.
    {
        using platform::media::AudioSession;
        constexpr uint32_t kRouteChange = 0x726f6368;       // 'roch'
        constexpr uint32_t kInterruptionType = 0x74797065;  // 'type'
        constexpr uint32_t kShouldResume = 0x6972736d;      // 'irsm'
        registerFramework(
            "AudioToolbox",
            Symbols{
                {"AudioSessionInitialize", std::function<int32_t(std::function<void(uint32_t)>)>(
                                               [](std::function<void(uint32_t)> listener) {
                                                   AudioSession::shared().addInterruptionObserver(
                                                       [listener](bool began) {
                                                           listener(began ? 1 : 0);
                                                       });
                                                   return 0;
                                               })},
                {"AudioSessionAddPropertyListener",
                 std::function<int32_t(uint32_t,
                                       std::function<void(uint32_t, const platform::Dictionary&)>)>(
                     [](uint32_t property,
                        std::function<void(uint32_t, const platform::Dictionary&)> listener)
                         -> int32_t {
                         if (property != kRouteChange) return -1;
                         AudioSession::shared().addRouteChangeObserver(
                             [listener, property](int reason) {
                                 listener(property, platform::Dictionary{
                                                        {"OutputDeviceDidChange_Reason", reason}});
                             });
                         return 0;
                     })},
                {"AudioSessionGetProperty",
                 std::function<std::optional<uint32_t>(uint32_t)>(
                     [](uint32_t property) -> std::optional<uint32_t> {
                         if (property != kInterruptionType) return std::nullopt;
                         return AudioSession::shared().interruptionShouldResume() ? kShouldResume
                                                                                  : 0u;
                     })},
            });
    }

    // The media clock of the animation framework.
    // The media clock and the animation engine of platform/ui, for the ad views' animations.
    {
        using platform::render::Transform3D;
        using Triple = std::function<Transform3D(const Transform3D&, double, double, double)>;
        using Rotate =
            std::function<Transform3D(const Transform3D&, double, double, double, double)>;
        Symbols quartz{
            {"CACurrentMediaTime", std::function<double()>([] { return platform::Clock::now(); })},
            {"CATransform3DRotate", Rotate(&platform::render::transform3DRotate)},
            {"CATransform3DScale", Triple(&platform::render::transform3DScale)},
            {"CATransform3DTranslate", Triple(&platform::render::transform3DTranslate)},
            {"kCAFillModeForwards", std::string("forwards")},
        };
        for (const char* name : {"CABasicAnimation", "CAKeyframeAnimation", "CATransition"})
            quartz.emplace(std::string("OBJC_CLASS_$_") + name, plainClass(name));
        using namespace platform::ui;
        for (const auto& [symbol, value] : {std::pair{"kCATransitionFade", kTransitionFade},
                                            {"kCATransitionMoveIn", kTransitionMoveIn},
                                            {"kCATransitionPush", kTransitionPush},
                                            {"kCATransitionReveal", kTransitionReveal},
                                            {"kCATransitionFromTop", kTransitionFromTop},
                                            {"kCATransitionFromBottom", kTransitionFromBottom},
                                            {"kCATransitionFromLeft", kTransitionFromLeft},
                                            {"kCATransitionFromRight", kTransitionFromRight}})
            quartz.emplace(symbol, std::string(value));
        registerFramework("QuartzCore", std::move(quartz));
    }

    // The web view of web-template ads: this platform's one web view serves as both.
    registerFramework("WebKit", Symbols{{"OBJC_CLASS_$_WKWebView", plainClass("WKWebView")},
                                        {"OBJC_CLASS_$_WKWebViewConfiguration",
                                         plainClass("WKWebViewConfiguration")}});

    registerFramework(
        "AdSupport",
        Symbols{{"OBJC_CLASS_$_ASIdentifierManager", plainClass("ASIdentifierManager", [] {
                     return std::make_shared<PFAdvertisingIdentifierManager>();
                 })}});
}

void PFRegisterClasses() {
    PFRegisterPlatformFrameworks();
}
