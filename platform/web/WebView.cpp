#include "platform/web/WebView.h"

#include <JavaScriptCore/JavaScript.h>
#include <glib.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/Player.h"
#include "platform/net/URLLoader.h"
#include "platform/render/Image.h"
#include "platform/web/ExecutionLimit.h"
#include "platform/web/HTMLParser.h"
#include "platform/web/Prelude.h"

namespace platform::web {

namespace {

std::string toString(JSContextRef ctx, JSValueRef value) {
    if (!value || JSValueIsUndefined(ctx, value) || JSValueIsNull(ctx, value)) return "";
    JSStringRef s = JSValueToStringCopy(ctx, value, nullptr);
    if (!s) return "";
    size_t max = JSStringGetMaximumUTF8CStringSize(s);
    std::string out(max, '\0');
    size_t written = JSStringGetUTF8CString(s, out.data(), max);
    JSStringRelease(s);
    out.resize(written > 0 ? written - 1 : 0);
    return out;
}

// Page bytes as engine text: UTF-8 decoded with U+FFFD for every byte that does not belong to a
// valid sequence, NUL bytes kept.
JSStringRef makeJSString(std::string_view text) {
    std::vector<JSChar> out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        auto b = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0;
        size_t len = 0;
        uint32_t min = 0;
        if (b < 0x80) {
            cp = b, len = 1;
        } else if (b >= 0xC2 && b < 0xE0) {
            cp = b & 0x1F, len = 2, min = 0x80;
        } else if (b >= 0xE0 && b < 0xF0) {
            cp = b & 0x0F, len = 3, min = 0x800;
        } else if (b >= 0xF0 && b < 0xF5) {
            cp = b & 0x07, len = 4, min = 0x10000;
        }
        bool ok = len > 0 && i + len <= text.size();
        for (size_t k = 1; ok && k < len; ++k) {
            auto c = static_cast<unsigned char>(text[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000))) ok = false;
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(JSChar(0xD800 + (cp >> 10)));
            out.push_back(JSChar(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(JSChar(cp));
        }
        i += len;
    }
    return JSStringCreateWithCharacters(out.data(), out.size());
}

JSValueRef makeString(JSContextRef ctx, const std::string& text) {
    JSStringRef s = makeJSString(text);
    JSValueRef value = JSValueMakeString(ctx, s);
    JSStringRelease(s);
    return value;
}

void setProperty(JSContextRef ctx, JSObjectRef object, const char* name, JSValueRef value) {
    JSStringRef s = JSStringCreateWithUTF8CString(name);
    JSObjectSetProperty(ctx, object, s, value, kJSPropertyAttributeNone, nullptr);
    JSStringRelease(s);
}

JSValueRef getProperty(JSContextRef ctx, JSObjectRef object, const char* name) {
    JSStringRef s = JSStringCreateWithUTF8CString(name);
    JSValueRef value = JSObjectGetProperty(ctx, object, s, nullptr);
    JSStringRelease(s);
    return value;
}

// [name, attrs, children] for an element, a string for a text, [null, text] for a comment.
// Values are kept in JavaScript objects or on the stack while they are built, where the
// collector sees them.
JSValueRef treeValue(JSContextRef ctx, const HTMLNode& node) {
    if (node.kind == HTMLNode::Kind::Text) return makeString(ctx, node.text);
    if (node.kind == HTMLNode::Kind::Comment) {
        JSValueRef items[] = {JSValueMakeNull(ctx), makeString(ctx, node.text)};
        return JSObjectMakeArray(ctx, 2, items, nullptr);
    }
    JSObjectRef attrs = JSObjectMake(ctx, nullptr, nullptr);
    JSObjectRef children = JSObjectMakeArray(ctx, 0, nullptr, nullptr);
    JSValueRef items[] = {makeString(ctx, node.name), attrs, children};
    JSObjectRef element = JSObjectMakeArray(ctx, 3, items, nullptr);
    for (const auto& [name, value] : node.attributes) {
        setProperty(ctx, attrs, name.c_str(), makeString(ctx, value));
    }
    unsigned index = 0;
    for (const auto& child : node.children) {
        JSObjectSetPropertyAtIndex(ctx, children, index++, treeValue(ctx, *child), nullptr);
    }
    return element;
}

JSObjectRef treeList(JSContextRef ctx, const std::vector<std::unique_ptr<HTMLNode>>& nodes) {
    JSObjectRef list = JSObjectMakeArray(ctx, 0, nullptr, nullptr);
    unsigned index = 0;
    for (const auto& node : nodes) {
        JSObjectSetPropertyAtIndex(ctx, list, index++, treeValue(ctx, *node), nullptr);
    }
    return list;
}

void logException(JSContextRef ctx, JSValueRef exception) {
    std::string text = toString(ctx, exception);
    if (JSValueIsObject(ctx, exception)) {
        JSValueRef line = getProperty(ctx, JSValueToObject(ctx, exception, nullptr), "line");
        if (JSValueIsNumber(ctx, line)) {
            text += " (line " + std::to_string(int(JSValueToNumber(ctx, line, nullptr))) + ")";
        }
    }
    platform::log("WebView console error: " + text);
}

// The GLib context on which the engine's timers (its collector's) run for the script contexts
// made on other threads: the engine ties them to the context current on the thread that makes a
// context group, and the main loop iterates this one as it does the default one.
GMainContext* preparedTimerContext() {
    static GMainContext* context = g_main_context_new();
    return context;
}

int& liveViews() {
    static int count = 0;
    return count;
}
int& loopHook() {
    static int id = -1;
    return id;
}

}  // namespace

namespace {

// One load answered whole on the main queue; the page cancels it when it goes.
class Fetch : public net::URLLoaderDelegate {
  public:
    explicit Fetch(net::URLCompletion completion) : completion_(std::move(completion)) {}
    void didReceiveResponse(net::URLLoader&, const net::HTTPURLResponse& response) override {
        response_ = response;
    }
    void didReceiveData(net::URLLoader&, const Data& data) override { data_.append(data); }
    void didFinishLoading(net::URLLoader& loader) override { end(loader, std::nullopt); }
    void didFailWithError(net::URLLoader& loader, const Error& error) override {
        end(loader, error);
    }
    std::function<void(net::URLLoader&)> ended;

  private:
    void end(net::URLLoader& loader, const std::optional<Error>& error) {
        auto completion = std::move(completion_);
        if (ended) ended(loader);
        if (completion) completion(response_, data_, error);
    }
    net::URLCompletion completion_;
    std::optional<net::HTTPURLResponse> response_;
    Data data_;
};

}  // namespace

struct WebView::Entry {
    net::URLRequest request;
    std::optional<std::string> html;  // a text load: the HTML, with request.url as its base
};

struct WebView::Pending {
    net::URLRequest request;
    NavigationType type;
    bool mainFrame;
    std::weak_ptr<Page> owner;  // a frame navigation: the page that holds the frame
    double frameId;
};

// One loaded document and its script context.
struct WebView::Page : std::enable_shared_from_this<WebView::Page> {
    WebView* view = nullptr;  // cleared when the view lets the page go
    Entry entry;
    net::URL documentURL;
    JSContextGroupRef group = nullptr;
    JSGlobalContextRef ctx = nullptr;
    std::map<double, std::shared_ptr<Timer>> timers;
    // Frames: a frame's own page knows its parent and its id there.
    std::map<double, std::shared_ptr<Page>> frames;
    std::weak_ptr<Page> parent;
    double frameId = 0;
    int depth = 0;
    std::map<std::string, std::optional<render::Image>> images;
    bool finished = false;
    std::optional<net::HTTPURLResponse> response;  // the document's, when it was fetched
    // The page's video elements by id, each with the player that plays it.
    struct Video {
        std::shared_ptr<media::Player> player;
        media::Player::Token timeToken = 0;
        NotificationCenter::Token endToken = 0;
    };
    std::map<double, Video> videos;

    Page(WebView* view, Entry entry, net::URL url)
        : view(view), entry(std::move(entry)), documentURL(std::move(url)) {}

    ~Page() { close(); }

    // Loads in flight, cancelled when the page goes.
    std::map<net::URLLoader*, std::shared_ptr<net::URLLoader>> loaders;

    void load(const net::URLRequest& request, net::URLCompletion completion) {
        auto fetch = std::make_shared<Fetch>(std::move(completion));
        std::weak_ptr<Page> weak = shared_from_this();
        fetch->ended = [weak](net::URLLoader& loader) {
            // Let go of the loader after its own call has returned.
            net::URLLoader* key = &loader;
            Queue::main()->async([weak, key] {
                if (auto page = weak.lock()) page->loaders.erase(key);
            });
        };
        auto loader = net::URLLoader::start(request, fetch, Queue::main());
        loaders[loader.get()] = loader;
    }

    void dropVideo(double id) {
        auto it = videos.find(id);
        if (it == videos.end()) return;
        Video video = std::move(it->second);
        videos.erase(it);
        if (video.endToken) NotificationCenter::defaultCenter().removeObserver(video.endToken);
        if (video.player) {
            video.player->removeTimeObserver(video.timeToken);
            video.player->pause();
        }
    }

    void videoEvent(double id, const char* type) {
        if (!ctx || !videos.count(id)) return;
        callDom("videoEvent", {JSValueMakeNumber(ctx, id), makeString(ctx, type)});
    }

    void loadVideo(double id, const std::string& src, bool autoplay, bool muted) {
        dropVideo(id);
        std::weak_ptr<Page> weak = shared_from_this();
        auto url = net::URL::parse(src);
        Video& video = videos[id];
        if (!url) {
            Queue::main()->async([weak, id] {
                if (auto p = weak.lock()) p->videoEvent(id, "error");
            });
            return;
        }
        auto item = media::PlayerItem::create(*url);
        video.player = media::Player::create(item);
        video.player->setMuted(muted);
        if (autoplay) video.player->play();
        item->addStatusObserver(
            [weak, id](media::PlayerItemStatus status) {
                auto p = weak.lock();
                if (!p) return;
                if (status == media::PlayerItemStatus::ReadyToPlay) {
                    for (const char* type : {"durationchange", "loadedmetadata", "loadeddata",
                                             "canplay", "canplaythrough", "playing"})
                        p->videoEvent(id, type);
                } else if (status == media::PlayerItemStatus::Failed) {
                    p->videoEvent(id, "error");
                }
            },
            false);
        // Pages hear where a video is four times a second, as browsers tell them.
        video.timeToken = video.player->addPeriodicTimeObserver(0.25, [weak, id](double) {
            if (auto p = weak.lock()) p->videoEvent(id, "timeupdate");
        });
        video.endToken = NotificationCenter::defaultCenter().addObserver(
            media::kPlayerItemDidPlayToEndTimeNotification, item.get(),
            [weak, id](const Notification&) {
                if (auto p = weak.lock()) p->videoEvent(id, "ended");
            });
    }

    media::Player* videoPlayer(JSContextRef ctx, size_t argc, const JSValueRef argv[]) {
        auto it = videos.find(num(ctx, argc, argv, 0));
        return it == videos.end() ? nullptr : it->second.player.get();
    }

    static JSValueRef jsVideoLoad(JSContextRef ctx,
                                  JSObjectRef fn,
                                  JSObjectRef,
                                  size_t argc,
                                  const JSValueRef argv[],
                                  JSValueRef*) {
        from(fn)->loadVideo(num(ctx, argc, argv, 0), arg(ctx, argc, argv, 1),
                            argc > 2 && JSValueToBoolean(ctx, argv[2]),
                            argc > 3 && JSValueToBoolean(ctx, argv[3]));
        return JSValueMakeUndefined(ctx);
    }

    // play, pause, seek, time, duration, volume: one bridge call each.
    static JSValueRef jsVideoPlay(JSContextRef ctx,
                                  JSObjectRef fn,
                                  JSObjectRef,
                                  size_t argc,
                                  const JSValueRef argv[],
                                  JSValueRef*) {
        if (auto* player = from(fn)->videoPlayer(ctx, argc, argv)) player->play();
        return JSValueMakeUndefined(ctx);
    }

    static JSValueRef jsVideoPause(JSContextRef ctx,
                                   JSObjectRef fn,
                                   JSObjectRef,
                                   size_t argc,
                                   const JSValueRef argv[],
                                   JSValueRef*) {
        if (auto* player = from(fn)->videoPlayer(ctx, argc, argv)) player->pause();
        return JSValueMakeUndefined(ctx);
    }

    static JSValueRef jsVideoSeek(JSContextRef ctx,
                                  JSObjectRef fn,
                                  JSObjectRef,
                                  size_t argc,
                                  const JSValueRef argv[],
                                  JSValueRef*) {
        Page* page = from(fn);
        double id = num(ctx, argc, argv, 0);
        if (auto* player = page->videoPlayer(ctx, argc, argv)) {
            std::weak_ptr<Page> weak = page->shared_from_this();
            player->seekToTime(num(ctx, argc, argv, 1), [weak, id](bool finished) {
                auto p = weak.lock();
                if (p && finished) p->videoEvent(id, "seeked");
            });
        }
        return JSValueMakeUndefined(ctx);
    }

    static JSValueRef jsVideoTime(JSContextRef ctx,
                                  JSObjectRef fn,
                                  JSObjectRef,
                                  size_t argc,
                                  const JSValueRef argv[],
                                  JSValueRef*) {
        auto* player = from(fn)->videoPlayer(ctx, argc, argv);
        double t = player ? player->currentTime() : 0;
        return JSValueMakeNumber(ctx, std::isnan(t) ? 0 : t);
    }

    static JSValueRef jsVideoDuration(JSContextRef ctx,
                                      JSObjectRef fn,
                                      JSObjectRef,
                                      size_t argc,
                                      const JSValueRef argv[],
                                      JSValueRef*) {
        auto* player = from(fn)->videoPlayer(ctx, argc, argv);
        double d =
            player && player->currentItem() ? player->currentItem()->duration() : std::nan("");
        return JSValueMakeNumber(ctx, d);
    }

    static JSValueRef jsVideoVolume(JSContextRef ctx,
                                    JSObjectRef fn,
                                    JSObjectRef,
                                    size_t argc,
                                    const JSValueRef argv[],
                                    JSValueRef*) {
        if (auto* player = from(fn)->videoPlayer(ctx, argc, argv)) {
            player->setVolume(float(num(ctx, argc, argv, 1)));
            player->setMuted(argc > 2 && JSValueToBoolean(ctx, argv[2]));
        }
        return JSValueMakeUndefined(ctx);
    }

    void close() {
        view = nullptr;
        while (!videos.empty())
            dropVideo(videos.begin()->first);
        auto running = std::move(loaders);
        loaders.clear();
        for (auto& [raw, loader] : running)
            loader->cancel();
        for (auto& [id, frame] : frames)
            frame->close();
        frames.clear();
        for (auto& [id, timer] : timers)
            timer->invalidate();
        timers.clear();
        if (ctx) {
            JSGlobalContextRelease(ctx);
            ctx = nullptr;
        }
        if (group) {
            JSContextGroupRelease(group);
            group = nullptr;
        }
    }

    static Page* from(JSObjectRef function) {
        return static_cast<Page*>(JSObjectGetPrivate(function));
    }

    net::URLRequest subresourceRequest(const net::URL& url) const {
        net::URLRequest request(url);
        request.setValueForHeader("Referer", documentURL.absoluteString());
        request.setValueForHeader("User-Agent", userAgent());
        request.mainDocumentURL = documentURL;
        return request;
    }

    // Runs `script` as one turn; the exception, if any, is logged and answered.
    JSValueRef evaluate(const std::string& script,
                        const std::string& sourceURL,
                        std::optional<std::string>* error = nullptr) {
        if (!ctx) return nullptr;
        JSStringRef source = makeJSString(script);
        JSStringRef url = JSStringCreateWithUTF8CString(sourceURL.c_str());
        JSValueRef exception = nullptr;
        JSValueRef result = JSEvaluateScript(ctx, source, nullptr, url, 1, &exception);
        JSStringRelease(source);
        JSStringRelease(url);
        if (exception) {
            reportException(exception);
            if (error) *error = toString(ctx, exception);
            return nullptr;
        }
        return result;
    }

    void reportException(JSValueRef exception) { logException(ctx, exception); }

    // Calls __dom[name](args...) as one turn.
    JSValueRef callDom(const char* name, std::initializer_list<JSValueRef> list = {}) {
        if (!ctx) return nullptr;
        // On the stack, where the collector sees them.
        JSValueRef args[4] = {};
        size_t count = 0;
        for (JSValueRef v : list) {
            if (count < 4) args[count++] = v;
        }
        JSObjectRef global = JSContextGetGlobalObject(ctx);
        JSValueRef dom = getProperty(ctx, global, "__dom");
        if (!JSValueIsObject(ctx, dom)) return nullptr;
        JSObjectRef domObject = JSValueToObject(ctx, dom, nullptr);
        JSValueRef fn = getProperty(ctx, domObject, name);
        if (!JSValueIsObject(ctx, fn)) return nullptr;
        JSValueRef exception = nullptr;
        JSValueRef result = JSObjectCallAsFunction(ctx, JSValueToObject(ctx, fn, nullptr),
                                                   domObject, count, args, &exception);
        if (exception) {
            reportException(exception);
            return nullptr;
        }
        return result;
    }

    void start() {
        auto self = shared_from_this();
        if (entry.html) {
            Queue::main()->async([self] {
                if (self->view) self->run(*self->entry.html);
            });
            return;
        }
        if (entry.request.url.scheme() == "about") {
            Queue::main()->async([self] {
                if (self->view) self->run("");
            });
            return;
        }
        net::URLRequest request = entry.request;
        if (!request.valueForHeader("User-Agent"))
            request.setValueForHeader("User-Agent", userAgent());
        std::weak_ptr<Page> weak = self;
        load(request, [weak](const std::optional<net::HTTPURLResponse>& response, const Data& data,
                             const std::optional<Error>& error) {
            auto page = weak.lock();
            if (!page || !page->view) return;
            if (error) {
                page->view->pageDidFail(*page, *error);
                return;
            }
            if (response) page->documentURL = response->url();
            page->response = response;
            page->run(std::string(reinterpret_cast<const char*>(data.data()), data.size()));
        });
    }

    // The context made ahead for the view's next page when there is one (main frames only),
    // else a new one.
    void makeContext();

    static std::string arg(JSContextRef ctx, size_t argc, const JSValueRef argv[], size_t i) {
        return i < argc ? toString(ctx, argv[i]) : std::string();
    }
    static double num(JSContextRef ctx, size_t argc, const JSValueRef argv[], size_t i) {
        return i < argc ? JSValueToNumber(ctx, argv[i], nullptr) : 0;
    }

    static JSValueRef jsLog(JSContextRef ctx,
                            JSObjectRef,
                            JSObjectRef,
                            size_t argc,
                            const JSValueRef argv[],
                            JSValueRef*) {
        std::string level = arg(ctx, argc, argv, 0);
        std::string text = arg(ctx, argc, argv, 1);
        platform::log("WebView console" + (level == "log" ? std::string() : " " + level) + ": " +
                      text);
        return JSValueMakeUndefined(ctx);
    }

    static JSValueRef jsParseHTML(JSContextRef ctx,
                                  JSObjectRef,
                                  JSObjectRef,
                                  size_t argc,
                                  const JSValueRef argv[],
                                  JSValueRef*) {
        return treeList(ctx, parseHTMLFragment(arg(ctx, argc, argv, 0)));
    }

    static JSValueRef jsResolve(JSContextRef ctx,
                                JSObjectRef fn,
                                JSObjectRef,
                                size_t argc,
                                const JSValueRef argv[],
                                JSValueRef*) {
        auto resolved = net::URL::resolve(arg(ctx, argc, argv, 0), from(fn)->documentURL);
        if (!resolved) return JSValueMakeUndefined(ctx);
        return makeString(ctx, resolved->absoluteString());
    }

    static JSValueRef jsNavigate(JSContextRef ctx,
                                 JSObjectRef fn,
                                 JSObjectRef,
                                 size_t argc,
                                 const JSValueRef argv[],
                                 JSValueRef*) {
        Page* page = from(fn);
        std::string text = arg(ctx, argc, argv, 0);
        auto url = net::URL::resolve(text, page->documentURL);
        if (!url) {
            platform::log("WebView console error: cannot navigate to " + text);
        } else if (page->view) {
            net::URLRequest request(*url);
            request.mainDocumentURL = page->documentURL;
            bool frame = argc > 2 && JSValueToBoolean(ctx, argv[2]);
            auto type = static_cast<NavigationType>(int64_t(num(ctx, argc, argv, 1)));
            if (frame) {
                page->view->queueNavigation(request, type, false, page->shared_from_this(),
                                            num(ctx, argc, argv, 4));
            } else if (auto parent = page->parent.lock()) {
                // A frame's own location change navigates that frame.
                page->view->queueNavigation(request, type, false, parent, page->frameId);
            } else {
                page->view->queueNavigation(request, type, true);
            }
        }
        return JSValueMakeUndefined(ctx);
    }

    static JSValueRef jsDocumentURL(JSContextRef ctx,
                                    JSObjectRef fn,
                                    JSObjectRef,
                                    size_t,
                                    const JSValueRef[],
                                    JSValueRef*) {
        return makeString(ctx, from(fn)->documentURL.absoluteString());
    }

    static JSValueRef jsUserAgent(JSContextRef ctx,
                                  JSObjectRef,
                                  JSObjectRef,
                                  size_t,
                                  const JSValueRef[],
                                  JSValueRef*) {
        return makeString(ctx, userAgent());
    }

    static JSValueRef jsSetTimer(JSContextRef ctx,
                                 JSObjectRef fn,
                                 JSObjectRef,
                                 size_t argc,
                                 const JSValueRef argv[],
                                 JSValueRef*) {
        Page* page = from(fn);
        double id = num(ctx, argc, argv, 0);
        double interval = std::max(num(ctx, argc, argv, 1), 1.0) / 1000;
        bool repeats = argc > 2 && JSValueToBoolean(ctx, argv[2]);
        std::weak_ptr<Page> weak = page->shared_from_this();
        page->timers[id] = Timer::scheduled(interval, repeats, [weak, id, repeats](Timer&) {
            auto p = weak.lock();
            if (!p || !p->ctx) return;
            if (!repeats) p->timers.erase(id);
            p->callDom("fireTimer", {JSValueMakeNumber(p->ctx, id)});
        });
        return JSValueMakeUndefined(ctx);
    }

    static JSValueRef jsClearTimer(JSContextRef ctx,
                                   JSObjectRef fn,
                                   JSObjectRef,
                                   size_t argc,
                                   const JSValueRef argv[],
                                   JSValueRef*) {
        Page* page = from(fn);
        auto it = page->timers.find(num(ctx, argc, argv, 0));
        if (it != page->timers.end()) {
            it->second->invalidate();
            page->timers.erase(it);
        }
        return JSValueMakeUndefined(ctx);
    }

    // Fetches a subresource; done(body) on the main thread, std::nullopt when it failed.
    void fetch(const std::string& text, std::function<void(Page&, std::optional<Data>)> done) {
        auto url = net::URL::resolve(text, documentURL);
        std::weak_ptr<Page> weak = shared_from_this();
        if (!url) {
            Queue::main()->async([weak, done] {
                if (auto p = weak.lock(); p && p->ctx) done(*p, std::nullopt);
            });
            return;
        }
        load(subresourceRequest(*url), [weak, done](
                                           const std::optional<net::HTTPURLResponse>& response,
                                           const Data& data, const std::optional<Error>& error) {
            auto p = weak.lock();
            if (!p || !p->ctx) return;
            bool ok = !error && (!response || !response->isHTTP() || response->statusCode() < 400);
            done(*p, ok ? std::optional<Data>(data) : std::nullopt);
        });
    }

    static JSValueRef jsLoadScript(JSContextRef ctx,
                                   JSObjectRef fn,
                                   JSObjectRef,
                                   size_t argc,
                                   const JSValueRef argv[],
                                   JSValueRef*) {
        Page* page = from(fn);
        std::string src = arg(ctx, argc, argv, 0);
        double id = num(ctx, argc, argv, 1);
        page->fetch(src, [src, id](Page& p, std::optional<Data> body) {
            if (body) {
                std::optional<std::string> error;
                p.evaluate(std::string(reinterpret_cast<const char*>(body->data()), body->size()),
                           src, &error);
            } else {
                platform::log("WebView console error: failed to load script " + src);
            }
            if (p.ctx) {
                p.callDom("scriptDone",
                          {JSValueMakeNumber(p.ctx, id), JSValueMakeBoolean(p.ctx, bool(body))});
            }
        });
        return JSValueMakeUndefined(ctx);
    }

    static JSValueRef jsLoadImage(JSContextRef ctx,
                                  JSObjectRef fn,
                                  JSObjectRef,
                                  size_t argc,
                                  const JSValueRef argv[],
                                  JSValueRef*) {
        Page* page = from(fn);
        std::string src = arg(ctx, argc, argv, 0);
        if (page->images.count(src)) return JSValueMakeUndefined(ctx);
        page->images[src] = std::nullopt;
        page->fetch(src, [src](Page& p, std::optional<Data> body) {
            if (body) p.images[src] = render::Image::fromData(*body, 1);
        });
        return JSValueMakeUndefined(ctx);
    }

    static JSValueRef jsEvaluate(JSContextRef ctx,
                                 JSObjectRef fn,
                                 JSObjectRef,
                                 size_t argc,
                                 const JSValueRef argv[],
                                 JSValueRef*) {
        // A script element inserted by a script runs at once, inside that turn.
        from(fn)->evaluate(arg(ctx, argc, argv, 0), arg(ctx, argc, argv, 1));
        return JSValueMakeUndefined(ctx);
    }

    static JSValueRef jsReload(JSContextRef ctx,
                               JSObjectRef fn,
                               JSObjectRef,
                               size_t,
                               const JSValueRef[],
                               JSValueRef*) {
        Page* page = from(fn);
        if (page->view)
            page->view->queueNavigation(page->entry.request, NavigationType::Reload, true);
        return JSValueMakeUndefined(ctx);
    }

    // The document parsed, built and its scripts run in order, then DOMContentLoaded and load.
    std::vector<std::pair<std::optional<std::string>, std::string>> scripts;
    size_t nextScript = 0;

    void run(const std::string& html) {
        makeContext();
        auto tree = parseHTMLDocument(html);
        callDom("load", {treeValue(ctx, *tree)});
        JSValueRef list = callDom("scripts");
        if (list && JSValueIsObject(ctx, list)) {
            JSObjectRef array = JSValueToObject(ctx, list, nullptr);
            int count = int(JSValueToNumber(ctx, getProperty(ctx, array, "length"), nullptr));
            for (int i = 0; i < count; ++i) {
                JSObjectRef item = JSValueToObject(
                    ctx, JSObjectGetPropertyAtIndex(ctx, array, i, nullptr), nullptr);
                JSValueRef src = JSObjectGetPropertyAtIndex(ctx, item, 0, nullptr);
                std::optional<std::string> source;
                if (!JSValueIsNull(ctx, src)) source = toString(ctx, src);
                scripts.emplace_back(
                    source, toString(ctx, JSObjectGetPropertyAtIndex(ctx, item, 1, nullptr)));
            }
        }
        JSValueRef frames = callDom("frames");
        if (frames && JSValueIsObject(ctx, frames)) {
            JSObjectRef array = JSValueToObject(ctx, frames, nullptr);
            int count = int(JSValueToNumber(ctx, getProperty(ctx, array, "length"), nullptr));
            for (int i = 0; i < count && view; ++i) {
                JSObjectRef item = JSValueToObject(
                    ctx, JSObjectGetPropertyAtIndex(ctx, array, i, nullptr), nullptr);
                auto url = net::URL::parse(
                    toString(ctx, JSObjectGetPropertyAtIndex(ctx, item, 0, nullptr)));
                if (!url) continue;
                net::URLRequest request(*url);
                request.mainDocumentURL = documentURL;
                view->queueNavigation(
                    request, NavigationType::Other, false, shared_from_this(),
                    JSValueToNumber(ctx, JSObjectGetPropertyAtIndex(ctx, item, 1, nullptr),
                                    nullptr));
            }
        }
        runScripts();
    }

    static constexpr int kMaxFrameDepth = 8;

    // An accepted frame navigation: the frame's document loads and runs in a page of its own.
    void loadFrame(double id, net::URLRequest request) {
        const std::string& scheme = request.url.scheme();
        if (!view || (scheme != "http" && scheme != "https" && scheme != "about")) return;
        if (depth >= kMaxFrameDepth) {
            platform::log("WebView console error: frames nested too deeply, not loading " +
                          request.url.absoluteString());
            return;
        }
        if (auto old = frames.find(id); old != frames.end()) old->second->close();
        request.setValueForHeader("Referer", documentURL.absoluteString());
        auto frame = std::make_shared<Page>(view, Entry{request, std::nullopt}, request.url);
        frame->parent = shared_from_this();
        frame->frameId = id;
        frame->depth = depth + 1;
        frames[id] = frame;
        frame->start();
    }

    void runScripts() {
        while (ctx && nextScript < scripts.size()) {
            auto [src, text] = scripts[nextScript++];
            if (src) {
                fetch(*src, [src = *src](Page& p, std::optional<Data> body) {
                    if (body) {
                        p.evaluate(
                            std::string(reinterpret_cast<const char*>(body->data()), body->size()),
                            src);
                    } else {
                        platform::log("WebView console error: failed to load script " + src);
                    }
                    p.runScripts();
                });
                return;
            }
            evaluate(text, documentURL.absoluteString());
        }
        if (!ctx || finished) return;
        finished = true;
        // After the navigations the scripts queued have been offered.
        std::weak_ptr<Page> weak = shared_from_this();
        Queue::main()->async([weak] {
            auto page = weak.lock();
            if (!page || !page->ctx) return;
            page->callDom("contentLoaded");
            page->callDom("loaded");
            if (page->view) page->view->pageDidFinish(*page);
        });
    }
};

// A page's script context: an engine instance (context group) of its own, the global object
// with the bridge functions under `__native`, and the DOM prelude run in it.
struct WebView::ScriptContext {
    JSContextGroupRef group = nullptr;
    JSGlobalContextRef ctx = nullptr;
    // A context made ahead: its bridge functions, kept from the collector until a page takes
    // them and becomes their private data.
    std::vector<JSObjectRef> bridge;

    ScriptContext() = default;
    ScriptContext(const ScriptContext&) = delete;
    ScriptContext& operator=(const ScriptContext&) = delete;
    ~ScriptContext() {
        for (JSObjectRef fn : bridge)
            JSValueUnprotect(ctx, fn);
        if (ctx) JSGlobalContextRelease(ctx);
        if (group) JSContextGroupRelease(group);
    }

    // `page` is the functions' private data; nullptr for a context made ahead of its page (the
    // prelude calls none that needs the page).
    static std::unique_ptr<ScriptContext> make(Page* page) {
        auto made = std::make_unique<ScriptContext>();
        made->group = JSContextGroupCreate();
        setExecutionTimeLimit(made->group, kScriptTimeLimit);
        JSGlobalContextRef ctx = JSGlobalContextCreateInGroup(made->group, nullptr);
        made->ctx = ctx;
        JSObjectRef native = JSObjectMake(ctx, nullptr, nullptr);
        const std::pair<const char*, JSObjectCallAsFunctionCallback> functions[] = {
            {"log", &Page::jsLog},
            {"parseHTML", &Page::jsParseHTML},
            {"resolve", &Page::jsResolve},
            {"navigate", &Page::jsNavigate},
            {"documentURL", &Page::jsDocumentURL},
            {"userAgent", &Page::jsUserAgent},
            {"setTimer", &Page::jsSetTimer},
            {"clearTimer", &Page::jsClearTimer},
            {"loadScript", &Page::jsLoadScript},
            {"loadImage", &Page::jsLoadImage},
            {"evaluate", &Page::jsEvaluate},
            {"reload", &Page::jsReload},
            {"videoLoad", &Page::jsVideoLoad},
            {"videoPlay", &Page::jsVideoPlay},
            {"videoPause", &Page::jsVideoPause},
            {"videoSeek", &Page::jsVideoSeek},
            {"videoTime", &Page::jsVideoTime},
            {"videoDuration", &Page::jsVideoDuration},
            {"videoVolume", &Page::jsVideoVolume},
        };
        for (const auto& [name, call] : functions) {
            // A function object per bridge call, carrying the page as its private data.
            JSClassDefinition def = kJSClassDefinitionEmpty;
            def.callAsFunction = call;
            JSClassRef fnClass = JSClassCreate(&def);
            JSObjectRef fn = JSObjectMake(ctx, fnClass, page);
            JSClassRelease(fnClass);
            setProperty(ctx, native, name, fn);
            if (!page) {
                JSValueProtect(ctx, fn);
                made->bridge.push_back(fn);
            }
        }
        setProperty(ctx, JSContextGetGlobalObject(ctx), "__native", native);
        JSStringRef source = makeJSString(kPrelude);
        JSStringRef url = JSStringCreateWithUTF8CString("prelude");
        JSValueRef exception = nullptr;
        JSEvaluateScript(ctx, source, nullptr, url, 1, &exception);
        JSStringRelease(source);
        JSStringRelease(url);
        if (exception) logException(ctx, exception);
        return made;
    }
};

// A context being made ahead: `context` is set, and `done` raised, by the maker thread.
struct WebView::Preparing {
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    std::unique_ptr<ScriptContext> context;
};

namespace {

// The one thread that makes contexts ahead, for the whole process: a thread of its own keeps
// the engine's per-thread allocation caches warm from one context to the next (a new thread
// for each starts them cold). Never destroyed: a view may still be waiting at exit.
class ContextMaker {
  public:
    static ContextMaker& shared() {
        static ContextMaker* maker = new ContextMaker();
        return *maker;
    }
    void make(std::shared_ptr<WebView::Preparing> preparing) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(preparing));
        }
        jobsChanged_.notify_one();
    }

  private:
    ContextMaker() {
        std::thread([this] { run(); }).detach();
    }
    void run() {
        for (;;) {
            std::shared_ptr<WebView::Preparing> job;
            {
                std::unique_lock lock(mutex_);
                jobsChanged_.wait(lock, [this] { return !jobs_.empty(); });
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            // The timers' context is current on this thread while the engine instance is made
            // (the main loop skips it meanwhile).
            GMainContext* timers = preparedTimerContext();
            while (!g_main_context_acquire(timers))
                std::this_thread::yield();
            g_main_context_push_thread_default(timers);
            auto context = WebView::makeAheadScriptContext();
            g_main_context_pop_thread_default(timers);
            g_main_context_release(timers);
            {
                std::lock_guard lock(job->mutex);
                job->context = std::move(context);
                job->done = true;
            }
            job->doneChanged.notify_all();
        }
    }
    std::mutex mutex_;
    std::condition_variable jobsChanged_;
    std::deque<std::shared_ptr<WebView::Preparing>> jobs_;
};

}  // namespace

std::unique_ptr<WebView::ScriptContext> WebView::makeAheadScriptContext() {
    return ScriptContext::make(nullptr);
}

void WebView::Page::makeContext() {
    std::unique_ptr<ScriptContext> made;
    if (depth == 0 && view) made = view->takePreparedScriptContext();
    if (made) {
        for (JSObjectRef fn : made->bridge) {
            JSObjectSetPrivate(fn, this);
            JSValueUnprotect(made->ctx, fn);
        }
        made->bridge.clear();
    } else {
        made = ScriptContext::make(this);
    }
    group = std::exchange(made->group, nullptr);
    ctx = std::exchange(made->ctx, nullptr);
}

void WebView::prepareScriptContext() {
    ui::assertMainThread("WebView::prepareScriptContext");
    if (preparing_) return;
    preparing_ = std::make_shared<Preparing>();
    ContextMaker::shared().make(preparing_);
}

std::unique_ptr<WebView::ScriptContext> WebView::takePreparedScriptContext() {
    if (!preparing_) return nullptr;
    auto preparing = std::move(preparing_);
    preparing_.reset();
    std::unique_lock lock(preparing->mutex);
    preparing->doneChanged.wait(lock, [&] { return preparing->done; });
    return std::move(preparing->context);
}

WebView::WebView() : WebView(ui::Rect()) {}

WebView::WebView(const ui::Rect& frame)
    : ui::View(frame),
      alive_(std::make_shared<bool>(true)),
      scrollView_(std::make_shared<ui::ScrollView>(ui::Rect(ui::Point(), frame.size))) {
    setOpaque(false);
    attachLoopHook();
}

WebView::~WebView() {
    *alive_ = false;
    if (page_) page_->close();
    takePreparedScriptContext();
    if (--liveViews() == 0 && loopHook() >= 0) {
        RunLoop::main().removeHook(loopHook());
        loopHook() = -1;
    }
}

void WebView::attachLoopHook() {
    // The engine's own timers (its collector among them) run on the default GLib context.
    if (liveViews()++ == 0) {
        loopHook() = RunLoop::main().addHook([] {
            const bool acted = g_main_context_iteration(nullptr, FALSE) != 0;
            return g_main_context_iteration(preparedTimerContext(), FALSE) != 0 || acted;
        });
    }
}

const std::string& WebView::userAgent() {
    // Never destroyed: the context maker's thread may still read it while the process exits.
    static const auto* agent = new std::string("Mozilla/5.0 (Linux; Qen) Mobile");
    return *agent;
}

void WebView::loadRequest(const net::URLRequest& request) {
    ui::assertMainThread("WebView::loadRequest");
    startNavigation(Entry{request, std::nullopt}, NavigationType::Other);
}

void WebView::loadHTMLString(const std::string& html, const std::optional<net::URL>& baseURL) {
    ui::assertMainThread("WebView::loadHTMLString");
    net::URL url = baseURL ? *baseURL : *net::URL::parse("about:blank");
    startNavigation(Entry{net::URLRequest(url), html}, NavigationType::Other);
}

namespace {
// Offered requests carry the page's User-Agent, as the load will send it.
net::URLRequest withUserAgent(net::URLRequest request) {
    if (!request.valueForHeader("User-Agent")) {
        request.setValueForHeader("User-Agent", WebView::userAgent());
    }
    return request;
}
}  // namespace

void WebView::startNavigation(const Entry& given, NavigationType type) {
    Entry entry = given;
    entry.request = withUserAgent(entry.request);
    if (auto d = delegate_.lock()) {
        if (!d->shouldStartLoadWithRequest(*this, entry.request, type)) return;
    }
    if (type == NavigationType::BackForward || type == NavigationType::Reload) {
        commit(entry);
        return;
    }
    // A jump to a fragment of the page shown moves within it instead of loading it again.
    const net::URL& url = entry.request.url;
    if (!entry.html && page_ && page_->ctx && !loading_ && url.fragment() &&
        url.withoutFragment() == page_->documentURL.withoutFragment()) {
        page_->documentURL = url;
        page_->callDom("hashChanged");
        return;
    }
    if (!history_.empty()) history_.erase(history_.begin() + historyIndex_ + 1, history_.end());
    history_.push_back(entry);
    historyIndex_ = history_.size() - 1;
    commit(entry);
}

void WebView::commit(const Entry& entry) {
    if (page_ && loading_) {
        auto old = page_;
        old->close();
        if (auto d = delegate_.lock()) {
            d->didFailLoadWithError(*this,
                                    net::makeURLError(net::kURLErrorCancelled,
                                                      old->entry.request.url.absoluteString()));
        }
    } else if (page_) {
        page_->close();
    }
    page_ = std::make_shared<Page>(this, entry, entry.request.url);
    loading_ = true;
    std::weak_ptr<Page> weak = page_;
    Queue::main()->async([weak] {
        auto page = weak.lock();
        if (!page || !page->view) return;
        if (auto d = page->view->delegate_.lock()) d->webViewDidStartLoad(*page->view);
        if (page->view) page->start();
    });
}

void WebView::pageDidFinish(Page& page) {
    if (&page != page_.get()) return;
    loading_ = false;
    updateContentSize();
    if (auto d = delegate_.lock()) d->webViewDidFinishLoad(*this);
}

void WebView::didChangeSize() {
    ui::View::didChangeSize();
    scrollView_->setFrame(ui::Rect(ui::Point(), bounds().size));
    updateContentSize();
}

void WebView::updateContentSize() {
    ui::Size size = bounds().size;
    if (page_ && page_->ctx && !loading_) {
        JSContextRef ctx = page_->ctx;
        auto page = page_;
        JSValueRef list = page->callDom(
            "layout", {JSValueMakeNumber(ctx, size.width), JSValueMakeNumber(ctx, size.height)});
        if (page->ctx && list && JSValueIsObject(ctx, list)) {
            JSObjectRef array = JSValueToObject(ctx, list, nullptr);
            const int count = int(JSValueToNumber(ctx, getProperty(ctx, array, "length"), nullptr));
            for (int i = 0; i < count; ++i) {
                JSObjectRef box = JSValueToObject(
                    ctx, JSObjectGetPropertyAtIndex(ctx, array, i, nullptr), nullptr);
                if (!box) continue;
                auto number = [&](const char* name) {
                    const double value = JSValueToNumber(ctx, getProperty(ctx, box, name), nullptr);
                    return std::isfinite(value) ? value : 0.0;
                };
                size.width = std::max(size.width, number("x") + number("w"));
                size.height = std::max(size.height, number("y") + number("h"));
            }
        }
    }
    scrollView_->setContentSize(size);
}

void WebView::pageDidFail(Page& page, const Error& error) {
    if (&page != page_.get()) return;
    loading_ = false;
    if (auto d = delegate_.lock()) d->didFailLoadWithError(*this, error);
}

void WebView::queueNavigation(const net::URLRequest& request,
                              NavigationType type,
                              bool mainFrame,
                              const std::shared_ptr<Page>& owner,
                              double frameId) {
    pending_.push_back(Pending{request, type, mainFrame, owner, frameId});
    if (deliveryPosted_) return;
    deliveryPosted_ = true;
    std::weak_ptr<bool> alive = alive_;
    Queue::main()->async([this, alive] {
        if (alive.expired()) return;
        deliverNavigations();
    });
}

void WebView::deliverNavigations() {
    deliveryPosted_ = false;
    auto alive = alive_;
    while (*alive && !pending_.empty()) {
        Pending next = pending_.front();
        pending_.erase(pending_.begin());
        if (next.mainFrame) {
            if (next.type == NavigationType::Reload && history_.size() > historyIndex_) {
                Entry entry = history_[historyIndex_];
                startNavigation(entry, NavigationType::Reload);
            } else {
                startNavigation(Entry{next.request, std::nullopt}, next.type);
            }
        } else {
            auto d = delegate_.lock();
            next.request = withUserAgent(next.request);
            if (d && !d->shouldStartLoadWithRequest(*this, next.request, next.type)) continue;
            if (!*alive) return;
            if (auto owner = next.owner.lock(); owner && owner->ctx) {
                owner->loadFrame(next.frameId, next.request);
            }
        }
    }
}

void WebView::stopLoading() {
    ui::assertMainThread("WebView::stopLoading");
    if (page_ && loading_) {
        page_->close();
        loading_ = false;
        if (auto d = delegate_.lock()) {
            d->didFailLoadWithError(*this,
                                    net::makeURLError(net::kURLErrorCancelled,
                                                      page_->entry.request.url.absoluteString()));
        }
    }
}

void WebView::reload() {
    ui::assertMainThread("WebView::reload");
    if (history_.empty()) return;
    startNavigation(history_[historyIndex_], NavigationType::Reload);
}

void WebView::goBack() {
    ui::assertMainThread("WebView::goBack");
    if (!canGoBack()) return;
    const Entry entry = history_[historyIndex_ - 1];
    if (auto d = delegate_.lock()) {
        if (!d->shouldStartLoadWithRequest(*this, entry.request, NavigationType::BackForward))
            return;
    }
    historyIndex_--;
    commit(entry);
}

void WebView::goForward() {
    ui::assertMainThread("WebView::goForward");
    if (!canGoForward()) return;
    const Entry entry = history_[historyIndex_ + 1];
    if (auto d = delegate_.lock()) {
        if (!d->shouldStartLoadWithRequest(*this, entry.request, NavigationType::BackForward))
            return;
    }
    historyIndex_++;
    commit(entry);
}

bool WebView::canGoBack() const {
    return !history_.empty() && historyIndex_ > 0;
}
bool WebView::canGoForward() const {
    return historyIndex_ + 1 < history_.size();
}
bool WebView::isLoading() const {
    return loading_;
}

std::optional<net::URLRequest> WebView::request() const {
    if (!page_) return std::nullopt;
    return page_->entry.request;
}

std::optional<net::HTTPURLResponse> WebView::response() const {
    if (!page_) return std::nullopt;
    return page_->response;
}

std::string WebView::stringByEvaluatingJavaScriptFromString(const std::string& script) {
    ui::assertMainThread("WebView::stringByEvaluatingJavaScriptFromString");
    if (!page_ || !page_->ctx) return "";
    auto page = page_;
    JSValueRef result = page->evaluate(script, "");
    return page->ctx ? toString(page->ctx, result) : "";
}

void WebView::evaluateJavaScript(
    const std::string& script,
    std::function<void(const std::string&, const std::optional<Error>&)> completion) {
    ui::assertMainThread("WebView::evaluateJavaScript");
    std::weak_ptr<bool> alive = alive_;
    Queue::main()->async([this, alive, script, completion] {
        if (alive.expired()) return;
        std::optional<std::string> error;
        std::string result;
        if (page_ && page_->ctx) {
            auto page = page_;
            JSValueRef value = page->evaluate(script, "", &error);
            if (page->ctx) result = toString(page->ctx, value);
            if (page == page_) updateContentSize();
        } else {
            error = "no page";
        }
        if (!completion) return;
        if (error) {
            completion(result, Error::withDescription("WebViewErrorDomain", 4, *error));
        } else {
            completion(result, std::nullopt);
        }
    });
}

void WebView::draw(render::Canvas& canvas, const ui::Rect& rect) {
    ui::View::draw(canvas, rect);
    if (!page_ || !page_->ctx) return;
    JSContextRef ctx = page_->ctx;
    JSValueRef list = page_->callDom("layout", {JSValueMakeNumber(ctx, bounds().size.width),
                                                JSValueMakeNumber(ctx, bounds().size.height)});
    if (!list || !JSValueIsObject(ctx, list)) return;
    JSObjectRef array = JSValueToObject(ctx, list, nullptr);
    int count = int(JSValueToNumber(ctx, getProperty(ctx, array, "length"), nullptr));
    canvas.save();
    canvas.clipToRect(bounds());
    for (int i = 0; i < count; ++i) {
        JSObjectRef box =
            JSValueToObject(ctx, JSObjectGetPropertyAtIndex(ctx, array, i, nullptr), nullptr);
        if (!box) continue;
        auto number = [&](const char* name) {
            return JSValueToNumber(ctx, getProperty(ctx, box, name), nullptr);
        };
        ui::Rect r(number("x"), number("y"), number("w"), number("h"));
        std::string kind = toString(ctx, getProperty(ctx, box, "kind"));
        JSValueRef colorValue = getProperty(ctx, box, "color");
        if (JSValueIsObject(ctx, colorValue)) {
            JSObjectRef c = JSValueToObject(ctx, colorValue, nullptr);
            auto part = [&](unsigned k) {
                return JSValueToNumber(ctx, JSObjectGetPropertyAtIndex(ctx, c, k, nullptr),
                                       nullptr);
            };
            canvas.fillRect(
                r, render::Color::fromRGB255(int(part(0)), int(part(1)), int(part(2)), part(3)));
        }
        if (kind == "image") {
            auto it = page_->images.find(toString(ctx, getProperty(ctx, box, "src")));
            if (it != page_->images.end() && it->second) {
                ui::Rect target = r;
                if (target.size.width <= 0 || target.size.height <= 0)
                    target.size = it->second->size();
                canvas.drawImage(*it->second, target);
            }
        } else if (kind == "video") {
            auto it = page_->videos.find(number("video"));
            media::VideoFrame frame;
            if (it != page_->videos.end() && it->second.player)
                frame = it->second.player->currentFrame();
            auto image =
                frame ? render::Image::wrappingPixels(frame.pixels, frame.pixels.get(), frame.width,
                                                      frame.height, frame.stride, 1)
                      : std::nullopt;
            if (image) {
                // Fitted into its box, as a page's video is by default.
                canvas.save();
                canvas.clipToRect(r);
                canvas.drawImage(*image, r, render::ContentMode::AspectFit);
                canvas.restore();
            }
        } else if (kind == "text") {
            canvas.drawText(toString(ctx, getProperty(ctx, box, "text")), r,
                            render::Font::system(14), render::Color::black());
        }
    }
    canvas.restore();
}

void WebView::touchesEnded(const ui::Touches& touches) {
    if (touches.empty() || !page_ || !page_->ctx) return;
    ui::Point p = touches.front()->locationInView(this);
    page_->callDom("tap", {JSValueMakeNumber(page_->ctx, p.x), JSValueMakeNumber(page_->ctx, p.y)});
}

}  // namespace platform::web
