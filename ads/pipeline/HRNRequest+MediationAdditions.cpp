// An ad request rebuilt from a mediation adapter's view of the publisher's request, for the
// SDK's own adapters.

#include "ads/formats/HRNExtras.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/mediation/HRNMediationProtocols.h"
#include "ads/pipeline/HRNRequest.h"

using platform::Dictionary;
using platform::Value;

std::shared_ptr<HRNRequest> HRNRequest::requestWithMediationAdRequest(
    HRNMediationAdRequest& mediationAdRequest) {
    std::shared_ptr<HRNRequest> request = HRNRequest::request();
    if (mediationAdRequest.testMode())
        request->setTestDevices(std::vector<std::string>{
            "Simulator", "Simulator", HRNDevice::sharedInstance()->deviceIdentifier()});
    if (auto childDirected = mediationAdRequest.childDirectedTreatment())
        request->tagForChildDirectedTreatment(*childDirected);
    if (mediationAdRequest.userHasLocation()) {
        request->setLocationWithLatitudeLongitudeAccuracy(
            mediationAdRequest.userLatitude(), mediationAdRequest.userLongitude(),
            mediationAdRequest.userLocationAccuracyInMeters());
    } else if (auto description = mediationAdRequest.userLocationDescription()) {
        request->setLocationWithDescription(*description);
    }
    request->setGender(mediationAdRequest.userGender());
    request->setBirthday(mediationAdRequest.userBirthday());
    request->setKeywords(mediationAdRequest.userKeywords());
    auto* internal = dynamic_cast<HRNMediationAdRequestInternal*>(&mediationAdRequest);
    request->setRequestAgent(internal ? internal->userRequestAgent() : std::nullopt);
    request->configureNetworkExtrasWithMediationAdRequest(&mediationAdRequest);
    request->addAdapterListWithMediationAdRequest(internal);
    return request;
}

void HRNRequest::configureNetworkExtrasWithMediationAdRequest(
    HRNMediationAdRequest* mediationAdRequest) {
    if (!mediationAdRequest) return;
    // Extras of another class than the SDK's own carry no parameters for it.
    auto extras = std::dynamic_pointer_cast<HRNExtras>(mediationAdRequest->networkExtras());
    if (!extras) extras = std::make_shared<HRNExtras>();
    Dictionary parameters = extras->additionalParameters();
    if (auto url = parameters.find("_mediationRequestUrl"); url != parameters.end())
        parameters["_requestUrl"] = url->second;
    const Dictionary credentials = mediationAdRequest->credentials();
    if (auto hac = credentials.find("mad_hac"); hac != credentials.end())
        parameters["mad_hac"] = hac->second;
    parameters["gw"] = "1";
    auto* internal = dynamic_cast<HRNMediationAdRequestInternal*>(mediationAdRequest);
    if (internal) {
        if (auto entryExtras = internal->extras()) {
            for (const auto& [key, value] : *entryExtras)
                if (value.string()) parameters[key] = value;
        }
        if (auto inlineAd = internal->inlineAd()) parameters["_ad"] = Value(*inlineAd);
    }
    extras->setAdditionalParameters(std::move(parameters));
    registerAdNetworkExtras(extras);
}

void HRNRequest::addAdapterListWithMediationAdRequest(
    HRNMediationAdRequestInternal* mediationAdRequest) {
    if (!mediationAdRequest) return;
    const std::optional<std::string> current = mediationAdRequest->currentAdapterName();
    if (!current) return;
    std::optional<platform::Array> names = mediationAdRequest->adapterNames();
    if (!names) names = platform::Array{Value(*current)};
    setPrivateMediationExtras(Dictionary{{"man", Value(*names)}, {"mcan", Value(*current)}});
}
