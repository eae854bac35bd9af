#include "puffin/networking/PFNNetworkReachabilityManager.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <vector>

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/net/Reachability.h"
#include "platform/runtime/Runtime.h"
#include "puffin/core/PFPlatformFrameworks.h"
#include "puffin/networking/PFNNetworking.h"
#include "puffin/networking/PFNURLConnectionOperation.h"
#include "puffin/networking/PFNURLResponseSerialization.h"

namespace {

class PFNNetworkReachabilityManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PFRegisterClasses();
        platform::net::setReachabilityOverride(std::nullopt);
        token_ = platform::NotificationCenter::defaultCenter().addObserver(
            PFNNetworkingReachabilityDidChangeNotification, nullptr,
            [this](const platform::Notification& n) {
                posted.push_back(
                    n.userInfo.at(PFNNetworkingReachabilityNotificationStatusItem).asInteger(-99));
            });
    }
    void TearDown() override {
        platform::NotificationCenter::defaultCenter().removeObserver(token_);
    }

    // Turns of the main loop until `count` notifications arrived (or a short while passed).
    void drain(size_t count) {
        platform::RunLoop::main().runUntil([&] { return posted.size() >= count; }, 2);
    }

    std::vector<int64_t> posted;
    platform::NotificationCenter::Token token_ = 0;
};

TEST(PFNReachabilityStatus, FlagsGiveTheStatus) {
    struct Case {
        uint32_t flags;
        int64_t status;
    };
    const Case cases[] = {
        {0x0, 0},
        {0x2, 2},
        {0x2 | 0x40000, 1},
        {0x2 | 0x4, 0},
        {0x2 | 0x4 | 0x20, 2},
        {0x2 | 0x4 | 0x20 | 0x10, 0},
        {0x2 | 0x4 | 0x8, 2},
        {0x2 | 0x4 | 0x8 | 0x40000, 1},
        {0x40000, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PFNReachabilityStatusForFlags(c.flags), c.status) << std::hex << c.flags;
}

TEST(PFNReachabilityStatus, LabelsCarryTheNetworkingPrefix) {
    EXPECT_EQ(std::string(PFNNetworkingReachabilityDidChangeNotification),
              PFNNetworkingName("networking.reachability.change"));
    EXPECT_EQ(std::string(PFNNetworkingOperationDidStartNotification),
              PFNNetworkingName("networking.operation.start"));
    EXPECT_EQ(std::string(PFNNetworkingOperationDidFinishNotification),
              PFNNetworkingName("networking.operation.finish"));
    EXPECT_EQ(std::string(PFNURLResponseSerializationErrorDomain),
              PFNNetworkingName("error.serialization.response"));
    EXPECT_EQ(std::string(PFNNetworkingOperationFailingURLResponseErrorKey),
              PFNNetworkingName("serialization.response.error.response"));
    EXPECT_EQ(std::string(PFNNetworkingOperationFailingURLResponseDataErrorKey),
              PFNNetworkingName("serialization.response.error.data"));
}

TEST(PFNReachabilityStatus, TextsAndReachability) {
    EXPECT_EQ(PFNLocalizedStringFromReachabilityStatus(-1), "Unknown");
    EXPECT_EQ(PFNLocalizedStringFromReachabilityStatus(0), "Not Reachable");
    EXPECT_EQ(PFNLocalizedStringFromReachabilityStatus(1), "Reachable via WWAN");
    EXPECT_EQ(PFNLocalizedStringFromReachabilityStatus(2), "Reachable via WiFi");
    EXPECT_EQ(PFNLocalizedStringFromReachabilityStatus(7), "Unknown");

    // A manager with no target never reports: status -1, not reachable.
    auto idle = PFNNetworkReachabilityManager::create();
    idle->startMonitoring();
    EXPECT_EQ(idle->networkReachabilityStatus(), -1);
    EXPECT_FALSE(idle->isReachable());
    EXPECT_EQ(idle->localizedNetworkReachabilityStatusString(), "Unknown");
    EXPECT_EQ(idle->networkReachabilityAssociation(), PFNNetworkReachabilityAssociationNone);
}

TEST_F(PFNNetworkReachabilityManagerTest, AnAddressManagerReportsAtOnceAndOnEveryChange) {
    platform::net::setReachabilityOverride(0x2 | 0x40000);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "10.1.2.3", &address.sin_addr);
    auto manager = PFNNetworkReachabilityManager::managerForAddress(
        reinterpret_cast<const sockaddr*>(&address));
    EXPECT_EQ(manager->networkReachabilityAssociation(),
              PFNNetworkReachabilityAssociationForAddress);
    EXPECT_EQ(manager->networkReachability()->host, "10.1.2.3");
    std::vector<int64_t> seen;
    manager->setReachabilityStatusChangeBlock([&](int64_t status) { seen.push_back(status); });
    manager->startMonitoring();
    manager->startMonitoring();  // scheduled once: one block call per change from here on
    drain(2);
    // Each start asks once; both answer cellular.
    EXPECT_EQ(posted, (std::vector<int64_t>{1, 1}));
    EXPECT_TRUE(manager->isReachableViaWWAN());
    EXPECT_EQ(manager->localizedNetworkReachabilityStatusString(), "Reachable via WWAN");

    seen.clear();
    posted.clear();
    platform::net::setReachabilityOverride(0x0);
    drain(1);
    EXPECT_EQ(seen, (std::vector<int64_t>{0}));
    EXPECT_EQ(posted, (std::vector<int64_t>{0}));
    EXPECT_FALSE(manager->isReachable());

    // Stopped, it hears nothing more.
    manager->stopMonitoring();
    platform::net::setReachabilityOverride(0x2);
    platform::RunLoop::main().runUntil([] { return false; }, 0.1);
    EXPECT_EQ(seen, (std::vector<int64_t>{0}));
    EXPECT_EQ(manager->networkReachabilityStatus(), 0);
}

TEST_F(PFNNetworkReachabilityManagerTest, AHostManagerWaitsForTheSystemToReport) {
    auto manager = PFNNetworkReachabilityManager::managerForDomain("api.example.com");
    EXPECT_EQ(manager->networkReachabilityAssociation(), PFNNetworkReachabilityAssociationForName);
    std::vector<int64_t> seen;
    manager->setReachabilityStatusChangeBlock([&](int64_t status) { seen.push_back(status); });
    manager->startMonitoring();
    platform::RunLoop::main().runUntil([] { return false; }, 0.1);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(posted.empty());
    EXPECT_EQ(manager->networkReachabilityStatus(), -1);

    platform::net::setReachabilityOverride(0x2);
    drain(1);
    EXPECT_EQ(seen, (std::vector<int64_t>{2}));
    EXPECT_EQ(posted, (std::vector<int64_t>{2}));
    EXPECT_TRUE(manager->isReachableViaWiFi());

    // A manager that is gone reports nothing, and the shared one is a host manager.
    manager.reset();
    platform::net::setReachabilityOverride(0x0);
    platform::RunLoop::main().runUntil([] { return false; }, 0.1);
    EXPECT_EQ(seen, (std::vector<int64_t>{2}));
    EXPECT_EQ(PFNNetworkReachabilityManager::sharedManager(),
              PFNNetworkReachabilityManager::sharedManager());
    EXPECT_EQ(PFNNetworkReachabilityManager::sharedManager()->networkReachabilityAssociation(),
              PFNNetworkReachabilityAssociationForName);
}

TEST_F(PFNNetworkReachabilityManagerTest, WithoutTheFrameworkNothingIsReported) {
    platform::runtime::markFrameworkAbsent("SystemConfiguration");
    auto manager = PFNNetworkReachabilityManager::managerForDomain("api.example.com");
    manager->startMonitoring();
    platform::net::setReachabilityOverride(0x2);
    platform::RunLoop::main().runUntil([] { return false; }, 0.1);
    EXPECT_EQ(manager->networkReachabilityStatus(), -1);
    EXPECT_TRUE(posted.empty());
}

}  // namespace
