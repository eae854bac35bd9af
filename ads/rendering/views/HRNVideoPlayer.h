#pragma once
// HRNVideoPlayer: the native video player under an ad's page. In this form it is what a slot
// pauses when a full-screen ad covers the application; playing comes with the video support of
// the ad views. Main thread only.

class HRNVideoPlayer {
  public:
    virtual ~HRNVideoPlayer() = default;
    // Stops the video where it is; nothing when none plays.
    virtual void pause() {}
};
