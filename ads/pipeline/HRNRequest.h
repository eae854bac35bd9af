#pragma once
// HRNRequest: the ad request that a publisher (here the game) builds and hands to an
// interstitial, rewarded video or slot. It carries targeting (gender, birthday, location,
// keywords, content URL), test devices, a child-directed tag, custom targeting, network extras
// kept by class name, native format parameters and an origin. Its one product is the request
// parameter dictionary: the slot and the rewarded video put it into the JSON that the SDK-core
// page turns into an ad URL, the SDK-core controller sends it with the constants request, and
// a request is rebuilt from it (requestWithParameters).
//
// A request is not locked: callers copy it before handing it to another thread, as the ad
// formats do when a load starts. threadSafeParameters may run on any thread; parameters adds
// the click-signal entry, computed on the main thread (it waits for the main thread when
// called elsewhere, so never call it from a queue the main thread waits for).

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ads/pipeline/HRNLocation.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Value.h"
#include "platform/runtime/Runtime.h"

class HRNAdNetworkExtras;
class HRNMediationAdRequest;
class HRNMediationAdRequestInternal;

enum HRNGender : int64_t {
    kHRNGenderUnknown = 0,
    kHRNGenderMale = 1,
    kHRNGenderFemale = 2,
};

class HRNRequest : public platform::runtime::Object {
  public:
    // A new, empty request of this class. The first request made in the process starts the
    // SDK (HRNApplication::runEarlyActivities, at once on the main thread, else queued there).
    static std::shared_ptr<HRNRequest> request();
    // Rebuilds a request from a dictionary of the form threadSafeParameters gives. When the
    // dictionary's "_request_object_properties" names a registered subclass of HRNRequest other
    // than HRNRequest itself, the request is of that class. "request_origin", "adapters", "js"
    // and the device keys are not read back.
    static std::shared_ptr<HRNRequest> requestWithParameters(
        const platform::Dictionary& parameters);

    // "hsdk-i-v3.1.0", the SDK's version, built once and shared; it goes out as "js".
    static const std::string& sdkVersion();
    static const std::string& sdkVersionIdentifiers();  // "-rc.1"
    static const std::string& sdkVersionMetadata();     // "+" and the build's commit
    static const std::string& extendedSDKVersionNumber();
    // "heron" 2, "xfp" 3, "adsense" 1, anything else 0.
    static int64_t requestTypeFromString(const std::string& text);

    HRNRequest();
    ~HRNRequest() override;
    std::string className() const override { return "HRNRequest"; }

    // A new request of the same class; the extras map is copied, the extras objects shared.
    virtual std::shared_ptr<HRNRequest> copy() const;

    // Network extras, one per class name. A null extras object logs a public message and
    // changes nothing.
    void registerAdNetworkExtras(const std::shared_ptr<HRNAdNetworkExtras>& extras);
    std::shared_ptr<HRNAdNetworkExtras> adNetworkExtrasFor(const std::string& className) const;
    void removeAdNetworkExtrasFor(const std::string& className);
    // The additional parameters of the HRNExtras; when their "_useOnce" is true, the HRNExtras
    // is first removed from the request, so that only this load uses it.
    platform::Dictionary networkExtrasAdditionalParameters();

    // Replace `location`: a precise location (nullopt when not precise), or a description.
    void setLocationWithLatitudeLongitudeAccuracy(double latitude,
                                                  double longitude,
                                                  double accuracy);
    void setLocationWithDescription(const std::string& description);
    // The local date of that Gregorian day.
    void setBirthdayWithMonthDayYear(int64_t month, int64_t day, int64_t year);
    void tagForChildDirectedTreatment(bool childDirected) {
        childDirectedTreatment_ = childDirected;
    }

    // Whether this device (its identifier, "Simulator" on a simulator) is among testDevices.
    bool isATestDevice() const;
    std::optional<std::string> genderString() const;    // "1", "2", or nullopt
    std::optional<std::string> birthdayString() const;  // "yyyyMMdd" of the local date
    // The content URL trimmed of white space; nullopt when nothing is left.
    std::optional<std::string> contentURLString() const;
    // False when the extras hold an object of another class than HRNExtras, or an HRNExtras
    // with a preset ad ("_ad"); the interstitial pool only reuses cacheable requests.
    bool cacheable() const;

    // The request parameter dictionary. Any thread. Subclasses add their own parameters.
    virtual platform::Dictionary threadSafeParameters() const;
    // threadSafeParameters plus the click-signal entry (main thread; a synchronous hop there
    // from any other thread).
    platform::Dictionary parameters() const;

    // "<CLASS ADDRESS: ...>" with gender, birthday, location, keywords and the extras' additional
    // parameters when present.
    std::string description() const;

    // Properties.
    const std::optional<std::vector<std::string>>& testDevices() const { return testDevices_; }
    void setTestDevices(std::optional<std::vector<std::string>> devices) {
        testDevices_ = std::move(devices);
    }
    int64_t gender() const { return gender_; }
    void setGender(int64_t gender) { gender_ = gender; }
    // Seconds since 1970 of the birthday's local midnight.
    const std::optional<double>& birthday() const { return birthday_; }
    void setBirthday(std::optional<double> birthday) { birthday_ = birthday; }
    const std::optional<std::vector<std::string>>& keywords() const { return keywords_; }
    void setKeywords(std::optional<std::vector<std::string>> keywords) {
        keywords_ = std::move(keywords);
    }
    const std::optional<std::string>& contentURL() const { return contentURL_; }
    void setContentURL(std::optional<std::string> url) { contentURL_ = std::move(url); }
    const std::optional<std::string>& requestAgent() const { return requestAgent_; }
    void setRequestAgent(std::optional<std::string> agent) { requestAgent_ = std::move(agent); }
    const std::optional<HRNLocation>& location() const { return location_; }
    void setLocation(std::optional<HRNLocation> location) { location_ = std::move(location); }
    const std::optional<bool>& childDirectedTreatment() const { return childDirectedTreatment_; }
    void setChildDirectedTreatment(std::optional<bool> tag) { childDirectedTreatment_ = tag; }
    const std::optional<platform::Dictionary>& customTargeting() const { return customTargeting_; }
    void setCustomTargeting(std::optional<platform::Dictionary> targeting) {
        customTargeting_ = std::move(targeting);
    }
    const std::optional<platform::Dictionary>& privateMediationExtras() const {
        return privateMediationExtras_;
    }
    void setPrivateMediationExtras(std::optional<platform::Dictionary> extras) {
        privateMediationExtras_ = std::move(extras);
    }
    // Each entry may hold "format" (a number) and "custom_template_ids" (texts).
    const std::optional<platform::Array>& formatParameters() const { return formatParameters_; }
    void setFormatParameters(std::optional<platform::Array> parameters) {
        formatParameters_ = std::move(parameters);
    }
    int64_t responseType() const { return responseType_; }
    void setResponseType(int64_t type) { responseType_ = type; }
    const std::optional<platform::Dictionary>& adConfigurations() const {
        return adConfigurations_;
    }
    void setAdConfigurations(std::optional<platform::Dictionary> configurations) {
        adConfigurations_ = std::move(configurations);
    }
    const std::optional<std::string>& origin() const { return origin_; }
    void setOrigin(std::optional<std::string> origin) { origin_ = std::move(origin); }
    bool isNativeExpressEnabled() const { return nativeExpressEnabled_; }
    void setNativeExpressEnabled(bool enabled) { nativeExpressEnabled_ = enabled; }

    // Mediation (HRNRequest+MediationAdditions.cpp): the SDK's own adapters load the SDK's ads
    // as one network of a waterfall with a request rebuilt from their connector's answers:
    // test devices, child-directed tag, location (only when shared), gender, birthday,
    // keywords, the request agent (internal connectors only), the HRNExtras with "gw" = "1",
    // and the private mediation extras "man" and "mcan".
    static std::shared_ptr<HRNRequest> requestWithMediationAdRequest(
        HRNMediationAdRequest& mediationAdRequest);
    // Fills the connector's network extras (or a new HRNExtras) with "gw" = "1", "_requestUrl"
    // from "_mediationRequestUrl", the credentials' "mad_hac", the entry's text extras and the
    // inline ad as "_ad", and registers them. Nothing for null.
    void configureNetworkExtrasWithMediationAdRequest(HRNMediationAdRequest* mediationAdRequest);
    // Sets the private mediation extras "man" (each network's adapter list) and "mcan" (the
    // adapter in use) when the connector names its adapter. Nothing for null.
    void addAdapterListWithMediationAdRequest(HRNMediationAdRequestInternal* mediationAdRequest);

  protected:
    // Fills this fresh request from the dictionary (the steps after choosing the class).
    virtual void applyParameters(const platform::Dictionary& parameters);

  private:
    std::optional<std::vector<std::string>> testDevices_;
    int64_t gender_ = kHRNGenderUnknown;
    std::optional<double> birthday_;
    std::optional<std::vector<std::string>> keywords_;
    std::optional<std::string> contentURL_;
    std::optional<std::string> requestAgent_;
    std::optional<HRNLocation> location_;
    std::optional<bool> childDirectedTreatment_;
    std::optional<platform::Dictionary> customTargeting_;
    std::optional<platform::Dictionary> privateMediationExtras_;
    std::optional<platform::Array> formatParameters_;
    int64_t responseType_ = 0;
    std::optional<platform::Dictionary> adConfigurations_;
    std::optional<std::string> origin_ = "pub";
    bool nativeExpressEnabled_ = false;
    std::map<std::string, std::shared_ptr<HRNAdNetworkExtras>> networkExtras_;
};
