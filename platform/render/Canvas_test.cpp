#include "platform/render/Canvas.h"

#include <gtest/gtest.h>

#include "platform/render/PixelTestSupport.h"

namespace platform::render {
namespace {

using testing::colorNear;
using testing::countPixels;
using testing::whiteBitmap;

const Color kRed{1, 0, 0, 1};
const Color kBlue{0, 0, 1, 1};
const Color kGrey{0.5, 0.5, 0.5, 1};

bool isBlack(const Color& c) {
    return c == Color::black();
}

TEST(Canvas, PointsBecomePixelsAtTheBitmapScale) {
    Bitmap bitmap(Size{30, 15}, 2);
    ASSERT_EQ(bitmap.pixelWidth(), 60);
    ASSERT_EQ(bitmap.pixelHeight(), 30);
    EXPECT_EQ(bitmap.size(), (Size{30, 15}));
    Canvas(bitmap).fillRect({5, 2, 10, 10}, Color::black());
    const Rect filled(10, 4, 20, 20);  // pixels
    EXPECT_EQ(countPixels(bitmap, filled, isBlack), 20 * 20);
    EXPECT_EQ(countPixels(
                  bitmap, filled, [](const Color& c) { return c.alpha > 0; }, false),
              0);
}

TEST(Canvas, BitmapSizeRoundsUpToWholePixels) {
    EXPECT_EQ(Bitmap(Size{10.2, 3}, 2).pixelWidth(), 21);
    EXPECT_EQ(Bitmap(Size{10, 3}, 3).pixelHeight(), 9);
    EXPECT_EQ(Bitmap(Size{0, 3}, 2).pixelWidth(), 0);
}

TEST(Canvas, ClipLimitsDrawingUntilRestored) {
    Bitmap bitmap(Size{40, 40});
    Canvas canvas(bitmap);
    canvas.save();
    canvas.clipToRect({0, 0, 10, 10});
    canvas.fillRect({20, 20, 10, 10}, kRed);  // wholly outside the clip
    canvas.fillRect({5, 5, 10, 10}, kBlue);   // partly inside
    canvas.restore();
    EXPECT_EQ(bitmap.pixelAt(25, 25), Color::clear());
    EXPECT_EQ(bitmap.pixelAt(7, 7), kBlue);
    EXPECT_EQ(bitmap.pixelAt(12, 12), Color::clear());
    canvas.fillRect({20, 20, 10, 10}, kRed);
    EXPECT_EQ(bitmap.pixelAt(25, 25), kRed);
}

TEST(Canvas, RoundedClipCutsTheCorners) {
    Bitmap bitmap(Size{40, 40});
    Canvas canvas(bitmap);
    canvas.save();
    canvas.clipToRect({0, 0, 40, 40}, 10);
    canvas.fillRect({0, 0, 40, 40}, kRed);
    canvas.restore();
    EXPECT_EQ(bitmap.pixelAt(0, 0), Color::clear());
    EXPECT_EQ(bitmap.pixelAt(39, 39), Color::clear());
    EXPECT_EQ(bitmap.pixelAt(20, 0), kRed);
    EXPECT_EQ(bitmap.pixelAt(20, 20), kRed);
}

TEST(Canvas, LayerAlphaAppliesToTheWholeGroup) {
    Bitmap bitmap = whiteBitmap({40, 20});
    Canvas canvas(bitmap);
    canvas.pushLayer(0.5);
    canvas.fillRect({0, 0, 20, 20}, Color::black());
    canvas.fillRect({10, 0, 20, 20}, Color::black());  // overlaps the first: no darker there
    canvas.popLayer();
    EXPECT_TRUE(colorNear(bitmap.pixelAt(5, 10), kGrey));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(15, 10), kGrey));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(25, 10), kGrey));
    EXPECT_EQ(bitmap.pixelAt(35, 10), Color::white());
}

TEST(Canvas, TranslucentColourOverTransparentKeepsItsAlpha) {
    Bitmap bitmap(Size{10, 10});
    Canvas(bitmap).fillRect({0, 0, 10, 10}, kRed.withAlpha(0.5));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(5, 5), kRed.withAlpha(0.5)));
}

TEST(Canvas, TranslateAndScaleMoveLaterDrawing) {
    Bitmap bitmap(Size{40, 40});
    Canvas canvas(bitmap);
    canvas.save();
    canvas.translate(10, 20);
    canvas.scale(2, 2);
    canvas.fillRect({0, 0, 5, 5}, kRed);  // lands on 10..20 x 20..30
    canvas.restore();
    EXPECT_EQ(countPixels(bitmap, {10, 20, 10, 10}, [](const Color& c) { return c == kRed; }), 100);
    EXPECT_EQ(countPixels(
                  bitmap, {10, 20, 10, 10}, [](const Color& c) { return c.alpha > 0; }, false),
              0);
}

TEST(Canvas, ZeroScaleHidesDrawingUntilRestored) {
    Bitmap bitmap(Size{20, 20});
    Canvas canvas(bitmap);
    canvas.save();
    canvas.scale(0, 1);
    canvas.fillRect({0, 0, 20, 20}, kRed);
    canvas.restore();
    EXPECT_EQ(bitmap.pixelAt(10, 10), Color::clear());
    canvas.fillRect({0, 0, 20, 20}, kRed);
    EXPECT_EQ(bitmap.pixelAt(10, 10), kRed);
}

TEST(Canvas, RoundedRectLeavesCornersEmpty) {
    Bitmap bitmap(Size{40, 20});
    Canvas(bitmap).fillRect({0, 0, 40, 20}, kRed, 100);  // radius capped at 10: a capsule
    EXPECT_EQ(bitmap.pixelAt(0, 0), Color::clear());
    EXPECT_EQ(bitmap.pixelAt(1, 18), Color::clear());
    EXPECT_EQ(bitmap.pixelAt(20, 0), kRed);
    EXPECT_EQ(bitmap.pixelAt(1, 10), kRed);
}

TEST(Canvas, StrokeLiesInsideTheRectangle) {
    Bitmap bitmap(Size{40, 40});
    Canvas(bitmap).strokeRect({10, 10, 20, 20}, kBlue, 2);
    EXPECT_EQ(bitmap.pixelAt(9, 20), Color::clear());
    EXPECT_EQ(bitmap.pixelAt(10, 20), kBlue);
    EXPECT_EQ(bitmap.pixelAt(11, 20), kBlue);
    EXPECT_EQ(bitmap.pixelAt(12, 20), Color::clear());
    EXPECT_EQ(bitmap.pixelAt(29, 20), kBlue);
    EXPECT_EQ(bitmap.pixelAt(30, 20), Color::clear());
    EXPECT_EQ(bitmap.pixelAt(20, 20), Color::clear());
}

TEST(Canvas, LinearGradientBlendsBetweenStops) {
    Bitmap bitmap(Size{120, 10});
    Canvas(bitmap).fillLinearGradient({0, 0, 120, 10}, {10, 0}, {110, 0}, {{0, kRed}, {1, kBlue}});
    EXPECT_TRUE(colorNear(bitmap.pixelAt(2, 5), kRed));  // before the start: first colour
    EXPECT_TRUE(colorNear(bitmap.pixelAt(60, 5), {0.5, 0, 0.5, 1}, 0.02));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(117, 5), kBlue));
}

TEST(Canvas, RadialGradientBlendsOutwardsFromTheCentre) {
    Bitmap bitmap(Size{101, 101});
    Canvas(bitmap).fillRadialGradient({0, 0, 101, 101}, {50.5, 50.5}, 0, 50,
                                      {{0, kRed}, {1, kBlue}});
    EXPECT_TRUE(colorNear(bitmap.pixelAt(50, 50), kRed, 0.03));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(75, 50), {0.5, 0, 0.5, 1}, 0.03));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(50, 1), kBlue, 0.03));
    EXPECT_EQ(bitmap.pixelAt(0, 0), Color::clear());  // past the outer circle: nothing
}

TEST(Canvas, FittedRectPlacesContentByMode) {
    const Rect bounds(0, 0, 100, 50);
    const Size wide{40, 10};
    struct Case {
        ContentMode mode;
        Size content;
        Rect expected;
    } cases[] = {
        {ContentMode::ScaleToFill, wide, bounds},
        {ContentMode::AspectFit, wide, {0, 12.5, 100, 25}},
        {ContentMode::AspectFill, wide, {-50, 0, 200, 50}},
        {ContentMode::Center, wide, {30, 20, 40, 10}},
        {ContentMode::AspectFit, {10, 40}, {43.75, 0, 12.5, 50}},
        {ContentMode::AspectFill, {10, 40}, {0, -175, 100, 400}},
        {ContentMode::AspectFit, {0, 0}, {50, 25, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fittedRect(c.content, bounds, c.mode), c.expected) << int(c.mode);
    }
}

// Two by one pixels: red on the left, blue on the right.
Image redBlueImage(double scale) {
    Bitmap pixels(Size{2, 1});
    Canvas canvas(pixels);
    canvas.fillRect({0, 0, 1, 1}, kRed);
    canvas.fillRect({1, 0, 1, 1}, kBlue);
    auto image = Image::fromData(pixels.pngData(), scale);
    EXPECT_TRUE(image);
    return *image;
}

TEST(Canvas, DrawImageStretchesToFill) {
    Bitmap bitmap(Size{40, 20});
    Canvas(bitmap).drawImage(redBlueImage(1), {0, 0, 40, 20});
    EXPECT_TRUE(colorNear(bitmap.pixelAt(0, 0), kRed));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(8, 19), kRed));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(31, 0), kBlue));
    EXPECT_TRUE(colorNear(bitmap.pixelAt(39, 19), kBlue));
}

TEST(Canvas, DrawImageAspectFitLeavesBandsAndCentreUsesPointSize) {
    Bitmap fit(Size{40, 40});
    Canvas(fit).drawImage(redBlueImage(1), {0, 0, 40, 40}, ContentMode::AspectFit);
    EXPECT_EQ(fit.pixelAt(20, 5), Color::clear());
    EXPECT_EQ(fit.pixelAt(20, 34), Color::clear());
    EXPECT_TRUE(colorNear(fit.pixelAt(4, 20), kRed));
    EXPECT_TRUE(colorNear(fit.pixelAt(35, 20), kBlue));

    // At scale 2 the image is one point by half a point; at a bitmap scale of 4 that is 4 x 2
    // pixels in the middle of the 40 x 40 pixel bitmap.
    Bitmap centred(Size{10, 10}, 4);
    Canvas(centred).drawImage(redBlueImage(2), {0, 0, 10, 10}, ContentMode::Center);
    EXPECT_EQ(countPixels(centred, {18, 19, 4, 2}, [](const Color& c) { return c.alpha > 0.9; }),
              8);
    EXPECT_EQ(countPixels(
                  centred, {18, 19, 4, 2}, [](const Color& c) { return c.alpha > 0; }, false),
              0);
}

TEST(CanvasDeathTest, UnbalancedStateAborts) {
    Bitmap bitmap(Size{4, 4});
    EXPECT_DEATH(Canvas(bitmap).restore(), "restore without a matching save");
    EXPECT_DEATH(
        {
            Canvas canvas(bitmap);
            canvas.pushLayer(0.5);
            canvas.restore();
        },
        "restore without a matching save");
    EXPECT_DEATH(
        {
            Canvas canvas(bitmap);
            canvas.save();
            canvas.popLayer();
        },
        "popLayer without a matching pushLayer");
    EXPECT_DEATH(Canvas(bitmap).pushLayer(1), "still open");
}

TEST(Canvas, WrappedPixelsReceiveTheDrawing) {
    uint32_t pixels[4 * 3] = {};
    {
        Bitmap bitmap = Bitmap::wrapping(pixels, 3, 3, 16, 1);
        Canvas(bitmap).fillRect({1, 1, 1, 1}, kRed);
    }
    EXPECT_EQ(pixels[4 + 1], 0xffff0000u);
    EXPECT_EQ(pixels[0], 0u);
    EXPECT_EQ(pixels[3], 0u);  // padding past the row's pixels
}

}  // namespace
}  // namespace platform::render
