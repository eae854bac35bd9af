#pragma once
// The view that shows a player's pictures in the view tree: each time the tree is drawn it asks
// its player for the picture of the moment (Player::currentFrame, so on the virtual clock a
// snapshot shows exactly the frame of the clock's time) and draws it into its bounds as its
// gravity says; where no picture falls, only the background shows. An ad view adds one over
// its whole area while its video plays. Main thread only, as every view.

#include <memory>

#include "platform/media/Player.h"
#include "platform/ui/View.h"

namespace platform::ui {

enum class VideoGravity {
    ResizeAspect,      // as large as fits, proportions kept, centred (the default)
    ResizeAspectFill,  // covering the bounds, proportions kept, centred, the rest cut off
    Resize,            // stretched to the bounds
};

class PlayerLayer : public View {
  public:
    PlayerLayer() = default;
    explicit PlayerLayer(const Rect& frame) : View(frame) {}
    static std::shared_ptr<PlayerLayer> withPlayer(std::shared_ptr<media::Player> player);

    std::string className() const override { return "PlayerLayer"; }

    const std::shared_ptr<media::Player>& player() const { return player_; }
    void setPlayer(std::shared_ptr<media::Player> player) { player_ = std::move(player); }
    VideoGravity videoGravity() const { return gravity_; }
    void setVideoGravity(VideoGravity gravity) { gravity_ = gravity; }

    // Whether the player has a picture to show.
    bool isReadyForDisplay() const;
    // Where the picture lands in the bounds (empty without one).
    Rect videoRect() const;

    void draw(render::Canvas& canvas, const Rect& rect) override;

  private:
    std::shared_ptr<media::Player> player_;
    VideoGravity gravity_ = VideoGravity::ResizeAspect;
};

}  // namespace platform::ui
