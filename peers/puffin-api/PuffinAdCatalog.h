#pragma once
// The ads the local Puffin network serves: our own web templates (pages that play a clip, talk
// to the SDK through "pfsdk" URLs and end on an end screen), the pictures of our native ads, and
// the API replies that point at them on the asset server. Tests use the replies as they stand
// or change them; the program serves them as its answers.
//
// Templates:
//  - "endcard": plays the ad's clip ("{% video %}"), reports playing, time and completion, and
//    then shows the end screen with the reward ("{% reward_amount %} {% reward_currency %}"),
//    an install button (a click) and a close button.
//  - "card": a still picture ("{% picture %}") with a close button, no video.
// Both load "puffin.js", the page side of the bridge: Puffin.send(name, args) navigates to
// "pfsdk://eventhandler/eventtype/<name>/<key>/<value>..." (each part percent-encoded), and
// Puffin.EventHandler.handleNativeEvent(name, json) takes "onForeground" and "onBackground".
//
// Pictures are solid colours (kAdPortraitColor and the like) so that a screenshot's pixels
// tell which one is on screen.

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/foundation/Value.h"

namespace peers {

class PuffinAssetServer;
class PuffinAPIServer;

// 0xRRGGBB of the pictures.
inline constexpr uint32_t kAdPortraitColor = 0x1E50C8;
inline constexpr uint32_t kAdLandscapeColor = 0x7A1EC8;
inline constexpr uint32_t kCloseColor = 0xF0F0F0;
inline constexpr uint32_t kEndcardColor = 0xF2C14E;
inline constexpr uint32_t kCardColor = 0x2E8B57;

class PuffinAdCatalog {
  public:
    // The clip every video ad plays (a file of the clips folder, qen_clipgen's colors.mp4).
    static constexpr const char* kClip = "colors.mp4";

    // Puts the templates and pictures on `assets`, and the clips folder under "/clips".
    static void install(PuffinAssetServer& assets, const std::filesystem::path& clipsFolder);

    // Replies that point at files on the asset server at `assetBaseURL`.
    explicit PuffinAdCatalog(std::string assetBaseURL);

    // "/api/video-prefetch": the clip.
    platform::Value videoPrefetch() const;
    // "/webview/<version>/prefetch": both templates and the clip.
    platform::Value webviewPrefetch() const;
    // A web-template rewarded video on "endcard" ("/webview/<version>/reward/get").
    platform::Value webviewRewardedVideo(const std::string& adId = "rv-web-1") const;
    // A web-template interstitial on "card".
    platform::Value webviewInterstitial(const std::string& adId = "int-web-1") const;
    // A native video ad with every picture, video controls and the toasters ("media-type"
    // "video"): what "/interstitial/get" and "/reward/get" answer, and, with an empty
    // "webview", the web-view ad endpoints too.
    platform::Value nativeVideoAd(const std::string& adId = "native-video-1") const;
    // A native still interstitial (pictures and close buttons only).
    platform::Value nativeImageAd(const std::string& adId = "native-image-1") const;

    // The picture asset of one kind ("ad-portrait", "close-landscape", ...): url, checksum.
    platform::Value pictureAsset(const std::string& kind) const;
    std::string clipURL() const;

    // The replies above as the API server's answers: the prefetch paths, rewarded videos from
    // the web template, interstitials as native video ads.
    void serveOn(PuffinAPIServer& api) const;

  private:
    std::string base_;
};

// The bytes of the catalog's files, for checks: a template file ("endcard/index.html"), a
// picture ("ad-portrait.png").
std::string puffinTemplateFile(const std::string& name);
platform::Data puffinCatalogPicture(const std::string& name);

}  // namespace peers
