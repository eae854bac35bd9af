#include "ads/pipeline/HRNRequest.h"

#include <gtest/gtest.h>

TEST(HRNRequest, EachRequestIsANewObjectAndCopiesAreIndependent) {
    auto a = HRNRequest::request();
    auto b = HRNRequest::request();
    ASSERT_TRUE(a);
    EXPECT_NE(a, b);
    auto c = a->copy();
    EXPECT_NE(c, a);
    EXPECT_EQ(c->origin(), "pub");
}

TEST(HRNRequest, SdkVersionIsOneFixedSharedText) {
    EXPECT_EQ(HRNRequest::sdkVersion(), "hsdk-i-v3.1.0");
    EXPECT_EQ(&HRNRequest::sdkVersion(), &HRNRequest::sdkVersion());
}

TEST(HRNRequest, PlainRequestParametersNameTheVersionAndOrigin) {
    auto parameters = HRNRequest::request()->parameters();
    EXPECT_EQ(parameters["js"], platform::Value("hsdk-i-v3.1.0"));
    EXPECT_EQ(parameters["request_origin"], platform::Value("pub"));
    const platform::Value& properties = parameters["_request_object_properties"];
    ASSERT_NE(properties.find("class"), nullptr);
    EXPECT_EQ(*properties.find("class"), platform::Value("HRNRequest"));
}
