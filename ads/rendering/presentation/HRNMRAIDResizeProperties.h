#pragma once
// An MRAID creative's request to be resized in place, and the presenter that shows it so.
//
// HRNMRAIDResizeProperties: a size, an offset from the top-left corner of the view that held
// the ad, one of seven close-button places (0 "top-right" to 6 "bottom-left") and whether the ad
// may reach beyond the screen. Without allowOffscreen the frame must lie on the screen (an offset
// that leaves it is shifted back when the frame fits); with it only the 50 x 50 close rectangle
// must. The close-rectangle and resizing-mask tables also place the close button of every
// MRAID full-screen ad.
//
// HRNMRAIDResizeOverlayPresenter: a transparent overlay presenter that gives the ad's view the
// requested frame instead of the whole screen. It only ever keeps valid properties; refused
// ones are told to the ad's MRAID event handler ("setResizeProperties" and "resize" errors).
//
// Plain values; the presenter on the main thread only.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "ads/rendering/presentation/HRNTransparentOverlayPresenter.h"
#include "ads/rendering/views/HRNMRAIDEventHandling.h"
#include "platform/foundation/Value.h"
#include "platform/ui/View.h"

class HRNMRAIDResizeProperties {
  public:
    // Every key is needed: "width", "height", "offsetX", "offsetY", "customClosePosition" (a
    // name of the table; another name is top-right) and "allowOffscreen"; std::nullopt else.
    static std::optional<HRNMRAIDResizeProperties> MRAIDResizePropertiesWithDictionary(
        const platform::Dictionary& dictionary);
    // The 50 x 50 close rectangle of a position inside a content frame (a position outside 0 to
    // 6 gives the top-left corner).
    static platform::ui::Rect closeButtonRectForPositionContentFrame(
        int64_t position,
        const platform::ui::Rect& frame);
    // UIKit's autoresizing bits that keep the button at its place: 33, 37, 36, 45, 9, 13, 12.
    static uint64_t autoresizingMaskForClosePosition(int64_t position);
    static bool isContentFrameValidForBoundsAllowOffscreenCloseButtonPosition(
        const platform::ui::Rect& frame,
        const platform::ui::Rect& bounds,
        bool allowOffscreen,
        int64_t position);
    // The frame moved (never resized) into the bounds, horizontally then vertically.
    static platform::ui::Rect adjustedContentFrameInBounds(const platform::ui::Rect& frame,
                                                           const platform::ui::Rect& bounds);

    std::string description() const;

    bool allowOffscreen = false;
    int64_t customClosePosition = 0;
    platform::ui::Size size;
    platform::ui::Point offset;  // dx, dy
};

class HRNMRAIDResizeOverlayPresenter : public HRNTransparentOverlayPresenter {
  public:
    explicit HRNMRAIDResizeOverlayPresenter(std::shared_ptr<platform::ui::View> referenceView);

    const std::optional<HRNMRAIDResizeProperties>& resizeProperties() const {
        return resizeProperties_;
    }
    // Stores properties valid against the reference view; others are refused with an error.
    void setResizeProperties(const std::optional<HRNMRAIDResizeProperties>& properties);
    bool resizePropertiesAreValidRelativeToView(const HRNMRAIDResizeProperties& properties,
                                                const platform::ui::View& view) const;
    // The requested frame in the overlay's crop view, shifted on screen unless allowOffscreen.
    platform::ui::Rect contentFrame() const;
    // Puts the ad back at its frame; closes it when the frame no longer fits.
    void repositionContentIfNeeded();

    bool dismissToDefaultState() const { return dismissToDefaultState_; }
    void setDismissToDefaultState(bool value) {
        dismissToDefaultState_ = dismissToDefaultState_ && value;
    }
    void setMRAIDEventHandler(std::weak_ptr<HRNMRAIDEventHandling> handler) {
        MRAIDEventHandler_ = std::move(handler);
    }
    const std::shared_ptr<platform::ui::View>& referenceView() const { return referenceView_; }

    bool isReadyToPresent() const override;

  protected:
    void composeTransparentInterstitialViewsForPresentation() override;

  private:
    void reportError(const std::string& format, const std::string& action) const;

    bool dismissToDefaultState_ = true;
    std::optional<HRNMRAIDResizeProperties> resizeProperties_;
    std::weak_ptr<HRNMRAIDEventHandling> MRAIDEventHandler_;
    std::shared_ptr<platform::ui::View> referenceView_;
};
