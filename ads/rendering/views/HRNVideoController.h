#pragma once
// HRNVideoController: the publisher's control of the video in an ad's page. In this form it
// holds whether the page has video content, which every new page of the ad view resets; the
// commands to the page's video come with the video support of the ad views.
//
// Main thread only.

#include <memory>

class HRNAdView;

class HRNVideoController {
  public:
    explicit HRNVideoController(std::weak_ptr<HRNAdView> adView) : adView_(std::move(adView)) {}

    bool hasVideoContent() const { return hasVideoContent_; }
    void setHasVideoContent(bool hasVideoContent) { hasVideoContent_ = hasVideoContent; }

  private:
    std::weak_ptr<HRNAdView> adView_;
    bool hasVideoContent_ = false;
};
