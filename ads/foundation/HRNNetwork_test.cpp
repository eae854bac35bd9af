#include "ads/foundation/HRNNetwork.h"

#include <gtest/gtest.h>

#include "platform/dispatch/RunLoop.h"

namespace {

using platform::net::kIsWWAN;
using platform::net::kReachable;

// Waits until the network's type is the expected one; reachability answers come on another
// queue.
bool becomes(const HRNNetwork& network, uint64_t type) {
    return platform::RunLoop::main().runUntil([&] { return network.networkType() == type; }, 5);
}

TEST(HRNNetworkTest, FlagsMapToTypeCodes) {
    const struct {
        uint32_t flags;
        std::optional<std::string> code;
    } cases[] = {
        {kReachable, "wi"},
        {kReachable | platform::net::kConnectionRequired | platform::net::kTransientConnection,
         "wi"},
        {kIsWWAN, "ed"},  // cellular even without the reachable bit
        {kIsWWAN | kReachable, "ed"},
        {0, std::nullopt},
        {platform::net::kConnectionRequired, std::nullopt},
    };
    for (const auto& c : cases) {
        auto network = HRNNetwork::create();
        network->setNetworkTypeFromFlags(c.flags);
        EXPECT_EQ(network->networkTypeString(), c.code) << c.flags;
        EXPECT_NE(network->networkType(), HRNNetwork::kUndetermined);
    }
}

TEST(HRNNetworkTest, CountsChangesAndRemembersTheLastKnownLink) {
    auto network = HRNNetwork::create();
    EXPECT_FALSE(network->networkTypeString());
    EXPECT_FALSE(network->lastKnownNetworkTypeString());

    network->setNetworkTypeFromFlags(kIsWWAN);
    network->setNetworkTypeFromFlags(0);
    EXPECT_EQ(network->networkTypeString(), std::nullopt);
    EXPECT_EQ(network->lastKnownNetworkTypeString(), "ed");
    network->setNetworkTypeFromFlags(kIsWWAN);
    network->setNetworkTypeFromFlags(kIsWWAN);  // no change, not counted
    EXPECT_EQ(network->changeCount(), 3u);
    EXPECT_EQ(network->lastKnownNetworkTypeString(), "ed");

    network->setNetworkType(HRNNetwork::kUndetermined);  // stored, not counted
    EXPECT_EQ(network->networkType(), HRNNetwork::kUndetermined);
    EXPECT_EQ(network->changeCount(), 3u);
    network->setNetworkTypeFromFlags(kReachable);
    EXPECT_EQ(network->lastKnownNetworkTypeString(), "wi");
    EXPECT_EQ(network->changeCount(), 4u);
}

TEST(HRNNetworkTest, FollowsReachabilityWhileObservingOnly) {
    platform::net::setReachabilityOverride(kIsWWAN | kReachable);
    auto network = HRNNetwork::create();
    std::weak_ptr<HRNNetwork> weak = network;
    network->enableNetworkChecking();
    network->enableNetworkChecking();  // no second observer: see the check after disabling
    ASSERT_TRUE(becomes(*network, HRNNetwork::kCellular));

    platform::net::setReachabilityOverride(0);
    ASSERT_TRUE(becomes(*network, HRNNetwork::kNotReachable));
    platform::net::setReachabilityOverride(kIsWWAN);
    ASSERT_TRUE(becomes(*network, HRNNetwork::kCellular));
    EXPECT_EQ(network->changeCount(), 3u);
    EXPECT_EQ(network->lastKnownNetworkTypeString(), "ed");

    // Observing keeps the object alive; disabling lets it go and forgets the type only.
    network.reset();
    auto held = weak.lock();
    ASSERT_TRUE(held);
    held->disableNetworkChecking();
    EXPECT_EQ(held->networkType(), HRNNetwork::kUndetermined);
    EXPECT_EQ(held->changeCount(), 3u);
    EXPECT_EQ(held->lastKnownNetworkTypeString(), "ed");
    platform::net::setReachabilityOverride(kReachable);
    platform::RunLoop::main().runUntil([] { return false; }, 0.05);
    EXPECT_EQ(held->networkType(), HRNNetwork::kUndetermined);
    held.reset();
    EXPECT_TRUE(weak.expired());
}

}  // namespace
