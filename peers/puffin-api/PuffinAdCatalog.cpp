#include "peers/puffin-api/PuffinAdCatalog.h"

#include <map>
#include <mutex>

#include "peers/puffin-api/PuffinAPIServer.h"
#include "peers/puffin-api/PuffinAssetServer.h"
#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
#include "platform/security/Digest.h"

namespace peers {

namespace {

using platform::Array;
using platform::Dictionary;
using platform::Value;
using platform::render::Color;
using platform::render::Rect;

// The page side of the bridge, shared by both templates.
constexpr const char* kPuffinJS = R"JS(var Puffin = (function () {
  var video = null;
  var lastSecond = -1;
  function send(name, args) {
    var url = "pfsdk://eventhandler/eventtype/" + encodeURIComponent(name);
    if (args) {
      for (var key in args) {
        url += "/" + encodeURIComponent(key) + "/" + encodeURIComponent(String(args[key]));
      }
    }
    window.location.href = url;
  }
  var handlers = {
    onForeground: function () { if (video && !video.ended) { video.play(); } },
    onBackground: function () { if (video) { video.pause(); } }
  };
  function on(id, type, handler) {
    var element = document.getElementById(id);
    if (element) { element.addEventListener(type, handler); }
  }
  function start() {
    on("close", "click", function () { send("close"); });
    on("install", "click", function () { send("tracking", {event: "click"}); send("click"); });
    video = document.getElementById("clip");
    if (!video) { send("show"); return; }
    video.addEventListener("loadedmetadata", function () {
      send("totalVideoDuration", {duration: video.duration});
    });
    video.addEventListener("playing", function () {
      send("videoPlaying");
      send("tracking", {event: "start"});
    });
    video.addEventListener("pause", function () { if (!video.ended) { send("videoPaused"); } });
    video.addEventListener("timeupdate", function () {
      var second = Math.floor(video.currentTime);
      if (second === lastSecond) { return; }
      lastSecond = second;
      send("currentVideoDuration", {duration: video.currentTime});
    });
    video.addEventListener("ended", function () {
      send("currentVideoDuration", {duration: video.duration});
      send("videoCompleted");
      send("tracking", {event: "complete", "%%SECONDS%%": video.duration});
      document.getElementById("endcard").style.display = "block";
    });
    video.addEventListener("error", function () {
      send("error", {message: "the clip could not play"});
    });
    send("show");
    video.play();
  }
  return {
    send: send,
    start: start,
    EventHandler: {
      handleNativeEvent: function (name, json) {
        var handler = handlers[name];
        if (handler) { handler(json ? JSON.parse(json) : null); }
      }
    }
  };
})();
)JS";

constexpr const char* kEndcardHTML = R"HTML(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>Puffin</title>
<script src="{% script %}"></script>
</head>
<body style="margin:0;background-color:#101820">
<video id="clip" src="{% video %}" playsinline style="position:absolute;left:0;top:0;width:100%;height:100%"></video>
<div id="endcard" style="display:none;position:absolute;left:0;top:0;width:100%;height:100%;background-color:#F2C14E">
<div id="reward" style="position:absolute;left:20px;top:120px;width:280px;height:60px">+{% reward_amount %} {% reward_currency %}</div>
<div id="install" style="position:absolute;left:60px;top:400px;width:200px;height:60px;background-color:#2E8B57">Install</div>
<div id="close" style="position:absolute;left:270px;top:10px;width:40px;height:40px;background-color:#F0F0F0">X</div>
</div>
<script>Puffin.start();</script>
</body>
</html>
)HTML";

constexpr const char* kCardHTML = R"HTML(<!DOCTYPE html>
<html>
<head>
<meta charset="utf-8">
<title>Puffin</title>
<script src="{% script %}"></script>
</head>
<body style="margin:0;background-color:#2E8B57">
<img id="picture" src="{% picture %}" style="position:absolute;left:0;top:0;width:100%;height:100%">
<div id="install" style="position:absolute;left:60px;top:400px;width:200px;height:60px;background-color:#F2C14E">Install</div>
<div id="close" style="position:absolute;left:270px;top:10px;width:40px;height:40px;background-color:#F0F0F0">X</div>
<script>Puffin.start();</script>
</body>
</html>
)HTML";

Color colorOf(uint32_t rgb) {
    return Color::fromRGB255((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}

struct Picture {
    double width;
    double height;
    uint32_t color;
    enum Kind { Solid, Frame, Cross } kind = Solid;
};

const std::map<std::string, Picture>& pictures() {
    static const std::map<std::string, Picture> table = {
        {"ad-portrait.png", {320, 568, kAdPortraitColor}},
        {"ad-landscape.png", {568, 320, kAdLandscapeColor}},
        {"frame-portrait.png", {320, 568, kCloseColor, Picture::Frame}},
        {"frame-landscape.png", {568, 320, kCloseColor, Picture::Frame}},
        {"close-portrait.png", {40, 40, kCloseColor, Picture::Cross}},
        {"close-landscape.png", {40, 40, kCloseColor, Picture::Cross}},
        {"replay-portrait.png", {60, 60, 0x3CB371}},
        {"replay-landscape.png", {60, 60, 0x3CB371}},
        {"video-click-button.png", {120, 36, 0xE07B39}},
        {"post-video-icon.png", {60, 60, 0x8E44AD}},
        {"post-video-button.png", {120, 40, 0x2E8B57}},
        {"video-confirmation-button.png", {140, 44, 0x2E8B57}},
        {"video-confirmation-icon.png", {44, 44, 0xF2C14E}},
        {"post-video-reward-icon.png", {40, 40, 0xF2C14E}},
        {"card.png", {320, 568, kCardColor}},
    };
    return table;
}

platform::Data draw(const Picture& picture) {
    platform::render::Bitmap bitmap({picture.width, picture.height}, 1);
    platform::render::Canvas canvas(bitmap);
    const Rect all{0, 0, picture.width, picture.height};
    switch (picture.kind) {
        case Picture::Solid:
            canvas.fillRect(all, colorOf(picture.color));
            break;
        case Picture::Frame:
            canvas.strokeRect(all, colorOf(picture.color), 6);
            break;
        case Picture::Cross:
            canvas.fillRect(all, colorOf(picture.color), picture.width / 2);
            canvas.fillRect({picture.width * 0.2, picture.height * 0.45, picture.width * 0.6,
                             picture.height * 0.1},
                            colorOf(0x202020));
            break;
    }
    return bitmap.pngData();
}

struct TemplateFile {
    const char* name;
    const char* type;
    const char* param;  // the placeholder that names the file in the page, or null
};

// The files of each template as the prefetch reply lists them.
const std::map<std::string, std::vector<TemplateFile>>& templateFiles() {
    static const std::map<std::string, std::vector<TemplateFile>> table = {
        {"endcard", {{"index.html", "html", nullptr}, {"puffin.js", "js", "{% script %}"}}},
        {"card",
         {{"index.html", "html", nullptr},
          {"puffin.js", "js", "{% script %}"},
          {"card.png", "image", "{% picture %}"}}},
    };
    return table;
}

}  // namespace

std::string puffinTemplateFile(const std::string& name) {
    if (name == "endcard/index.html") return kEndcardHTML;
    if (name == "card/index.html") return kCardHTML;
    if (name == "endcard/puffin.js" || name == "card/puffin.js") return kPuffinJS;
    return "";
}

platform::Data puffinCatalogPicture(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, platform::Data> drawn;
    std::lock_guard lock(mutex);
    auto it = drawn.find(name);
    if (it != drawn.end()) return it->second;
    auto picture = pictures().find(name);
    if (picture == pictures().end()) return {};
    return drawn[name] = draw(picture->second);
}

void PuffinAdCatalog::install(PuffinAssetServer& assets, const std::filesystem::path& clipsFolder) {
    for (const auto& [id, files] : templateFiles()) {
        for (const auto& file : files) {
            const std::string name = id + "/" + file.name;
            if (std::string(file.type) == "image")
                assets.put("/templates/" + name, puffinCatalogPicture(file.name));
            else
                assets.put("/templates/" + name,
                           platform::Data::fromString(puffinTemplateFile(name)));
        }
    }
    for (const auto& [name, picture] : pictures())
        assets.put("/images/" + name, puffinCatalogPicture(name));
    assets.serveFolder("/clips", clipsFolder);
}

PuffinAdCatalog::PuffinAdCatalog(std::string assetBaseURL) : base_(std::move(assetBaseURL)) {}

std::string PuffinAdCatalog::clipURL() const {
    return base_ + "/clips/" + kClip;
}

Value PuffinAdCatalog::pictureAsset(const std::string& kind) const {
    const std::string name = kind + ".png";
    return Dictionary{{"url", base_ + "/images/" + name},
                      {"checksum", platform::security::sha1Hex(puffinCatalogPicture(name))}};
}

Value PuffinAdCatalog::videoPrefetch() const {
    return Dictionary{{"status", 200},
                      {"videos", Array{Dictionary{{"id", kClip}, {"video", clipURL()}}}}};
}

Value PuffinAdCatalog::webviewPrefetch() const {
    Array templates;
    for (const auto& [id, files] : templateFiles()) {
        Array elements;
        for (const auto& file : files) {
            Dictionary element{{"name", file.name},
                               {"type", file.type},
                               {"value", base_ + "/templates/" + id + "/" + file.name}};
            if (file.param) element["param"] = file.param;
            elements.emplace_back(std::move(element));
        }
        Dictionary entry{{"template", id}, {"elements", std::move(elements)}};
        templates.emplace_back(std::move(entry));
    }
    return Dictionary{
        {"status", 200},
        {"message", "ok"},
        {"cache_assets",
         Dictionary{{"templates", std::move(templates)},
                    {"videos", Array{Dictionary{{"name", kClip}, {"value", clipURL()}}}}}}};
}

namespace {

Dictionary webviewAd(const std::string& adId, Dictionary webview, const std::string& mediaType) {
    return Dictionary{{"status", 200},
                      {"message", "ok"},
                      {"ad_id", adId},
                      {"media-type", mediaType},
                      {"to", "itunes"},
                      {"link", "https://example.invalid/app/" + adId},
                      {"cgn", "campaign-" + adId},
                      {"creative", "creative-" + adId},
                      {"animation", 6},
                      {"webview", std::move(webview)}};
}

Dictionary param(const char* placeholder, Value value) {
    return Dictionary{{"type", "param"}, {"param", placeholder}, {"value", std::move(value)}};
}

}  // namespace

Value PuffinAdCatalog::webviewRewardedVideo(const std::string& adId) const {
    Dictionary events{
        {"start", Array{base_ + "/track/start?ad=" + adId}},
        {"complete", Array{base_ + "/track/complete?ad=" + adId + "&seconds=%%SECONDS%%"}},
        {"click", Array{base_ + "/track/click?ad=" + adId}},
    };
    Array elements{
        param("{% reward_amount %}", "10"),
        param("{% reward_currency %}", "coins"),
        Dictionary{
            {"name", kClip}, {"type", "video"}, {"value", clipURL()}, {"param", "{% video %}"}},
    };
    return webviewAd(adId,
                     Dictionary{{"template", "endcard"},
                                {"events", std::move(events)},
                                {"elements", std::move(elements)},
                                {"metadata", Dictionary{{"ad_id", adId}, {"template", "endcard"}}}},
                     "video");
}

Value PuffinAdCatalog::webviewInterstitial(const std::string& adId) const {
    return webviewAd(
        adId,
        Dictionary{{"template", "card"},
                   {"events", Dictionary{{"click", Array{base_ + "/track/click?ad=" + adId}}}},
                   {"elements", Array{}},
                   {"metadata", Dictionary{{"ad_id", adId}, {"template", "card"}}}},
        "image");
}

Value PuffinAdCatalog::nativeImageAd(const std::string& adId) const {
    Dictionary assets;
    for (const char* kind : {"ad-portrait", "ad-landscape", "frame-portrait", "frame-landscape",
                             "close-portrait", "close-landscape"})
        assets[kind] = pictureAsset(kind);
    return Dictionary{{"status", 200},
                      {"message", "ok"},
                      {"ad_id", adId},
                      {"type", "native"},
                      {"media-type", "image"},
                      {"to", "itunes"},
                      {"link", "https://example.invalid/app/" + adId},
                      {"cgn", "campaign-" + adId},
                      {"creative", "creative-" + adId},
                      {"animation", 6},
                      {"assets", std::move(assets)},
                      {"webview", Dictionary{{"elements", Array{}}}}};
}

Value PuffinAdCatalog::nativeVideoAd(const std::string& adId) const {
    Value ad = nativeImageAd(adId);
    ad["media-type"] = "video";
    Value& assets = ad["assets"];
    for (const char* kind : {"replay-portrait", "replay-landscape", "video-click-button",
                             "post-video-icon", "post-video-button", "post-video-reward-icon"})
        assets[kind] = pictureAsset(kind);
    const Value video = Dictionary{{"url", clipURL()}, {"id", kClip}, {"local-file", kClip}};
    assets["video-portrait"] = video;
    assets["video-landscape"] = video;
    ad["ux"] = Dictionary{
        {"video-controls-background",
         Dictionary{{"color", "#000000"}, {"border-color", "#000000"}}},
        {"video-progress-timer-enabled", 1},
        {"progress", Dictionary{{"delay", 0},
                                {"background-color", "#333333"},
                                {"progress-color", "#F2C14E"},
                                {"border-color", "#FFFFFF"},
                                {"radius", 4}}},
        {"post-video-toaster", Dictionary{{"title", "Puffin Quest"}, {"tagline", "Play it now"}}},
        {"post-video-reward-toaster",
         Dictionary{{"position", "inside-top"}, {"text", "+10 coins"}}},
        {"delay", 2},
    };
    ad["videos"] = Array{Dictionary{{"id", kClip}, {"video", clipURL()}}};
    return ad;
}

void PuffinAdCatalog::serveOn(PuffinAPIServer& api) const {
    api.serve("/api/video-prefetch", PuffinAPIReply::json(videoPrefetch()));
    api.serve("/webview/v2/prefetch", PuffinAPIReply::json(webviewPrefetch()));
    api.serve("/webview/v2/reward/get", PuffinAPIReply::json(webviewRewardedVideo()));
    api.serve("/webview/v2/interstitial/get", PuffinAPIReply::json(nativeVideoAd()));
    api.serve("/reward/get", PuffinAPIReply::json(nativeVideoAd()));
    api.serve("/interstitial/get", PuffinAPIReply::json(nativeImageAd()));
}

}  // namespace peers
