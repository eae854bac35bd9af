#include "platform/render/Fonts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

namespace platform::render {
namespace {

TEST(Fonts, InstalledFamiliesExistAndOthersDoNot) {
    struct Case {
        const char* name;
        double size;
        bool exists;
    };
    const std::vector<Case> cases = {
        {"Noto Sans CJK SC", 14, true},
        {"noto sans cjk sc", 14, true},       // case does not matter
        {"noto sans cjk sc bold", 12, true},  // a full face name
        {"Noto Serif CJK SC", 30, true},
        {"FrLt DFGirl", 14, false},  // not installed: the game falls back
        {"Qwzx Nonexistent Face", 14, false},
        {"Noto Sans CJK", 14, false},  // a prefix is not the family
        {"", 14, false},
        {"Noto Sans CJK SC", 0, false},
        {"Noto Sans CJK SC", -3, false},
        {"Noto Sans CJK SC", NAN, false},
        {"Noto Sans CJK SC", INFINITY, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fontExists(c.name, c.size), c.exists) << c.name << " at " << c.size;
    }
}

TEST(Fonts, LookupsFromManyThreads) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([] {
            for (int i = 0; i < 20; ++i) {
                EXPECT_TRUE(fontExists("Noto Sans CJK SC", 10 + i));
                EXPECT_FALSE(fontExists("FrLt DFGirl", 10 + i));
            }
        });
    }
    for (auto& thread : threads) thread.join();
}

}  // namespace
}  // namespace platform::render
