#include "ads/formats/HRNRequestError.h"

#include <gtest/gtest.h>

#include "ads/foundation/HRNDevice.h"
#include "ads/pipeline/HRNRequest.h"

namespace {

const platform::Value* info(const platform::Error& error, const char* key) {
    auto it = error.userInfo.find(key);
    return it == error.userInfo.end() ? nullptr : &it->second;
}

void expectDescriptionAndReasonEqual(const platform::Error& error, const std::string& text) {
    EXPECT_EQ(error.localizedDescription(), text);
    ASSERT_NE(info(error, "NSLocalizedFailureReason"), nullptr);
    EXPECT_EQ(info(error, "NSLocalizedFailureReason")->asString(), text);
}

}  // namespace

TEST(HRNRequestError, EachCodeHasItsStandardMessage) {
    const std::pair<int64_t, const char*> cases[] = {
        {0, "Request Error: Invalid ad request parameter(s). Check the Xcode console for details."},
        {1, "Request Error: No ad to show."},
        {2, "Request Error: A network error occurred."},
        {3, "Request Error: Server error processing the request."},
        {5,
         "Request Error: The Heron Ad request was unable to be fulfilled before a timeout "
         "occurred."},
        {6, "Request Error: Will not send request because interstitial object has been used."},
        {7, "Request Error: The mediation response was invalid."},
        {8, "Request Error: Cannot find an ad network adapter for mediation."},
        {9, "Request Error: No ad to show from all configured ad networks."},
        {10, "Request Error: Incompatible ad type requested."},
        {11, "Request Error: Internal error."},
        {12, "Request Error: Invalid argument."},
        {13, "Request Error: Received invalid response."},
        {99,
         "Request Error: Invalid ad request parameter(s). Check the Xcode console for details."},
        {-1,
         "Request Error: Invalid ad request parameter(s). Check the Xcode console for details."},
    };
    for (auto [code, message] : cases) {
        HRNRequestError error = HRNRequestError::errorWithCode(code);
        SCOPED_TRACE(code);
        EXPECT_EQ(error.domain, kHRNErrorDomain);
        EXPECT_EQ(error.code, code);
        expectDescriptionAndReasonEqual(error, message);
        EXPECT_EQ(info(error, kHRNHttpStatusKey), nullptr);
        EXPECT_EQ(info(error, kHRNUnderlyingErrorKey), nullptr);
    }
}

TEST(HRNRequestError, TheOSMinimumNamesTheDevicesVersion) {
    HRNDevice::sharedInstance()->cacheStaticParameters();
    HRNRequestError error = HRNRequestError::errorWithCode(kHRNErrorOSVersionTooLow);
    const std::string version = HRNDevice::sharedInstance()->systemVersion();
    ASSERT_FALSE(version.empty());
    expectDescriptionAndReasonEqual(error, "Request Error: This device's OS is " + version +
                                               ". It is below the minimum of 6.0.");
}

TEST(HRNRequestError, RequestParametersNeverReplaceTheDescription) {
    // A request class whose parameters carry keys named like the error's own.
    struct NamingRequest : HRNRequest {
        platform::Dictionary threadSafeParameters() const override {
            platform::Dictionary parameters = HRNRequest::threadSafeParameters();
            parameters["NSLocalizedDescription"] = "from the request";
            parameters["NSLocalizedFailureReason"] = "from the request";
            parameters["HttpStatus"] = "from the request";
            return parameters;
        }
    };
    NamingRequest request;
    HRNRequestError error = HRNRequestError::errorWithCodeRequestHTTPStatusCode(0, &request, 404);
    expectDescriptionAndReasonEqual(
        error,
        "Request Error: Invalid ad request parameter(s). Check the Xcode console for details.");
    EXPECT_EQ(info(error, kHRNHttpStatusKey)->asString(), "HTTP status 404: not found");
    EXPECT_NE(info(error, "js"), nullptr);
}

TEST(HRNRequestError, ACustomMessageReplacesTheStandardOne) {
    HRNRequestError error =
        HRNRequestError::errorWithCodeCustomMessage(2, "No network connection.");
    EXPECT_EQ(error.code, 2);
    expectDescriptionAndReasonEqual(error, "No network connection.");

    HRNRequestError empty = HRNRequestError::errorWithCodeCustomMessage(1, "");
    expectDescriptionAndReasonEqual(empty, "");
}

TEST(HRNRequestError, OnlyCodeZeroCarriesTheRequestParameters) {
    auto request = HRNRequest::request();
    HRNRequestError invalid = HRNRequestError::errorWithCodeRequest(0, request.get());
    ASSERT_NE(info(invalid, "js"), nullptr);
    EXPECT_EQ(info(invalid, "js")->asString(), HRNRequest::sdkVersion());
    EXPECT_NE(info(invalid, "request_origin"), nullptr);

    HRNRequestError noFill = HRNRequestError::errorWithCodeRequest(1, request.get());
    EXPECT_EQ(info(noFill, "js"), nullptr);
    EXPECT_EQ(noFill.userInfo.size(), 2u);  // description and failure reason

    HRNRequestError noRequest = HRNRequestError::errorWithCodeRequest(0, nullptr);
    EXPECT_EQ(noRequest.userInfo.size(), 2u);
}

TEST(HRNRequestError, HttpStatusOfOneOrMoreIsNamed) {
    auto request = HRNRequest::request();
    const std::pair<int64_t, const char*> cases[] = {
        {404, "HTTP status 404: not found"},
        {500, "HTTP status 500: internal server error"},
        {1, "HTTP status 1: server error"},
        {0, nullptr},
        {-3, nullptr},
    };
    for (auto [status, text] : cases) {
        SCOPED_TRACE(status);
        HRNRequestError error =
            HRNRequestError::errorWithCodeRequestHTTPStatusCode(3, request.get(), status);
        const platform::Value* value = info(error, kHRNHttpStatusKey);
        if (!text) {
            EXPECT_EQ(value, nullptr);
        } else {
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(value->asString(), text);
        }
        expectDescriptionAndReasonEqual(error,
                                        "Request Error: Server error processing the request.");
    }
}

TEST(HRNRequestError, UnderlyingErrorLendsItsDescription) {
    platform::Error cause = platform::Error::withDescription("NSURLErrorDomain", -1009, "offline");
    HRNRequestError error = HRNRequestError::errorWithCodeUnderlyingError(2, cause);
    EXPECT_EQ(error.code, 2);
    expectDescriptionAndReasonEqual(error, "offline");
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(*error.underlyingError(), cause);

    HRNRequestError without = HRNRequestError::errorWithCodeUnderlyingError(2, std::nullopt);
    expectDescriptionAndReasonEqual(without, "Request Error: A network error occurred.");
    EXPECT_FALSE(without.underlyingError());
}

TEST(HRNRequestError, AnyDomainBecomesAnInternalErrorWrappingIt) {
    HRNRequestError error("org.example", 42, {{"k", "v"}});
    EXPECT_EQ(error.domain, kHRNErrorDomain);
    EXPECT_EQ(error.code, 11);
    expectDescriptionAndReasonEqual(error, "Request Error: Internal error.");
    ASSERT_TRUE(error.underlyingError());
    EXPECT_EQ(*error.underlyingError(), platform::Error("org.example", 42, {{"k", "v"}}));
}

TEST(HRNRequestError, RequestStatusAndMessageTogetherAndThePlainForm) {
    auto request = HRNRequest::request();
    HRNRequestError error = HRNRequestError::errorWithCodeRequestHTTPStatusCodeCustomMessage(
        0, request.get(), 404, "custom");
    EXPECT_EQ(info(error, kHRNHttpStatusKey)->asString(), "HTTP status 404: not found");
    expectDescriptionAndReasonEqual(error, "custom");
    EXPECT_NE(info(error, "js"), nullptr);

    platform::Error plain = error.error();
    EXPECT_EQ(plain.domain, error.domain);
    EXPECT_EQ(plain.code, error.code);
    EXPECT_EQ(plain.userInfo, error.userInfo);
}
