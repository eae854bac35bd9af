#pragma once
// HRNAdSize: a banner's size, a size in points plus flags that mark the sizes computed on the
// device (smart, full-width, fluid) or chosen freely by the publisher; the named sizes; and the
// conversions between sizes, texts and boxed values. HRNAdType wraps a size into the ad type of
// a slot: a banner of that size, or an interstitial.
//
// Value operations; any thread, except HRNAdSizeToCGSize of a computed size and
// HRNAdSizeValidate, which read the window and the screen (main thread).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/foundation/Value.h"
#include "platform/render/Geometry.h"

enum HRNAdSizeFlag : uint64_t {
    kHRNAdSizeFlagCustom = 0x1,     // the publisher's own width and height
    kHRNAdSizeFlagFullWidth = 0x2,  // the screen's width
    kHRNAdSizeFlagSkinny = 0x4,     // on a tablet the smart height is 66, not 90
    kHRNAdSizeFlagLandscape = 0x8,  // the long side; on a phone the smart height is 32
    kHRNAdSizeFlagSmart = 0x10,     // the device's smart-banner height
    kHRNAdSizeFlagFluid = 0x20,     // the height follows the content
};

struct HRNAdSize {
    platform::render::Size size;
    uint64_t flags = 0;
};

// The boxed form's type text.
inline constexpr const char* kHRNAdSizeTypeEncoding = "{HRNAdSize={CGSize=dd}Q}";

extern const HRNAdSize kHRNAdSizeInvalid;
extern const HRNAdSize kHRNAdSizeBanner;
extern const HRNAdSize kHRNAdSizeLargeBanner;
extern const HRNAdSize kHRNAdSizeMediumRectangle;
extern const HRNAdSize kHRNAdSizeFullBanner;
extern const HRNAdSize kHRNAdSizeLeaderboard;
extern const HRNAdSize kHRNAdSizeSkyscraper;
extern const HRNAdSize kHRNAdSizeSmartBannerPortrait;
extern const HRNAdSize kHRNAdSizeSmartBannerLandscape;
extern const HRNAdSize kHRNAdSizeSmartBannerSkinnyPortrait;
extern const HRNAdSize kHRNAdSizeSmartBannerSkinnyLandscape;
extern const HRNAdSize kHRNAdSizeFluid;

// The standard size of those dimensions, else the size with the custom flag.
HRNAdSize HRNAdSizeForCGSize(platform::render::Size size);
bool HRNAdSizeIsEqual(const HRNAdSize& a, const HRNAdSize& b);
// The size in points on this device; 0 x 0 for a size with no meaning here.
platform::render::Size HRNAdSizeToCGSize(const HRNAdSize& size);
bool HRNAdSizeFluidFlagSet(const HRNAdSize& size);
bool HRNAdSizeFullWidthFlagSet(const HRNAdSize& size);
bool HRNAdSizeFlag16Set(const HRNAdSize& size);
// Whether the size can be shown on this screen (in either orientation). A failure sets `error`
// (the internal domain, code 3) when given. A custom size of 0 x 0 is not valid.
bool HRNAdSizeValidate(const HRNAdSize& size, platform::Error* error);
// The name of a named size, else a description by its flags.
std::string HRNAdSizeDescription(const HRNAdSize& size);
// The boxed form: {"objCType": kHRNAdSizeTypeEncoding, "width", "height", "flags"}.
platform::Value HRNAdSizeToNSValue(const HRNAdSize& size);
// The size a boxed form holds; kHRNAdSizeInvalid for anything else.
HRNAdSize HRNAdSizeFromNSValue(const platform::Value* value);
HRNAdSize HRNAdSizeFluidWithCGSize(platform::render::Size size);
// "320x50" (every "x" read as ",") as a size; 0 x 0 when the text does not parse.
platform::render::Size HRNCGSizeFromSizeString(const std::string& text);

class HRNAdType {
  public:
    static std::shared_ptr<HRNAdType> bannerAdTypeForSize(const HRNAdSize& size);
    static std::shared_ptr<HRNAdType> interstitialAdType();
    static std::shared_ptr<HRNAdType> rewardBasedVideoAdType();

    bool isInterstitial() const { return interstitial_; }
    bool isRewardBasedVideoAd() const { return rewardBasedVideoAd_; }
    const HRNAdSize& adSize() const { return adSize_; }
    void setAdSize(const HRNAdSize& size) { adSize_ = size; }

    // An interstitial type always; otherwise the size validated.
    bool isValid() const;
    bool isEqual(const HRNAdType& other) const;
    size_t hash() const;
    std::string description() const;

  private:
    HRNAdType() = default;
    HRNAdSize adSize_;
    bool interstitial_ = false;
    bool rewardBasedVideoAd_ = false;
};
