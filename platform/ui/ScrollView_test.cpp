#include "platform/ui/ScrollView.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/device/DeviceFacts.h"
#include "platform/ui/VolumeView.h"

namespace platform::ui {
namespace {

TEST(ScrollView, ObserversHearEachChangeOfTheContentSizeInOrder) {
    ScrollView view(Rect(0, 0, 100, 100));
    EXPECT_EQ(view.className(), "ScrollView");
    std::vector<std::string> heard;
    int second = 0;
    view.addContentSizeObserver([&](Size size) {
        heard.push_back("first " + std::to_string(int(size.height)));
        view.removeContentSizeObserver(second);  // removed before its turn: not called
    });
    second = view.addContentSizeObserver([&](Size) { heard.push_back("second"); });
    const int third = view.addContentSizeObserver(
        [&](Size size) { heard.push_back("third " + std::to_string(int(size.width))); });

    view.setContentSize(Size(100, 300));
    view.setContentSize(Size(100, 300));  // no change, no call
    view.removeContentSizeObserver(third);
    view.setContentSize(Size(50, 200));
    EXPECT_EQ(heard, (std::vector<std::string>{"first 300", "third 100", "first 200"}));
    EXPECT_EQ(view.contentSize(), Size(50, 200));

    EXPECT_TRUE(view.isScrollEnabled());
    EXPECT_TRUE(view.bounces());
    EXPECT_TRUE(view.scrollsToTop());
    view.setScrollEnabled(false);
    view.setBounces(false);
    view.setScrollsToTop(false);
    view.setContentOffset(Point(0, 40));
    EXPECT_FALSE(view.isScrollEnabled());
    EXPECT_FALSE(view.bounces());
    EXPECT_FALSE(view.scrollsToTop());
    EXPECT_EQ(view.contentOffset(), Point(0, 40));
}

TEST(VolumeView, ItsSliderFollowsTheDevicesVolume) {
    auto view = VolumeView::create(Rect(-100, -100, 40, 20));
    ASSERT_EQ(view->subviews().size(), 1u);
    auto slider = std::dynamic_pointer_cast<Slider>(view->subviews()[0]);
    ASSERT_TRUE(slider);
    EXPECT_EQ(slider->className(), "Slider");
    EXPECT_EQ(slider->minimumValue(), 0);
    EXPECT_EQ(slider->maximumValue(), 1);
    device::setOutputVolume(0.25f);
    EXPECT_DOUBLE_EQ(slider->value(), 0.25);
    device::setOutputVolume(0.75f);
    EXPECT_DOUBLE_EQ(slider->value(), 0.75);
    device::setOutputVolume(std::nullopt);
    EXPECT_DOUBLE_EQ(slider->value(), 0.5);
}

}  // namespace
}  // namespace platform::ui
