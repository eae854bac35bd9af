#include "platform/foundation/NotificationCenter.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace platform {
namespace {

TEST(NotificationCenter, DeliversInRegistrationOrderByNameAndSender) {
    NotificationCenter center;
    std::vector<std::string> calls;
    int senderA = 0, senderB = 0;
    center.addObserver("ping", nullptr, [&](const Notification&) { calls.push_back("any 1"); });
    center.addObserver("ping", &senderA, [&](const Notification&) { calls.push_back("from A"); });
    center.addObserver("", nullptr,
                       [&](const Notification& n) { calls.push_back("all " + n.name); });
    center.addObserver("pong", nullptr, [&](const Notification&) { calls.push_back("pong"); });
    center.addObserver("ping", nullptr, [&](const Notification& n) {
        calls.push_back("any 2 " + n.userInfo.at("k").asString());
        EXPECT_EQ(n.sender, &senderB);
    });

    center.post("ping", &senderB, Dictionary{{"k", Value("v")}});
    EXPECT_EQ(calls, (std::vector<std::string>{"any 1", "all ping", "any 2 v"}));
    calls.clear();
    center.post("pong", &senderA);
    EXPECT_EQ(calls, (std::vector<std::string>{"all pong", "pong"}));
    calls.clear();
    center.post("unheard-of-by-name");
    EXPECT_EQ(calls, (std::vector<std::string>{"all unheard-of-by-name"}));
}

TEST(NotificationCenter, RemovalInsideACallbackAndReentrantPosts) {
    NotificationCenter center;
    std::vector<std::string> calls;
    NotificationCenter::Token second = 0;
    NotificationCenter::Token first = center.addObserver("n", nullptr, [&](const Notification&) {
        calls.push_back("first");
        center.removeObserver(second);  // a later observer of this very post
    });
    second =
        center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("second"); });
    NotificationCenter::Token self = 0;
    self = center.addObserver("n", nullptr, [&](const Notification&) {
        calls.push_back("self-removing");
        center.removeObserver(self);
        center.post("inner");  // posting again from a callback
        center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("late"); });
    });
    center.addObserver("inner", nullptr, [&](const Notification&) { calls.push_back("inner"); });

    center.post("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "self-removing", "inner"}));
    calls.clear();
    center.post("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "late"}));
    center.removeObserver(first);
    center.removeObserver(first);  // twice is harmless
    center.removeObserver(0);
}

TEST(NotificationCenter, ExecutorDeliveryAndRemovalBeforeItRuns) {
    NotificationCenter center;
    std::vector<std::function<void()>> queued;
    auto executor = [&](std::function<void()> work) { queued.push_back(std::move(work)); };
    std::vector<std::string> calls;
    auto queuedToken = center.addObserver(
        "n", nullptr, [&](const Notification& n) { calls.push_back("queued " + n.name); },
        executor);
    center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("direct"); });

    center.post("n");
    EXPECT_EQ(calls, std::vector<std::string>{"direct"});
    ASSERT_EQ(queued.size(), 1u);
    queued[0]();
    EXPECT_EQ(calls, (std::vector<std::string>{"direct", "queued n"}));

    center.post("n");
    center.removeObserver(queuedToken);
    ASSERT_EQ(queued.size(), 2u);
    queued[1]();  // removed before it ran: nothing
    EXPECT_EQ(calls, (std::vector<std::string>{"direct", "queued n", "direct"}));
}

TEST(NotificationCenter, PostsFromManyThreadsWhileObserversComeAndGo) {
    NotificationCenter& center = NotificationCenter::defaultCenter();
    std::atomic<int> heard{0};
    auto keep = center.addObserver("tick", nullptr, [&](const Notification&) { ++heard; });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i)
                center.post("tick");
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; i < 500; ++i) {
            auto token = center.addObserver("tick", nullptr, [](const Notification&) {});
            center.removeObserver(token);
        }
    });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(heard.load(), 2000);
    center.removeObserver(keep);
    center.post("tick");
    EXPECT_EQ(heard.load(), 2000);
}

}  // namespace
}  // namespace platform
