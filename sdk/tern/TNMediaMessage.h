#pragma once
// The message a share carries, the media objects it can hold, and the two flat carriers the
// record reader and writer use. Plain data holders: every field starts empty, texts and bytes
// are std::nullopt until set (an empty text is a present value, unlike none). Turning them into
// the pasteboard record is the record's business; the limits they must keep are in
// TernLimits.h. Not thread-safe; the SDK uses them on the main thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Data.h"
#include "platform/render/Image.h"
#include "sdk/tern/TernObject.h"

using TernText = std::optional<std::string>;
using TernBytes = std::optional<platform::Data>;

class TNMediaMessage : public TernObject {
  public:
    static std::shared_ptr<TNMediaMessage> message() { return std::make_shared<TNMediaMessage>(); }

    // Sets thumbData to the image's JPEG encoding at quality 0.6; no image changes nothing.
    void setThumbImage(const std::optional<platform::render::Image>& image);

    TernText title;
    TernText description;
    TernBytes thumbData;
    TernText mediaTagName;
    TernText messageExt;
    TernText messageAction;
    std::shared_ptr<TernObject> mediaObject;
};

// Media objects. kObjectType is the type number the record carries for the class.

class TNImageObject : public TernObject {
  public:
    static constexpr uint32_t kObjectType = 2;
    static std::shared_ptr<TNImageObject> object() { return std::make_shared<TNImageObject>(); }
    TernBytes imageData;
    TernText imageUrl;
};

class TNMusicObject : public TernObject {
  public:
    static constexpr uint32_t kObjectType = 3;
    static std::shared_ptr<TNMusicObject> object() { return std::make_shared<TNMusicObject>(); }
    TernText musicUrl;
    TernText musicLowBandUrl;
    TernText musicDataUrl;
    TernText musicLowBandDataUrl;
};

class TNVideoObject : public TernObject {
  public:
    static constexpr uint32_t kObjectType = 4;
    static std::shared_ptr<TNVideoObject> object() { return std::make_shared<TNVideoObject>(); }
    TernText videoUrl;
    TernText videoLowBandUrl;
};

class TNWebpageObject : public TernObject {
  public:
    static constexpr uint32_t kObjectType = 5;
    static std::shared_ptr<TNWebpageObject> object() { return std::make_shared<TNWebpageObject>(); }
    TernText webpageUrl;
};

class TNAppExtendObject : public TernObject {
  public:
    static constexpr uint32_t kObjectType = 7;
    static std::shared_ptr<TNAppExtendObject> object() {
        return std::make_shared<TNAppExtendObject>();
    }
    TernText url;
    TernText extInfo;
    TernBytes fileData;
};

class TNEmoticonObject : public TernObject {
  public:
    static constexpr uint32_t kObjectType = 8;
    static std::shared_ptr<TNEmoticonObject> object() {
        return std::make_shared<TNEmoticonObject>();
    }
    TernBytes emoticonData;
};

class TNFileObject : public TernObject {
  public:
    static constexpr uint32_t kObjectType = 6;
    static std::shared_ptr<TNFileObject> object() { return std::make_shared<TNFileObject>(); }
    TernText fileExtension;
    TernBytes fileData;
};

// A media message laid flat, as the record holds it: the media object's values under the
// record's own names and its type number.
class TNMediaInternalMessage : public TernObject {
  public:
    static std::shared_ptr<TNMediaInternalMessage> message() {
        return std::make_shared<TNMediaInternalMessage>();
    }
    TernText title;
    TernText description;
    TernBytes thumbData;
    TernText mediaTagName;
    TernText messageExt;
    TernText messageAction;
    uint64_t objectType = 0;
    TernText mediaUrl;
    TernText mediaLowBandUrl;
    TernText mediaDataUrl;
    TernText mediaLowBandDataUrl;
    TernText extInfo;
    TernText fileExt;
    TernBytes fileData;
};

class TNAuthInternal : public TernObject {
  public:
    TernText scope;
    TernText state;
};
