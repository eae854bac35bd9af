#include "platform/render/Geometry.h"

#include <gtest/gtest.h>

#include "platform/render/Color.h"

namespace platform::render {
namespace {

TEST(Geometry, RectContainsIsHalfOpen) {
    const Rect r(10, 20, 30, 40);
    struct Case {
        Point p;
        bool inside;
    } cases[] = {
        {{10, 20}, true},  {{39.9, 59.9}, true}, {{40, 30}, false},
        {{20, 60}, false}, {{9.9, 30}, false},   {{20, 19.9}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(r.contains(c.p), c.inside) << c.p.x << "," << c.p.y;
    }
    EXPECT_FALSE(Rect(0, 0, 0, 10).contains({0, 0}));
}

TEST(Geometry, IntersectionAndUnion) {
    struct Case {
        Rect a, b, intersection, united;
    } cases[] = {
        {{0, 0, 10, 10}, {5, 5, 10, 10}, {5, 5, 5, 5}, {0, 0, 15, 15}},
        {{0, 0, 10, 10}, {2, 3, 4, 5}, {2, 3, 4, 5}, {0, 0, 10, 10}},
        // Touching edges share no area.
        {{0, 0, 10, 10}, {10, 0, 10, 10}, {}, {0, 0, 20, 10}},
        {{0, 0, 10, 10}, {20, 20, 5, 5}, {}, {0, 0, 25, 25}},
        // An empty rectangle takes no part in a union.
        {{0, 0, 10, 10}, {50, 50, 0, 0}, {}, {0, 0, 10, 10}},
        {{-5, -5, 10, 10}, {0, 0, 10, 10}, {0, 0, 5, 5}, {-5, -5, 15, 15}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a.intersection(c.b), c.intersection);
        EXPECT_EQ(c.b.intersection(c.a), c.intersection);
        EXPECT_EQ(c.a.intersects(c.b), !c.intersection.isEmpty());
        EXPECT_EQ(c.a.united(c.b), c.united);
        EXPECT_EQ(c.b.united(c.a), c.united);
    }
}

TEST(Geometry, InsetAndOffset) {
    const Rect r(10, 10, 100, 50);
    EXPECT_EQ(r.insetBy(5, 10), Rect(15, 20, 90, 30));
    EXPECT_EQ(r.insetBy(EdgeInsets{1, 2, 3, 4}), Rect(12, 11, 94, 46));
    EXPECT_EQ(r.insetBy(-5, -5), Rect(5, 5, 110, 60));
    EXPECT_TRUE(r.insetBy(50, 0).isEmpty());
    EXPECT_EQ(r.offsetBy(-10, 5), Rect(0, 15, 100, 50));
    EXPECT_EQ(r.center(), (Point{60, 35}));
}

TEST(Color, FromHex) {
    struct Case {
        const char* text;
        std::optional<Color> color;
    } cases[] = {
        {"#ff8000", Color::fromRGB255(255, 128, 0)},
        {"#FFFFFF", Color::white()},
        {"#000", Color::black()},
        {"#f80", Color::fromRGB255(255, 136, 0)},
        {"ff8000", std::nullopt},
        {"#ff800", std::nullopt},
        {"#gg0000", std::nullopt},
        {"#ff8000ff", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Color::fromHex(c.text), c.color) << c.text;
    }
}

TEST(Color, FromRGB255ClampsAndScales) {
    EXPECT_EQ(Color::fromRGB255(255, 0, 51, 0.5), (Color{1, 0, 0.2, 0.5}));
    EXPECT_EQ(Color::fromRGB255(300, -4, 0, 2), (Color{1, 0, 0, 1}));
}

}  // namespace
}  // namespace platform::render
