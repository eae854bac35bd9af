#include <gtest/gtest.h>

#include "ads/foundation/HRNDevice.h"
#include "ads/rendering/views/HRNIntrinsicImages.h"
#include "ads/rendering/views/HRNMobileAdsAdditions.h"
#include "ads/rendering/views/HRNViewUtilities.h"
#include "platform/ui/Window.h"

namespace {

using platform::ui::Rect;
using platform::ui::View;

TEST(HRNViewUtilities, APositionOnTheScreenAndWhetherAnyOfItShows) {
    auto window = std::make_shared<platform::ui::Window>(Rect(0, 0, 320, 568));
    auto container = std::make_shared<View>(Rect(0, 0, 320, 568));
    window->addSubview(container);
    // The screen's application frame is 320 x 548 points.
    const struct {
        Rect frame;
        bool visible;
    } cases[] = {
        {{10, 20, 100, 50}, true},   {{319, 0, 100, 50}, true},
        {{320, 0, 100, 50}, false},   // its left edge on the screen's right edge
        {{-100, 0, 100, 50}, false},  // its right edge on the screen's left edge
        {{0, 548, 100, 50}, false},   // its top edge on the screen's bottom edge
        {{0, -50, 100, 50}, false},
    };
    for (const auto& c : cases) {
        auto view = std::make_shared<View>(c.frame);
        container->addSubview(view);
        auto position =
            HRNViewUtilities::positionOfViewInScreen(*view, platform::ui::Screen::main());
        ASSERT_TRUE(position);
        EXPECT_EQ(position->at("visible").asBool(), c.visible) << c.frame.origin.x;
        EXPECT_EQ(position->at("x").asReal(), c.frame.origin.x);
        view->setHidden(true);
        EXPECT_FALSE(HRNViewUtilities::positionOfViewInScreen(*view, platform::ui::Screen::main())
                         ->at("visible")
                         .asBool());
        view->removeFromSuperview();
    }
    auto loose = std::make_shared<View>(Rect(0, 0, 10, 10));
    EXPECT_FALSE(HRNViewUtilities::positionOfViewInScreen(*loose, platform::ui::Screen::main()));
}

TEST(HRNMobileAdsAdditions, PlacingAViewInItsSuperview) {
    auto superview = std::make_shared<View>(Rect(0, 0, 300, 200));
    auto view = std::make_shared<View>(Rect(5, 5, 10, 10));
    hrn_fillSuperview(*view);  // no superview: nothing
    EXPECT_EQ(view->frame(), Rect(5, 5, 10, 10));
    superview->addSubview(view);
    hrn_centerInSuperviewWithSize(*view, {100, 50});
    EXPECT_EQ(view->frame(), Rect(100, 75, 100, 50));
    hrn_fillSuperview(*view);
    EXPECT_EQ(view->frame(), Rect(0, 0, 300, 200));
    EXPECT_EQ(hrn_render(*view).size(), (platform::render::Size{300, 200}));
}

TEST(HRNIntrinsicImages, ButtonPicturesKeepTheirSizeInPoints) {
    auto images = HRNIntrinsicImages::sharedInstance();
    ASSERT_TRUE(images->closeButton());
    EXPECT_EQ(images->closeButton()->size(), (platform::render::Size{25, 25}));
    EXPECT_EQ(images->closeButton()->pixelWidth(), 50);  // the double-density picture
    EXPECT_EQ(images->browserBackButton()->size(), (platform::render::Size{27, 27}));
    EXPECT_EQ(images->browserForwardButton()->size(), (platform::render::Size{27, 27}));
    EXPECT_EQ(images->transparentImage()->size(), (platform::render::Size{10, 10}));
    EXPECT_EQ(images->transparentImage()->pixelAt(5, 5).alpha, 0);
    EXPECT_EQ(images->closeButton(), images->closeButton());  // made once
    // A double-density picture on a denser screen keeps its size in points.
    auto picture = HRNIntrinsicImages::imageWithBase64EncodedString(
        "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAYAAABytg0kAAAAEUlEQVR4nGP4z8DwH4QZYAwAR8oH+"
        "WdZbrcAAAAASUVORK5CYII=",
        2);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->size(), (platform::render::Size{1, 1}));
    EXPECT_FALSE(HRNIntrinsicImages::imageWithBase64EncodedString("not base64!", 2));
}

}  // namespace
