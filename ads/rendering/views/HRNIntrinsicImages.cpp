#include "ads/rendering/views/HRNIntrinsicImages.h"

#include <mutex>

#include "ads/foundation/HRNDevice.h"
#include "ads/foundation/HRN_GTMStringEncoding.h"
#include "platform/render/Bitmap.h"
#include "platform/ui/Screen.h"

namespace {

constexpr const char* kBrowserBackButtonNormal =
    "iVBORw0KGgoAAAANSUhEUgAAABsAAAAbCAYAAACN1PRVAAAAd0lEQVR42mNgqPrPQDc8ahkBbE8Py/iB+DwQ/4fS"
    "NLMM2SIY1qeFZdgsmk8Ln5FnERmWkW8RiZZRZhEJllFuEZGWUcciIi2jjkVEWGaPZtF9WhdXdPMZ3eOMrqmR7vmM"
    "7iUI3ctGupf6dK/P6F5T070NMtpuBGMA7kmCYa9k7sUAAAAASUVORK5CYII=";

constexpr const char* kBrowserBackButtonDouble =
    "iVBORw0KGgoAAAANSUhEUgAAADYAAAA2CAYAAACMRWrdAAAA20lEQVR42u3asRHCMAyFYW/gERiBETJKRqBnSUZh"
    "BKMC7ijgSGHJ0s8rXpPuu0scW8+tXUdDRjDBBBNMsISwbtktF8uJAjtb7pbxlr067BNqPJ/1qrBvqFe2irBfqJKw"
    "I6hbtW/sKKpXgsWhAmGxqCBYPCoAtgblDFuHcoStRTnB1qMcYDlQk2F5UBNhuVCTYPlQE2A9JWoCbEuJEuwPX0Xs"
    "4oFe7tE/aPSWCr0JRh9b0AdN9GgAPcxBj9/QA1P0iBtdSqBrJHTxh65q0eU6+jqEbuYIJphggrnnAQzTCGNOe2AE"
    "AAAAAElFTkSuQmCC";

constexpr const char* kBrowserForwardButtonNormal =
    "iVBORw0KGgoAAAANSUhEUgAAABsAAAAbCAYAAACN1PRVAAAAdUlEQVR42mNgqPrPQDc84i2zp5dl54H4P5Tmp6Vl"
    "+lCL/lPFQiIUzaeahUQqpI6FJCim3EISXUeZhWSEPfkWkpmyyLOQgnyDzUKaFlf30Sy0H/I+o1uc0S010i2f0a0E"
    "oVvZSLdSn+71Gd1qarq3QUbbjQQxAOF4gmH6ZjrdAAAAAElFTkSuQmCC";

constexpr const char* kBrowserForwardButtonDouble =
    "iVBORw0KGgoAAAANSUhEUgAAADYAAAA2CAYAAACMRWrdAAAA4klEQVR42u3avQ2DMBCGYW/gERghIzBKRqDPkhkl"
    "IzhGoqBIgZT749VXXPtJD0LmfEdrr9GQJZhgggkmmANsmbXNes7qFNiOGaf6zHrcHdYPyCiH+zNg/YGqgXOE5eIM"
    "Qt4lcQYhvSTOKKgezjCsFs44sA7OIbQGzik4H+f41HJxzu96Hi7ghMrBBX1X4nGB3UAsLriHi8MldN5Xcb3dcOZx"
    "BbcKpldRh4eOe+QHGtlSIZtg5LUFedFEjgaQwxzk+A05MMWOuJFLCewaCbv4w65qsct19O8Q+jNHMMEEE6x8fQFs"
    "SwhjEWlRpwAAAABJRU5ErkJggg==";

constexpr const char* kCloseButtonNormal =
    "iVBORw0KGgoAAAANSUhEUgAAABkAAAAZCAYAAADE6YVjAAAA/klEQVR42r2W0Q3DIAxE2aQjMEJH6AgdpaNklIzQ"
    "ETpCR2j9oji6IgJEqXySPwBzZxMbktIALoab4SFgzHw6i7vhafg0wDp+h8mvhpfBid6G2WAJbAaYdx/82TccvW60"
    "4WzTu8a6BtTNSgWItkVeGv5dIVIVp0MCmpVzVI/OU9YMcs6LtYhLH88IvuoxrQvb5l5mGrkKecA/x+ZlqmQqUhNS"
    "gVLE1+DdGs3LtBWpCu3Nq3l5Lw1L5zKg7ntHAqZp6gpggHX4E1dEr2RLoZEq9AKAf0gEKzNgPNI3wyKnMwn5JiHV"
    "FdInYR0fcneF3cIh70nYyxj2xof9rfz7v+sLipnsyqCCU3MAAAAASUVORK5CYII=";

constexpr const char* kCloseButtonDouble =
    "iVBORw0KGgoAAAANSUhEUgAAADIAAAAyCAYAAAAeP4ixAAACEUlEQVR42u2aDXHDMAyFy2AQCmEQAiEQBmEQBmEQ"
    "BiEQAmEQBqEQMn23ppeokvOntJ2uutNdm9jye7Ysy3YOh6eM5SjyJvIp0or8iHRKeMY7ylCWOg8B/kXkXeRbpFsp"
    "1MUGtu7S+18iJ5EuSLCFzZuN0odIJAGLEG3sRuBVZMqFeC8Y2rquWyneSrWR8ox3lJljizZDSTAxvVFgAouLt+IR"
    "V8CnlDrUtQJDPzq0HUai0Mhi8J5iy+uszWQ8Ek3TtBJkwkj0ik1sh5LxSESOQml0QsgwyfQw87+qqt1J9EpbFoZF"
    "AcCKKLckMSRjRbPZ68Q93GmJm02uM6yqejiZfFYDrAe8Q/m9FugcOzoAgLGYAZAi6ApWdKLBiFGzetsiAwbdwWB1"
    "E0Bd2ANXCJGbI5PnAbr8uZOvE00yUL1ieyA8InPJeCRKRFCdAYB5MlKROpT8upQnlciUSHiu1SuYihGMiaMNTuVO"
    "U4AsMmvq6NzMwHl0V/Ez000uooFtJdGr9pzRas/WU8XpzZN2CDCKBAq2YV2wX4iwj57rp2vIRJGw5ifYL0R0NLA2"
    "RXuQWbP2gM2Irn+iG4jOWqOzaANvLJG5ZLbmbk8i/8a10kz2NOE3zYKYJkVJkzSmSeNTbazSbHXTHD6kOg5Kc0CX"
    "6sg01SF2mmuFVBc9qa7eUl2GprqeTvXBQLpPOFJ9VJPuM6dHkl/f8/YOcDvHSwAAAABJRU5ErkJggg==";

double screenDensity() {
    const double density = HRNDevice::sharedInstance()->mainScreenDensity();
    return density > 0 ? density : platform::ui::Screen::main().scale();
}

}  // namespace

std::shared_ptr<HRNIntrinsicImages> HRNIntrinsicImages::sharedInstance() {
    static const auto shared = std::make_shared<HRNIntrinsicImages>();
    return shared;
}

const char* HRNIntrinsicImages::chooseImageOrDoubleDensityImage(const char* normal,
                                                                const char* doubleDensity) {
    return screenDensity() == 1.0 ? normal : doubleDensity;
}

HRNIntrinsicImages::ImageRef HRNIntrinsicImages::imageWithBase64EncodedString(
    const std::string& text,
    double scale) {
    auto bytes = HRN_GTMStringEncoding::rfc4648Base64StringEncoding()->decode(text);
    if (!bytes) return nullptr;
    auto image = platform::render::Image::fromData(*bytes, scale);
    if (!image) return nullptr;
    return std::make_shared<const platform::render::Image>(*image);
}

HRNIntrinsicImages::ImageRef HRNIntrinsicImages::make(const char* normal,
                                                      const char* doubleDensity) {
    const char* chosen = chooseImageOrDoubleDensityImage(normal, doubleDensity);
    return imageWithBase64EncodedString(chosen, chosen == normal ? 1.0 : 2.0);
}

HRNIntrinsicImages::ImageRef HRNIntrinsicImages::browserBackButton() {
    static std::once_flag once;
    static ImageRef image;
    std::call_once(once,
                   [this] { image = make(kBrowserBackButtonNormal, kBrowserBackButtonDouble); });
    return image;
}

HRNIntrinsicImages::ImageRef HRNIntrinsicImages::browserForwardButton() {
    static std::once_flag once;
    static ImageRef image;
    std::call_once(
        once, [this] { image = make(kBrowserForwardButtonNormal, kBrowserForwardButtonDouble); });
    return image;
}

HRNIntrinsicImages::ImageRef HRNIntrinsicImages::closeButton() {
    static std::once_flag once;
    static ImageRef image;
    std::call_once(once, [this] { image = make(kCloseButtonNormal, kCloseButtonDouble); });
    return image;
}

HRNIntrinsicImages::ImageRef HRNIntrinsicImages::transparentImage() {
    static std::once_flag once;
    static ImageRef image;
    std::call_once(once, [] {
        // Nothing drawn, at the screen's own scale.
        const double scale = screenDensity();
        platform::render::Bitmap bitmap(platform::render::Size{10, 10}, scale);
        if (auto decoded = platform::render::Image::fromData(bitmap.pngData(), scale))
            image = std::make_shared<const platform::render::Image>(*decoded);
    });
    return image;
}
