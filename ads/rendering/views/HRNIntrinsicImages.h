#pragma once
// HRNIntrinsicImages: the pictures the SDK draws its own buttons with, kept in the program as
// PNG data (base64 text), one for normal and one for double density: the in-app browser's back
// and forward arrows (27 x 27 points), the close button of full-screen ads (25 x 25), and a
// transparent 10 x 10 picture. Each is made on first request and kept.
//
// Made once, thread-safe.

#include <memory>
#include <optional>
#include <string>

#include "platform/render/Image.h"

class HRNIntrinsicImages {
  public:
    using ImageRef = std::shared_ptr<const platform::render::Image>;

    static std::shared_ptr<HRNIntrinsicImages> sharedInstance();

    ImageRef browserBackButton();
    ImageRef browserForwardButton();
    ImageRef closeButton();
    ImageRef transparentImage();

    // The normal-density text on a screen of scale 1, else the double-density one.
    static const char* chooseImageOrDoubleDensityImage(const char* normal,
                                                       const char* doubleDensity);
    // The picture the base64 text holds, at the density it was made for (a double-density
    // picture stays at scale 2 on a denser screen, so it keeps its size in points); null for
    // text that does not decode.
    static ImageRef imageWithBase64EncodedString(const std::string& text, double scale);

  private:
    ImageRef make(const char* normal, const char* doubleDensity);
};
