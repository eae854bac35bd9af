#include "puffin/networking/PFAPIJSONResponseSerializer.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFTestSupport_test.h"
#include "puffin/networking/PFNNetworking.h"

namespace {

using platform::Data;
using platform::Error;
using platform::net::HeaderFields;
using platform::net::HTTPURLResponse;

class PFAPIJSONResponseSerializerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        PFLog::setLogLevel(2);
    }

    static HTTPURLResponse response(int64_t status, const std::string& type = "application/json") {
        HeaderFields headers;
        headers.set("Content-Type", type);
        return HTTPURLResponse(*platform::net::URL::parse("https://127.0.0.1/api/install"), status,
                               headers);
    }

    // The error the serializer leaves for a reply (empty domain when accepted) and the log.
    struct Outcome {
        Error error;
        std::string log;
    };
    static Outcome check(const std::shared_ptr<PFHTTPAPIRequest>& request,
                         const HTTPURLResponse& reply,
                         const std::optional<std::string>& body) {
        Outcome outcome;
        auto serializer = PFAPIJSONResponseSerializer::serializerForRequest(request);
        const Data bytes = Data::fromString(body.value_or(""));
        outcome.log = pftest::unwrapped(pftest::stderrOf([&] {
            serializer->responseObjectForResponseDataError(&reply, body ? &bytes : nullptr,
                                                           &outcome.error);
        }));
        return outcome;
    }
};

TEST_F(PFAPIJSONResponseSerializerTest, AcceptsOnlyDictionariesMatchingThePathsMask) {
    auto install = PFHTTPAPIRequest::create("/api/install");
    struct Case {
        int64_t status;
        std::string type;
        std::optional<std::string> body;
        bool accepted;
        std::string warning;
    } cases[] = {
        {200, "application/json", R"({"status":200})", true, ""},
        {200, "text/html", R"({"status":200,"x":1})", true, ""},
        {200, "application/json", "", false, "bad server response. raw data = "},
        {200, "application/json", "[1,2]", false, "bad server response. raw data = [1,2]"},
        {200, "application/json", R"({"status":"200"})", false, "failed responseMask"},
        {299, "text/json", R"({"code":200})", false, "failed responseMask"},
    };
    for (const Case& c : cases) {
        Outcome outcome = check(install, response(c.status, c.type), c.body);
        if (c.accepted) {
            EXPECT_TRUE(outcome.error.domain.empty()) << c.body.value_or("");
        } else {
            EXPECT_EQ(outcome.error.domain, PFNNetworkingErrorDomain) << c.body.value_or("");
            EXPECT_EQ(outcome.error.code, -1011);
            EXPECT_TRUE(outcome.error.userInfo.empty());  // the predicate error stays in the log
        }
        EXPECT_EQ(c.warning.empty(), outcome.log.empty()) << outcome.log;
        if (!c.warning.empty()) {
            EXPECT_NE(outcome.log.find("Puffin (W) | " + c.warning), std::string::npos)
                << outcome.log;
        }
    }
}

TEST_F(PFAPIJSONResponseSerializerTest, BaseRejectionsKeepTheirErrors) {
    Outcome outcome =
        check(PFHTTPAPIRequest::create("/api/install"), response(500), R"({"status":500})");
    EXPECT_EQ(outcome.error.domain, PFNURLResponseSerializationErrorDomain);
    EXPECT_FALSE(outcome.error.userInfo.empty());
    outcome = check(PFHTTPAPIRequest::create("/api/install"), response(200, "image/png"),
                    R"({"status":200})");
    EXPECT_EQ(outcome.error.domain, PFNURLResponseSerializationErrorDomain);
}

TEST_F(PFAPIJSONResponseSerializerTest, WithoutAMaskAnyDictionaryPassesAndAThrowingSchemaRejects) {
    auto request = PFHTTPAPIRequest::create("/api/install");
    request->responseMask.reset();
    EXPECT_TRUE(check(request, response(200), R"({"anything":1})").error.domain.empty());

    request->responseMask =
        PFVMask{{"status", PFVPredicateWithBlock([](const platform::Value*, Error*) -> bool {
                     throw std::runtime_error("schema broke");
                 })}};
    Outcome outcome = check(request, response(200), R"({"status":200})");
    EXPECT_EQ(outcome.error.code, -1011);
    EXPECT_NE(outcome.log.find("Failed responseMask due to some run time exception"),
              std::string::npos);
    EXPECT_FALSE(PFAPIJSONResponseSerializer::serializerForRequest(request)->copy() == nullptr);
}

}  // namespace
