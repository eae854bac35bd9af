#pragma once
// A video player: plays one item at a time on the platform clock, tells observers where it is,
// posts the item's end, and hands the picture of the moment to whoever draws it (a PlayerLayer
// in platform/ui). Ad views hold one while their video shows.
//
// Contract (main thread only; members abort elsewhere):
//  - Time: currentTime() is the item's time now. While the rate is not 0 and the item is ready
//    it moves with Clock::now() at `rate` item seconds per clock second, from where it was, up
//    to the duration, where it stops: the rate goes back to 0 and the end notification is
//    posted. On the virtual clock it moves only as the clock does, so a test steps a clip frame
//    by frame with Clock::advance.
//  - play() is setRate(1), pause() is setRate(0); a negative rate counts as 0. A rate set
//    before the item is ready takes effect when it becomes ready. play() at the end stays at
//    the end (seek first to play again).
//  - seekToTime(t, completion): the time jumps to t (clamped to 0...duration) at once; the
//    completion follows on the main queue with true once the picture at t is decoded, or with
//    false when another seek or replaceCurrentItem came first (or the item failed). A seek
//    clears the end, so reaching the end again posts the end notification again.
//  - Periodic time observers: block(time) on the main queue at every multiple of `interval`
//    of item time that playback reaches before the end, with that multiple as the time (each
//    one, in order, also when the clock jumps over several); and once more with the time of
//    that moment whenever playback starts or stops (play, pause, reaching the end) or the time
//    jumps (a seek). Observers added earlier are called first. At the end the observers' call
//    with the end time comes first, then the end notification.
//  - The end notification: kPlayerItemDidPlayToEndTimeNotification on the default
//    notification centre, posted on the main thread with the item (PlayerItem*) as sender, once
//    each time the end is reached.
//  - Sound: volume (0...1) and muted scale it. It plays only through an installed audio output
//    (AudioOutput.h: the window front end) and on the real clock; elsewhere no sound is decoded.
//  - currentFrame(): the picture of currentTime(): the last decoded frame whose time is at or
//    before it (the first frame before the first frame's time); empty without video or before
//    the item is ready. On the virtual clock it waits (up to a few real seconds) for the decoder
//    to reach the time, so what is drawn depends on the clock only; on the real clock it never
//    waits and shows the latest frame decoded by then.

#include <functional>
#include <memory>

#include "platform/media/PlayerItem.h"
#include "platform/media/VideoFrame.h"

namespace platform {
class Timer;
}

namespace platform::media {

inline constexpr const char* kPlayerItemDidPlayToEndTimeNotification =
    "PlayerItemDidPlayToEndTimeNotification";

class Player : public std::enable_shared_from_this<Player> {
  public:
    using Token = uint64_t;  // 0 is never a token

    static std::shared_ptr<Player> create(std::shared_ptr<PlayerItem> item = nullptr);
    ~Player();
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    const std::shared_ptr<PlayerItem>& currentItem() const { return item_; }
    // Plays `item` from its start (null: nothing); pending seeks complete with false.
    void replaceCurrentItem(std::shared_ptr<PlayerItem> item);

    void play();
    void pause();
    double rate() const { return rate_; }
    void setRate(double rate);

    // Seconds on the item's timeline; NaN without an item.
    double currentTime() const;
    void seekToTime(double time, std::function<void(bool finished)> completion = nullptr);

    Token addPeriodicTimeObserver(double interval, std::function<void(double time)> block);
    void removeTimeObserver(Token token);

    float volume() const { return volume_; }
    void setVolume(float volume);  // clamped to 0...1
    bool isMuted() const { return muted_; }
    void setMuted(bool muted);

    VideoFrame currentFrame();

  private:
    friend class PlayerItem;
    struct Observer;

    Player() = default;
    void attach();
    void itemBecameReady();
    void itemFailed();
    void reanchor();
    bool moving() const;
    void reschedule();
    void cancelSchedules();
    void notifyObservers();
    void scheduleObserver(const std::shared_ptr<Observer>& observer);
    void reachEnd();
    void startAudio();
    void stopAudio();
    std::function<void(const Error&)> breakageReporter() const;

    std::shared_ptr<PlayerItem> item_;
    PlayerItem::Token statusToken_ = 0;
    double rate_ = 0;
    // The item's time was anchorTime_ at Clock anchorClock_.
    double anchorTime_ = 0;
    double anchorClock_ = 0;
    bool ended_ = false;
    uint64_t seekGeneration_ = 0;
    float volume_ = 1;
    bool muted_ = false;
    std::vector<std::shared_ptr<Observer>> observers_;
    Token nextToken_ = 1;
    std::shared_ptr<Timer> endTimer_;
    std::shared_ptr<Timer> audioTimer_;
};

}  // namespace platform::media
