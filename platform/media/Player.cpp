#include "platform/media/Player.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>
#include <mutex>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/Timer.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Text.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/MediaDecoder.h"
#include "platform/media/MediaError.h"
#include "platform/net/URLLoader.h"

namespace platform::media {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Two times closer than this are the same moment (the clock sums its steps in doubles).
constexpr double kEpsilon = 1e-9;
// Decoded pictures kept beyond the one on show.
constexpr size_t kFramesAhead = 8;
// Sound written ahead of what is heard, and how often more is written.
constexpr double kAudioAhead = 0.3;
constexpr double kAudioInterval = 0.05;
// The longest a virtual-clock frame request waits for the decoder, in real seconds: a bound
// against a stuck decoder only, so it is generous enough for a machine that is busy.
constexpr double kFrameWait = 30;

void assertMain(const char* what) {
    if (!Queue::main()->isCurrent()) {
        std::fprintf(stderr, "platform::media: %s called off the main thread\n", what);
        std::abort();
    }
}

}  // namespace

// ---- The decoding side of an item ----

struct PlayerItem::Engine : std::enable_shared_from_this<PlayerItem::Engine> {
    std::shared_ptr<Queue> queue = Queue::serial("platform.media.decode");
    std::shared_ptr<detail::GrowingSource> download;
    std::shared_ptr<net::URLLoader> loader;
    std::atomic<bool> closed{false};
    std::unique_ptr<detail::Decoder> decoder;  // on the queue only

    std::mutex mutex;
    std::condition_variable cv;
    // Under mutex:
    bool hasVideo = false;
    std::deque<VideoFrame> frames;  // by time
    std::deque<detail::AudioChunk> audio;
    double want = 0;  // the time on show
    bool ended = false;
    bool broken = false;
    uint64_t generation = 0;  // a seek starts a new one; older decoding is dropped
    bool fillPosted = false;
    // Sound, while a stream is open.
    std::unique_ptr<AudioStream> stream;
    double audioWritten = 0;
    float gain = 1;
    double timelineTime = 0, timelineClock = 0, timelineRate = 0;

    // Under mutex.
    size_t framesAfter(double t) const {
        size_t n = 0;
        for (auto it = frames.rbegin(); it != frames.rend() && it->time > t + kEpsilon; ++it)
            ++n;
        return n;
    }
    void trim() {
        while (frames.size() >= 2 && frames[1].time <= want + kEpsilon)
            frames.pop_front();
    }
    double audioTarget() const {
        return timelineTime + (Clock::now() - timelineClock) * timelineRate + kAudioAhead;
    }
    bool audioShort() const {
        if (!stream) return false;
        double decodedTo = audio.empty()
                               ? audioWritten
                               : audio.back().time + double(audio.back().samples.size() / 2) /
                                                         detail::Decoder::kSampleRate;
        return decodedTo < audioTarget();
    }
    bool needsMore() const {
        if (closed || ended || broken || !decoder) return false;
        return (hasVideo && framesAfter(want) < kFramesAhead) || audioShort();
    }

    // On the queue: decodes until enough is buffered (or `maxSteps` packets were read). Reports a
    // breakage through `broke`.
    void fill(const std::function<void(const Error&)>& broke,
              int maxSteps = std::numeric_limits<int>::max()) {
        for (int steps = 0;; ++steps) {
            uint64_t gen;
            bool withAudio;
            {
                std::lock_guard lock(mutex);
                if (steps >= maxSteps) return;
                if (!needsMore()) {
                    fillPosted = false;
                    cv.notify_all();
                    return;
                }
                gen = generation;
                withAudio = stream != nullptr;
            }
            std::vector<VideoFrame> got;
            std::vector<detail::AudioChunk> sound;
            auto step = decoder->step(got, withAudio ? &sound : nullptr);
            std::lock_guard lock(mutex);
            if (gen != generation) continue;
            for (auto& f : got) {
                // Pictures come in presentation order; a stray older one is dropped.
                if (!frames.empty() && f.time <= frames.back().time) continue;
                frames.push_back(std::move(f));
            }
            trim();
            for (auto& chunk : sound)
                audio.push_back(std::move(chunk));
            if (step == detail::Decoder::Step::End) ended = true;
            if (step == detail::Decoder::Step::Failed) {
                broken = true;
                fillPosted = false;
                cv.notify_all();
                if (broke)
                    broke(decoder->error().value_or(
                        mediaError(kMediaErrorDecodeFailed, "The media stopped decoding.")));
                return;
            }
            cv.notify_all();
        }
    }

    // Under mutex: makes sure decoding goes on.
    void requestFill(const std::function<void(const Error&)>& broke) {
        if (fillPosted || !needsMore()) return;
        fillPosted = true;
        queue->async([self = shared_from_this(), broke] { self->fill(broke); });
    }

    // Any thread but the queue.
    VideoFrame frameAt(double t, bool wait, const std::function<void(const Error&)>& broke) {
        std::unique_lock lock(mutex);
        if (!hasVideo) return {};
        want = t;
        trim();
        requestFill(broke);
        if (wait) {
            cv.wait_for(lock, std::chrono::duration<double>(kFrameWait),
                        [&] { return closed || ended || broken || framesAfter(t) > 0; });
            trim();
        }
        return frames.empty() ? VideoFrame{} : frames.front();
    }

    // On the queue: writes sound up to a little ahead of the time heard. Each turn decodes a
    // bounded amount, so a decoder slower than the clock still lets some sound out; pictures
    // older than the time heard are let go even when nobody draws them.
    void pumpAudio(const std::function<void(const Error&)>& broke) {
        {
            std::lock_guard lock(mutex);
            if (!stream) return;
            want = std::max(want, audioTarget() - kAudioAhead);
            trim();
        }
        fill(broke, 32);
        std::lock_guard lock(mutex);
        if (!stream) return;
        double until = audioTarget();
        const double rate = detail::Decoder::kSampleRate;
        while (!audio.empty()) {
            auto& chunk = audio.front();
            size_t count = chunk.samples.size() / 2;
            double end = chunk.time + double(count) / rate;
            if (end <= audioWritten + kEpsilon) {
                audio.pop_front();
                continue;
            }
            if (chunk.time >= until) break;
            double from = std::max(audioWritten, chunk.time);
            size_t first = std::min(count, size_t(std::lround((from - chunk.time) * rate)));
            size_t last =
                std::min(count, size_t(std::lround((std::min(end, until) - chunk.time) * rate)));
            if (last <= first) break;
            std::vector<int16_t> scaled(chunk.samples.begin() + std::ptrdiff_t(first * 2),
                                        chunk.samples.begin() + std::ptrdiff_t(last * 2));
            if (gain < 1) {
                for (auto& s : scaled)
                    s = int16_t(std::lround(s * gain));
            }
            stream->write(scaled.data(), last - first);
            audioWritten = chunk.time + double(last) / rate;
            if (last < count) break;
            audio.pop_front();
        }
    }

    void close() {
        closed = true;
        if (download) download->cancel();
        if (loader) loader->cancel();
        std::lock_guard lock(mutex);
        stream.reset();
        cv.notify_all();
    }
};

namespace {

// Hands a download's bytes to the item's source as they arrive.
class DownloadDelegate : public net::URLLoaderDelegate {
  public:
    explicit DownloadDelegate(std::shared_ptr<detail::GrowingSource> source)
        : source_(std::move(source)) {}
    void didReceiveResponse(net::URLLoader&, const net::HTTPURLResponse& response) override {
        if (response.isHTTP() && response.statusCode() >= 400) {
            source_->fail(mediaError(
                kMediaErrorDownloadFailed,
                "The server answered " + std::to_string(response.statusCode()) + " (" +
                    net::HTTPURLResponse::localizedStringForStatusCode(response.statusCode()) +
                    ")."));
            return;
        }
        if (response.expectedContentLength() >= 0)
            source_->setExpectedSize(response.expectedContentLength());
    }
    void didReceiveData(net::URLLoader&, const Data& data) override {
        source_->append(data.data(), data.size());
    }
    void didFinishLoading(net::URLLoader&) override { source_->finish(); }
    void didFailWithError(net::URLLoader&, const Error& error) override {
        Error e = mediaError(kMediaErrorDownloadFailed,
                             "The download failed: " + error.localizedDescription());
        e.userInfo[kUnderlyingErrorKey] = Dictionary{{"domain", error.domain},
                                                     {"code", error.code},
                                                     {"description", error.localizedDescription()}};
        source_->fail(e);
    }

  private:
    std::shared_ptr<detail::GrowingSource> source_;
};

// The decoder's view of a download shared with its delegate.
class SharedSource : public detail::ByteSource {
  public:
    explicit SharedSource(std::shared_ptr<detail::GrowingSource> source)
        : source_(std::move(source)) {}
    int read(uint8_t* buffer, int size) override { return source_->read(buffer, size); }
    bool seek(int64_t offset) override { return source_->seek(offset); }
    int64_t size() override { return source_->size(); }
    void cancel() override { source_->cancel(); }
    std::optional<Error> failure() override { return source_->failure(); }

  private:
    std::shared_ptr<detail::GrowingSource> source_;
};

}  // namespace

// ---- PlayerItem ----

std::shared_ptr<PlayerItem> PlayerItem::create(const net::URL& url) {
    assertMain("PlayerItem::create");
    std::shared_ptr<PlayerItem> item(new PlayerItem(url));
    item->start();
    return item;
}

PlayerItem::PlayerItem(net::URL url) : url_(std::move(url)), engine_(std::make_shared<Engine>()) {}

PlayerItem::~PlayerItem() {
    engine_->close();
}

void PlayerItem::start() {
    std::weak_ptr<PlayerItem> weak = weak_from_this();
    auto engine = engine_;
    auto report = [weak](std::optional<Error> error, double duration, int w, int h) {
        Queue::main()->async([weak, error, duration, w, h] {
            auto item = weak.lock();
            if (!item) return;
            if (error) {
                item->setStatus(PlayerItemStatus::Failed, error);
                return;
            }
            item->duration_ = duration;
            item->width_ = w;
            item->height_ = h;
            item->setStatus(PlayerItemStatus::ReadyToPlay, std::nullopt);
        });
    };
    auto open = [engine, report](std::function<std::unique_ptr<detail::ByteSource>(Error*)> make) {
        engine->queue->async([engine, report, make] {
            if (engine->closed) return;
            Error error;
            auto source = make(&error);
            auto decoder = source ? detail::Decoder::open(std::move(source), &error) : nullptr;
            if (!decoder) {
                report(error, 0, 0, 0);
                return;
            }
            double duration = decoder->duration();
            int w = decoder->width();
            int h = decoder->height();
            {
                std::lock_guard lock(engine->mutex);
                engine->hasVideo = decoder->hasVideo();
                engine->decoder = std::move(decoder);
            }
            report(std::nullopt, duration, w, h);
        });
    };

    const std::string& scheme = url_.scheme();
    if (scheme == "file") {
        std::string path = percentUnescape(url_.path()).value_or(url_.path());
        open([path](Error* error) { return detail::fileSource(path, error); });
    } else if (scheme == "http" || scheme == "https") {
        engine->download = std::make_shared<detail::GrowingSource>();
        engine->loader = net::URLLoader::start(net::URLRequest(url_),
                                               std::make_shared<DownloadDelegate>(engine->download),
                                               Queue::serial("platform.media.download"));
        auto download = engine->download;
        open([download](Error*) { return std::make_unique<SharedSource>(download); });
    } else {
        report(mediaError(kMediaErrorUnsupportedURL,
                          "The URL " + url_.absoluteString() + " cannot be played."),
               0, 0, 0);
    }
}

void PlayerItem::setStatus(PlayerItemStatus status, std::optional<Error> error) {
    if (status_ == PlayerItemStatus::Failed) return;
    // A player stops where it was when its item fails.
    if (auto player = player_.lock(); player && status == PlayerItemStatus::Failed)
        player->reanchor();
    status_ = status;
    error_ = std::move(error);
    if (status == PlayerItemStatus::Failed) {
        std::lock_guard lock(engine_->mutex);
        engine_->broken = true;
        engine_->cv.notify_all();
    }
    auto self = shared_from_this();
    if (auto player = player_.lock()) {
        if (status == PlayerItemStatus::ReadyToPlay) player->itemBecameReady();
        if (status == PlayerItemStatus::Failed) player->itemFailed();
    }
    auto observers = observers_;
    for (auto& [observerToken, observer] : observers) {
        const auto token = observerToken;  // clang 14 cannot capture a structured binding
        bool still = std::any_of(observers_.begin(), observers_.end(),
                                 [&](const auto& entry) { return entry.first == token; });
        if (still) (*observer)(status);
    }
}

double PlayerItem::duration() const {
    return status_ == PlayerItemStatus::ReadyToPlay ? duration_ : kNaN;
}

std::vector<TimeRange> PlayerItem::loadedTimeRanges() const {
    if (status_ != PlayerItemStatus::ReadyToPlay) return {};
    if (!engine_->download) return {TimeRange{0, duration_}};
    auto [received, expected] = engine_->download->progress();
    if (expected <= 0) return {};
    double fraction = std::min(1.0, double(received) / double(expected));
    return {TimeRange{0, duration_ * fraction}};
}

double PlayerItem::currentTime() const {
    auto player = player_.lock();
    if (player && player->currentItem().get() == this) return player->currentTime();
    return leftAt_;
}

PlayerItem::Token PlayerItem::addStatusObserver(StatusObserver observer, bool initial) {
    assertMain("PlayerItem::addStatusObserver");
    Token token = nextToken_++;
    auto shared = std::make_shared<StatusObserver>(std::move(observer));
    observers_.emplace_back(token, shared);
    if (initial) (*shared)(status_);
    return token;
}

void PlayerItem::removeStatusObserver(Token token) {
    std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

// ---- Player ----

struct Player::Observer {
    Token token;
    double interval;
    std::function<void(double)> block;
    std::vector<std::shared_ptr<Timer>> timers;
};

std::shared_ptr<Player> Player::create(std::shared_ptr<PlayerItem> item) {
    assertMain("Player::create");
    std::shared_ptr<Player> player(new Player());
    player->replaceCurrentItem(std::move(item));
    return player;
}

Player::~Player() {
    cancelSchedules();
    stopAudio();
    if (item_) item_->player_.reset();
}

void Player::replaceCurrentItem(std::shared_ptr<PlayerItem> item) {
    assertMain("Player::replaceCurrentItem");
    cancelSchedules();
    stopAudio();
    if (item_) {
        item_->leftAt_ = currentTime();
        item_->player_.reset();
    }
    ++seekGeneration_;
    item_ = std::move(item);
    ended_ = false;
    anchorTime_ = item_ ? item_->leftAt_ : 0;
    anchorClock_ = Clock::now();
    if (!item_) return;
    item_->player_ = weak_from_this();
    if (item_->status() == PlayerItemStatus::ReadyToPlay) itemBecameReady();
}

bool Player::moving() const {
    return rate_ > 0 && item_ && item_->status() == PlayerItemStatus::ReadyToPlay && !ended_;
}

double Player::currentTime() const {
    if (!item_) return kNaN;
    if (!moving()) return anchorTime_;
    double t = anchorTime_ + (Clock::now() - anchorClock_) * rate_;
    return std::min(t, item_->duration());
}

void Player::reanchor() {
    if (item_) anchorTime_ = currentTime();
    anchorClock_ = Clock::now();
}

void Player::play() {
    setRate(1);
}

void Player::pause() {
    setRate(0);
}

void Player::setRate(double rate) {
    assertMain("Player::setRate");
    if (!(rate > 0)) rate = 0;  // NaN too
    bool was = moving();
    reanchor();
    rate_ = rate;
    reschedule();
    bool now = moving();
    if (was != now) {
        notifyObservers();
        if (now) {
            startAudio();
        } else {
            stopAudio();
        }
    }
}

void Player::itemBecameReady() {
    anchorClock_ = Clock::now();
    reschedule();
    if (moving()) {
        notifyObservers();
        startAudio();
    }
}

void Player::itemFailed() {
    cancelSchedules();
    stopAudio();
}

void Player::seekToTime(double time, std::function<void(bool finished)> completion) {
    assertMain("Player::seekToTime");
    uint64_t generation = ++seekGeneration_;
    auto finish = [completion](bool finished) {
        if (completion) Queue::main()->async([completion, finished] { completion(finished); });
    };
    if (!item_ || item_->status() == PlayerItemStatus::Failed || std::isnan(time)) {
        finish(false);
        return;
    }
    time = std::max(time, 0.0);
    if (item_->status() == PlayerItemStatus::ReadyToPlay) time = std::min(time, item_->duration());
    anchorTime_ = time;
    anchorClock_ = Clock::now();
    ended_ = false;

    auto engine = item_->engine_;
    std::weak_ptr<Player> weak = weak_from_this();
    std::weak_ptr<PlayerItem> weakItem = item_;
    auto done = [weak, generation, completion](bool ok) {
        Queue::main()->async([weak, generation, completion, ok] {
            auto player = weak.lock();
            bool finished = ok && player && player->seekGeneration_ == generation;
            if (completion) completion(finished);
        });
    };
    {
        std::lock_guard lock(engine->mutex);
        ++engine->generation;
        engine->frames.clear();
        engine->audio.clear();
        engine->want = time;
        engine->ended = false;
        engine->audioWritten = time;
        if (engine->stream) engine->stream->clear();
        engine->fillPosted = true;
    }
    engine->queue->async([engine, time, done] {
        if (!engine->decoder || engine->closed) {
            std::lock_guard lock(engine->mutex);
            engine->fillPosted = false;
            done(false);
            return;
        }
        engine->decoder->seek(time);
        engine->fill(nullptr);
        std::lock_guard lock(engine->mutex);
        done(!engine->broken);
    });
    reschedule();
    notifyObservers();
}

PlayerItem::Token Player::addPeriodicTimeObserver(double interval,
                                                  std::function<void(double time)> block) {
    assertMain("Player::addPeriodicTimeObserver");
    auto observer = std::make_shared<Observer>();
    observer->token = nextToken_++;
    observer->interval = interval > 0 ? interval : 0.1;
    observer->block = std::move(block);
    observers_.push_back(observer);
    scheduleObserver(observer);
    return observer->token;
}

void Player::removeTimeObserver(Token token) {
    std::erase_if(observers_, [token](const std::shared_ptr<Observer>& o) {
        if (o->token != token) return false;
        for (auto& timer : o->timers)
            timer->invalidate();
        o->block = nullptr;
        return true;
    });
}

void Player::setVolume(float volume) {
    volume_ = std::clamp(std::isnan(volume) ? 0.0f : volume, 0.0f, 1.0f);
    if (!item_) return;
    std::lock_guard lock(item_->engine_->mutex);
    item_->engine_->gain = muted_ ? 0 : volume_;
}

void Player::setMuted(bool muted) {
    muted_ = muted;
    setVolume(volume_);
}

void Player::cancelSchedules() {
    if (endTimer_) endTimer_->invalidate();
    endTimer_.reset();
    for (auto& o : observers_) {
        for (auto& timer : o->timers)
            timer->invalidate();
        o->timers.clear();
    }
}

void Player::reschedule() {
    cancelSchedules();
    if (item_) {
        std::lock_guard lock(item_->engine_->mutex);
        auto& e = *item_->engine_;
        e.timelineTime = anchorTime_;
        e.timelineClock = anchorClock_;
        e.timelineRate = moving() ? rate_ : 0;
    }
    if (!moving()) return;
    double delay = std::max(0.0, (item_->duration() - currentTime()) / rate_);
    std::weak_ptr<Player> weak = weak_from_this();
    endTimer_ = Timer::scheduled(delay, false, [weak](Timer&) {
        if (auto player = weak.lock()) player->reachEnd();
    });
    for (auto& o : observers_)
        scheduleObserver(o);
}

void Player::scheduleObserver(const std::shared_ptr<Observer>& observer) {
    for (auto& timer : observer->timers)
        timer->invalidate();
    observer->timers.clear();
    if (!moving()) return;
    // One timer per multiple still to come (in batches), so that a clock that jumps over
    // several of them posts each, in order, before anything due later.
    constexpr int64_t kBatch = 1024;
    const double now = currentTime();
    const double end = item_->duration();
    const int64_t first = int64_t(std::floor(now / observer->interval + kEpsilon)) + 1;
    std::weak_ptr<Player> weak = weak_from_this();
    std::weak_ptr<Observer> weakObserver = observer;
    for (int64_t k = first; k < first + kBatch; ++k) {
        const double at = double(k) * observer->interval;
        if (at >= end - kEpsilon) break;  // the end has a call of its own
        const bool last = k == first + kBatch - 1;
        observer->timers.push_back(
            Timer::scheduled((at - now) / rate_, false, [weak, weakObserver, at, last](Timer&) {
                auto player = weak.lock();
                auto o = weakObserver.lock();
                if (!player || !o || !o->block) return;
                auto block = o->block;
                block(at);
                if (last) player->scheduleObserver(o);
            }));
    }
}

void Player::notifyObservers() {
    if (observers_.empty() || !item_) return;
    double time = currentTime();
    std::vector<std::weak_ptr<Observer>> targets(observers_.begin(), observers_.end());
    Queue::main()->async([targets, time] {
        for (auto& weak : targets) {
            auto o = weak.lock();
            if (o && o->block) {
                auto block = o->block;
                block(time);
            }
        }
    });
}

void Player::reachEnd() {
    reanchor();
    ended_ = true;
    rate_ = 0;
    reschedule();
    stopAudio();
    notifyObservers();
    std::weak_ptr<PlayerItem> weakItem = item_;
    Queue::main()->async([weakItem] {
        auto item = weakItem.lock();
        if (!item) return;
        NotificationCenter::defaultCenter().post(kPlayerItemDidPlayToEndTimeNotification,
                                                 item.get());
    });
}

void Player::startAudio() {
    if (!item_ || Clock::isVirtual() || audioTimer_) return;
    auto stream = openAudioStream();
    if (!stream) return;
    auto engine = item_->engine_;
    {
        std::lock_guard lock(engine->mutex);
        engine->stream = std::move(stream);
        engine->audioWritten = currentTime();
        engine->audio.clear();
        engine->gain = muted_ ? 0 : volume_;
    }
    audioTimer_ = Timer::scheduled(
        kAudioInterval, true,
        [engine, broke = breakageReporter()](Timer&) { engine->pumpAudio(broke); }, engine->queue);
}

void Player::stopAudio() {
    if (audioTimer_) audioTimer_->invalidate();
    audioTimer_.reset();
    if (!item_) return;
    std::lock_guard lock(item_->engine_->mutex);
    if (item_->engine_->stream) item_->engine_->stream->clear();
    item_->engine_->stream.reset();
}

VideoFrame Player::currentFrame() {
    assertMain("Player::currentFrame");
    if (!item_ || item_->status() != PlayerItemStatus::ReadyToPlay) return {};
    return item_->engine_->frameAt(currentTime(), Clock::isVirtual(), breakageReporter());
}

std::function<void(const Error&)> Player::breakageReporter() const {
    // The decoding queue finds the breakage; the item learns of it on the main queue.
    std::weak_ptr<PlayerItem> weak = item_;
    return [weak](const Error& error) {
        Queue::main()->async([weak, error] {
            if (auto item = weak.lock()) item->setStatus(PlayerItemStatus::Failed, error);
        });
    };
}

}  // namespace platform::media
