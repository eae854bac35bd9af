#pragma once
// A test fixture for the request manager and its callers: the API peer on loopback HTTPS with
// its own certificate, the SDK's base URL pointed at it through the bundle's ServerConfig.plist,
// the app's credentials registered on both sides, the shared manager trusting the peer's
// certificate, and the network reported reachable.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "peers/puffin-api/PuffinAPIServer.h"
#include "peers/puffin-api/TestCertificate.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/net/Reachability.h"
#include "platform/ui/Bundle.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/core/PFTrack.h"
#include "puffin/core/Puffin.h"
#include "puffin/networking/PFHTTPRequestManager.h"

namespace pftest {

inline constexpr const char* kAppId = "app-1";
inline constexpr const char* kAppSignature = "signature-1";

class APIPeerFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        ASSERT_GT(server.start(0), 0);
        server.setAppSignature(kAppId, kAppSignature);
        const auto bundle = platform::AppHome::temporary() / "bundle";
        std::filesystem::create_directories(bundle);
        ASSERT_TRUE(platform::plist::writeFile(
            bundle / "ServerConfig.plist",
            platform::Value(platform::Dictionary{{"PuffinAPIBaseURL", server.baseURL()}})));
        platform::ui::setBundleDirectory(bundle);
        Puffin::sharedPuffin()->setAppId(kAppId);
        Puffin::sharedPuffin()->setAppSignature(kAppSignature);
        // The tracker starts here, on the main thread, not on a worker in the middle of a test.
        PFTrack::shared();
    }

    // The shared manager, trusting the peer, with the network up.
    std::shared_ptr<PFHTTPRequestManager> manager() {
        auto m = PFHTTPRequestManager::shared();
        auto policy = std::make_shared<PFNSecurityPolicy>();
        policy->setSSLPinningMode(PFNSSLPinningModeCertificate);
        policy->setAllowInvalidCertificates(true);
        policy->setPinnedCertificates(std::vector<platform::Data>{certificate.der()});
        m->securityPolicy = policy;
        setOnline(true);
        return m;
    }

    // Reachability as the manager hears it (on the main queue).
    void setOnline(bool online) {
        platform::net::setReachabilityOverride(online ? 0x2u : 0x0u);
        const int64_t wanted = online ? 2 : 0;
        platform::RunLoop::main().runUntil(
            [&] {
                return PFNNetworkReachabilityManager::sharedManager()
                           ->networkReachabilityStatus() == wanted;
            },
            5);
    }

    bool waitFor(const std::function<bool()>& predicate, double seconds = 20) {
        return platform::RunLoop::main().runUntil(predicate, seconds);
    }

    peers::TestCertificate certificate = peers::TestCertificate::selfSigned();
    peers::PuffinAPIServer server{certificate.pem(), certificate.privateKeyPem()};
};

}  // namespace pftest
