#include "platform/ui/PlayerLayer.h"

#include <gtest/gtest.h>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/render/PixelTestSupport.h"

namespace platform::ui {
namespace {

using render::testing::colorNear;

std::shared_ptr<media::Player> colorsPlayer() {
    auto item = media::PlayerItem::create(
        *net::URL::parse(std::string("file://") + QEN_TEST_CLIPS_DIR + "/colors.mp4"));
    EXPECT_TRUE(RunLoop::main().runUntil(
        [&] { return item->status() == media::PlayerItemStatus::ReadyToPlay; }, 20));
    return media::Player::create(item);
}

// The 320 x 568 clip in a 320 x 284 layer over white: fitted, it is 160 points wide and
// centred; filled, it covers the layer; stretched, too.
TEST(PlayerLayer, DrawsThePictureOfTheClockTimeAsItsGravitySays) {
    Clock::useVirtual();
    auto root = std::make_shared<View>(Rect(0, 0, 320, 284));
    root->setBackgroundColor(Color::white());
    auto layer = PlayerLayer::withPlayer(colorsPlayer());
    layer->setFrame(root->bounds());
    root->addSubview(layer);
    EXPECT_TRUE(layer->isReadyForDisplay());
    EXPECT_EQ(layer->videoRect(), Rect(80, 0, 160, 284));

    const Color red{1, 0, 0, 1}, green{0, 1, 0, 1}, blue{0, 0, 1, 1};
    const double tolerance = 0.1;
    auto at = [&](double x, double y) {
        render::Bitmap b = snapshot(*root);
        return b.pixelAt(int(x * b.scale()), int(y * b.scale()));
    };
    EXPECT_TRUE(colorNear(at(160, 140), red, tolerance));
    EXPECT_TRUE(colorNear(at(20, 140), Color::white())) << "beside the fitted picture";

    layer->player()->play();
    Clock::advance(1.5);
    EXPECT_TRUE(colorNear(at(160, 140), green, tolerance));
    layer->setVideoGravity(VideoGravity::ResizeAspectFill);
    EXPECT_EQ(layer->videoRect(), Rect(0, -142, 320, 568));
    EXPECT_TRUE(colorNear(at(20, 140), green, tolerance));
    Clock::advance(1);
    layer->setVideoGravity(VideoGravity::Resize);
    EXPECT_TRUE(colorNear(at(20, 10), blue, tolerance));
    EXPECT_TRUE(colorNear(at(300, 270), blue, tolerance));

    layer->setPlayer(nullptr);
    EXPECT_FALSE(layer->isReadyForDisplay());
    EXPECT_TRUE(colorNear(at(160, 140), Color::white())) << "no player, nothing drawn";
}

}  // namespace
}  // namespace platform::ui
