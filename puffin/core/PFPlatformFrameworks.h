#pragma once
// The "system frameworks" the SDK loads by name (PFDynamicallyLoadedDependencies), as this
// platform provides them: entries of platform/runtime's framework table that stand on our own
// libraries. PFRegisterPlatformFrameworks() registers them; the app and every test main call it
// (through PFRegisterClasses) before the SDK is used. A test marks one absent
// (platform::runtime::markFrameworkAbsent) to run the SDK's fallbacks.
//
// Symbols and their C++ types (functions are std::function values, classes platform::runtime::
// Class under "OBJC_CLASS_$_<name>", constants std::string):
//  "Security"            SecTrustEvaluate: bool(const std::vector<Data>& chain,
//                          const platform::net::TrustPolicy&, const std::vector<Data>* anchors)
//                        SecTrustCopyPublicKey: std::optional<Data>(const Data& certificate)
//                        SecPolicyCreateSSL: TrustPolicy(bool server, std::optional<std::string>)
//                        SecPolicyCreateBasicX509: TrustPolicy()
//  "SystemConfiguration" SCNetworkReachabilityGetFlags: std::optional<uint32_t>(const std::string&)
//                        SCNetworkReachabilitySetCallback: uint64_t(std::function<void()>)
//                        SCNetworkReachabilityUnscheduleFromRunLoop: void(uint64_t token)
//  "MobileCoreServices"  UTTypeCreatePreferredIdentifierForTag:
//                          std::optional<std::string>(const std::string& tagClass, const
//                          std::string& tag)
//                        UTTypeCopyPreferredTagWithClass:
//                          std::optional<std::string>(const std::string& identifier, const
//                          std::string& tagClass)
//                        kUTTagClassFilenameExtension, kUTTagClassMIMEType: std::string
//  "CoreTelephony"       class CTTelephonyNetworkInfo (makes a PFTelephonyNetworkInfo); the eleven
//                        CTRadioAccessTechnology... constants (their own names as text)
//  "CoreData"            classes NSManagedObjectModel, NSEntityDescription, NSAttributeDescription,
//                        NSPersistentStoreCoordinator, NSManagedObjectContext, NSManagedObject,
//                        NSFetchRequest, NSPredicate (platform/data; no factories);
//                        NSSQLiteStoreType
//  "AdSupport"           class ASIdentifierManager (makes a PFAdvertisingIdentifierManager)
//  "AudioToolbox"        AudioSessionInitialize: int32_t(std::function<void(uint32_t)> listener)
//                        AudioSessionAddPropertyListener: int32_t(uint32_t property,
//                          std::function<void(uint32_t, const platform::Dictionary& change)>)
//                        AudioSessionGetProperty: std::optional<uint32_t>(uint32_t property)
//                        (platform/media's audio session events)
//  "QuartzCore"          CACurrentMediaTime: double() (platform::Clock::now); CATransform3DRotate:
//                          Transform3D(const Transform3D&, double angle, double x, double y,
//                          double z); CATransform3DScale, CATransform3DTranslate:
//                          Transform3D(const Transform3D&, double, double, double); classes
//                          CABasicAnimation, CAKeyframeAnimation, CATransition (platform/ui's
//                          animation engine); kCAFillModeForwards and the kCATransition names
//  "WebKit"              classes WKWebView, WKWebViewConfiguration (no factories: the web-ad
//                        view makes platform/web's view for either)

#include <optional>
#include <string>

#include "platform/runtime/Runtime.h"

// The radio and carrier facts of the device (platform/device).
class PFTelephonyNetworkInfo : public platform::runtime::Object {
  public:
    struct Carrier {
        std::optional<std::string> carrierName;
        std::optional<std::string> isoCountryCode;
        std::optional<std::string> mobileCountryCode;
        std::optional<std::string> mobileNetworkCode;
    };
    std::string className() const override { return "CTTelephonyNetworkInfo"; }
    std::optional<std::string> currentRadioAccessTechnology() const;
    std::optional<Carrier> subscriberCellularProvider() const;
};

// The advertising identifier and the user's tracking choice (platform/device).
class PFAdvertisingIdentifierManager : public platform::runtime::Object {
  public:
    std::string className() const override { return "ASIdentifierManager"; }
    std::string advertisingIdentifier() const;
    bool isAdvertisingTrackingEnabled() const;
};

// The MIME type for a file-name extension ("png" -> "image/png"), from the system's table
// (/etc/mime.types) with a few built-in entries; std::nullopt when unknown.
std::optional<std::string> PFMIMETypeForExtension(const std::string& extension);

void PFRegisterPlatformFrameworks();

// Everything the Puffin SDK registers by name.
void PFRegisterClasses();
