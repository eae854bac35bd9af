#include "ads/pipeline/HRNRequest.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "ads/formats/HRNAd.h"
#include "ads/formats/HRNExtras.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNSettings.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;

const Value* find(const Dictionary& parameters, const char* key) {
    auto it = parameters.find(key);
    return it == parameters.end() ? nullptr : &it->second;
}

// The extras of some other network.
struct OtherExtras : HRNAdNetworkExtras {
    std::string className() const override { return "OtherExtras"; }
};

// A subclass found by its class name when a request is rebuilt.
struct PublisherRequest : HRNRequest {
    std::string className() const override { return "PUBRequest"; }
};

TEST(HRNRequest, SdkVersionIsOneFixedSharedText) {
    EXPECT_EQ(HRNRequest::sdkVersion(), "hsdk-i-v3.1.0");
    EXPECT_EQ(&HRNRequest::sdkVersion(), &HRNRequest::sdkVersion());
    EXPECT_EQ(HRNRequest::extendedSDKVersionNumber().rfind("hsdk-i-v3.1.0-rc.1+", 0), 0u);
    EXPECT_EQ(HRNRequest::extendedSDKVersionNumber().size(), 13u + 5 + 1 + 40);
    EXPECT_EQ(HRNRequest::requestTypeFromString("xfp"), 3);
    EXPECT_EQ(HRNRequest::requestTypeFromString("Heron"), 0);
}

TEST(HRNRequest, AFreshRequestCarriesOnlyTheSDKsAndTheDevicesKeys) {
    auto parameters = HRNRequest::request()->threadSafeParameters();
    EXPECT_EQ(parameters["js"], Value("hsdk-i-v3.1.0"));
    EXPECT_EQ(parameters["request_origin"], Value("pub"));
    EXPECT_EQ(parameters["_request_object_properties"], Value(Dictionary{{"class", "HRNRequest"}}));
    for (const char* absent : {"cust_gender", "cust_age", "kw", "url", "uule", "extras", "adtest",
                               "tag_for_child_directed_treatment", "native_templates", "ene",
                               "render_in_browser", "options", "custom_targeting"})
        EXPECT_EQ(find(parameters, absent), nullptr) << absent;
    for (const auto& [key, value] : HRNDevice::sharedInstance()->parameters())
        EXPECT_NE(find(parameters, key.c_str()), nullptr) << key;
}

TEST(HRNRequest, TargetingBecomesItsParameters) {
    setenv("TZ", "UTC", 1);
    auto request = HRNRequest::request();
    request->setGender(kHRNGenderFemale);
    request->setBirthdayWithMonthDayYear(3, 9, 1990);
    request->setKeywords(std::vector<std::string>{"house", "market"});
    request->setContentURL("  https://qen.example/page \n");
    request->tagForChildDirectedTreatment(false);
    request->setRequestAgent("mediation");
    request->setCustomTargeting(Dictionary{{"level", "3"}});
    request->setAdConfigurations(Dictionary{{"video", true}});
    request->setNativeExpressEnabled(true);
    request->setTestDevices(std::vector<std::string>{"", "someone else"});
    request->setFormatParameters(Array{
        Dictionary{{"format", 2}, {"custom_template_ids", Array{"t1", "t2"}}},
        Dictionary{{"format", 1}},
    });
    request->setResponseType(3);
    auto parameters = request->threadSafeParameters();
    EXPECT_EQ(parameters["cust_gender"], Value("2"));
    EXPECT_EQ(parameters["cust_age"], Value("19900309"));
    EXPECT_EQ(parameters["kw"], Value(Array{"house", "market"}));
    EXPECT_EQ(parameters["url"], Value("https://qen.example/page"));
    EXPECT_EQ(parameters["tag_for_child_directed_treatment"], Value("0"));
    EXPECT_EQ(parameters["request_agent"], Value("mediation"));
    EXPECT_EQ(parameters["custom_targeting"], Value(Dictionary{{"level", "3"}}));
    EXPECT_EQ(parameters["options"], Value(Dictionary{{"video", true}}));
    EXPECT_EQ(parameters["ene"], Value(1));
    EXPECT_EQ(parameters["native_custom_templates"], Value("t1,t2"));
    EXPECT_EQ(parameters["native_templates"], Value("2,1"));
    EXPECT_EQ(parameters["native_version"], Value(3));
    EXPECT_EQ(find(parameters, "adtest"), nullptr);  // no entry is this device
    EXPECT_NE(request->description().find("\ngender:Female"), std::string::npos);

    // Without a response version there are no native templates; blanks are no content URL.
    request->setResponseType(0);
    request->setContentURL(" \n ");
    parameters = request->threadSafeParameters();
    EXPECT_EQ(find(parameters, "native_templates"), nullptr);
    EXPECT_EQ(find(parameters, "native_version"), nullptr);
    EXPECT_EQ(find(parameters, "url"), nullptr);

    // This device's identifier among the test devices makes it a test request.
    request->setTestDevices(
        std::vector<std::string>{HRNDevice::sharedInstance()->deviceIdentifier()});
    EXPECT_EQ(request->threadSafeParameters()["adtest"], Value("on"));
}

TEST(HRNRequest, LocationsArePreciseOrDescriptive) {
    auto request = HRNRequest::request();
    request->setLocationWithLatitudeLongitudeAccuracy(0, 10, 5);  // on the equator
    EXPECT_FALSE(request->location());
    request->setLocationWithDescription("Shanghai");
    ASSERT_TRUE(request->location());
    EXPECT_EQ(request->location()->locationDescription(), "Shanghai");
    EXPECT_EQ(find(request->threadSafeParameters(), "uule"), nullptr);

    request->setLocationWithLatitudeLongitudeAccuracy(31.23041234567, 121.4737987654, 65.5);
    Value uule = request->threadSafeParameters()["uule"];
    EXPECT_EQ(*uule.find("lat"), Value(int64_t{312304123}));
    EXPECT_EQ(*uule.find("long"), Value(int64_t{1214737987}));
    EXPECT_EQ(*uule.find("radius"), Value(65500.0));
    HRNLocation back = HRNLocation::initWithDictionary(*uule.dictionary());
    EXPECT_NEAR(back.latitude(), 31.2304123, 1e-9);
    EXPECT_EQ(back.accuracy(), 65.5);
    // Through microseconds and back: equal to within rounding.
    EXPECT_DOUBLE_EQ(back.timestamp(), request->location()->timestamp());
    EXPECT_TRUE(back == *request->location());
    EXPECT_FALSE(*HRNLocation::initWithLocationDescription("Shanghai") == *request->location());
}

TEST(HRNRequest, ARequestIsRebuiltFromItsParameters) {
    setenv("TZ", "UTC", 1);
    auto request = HRNRequest::request();
    request->setGender(kHRNGenderMale);
    request->setBirthdayWithMonthDayYear(12, 31, 1999);
    request->setKeywords(std::vector<std::string>{"a"});
    request->setTestDevices(std::vector<std::string>{"x"});
    request->setPrivateMediationExtras(Dictionary{{"p", 1}});
    request->tagForChildDirectedTreatment(true);
    request->setLocationWithLatitudeLongitudeAccuracy(22.5, 114.1, 10);
    request->registerAdNetworkExtras(std::make_shared<HRNExtras>(Dictionary{{"k", "v"}}));
    request->setOrigin("game");
    auto rebuilt = HRNRequest::requestWithParameters(request->threadSafeParameters());
    EXPECT_EQ(rebuilt->className(), "HRNRequest");
    EXPECT_EQ(rebuilt->gender(), kHRNGenderMale);
    EXPECT_EQ(rebuilt->birthdayString(), "19991231");
    EXPECT_EQ(rebuilt->keywords(), request->keywords());
    EXPECT_EQ(rebuilt->testDevices(), request->testDevices());
    EXPECT_EQ(rebuilt->privateMediationExtras(), request->privateMediationExtras());
    EXPECT_EQ(rebuilt->childDirectedTreatment(), true);
    ASSERT_TRUE(rebuilt->location());
    EXPECT_NEAR(rebuilt->location()->latitude(), 22.5, 1e-7);
    EXPECT_EQ(rebuilt->networkExtrasAdditionalParameters(), (Dictionary{{"k", "v"}}));
    EXPECT_EQ(rebuilt->origin(), "pub");  // the origin is not read back

    // A request class is found by its name; an unknown name gives a plain request.
    platform::runtime::registerClass("PUBRequest",
                                     [] { return std::make_shared<PublisherRequest>(); });
    Dictionary named{{"_request_object_properties", Dictionary{{"class", "PUBRequest"}}}};
    EXPECT_EQ(HRNRequest::requestWithParameters(named)->className(), "PUBRequest");
    named["_request_object_properties"] = Dictionary{{"class", "NoSuchRequest"}};
    EXPECT_EQ(HRNRequest::requestWithParameters(named)->className(), "HRNRequest");
}

TEST(HRNRequest, ExtrasForOneLoadAndWhatMakesARequestCacheable) {
    auto request = HRNRequest::request();
    EXPECT_TRUE(request->cacheable());
    request->registerAdNetworkExtras(
        std::make_shared<HRNExtras>(Dictionary{{"_useOnce", true}, {"k", "v"}}));
    EXPECT_TRUE(request->cacheable());
    auto copy = request->copy();
    EXPECT_EQ(request->networkExtrasAdditionalParameters()["k"], Value("v"));
    EXPECT_TRUE(request->networkExtrasAdditionalParameters().empty());  // used once
    EXPECT_FALSE(copy->networkExtrasAdditionalParameters().empty());    // the copy has its own map

    auto preset = HRNRequest::request();
    preset->registerAdNetworkExtras(std::make_shared<HRNExtras>(Dictionary{{"_ad", Dictionary{}}}));
    EXPECT_FALSE(preset->cacheable());
    auto other = HRNRequest::request();
    other->registerAdNetworkExtras(std::make_shared<OtherExtras>());
    EXPECT_FALSE(other->cacheable());
    other->registerAdNetworkExtras(nullptr);  // logged, nothing changes
    other->removeAdNetworkExtrasFor("OtherExtras");
    EXPECT_TRUE(other->cacheable());
}

TEST(HRNRequest, TheClickSignalJoinsOnTheMainThreadFromAnyThread) {
    platform::UserDefaults::standard().set(HRNSettingKey("render_in_browser"), true);
    auto request = HRNRequest::request();
    EXPECT_EQ(request->threadSafeParameters()["render_in_browser"], Value(1));
    auto onMain = request->parameters();
    ASSERT_NE(find(onMain, "ms"), nullptr);
    Dictionary fromWorker;
    bool done = false;
    platform::Queue::global()->async([&] {
        fromWorker = request->parameters();
        platform::Queue::main()->async([&] { done = true; });
    });
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return done; }, 10));
    ASSERT_NE(find(fromWorker, "ms"), nullptr);
    EXPECT_EQ(find(request->threadSafeParameters(), "ms"), nullptr);
}

}  // namespace
