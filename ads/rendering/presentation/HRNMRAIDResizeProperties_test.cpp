// An MRAID ad's resize request: reading it from the page's message, its close-button places,
// which frames the screen accepts, and the presenter that shows the ad at the asked frame.

#include "ads/rendering/presentation/HRNMRAIDResizeProperties.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ads/rendering/presentation/HRNAdAppViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/Window.h"

namespace {

using platform::ui::Rect;
using P = HRNMRAIDResizeProperties;

platform::Dictionary request(double width, double offsetX, const char* close, bool offscreen) {
    return {{"width", std::to_string(width)},     {"height", "50"},
            {"offsetX", std::to_string(offsetX)}, {"offsetY", "0"},
            {"customClosePosition", close},       {"allowOffscreen", offscreen ? "true" : "false"}};
}

TEST(HRNMRAIDResizeProperties, ReadsTheMessageOnlyWithEveryKey) {
    auto properties = P::MRAIDResizePropertiesWithDictionary(request(300, 10, "bottom-left", true));
    ASSERT_TRUE(properties);
    EXPECT_EQ(properties->size, (platform::ui::Size{300, 50}));
    EXPECT_EQ(properties->offset, (platform::ui::Point{10, 0}));
    EXPECT_EQ(properties->customClosePosition, 6);
    EXPECT_TRUE(properties->allowOffscreen);
    EXPECT_EQ(P::MRAIDResizePropertiesWithDictionary(request(300, 10, "middle", false))
                  ->customClosePosition,
              0);  // an unknown place is top-right
    auto missing = request(300, 10, "center", false);
    missing.erase("allowOffscreen");
    EXPECT_FALSE(P::MRAIDResizePropertiesWithDictionary(missing));
}

TEST(HRNMRAIDResizeProperties, CloseButtonPlacesInAContentFrame) {
    const Rect frame(10, 20, 300, 200);
    struct Case {
        int64_t position;
        Rect rect;
        uint64_t mask;
    };
    const Case cases[] = {
        {0, Rect(260, 20, 50, 50), 33}, {1, Rect(135, 20, 50, 50), 37},
        {2, Rect(10, 20, 50, 50), 36},  {3, Rect(135, 95, 50, 50), 45},
        {4, Rect(260, 170, 50, 50), 9}, {5, Rect(135, 170, 50, 50), 13},
        {6, Rect(10, 170, 50, 50), 12}, {7, Rect(10, 20, 50, 50), 0},
        {-1, Rect(10, 20, 50, 50), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(P::closeButtonRectForPositionContentFrame(c.position, frame), c.rect)
            << c.position;
        EXPECT_EQ(P::autoresizingMaskForClosePosition(c.position), c.mask) << c.position;
    }
}

TEST(HRNMRAIDResizeProperties, FramesTheScreenAccepts) {
    const Rect screen(0, 0, 320, 548);
    // Wholly inside, or (allowed off screen) only the close box inside.
    EXPECT_TRUE(P::isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
        Rect(10, 10, 300, 50), screen, false, 0));
    EXPECT_FALSE(P::isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
        Rect(-10, 10, 300, 50), screen, false, 0));
    EXPECT_TRUE(P::isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
        Rect(-100, 10, 400, 50), screen, true, 0));
    EXPECT_FALSE(P::isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
        Rect(-100, 10, 400, 50), screen, true, 2));  // its top-left close box is off screen
    // Shifting keeps the size: left and top edges first.
    EXPECT_EQ(P::adjustedContentFrameInBounds(Rect(-10, 600, 300, 50), screen),
              Rect(0, 498, 300, 50));
    EXPECT_EQ(P::adjustedContentFrameInBounds(Rect(100, -5, 400, 50), screen),
              Rect(-80, 0, 400, 50));
}

struct ErrorRecorder : HRNMRAIDEventHandling {
    std::vector<std::pair<std::string, std::string>> errors;
    void MRAIDAdDidUnload() override {}
    void updatePositionFromView(const std::shared_ptr<platform::ui::View>&) override {}
    void updateVisibility(bool) override {}
    void handleErrorAction(const std::string& message, const std::string& action) override {
        errors.emplace_back(message, action);
    }
};

TEST(HRNMRAIDResizeOverlayPresenter, ShowsTheAdAtTheAskedFrameAndKeepsOnlyValidProperties) {
    platform::Clock::useVirtual();
    auto window = std::make_shared<platform::ui::Window>();
    auto root = std::make_shared<platform::ui::ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    // The banner's place on the game's screen, in window points (100, 120).
    auto reference = std::make_shared<platform::ui::View>(Rect(100, 120, 320, 50));
    root->view()->addSubview(reference);
    auto errors = std::make_shared<ErrorRecorder>();
    auto presenter = std::make_shared<HRNMRAIDResizeOverlayPresenter>(reference);
    presenter->setMRAIDEventHandler(errors);
    auto controller = HRNAdAppViewController::create(nullptr);
    controller->setPresenter(presenter);
    EXPECT_FALSE(presenter->isReadyToPresent());  // no properties, no message
    EXPECT_TRUE(errors->errors.empty());

    // Offset (-110, 0) would leave the screen: shifted to its left edge and taken.
    presenter->setResizeProperties(
        P::MRAIDResizePropertiesWithDictionary(request(300, -110, "top-right", false)));
    ASSERT_TRUE(presenter->resizeProperties());
    // Wider than the screen: refused, the earlier properties stay.
    presenter->setResizeProperties(
        P::MRAIDResizePropertiesWithDictionary(request(400, 0, "top-right", false)));
    ASSERT_EQ(errors->errors.size(), 1u);
    EXPECT_EQ(errors->errors[0].second, "setResizeProperties");
    EXPECT_EQ(errors->errors[0].first.rfind("Received invalid resize properties ", 0), 0u);
    EXPECT_EQ(presenter->resizeProperties()->size.width, 300);
    // Wider than the screen but allowed off it, with its close box on screen: taken.
    presenter->setResizeProperties(
        P::MRAIDResizePropertiesWithDictionary(request(400, -180, "top-right", true)));
    EXPECT_EQ(presenter->resizeProperties()->size.width, 400);
    presenter->setResizeProperties(
        P::MRAIDResizePropertiesWithDictionary(request(300, -110, "top-right", false)));
    ASSERT_TRUE(presenter->isReadyToPresent());

    bool shown = false;
    controller->presentFromViewController(root, [&] { shown = true; });
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return shown; }, 10));
    EXPECT_EQ(controller->view()->superview(), presenter->cropView());
    // Window (0, 120) is (0, 100) in the crop view, which starts below the status bar.
    EXPECT_EQ(controller->view()->frame(), Rect(0, 100, 300, 50));
    EXPECT_EQ(presenter->contentFrame(), Rect(0, 100, 300, 50));
    EXPECT_FALSE(root->presentedViewController());
}

}  // namespace
