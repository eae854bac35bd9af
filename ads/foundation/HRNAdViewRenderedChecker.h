#pragma once
// HRNAdViewRenderedChecker: tells from a snapshot whether an ad view drew anything. The view is
// drawn one pixel per point; when 90 % or more of the pixels are exactly its background colour
// (or it has no pixels at all) it has not rendered. The ad view's page delegate runs the check
// on its rendering timer until it hears an answer.
//
// Threading: main thread (the view tree is). The ad view and the delegate are held weakly; the
// check does nothing when either is gone.

#include <memory>

#include "platform/render/Bitmap.h"
#include "platform/render/Color.h"
#include "platform/ui/View.h"

class HRNAdViewRenderedCheckerDelegate {
  public:
    virtual ~HRNAdViewRenderedCheckerDelegate() = default;
    virtual void adViewDidRenderContent(const std::shared_ptr<platform::ui::View>& adView) = 0;
    virtual void adViewDidFailToRenderContent(
        const std::shared_ptr<platform::ui::View>& adView) = 0;
};

class HRNAdViewRenderedChecker {
  public:
    void checkIsContentRenderedInAdView();

    // The share of the image's whole pixels (premultiplied R, G, B, A bytes over 255) exactly
    // equal to `color`; 0 / 0 (not a number) for an image without pixels.
    static double percentOfImageOfColor(const platform::render::Bitmap& image,
                                        const platform::render::Color& color);

    std::shared_ptr<platform::ui::View> adView() const { return adView_.lock(); }
    void setAdView(std::weak_ptr<platform::ui::View> adView) { adView_ = std::move(adView); }
    std::shared_ptr<HRNAdViewRenderedCheckerDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<HRNAdViewRenderedCheckerDelegate> delegate) {
        delegate_ = std::move(delegate);
    }

  private:
    std::weak_ptr<platform::ui::View> adView_;
    std::weak_ptr<HRNAdViewRenderedCheckerDelegate> delegate_;
};
