#include "ads/formats/HRNAdSize.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRNErrorAdditions.h"
#include "platform/device/DeviceFacts.h"
#include "platform/ui/Window.h"

using platform::render::Size;

const HRNAdSize kHRNAdSizeInvalid = {{-1, -1}, 0};
const HRNAdSize kHRNAdSizeBanner = {{320, 50}, 0};
const HRNAdSize kHRNAdSizeLargeBanner = {{320, 100}, 0};
const HRNAdSize kHRNAdSizeMediumRectangle = {{300, 250}, 0};
const HRNAdSize kHRNAdSizeFullBanner = {{468, 60}, 0};
const HRNAdSize kHRNAdSizeLeaderboard = {{728, 90}, 0};
const HRNAdSize kHRNAdSizeSkyscraper = {{120, 600}, 0};
const HRNAdSize kHRNAdSizeSmartBannerPortrait = {{0, 0}, 0x12};
const HRNAdSize kHRNAdSizeSmartBannerLandscape = {{0, 0}, 0x1a};
const HRNAdSize kHRNAdSizeSmartBannerSkinnyPortrait = {{0, 0}, 0x16};
const HRNAdSize kHRNAdSizeSmartBannerSkinnyLandscape = {{0, 0}, 0x1e};
const HRNAdSize kHRNAdSizeFluid = {{0, 0}, 0x20};

namespace {

// The standard sizes, in lookup order.
const HRNAdSize* const kStandardSizes[] = {
    &kHRNAdSizeInvalid,         &kHRNAdSizeBanner,     &kHRNAdSizeLargeBanner,
    &kHRNAdSizeMediumRectangle, &kHRNAdSizeFullBanner, &kHRNAdSizeLeaderboard,
    &kHRNAdSizeSkyscraper,
};

// "{320, 50}", as the size of a rectangle is written.
std::string sizeText(Size size) {
    char text[96];
    std::snprintf(text, sizeof text, "{%g, %g}", size.width, size.height);
    return text;
}

// The smart-banner height for this device; std::nullopt for an idiom without one.
double smartHeight(uint64_t flags) {
    if (platform::device::userInterfaceIdiomIsPhone())
        return (flags & kHRNAdSizeFlagLandscape) ? 32 : 50;
    return (flags & kHRNAdSizeFlagSkinny) ? 66 : 90;
}

}  // namespace

HRNAdSize HRNAdSizeForCGSize(Size size) {
    for (const HRNAdSize* standard : kStandardSizes)
        if (standard->size.width == size.width && standard->size.height == size.height)
            return *standard;
    return HRNAdSize{size, kHRNAdSizeFlagCustom};
}

bool HRNAdSizeIsEqual(const HRNAdSize& a, const HRNAdSize& b) {
    return a.flags == b.flags && a.size.width == b.size.width && a.size.height == b.size.height;
}

Size HRNAdSizeToCGSize(const HRNAdSize& adSize) {
    const uint64_t flags = adSize.flags;
    const Size size = adSize.size;
    if (flags == 0) {
        for (const HRNAdSize* standard : kStandardSizes)
            if (standard != &kHRNAdSizeInvalid && standard->size == size) return size;
        return Size{0, 0};
    }
    if (flags & kHRNAdSizeFlagFluid) {
        if (size.width != 0 || size.height != 0) return size;
        double width = 0;
        if (auto window = HRNApplication::sharedInstance()->mainWindow()) {
            const auto bounds = window->bounds();
            const int64_t orientation = platform::device::statusBarOrientation();
            const bool oldSystem =
                !HRNDevice::sharedInstance()->isOSAtLeastMajorMinorPatch(8, 0, 0);
            width = oldSystem && (orientation == 3 || orientation == 4) ? bounds.size.height
                                                                        : bounds.size.width;
        }
        return Size{width, 1};
    }
    if (flags & kHRNAdSizeFlagFullWidth) {
        const auto portrait = HRNDevice::sharedInstance()->standardizedPortraitScreenBounds();
        const double width =
            (flags & kHRNAdSizeFlagLandscape) ? portrait.size.height : portrait.size.width;
        if (flags & kHRNAdSizeFlagSmart) return Size{width, smartHeight(flags)};
        if (flags & kHRNAdSizeFlagCustom) return Size{width, size.height};
        return Size{0, 0};
    }
    if (flags & kHRNAdSizeFlagCustom) return size;
    return Size{0, 0};
}

bool HRNAdSizeFluidFlagSet(const HRNAdSize& size) {
    return size.flags & kHRNAdSizeFlagFluid;
}

bool HRNAdSizeFullWidthFlagSet(const HRNAdSize& size) {
    return size.flags & kHRNAdSizeFlagFullWidth;
}

bool HRNAdSizeFlag16Set(const HRNAdSize& size) {
    return size.flags & kHRNAdSizeFlagSmart;
}

bool HRNAdSizeValidate(const HRNAdSize& adSize, platform::Error* error) {
    const bool invalid = HRNAdSizeIsEqual(adSize, kHRNAdSizeInvalid);
    // A custom size of nothing at all would pass the fit test below; it is no size.
    const bool emptyCustom =
        adSize.flags == kHRNAdSizeFlagCustom && adSize.size.width == 0 && adSize.size.height == 0;
    if (invalid || emptyCustom) {
        if (error) *error = hrn_errorWithCode(3, "Invalid ad size.");
        return false;
    }
    if (HRNAdSizeFluidFlagSet(adSize)) return true;
    const Size size = HRNAdSizeToCGSize(adSize);
    const auto screen = HRNDevice::sharedInstance()->standardizedPortraitScreenBounds().size;
    const double w = std::fabs(size.width);
    const double h = std::fabs(size.height);
    if ((w <= screen.width && h <= screen.height) || (w <= screen.height && h <= screen.width))
        return true;
    if (error) {
        *error =
            hrn_errorWithCode(3, "Not enough space to show ad with custom size, " + sizeText(size) +
                                     ". Please use a size that fits the current screen bounds of " +
                                     sizeText(screen) + ".");
    }
    return false;
}

std::string HRNAdSizeDescription(const HRNAdSize& size) {
    static const std::vector<std::pair<const HRNAdSize*, const char*>>* names = [] {
        return new std::vector<std::pair<const HRNAdSize*, const char*>>{
            {&kHRNAdSizeInvalid, "kHRNAdSizeInvalid"},
            {&kHRNAdSizeBanner, "kHRNAdSizeBanner"},
            {&kHRNAdSizeLargeBanner, "kHRNAdSizeLargeBanner"},
            {&kHRNAdSizeMediumRectangle, "kHRNAdSizeMediumRectangle"},
            {&kHRNAdSizeFullBanner, "kHRNAdSizeFullBanner"},
            {&kHRNAdSizeLeaderboard, "kHRNAdSizeLeaderboard"},
            {&kHRNAdSizeSkyscraper, "kHRNAdSizeSkyscraper"},
            {&kHRNAdSizeSmartBannerPortrait, "kHRNAdSizeSmartBannerPortrait"},
            {&kHRNAdSizeSmartBannerLandscape, "kHRNAdSizeSmartBannerLandscape"},
            {&kHRNAdSizeSmartBannerSkinnyPortrait, "kHRNAdSizeSmartBannerSkinnyPortrait"},
            {&kHRNAdSizeSmartBannerSkinnyLandscape, "kHRNAdSizeSmartBannerSkinnyLandscape"},
            {&kHRNAdSizeFluid, "kHRNAdSizeFluid"},
        };
    }();
    for (const auto& [named, name] : *names)
        if (HRNAdSizeIsEqual(*named, size)) return name;
    const uint64_t low = size.flags & 0xff;
    char text[160];
    if (low & kHRNAdSizeFlagFullWidth) {
        std::snprintf(text, sizeof text, "Full width HRNAdSize with height: %f", size.size.height);
        return text;
    }
    if (low & kHRNAdSizeFlagCustom) return "Custom HRNAdSize: " + sizeText(size.size);
    if (low & kHRNAdSizeFlagFluid) return "Fluid HRNAdSize: " + sizeText(size.size);
    std::snprintf(text, sizeof text, ", %lx", static_cast<unsigned long>(size.flags));
    return "HRNAdSize: " + sizeText(size.size) + text;
}

platform::Value HRNAdSizeToNSValue(const HRNAdSize& size) {
    return platform::Dictionary{{"objCType", kHRNAdSizeTypeEncoding},
                                {"width", size.size.width},
                                {"height", size.size.height},
                                {"flags", static_cast<int64_t>(size.flags)}};
}

HRNAdSize HRNAdSizeFromNSValue(const platform::Value* value) {
    if (!value) return kHRNAdSizeInvalid;
    const platform::Value* type = value->find("objCType");
    if (!type || !type->string() || *type->string() != kHRNAdSizeTypeEncoding)
        return kHRNAdSizeInvalid;
    HRNAdSize size;
    if (const platform::Value* width = value->find("width")) size.size.width = width->asReal();
    if (const platform::Value* height = value->find("height")) size.size.height = height->asReal();
    if (const platform::Value* flags = value->find("flags"))
        size.flags = static_cast<uint64_t>(flags->asInteger());
    return size;
}

HRNAdSize HRNAdSizeFluidWithCGSize(Size size) {
    return HRNAdSize{size, kHRNAdSizeFlagFluid};
}

Size HRNCGSizeFromSizeString(const std::string& text) {
    // "320x50" becomes "{320,50}" and is read as a size is written: a number after "{" and
    // one after the first ","; what does not read is 0.
    std::string braced = "{" + text + "}";
    for (char& c : braced)
        if (c == 'x') c = ',';
    auto numberAt = [&braced](size_t at) {
        if (at >= braced.size()) return 0.0;
        const char* start = braced.c_str() + at;
        char* end = nullptr;
        const double value = std::strtod(start, &end);
        return end == start || !std::isfinite(value) ? 0.0 : value;
    };
    const size_t comma = braced.find(',');
    if (comma == std::string::npos) return Size{0, 0};
    return Size{numberAt(1), numberAt(comma + 1)};
}

std::shared_ptr<HRNAdType> HRNAdType::bannerAdTypeForSize(const HRNAdSize& size) {
    auto type = std::shared_ptr<HRNAdType>(new HRNAdType());
    type->adSize_ = size;
    return type;
}

std::shared_ptr<HRNAdType> HRNAdType::interstitialAdType() {
    auto type = std::shared_ptr<HRNAdType>(new HRNAdType());
    type->adSize_ = kHRNAdSizeInvalid;
    type->interstitial_ = true;
    return type;
}

std::shared_ptr<HRNAdType> HRNAdType::rewardBasedVideoAdType() {
    auto type = std::shared_ptr<HRNAdType>(new HRNAdType());
    type->adSize_ = kHRNAdSizeInvalid;
    type->rewardBasedVideoAd_ = true;
    return type;
}

bool HRNAdType::isValid() const {
    return interstitial_ || HRNAdSizeValidate(adSize_, nullptr);
}

bool HRNAdType::isEqual(const HRNAdType& other) const {
    if (this == &other) return true;
    if (interstitial_ && other.interstitial_) return true;
    return HRNAdSizeIsEqual(adSize_, other.adSize_);
}

size_t HRNAdType::hash() const {
    if (interstitial_) return 1;
    return std::hash<std::string>()(sizeText(adSize_.size) + " " + std::to_string(adSize_.flags));
}

std::string HRNAdType::description() const {
    if (interstitial_) return "HRNAdType interstitial type";
    return "HRNAdType banner with size: " + HRNAdSizeDescription(adSize_);
}
