#include "platform/render/Transform3D.h"

#include <gtest/gtest.h>

#include <cmath>

namespace platform::render {
namespace {

void expectNear(const Transform3D& a, const Transform3D& b, double tolerance = 1e-9) {
    const double* pa = &a.m11;
    const double* pb = &b.m11;
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(pa[i], pb[i], tolerance) << "element " << i;
}

TEST(Transform3D, StepsApplyBeforeTheTransformTheyAreAddedTo) {
    // Translate, then rotate a quarter turn about z: (1, 0) -> (11, 0) -> (0, 11).
    Transform3D t = transform3DRotate(Transform3D::identity(), M_PI / 2, 0, 0, 1);
    t = transform3DTranslate(t, 10, 0, 0);
    auto p = t.apply({1, 0});
    ASSERT_TRUE(p);
    EXPECT_NEAR(p->x, 0, 1e-9);
    EXPECT_NEAR(p->y, 11, 1e-9);
    EXPECT_TRUE(t.isAffine());

    auto s = transform3DScale(Transform3D::makeTranslation(5, 5, 0), 2, 3, 1).apply({1, 1});
    EXPECT_NEAR(s->x, 7, 1e-9);
    EXPECT_NEAR(s->y, 8, 1e-9);
    EXPECT_EQ(Transform3D::makeRotation(1, 0, 0, 0), Transform3D::identity());
}

TEST(Transform3D, PerspectiveMakesTheNearSideLarger) {
    Transform3D t;
    t.m34 = -1.0 / 1500;
    // Turned -60 degrees about the y axis: the half at positive x comes towards the viewer.
    Transform3D turned = transform3DRotate(t, -M_PI / 3, 0, 1, 0);
    EXPECT_FALSE(turned.isAffine());
    auto left = turned.apply({-100, 100});
    auto right = turned.apply({100, 100});
    ASSERT_TRUE(left && right);
    EXPECT_GT(std::abs(right->y), std::abs(left->y));
    EXPECT_NEAR(-left->x, right->x * std::abs(left->y) / std::abs(right->y), 1e-6);
}

TEST(Transform3D, InterpolationTurnsThroughTheMiddleAndKeepsTheEnds) {
    Transform3D t;
    t.m34 = -1.0 / 1500;
    Transform3D from = transform3DTranslate(transform3DRotate(t, -M_PI / 3, 0, 1, 0), -500, 0, 0);
    expectNear(interpolate(from, t, 0), from, 1e-6);
    expectNear(interpolate(from, t, 1), t, 1e-6);
    // Halfway, a turn of 30 degrees with the perspective kept; half a slide.
    expectNear(interpolate(transform3DRotate(t, -M_PI / 3, 0, 1, 0), t, 0.5),
               transform3DRotate(t, -M_PI / 6, 0, 1, 0), 1e-9);
    expectNear(interpolate(Transform3D::makeTranslation(-500, 40, 0), Transform3D{}, 0.5),
               Transform3D::makeTranslation(-250, 20, 0));

    // Scales and plain turns.
    expectNear(interpolate(Transform3D::makeScale(0.6, 0.6, 1), Transform3D{}, 0.5),
               Transform3D::makeScale(0.8, 0.8, 1));
    expectNear(interpolate(Transform3D{}, Transform3D::makeRotation(M_PI / 2, 0, 0, 1), 0.5),
               Transform3D::makeRotation(M_PI / 4, 0, 0, 1));
    // A flattened plane cannot be taken apart: element by element.
    expectNear(interpolate(Transform3D::makeScale(0, 1, 1), Transform3D{}, 0.5),
               Transform3D::makeScale(0.5, 1, 1));
}

}  // namespace
}  // namespace platform::render
