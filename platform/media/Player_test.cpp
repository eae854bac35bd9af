#include "platform/media/Player.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/AudioSession.h"
#include "platform/media/MediaDecoder.h"
#include "platform/media/MediaError.h"

namespace platform::media {
namespace {

namespace fs = std::filesystem;

const fs::path kClips = QEN_TEST_CLIPS_DIR;

struct RGB {
    int r, g, b;
};
// colors.mp4: one colour a second.
const RGB kSeconds[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

net::URL fileURL(const fs::path& path) {
    return *net::URL::parse("file://" + path.string());
}

RGB pixel(const VideoFrame& f, int x, int y) {
    uint32_t p;
    std::memcpy(&p, f.pixels.get() + size_t(y) * size_t(f.stride) + size_t(x) * 4, 4);
    return {int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255)};
}

::testing::AssertionResult shows(const VideoFrame& f, RGB expected) {
    if (!f) return ::testing::AssertionFailure() << "no frame";
    RGB c = pixel(f, f.width / 2, f.height / 2);
    if (std::abs(c.r - expected.r) > 24 || std::abs(c.g - expected.g) > 24 ||
        std::abs(c.b - expected.b) > 24) {
        return ::testing::AssertionFailure()
               << "colour (" << c.r << ", " << c.g << ", " << c.b << ") at " << f.time
               << " s, expected (" << expected.r << ", " << expected.g << ", " << expected.b << ")";
    }
    return ::testing::AssertionSuccess();
}

std::shared_ptr<PlayerItem> readyItem(const net::URL& url) {
    auto item = PlayerItem::create(url);
    EXPECT_TRUE(
        RunLoop::main().runUntil([&] { return item->status() != PlayerItemStatus::Unknown; }, 20))
        << url.absoluteString();
    return item;
}

// A loopback server for the http items: the clip, a 404, and a clip cut short.
class ClipServer {
  public:
    ClipServer() {
        std::ifstream in(kClips / "colors.mp4", std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        clip_ = bytes.str();
        std::ifstream moving(kClips / "motion.mp4", std::ios::binary);
        std::stringstream movingBytes;
        movingBytes << moving.rdbuf();
        motion_ = movingBytes.str();
        server_.Get("/colors.mp4", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content(clip_, "video/mp4");
        });
        server_.Get("/missing.mp4", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("not here", "text/plain");
        });
        // The moving clip's first half, then the connection closes.
        server_.Get("/broken.mp4", [this](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(motion_.size(), "video/mp4",
                                     [this](size_t offset, size_t, httplib::DataSink& sink) {
                                         if (offset >= motion_.size() / 2) return false;
                                         sink.write(motion_.data(), motion_.size() / 2);
                                         return true;
                                     });
        });
        server_.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
            res.set_header("Connection", "close");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~ClipServer() {
        server_.stop();
        thread_.join();
    }
    net::URL url(const std::string& path) const {
        return *net::URL::parse("http://127.0.0.1:" + std::to_string(port_) + path);
    }

  private:
    std::string clip_;
    std::string motion_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

TEST(Player, EachSecondShowsItsColourFrameByFrameOnTheClock) {
    Clock::useVirtual();
    auto item = readyItem(fileURL(kClips / "colors.mp4"));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
    EXPECT_NEAR(item->duration(), 4.0, 0.05);
    EXPECT_EQ(item->width(), 320);
    EXPECT_EQ(item->height(), 568);
    ASSERT_EQ(item->loadedTimeRanges().size(), 1u);
    EXPECT_EQ(item->loadedTimeRanges()[0], (TimeRange{0, item->duration()}));

    auto player = Player::create(item);
    EXPECT_EQ(player->currentTime(), 0);
    EXPECT_TRUE(shows(player->currentFrame(), kSeconds[0])) << "the first picture before play";
    player->play();
    // The last picture of one second and the first of the next, and the middle of each.
    const double frame = 1.0 / 30;
    double at = 0;
    for (double t : {0.5, 1 - frame, 1.0, 1.5, 2 - frame, 2.0, 2.5, 3.5}) {
        Clock::advance(t - at);
        at = t;
        EXPECT_NEAR(player->currentTime(), t, 1e-9);
        VideoFrame f = player->currentFrame();
        EXPECT_TRUE(shows(f, kSeconds[int(t + 1e-9)])) << "at " << t;
        EXPECT_LE(f.time, t + 1e-9);
        EXPECT_GT(f.time, t - frame - 1e-9) << "the frame of that moment, not an older one";
    }
}

TEST(Player, PauseHoldsTheTimeAndSeekJumpsThenCompletes) {
    Clock::useVirtual();
    auto item = readyItem(fileURL(kClips / "colors.mp4"));
    auto player = Player::create(item);
    player->play();
    Clock::advance(0.5);
    player->pause();
    EXPECT_EQ(player->rate(), 0);
    Clock::advance(2);
    EXPECT_NEAR(player->currentTime(), 0.5, 1e-9);
    EXPECT_TRUE(shows(player->currentFrame(), kSeconds[0]));

    std::vector<bool> done;
    player->seekToTime(1.2, [&](bool finished) { done.push_back(finished); });
    player->seekToTime(2.5, [&](bool finished) { done.push_back(finished); });
    EXPECT_NEAR(player->currentTime(), 2.5, 1e-9) << "the time jumps at once";
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return done.size() == 2; }, 10));
    EXPECT_EQ(done, (std::vector<bool>{false, true})) << "the first seek was overtaken";
    EXPECT_TRUE(shows(player->currentFrame(), kSeconds[2]));

    // Back to the start and on at double rate.
    bool back = false;
    player->seekToTime(-3, [&](bool finished) { back = finished; });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return back; }, 10));
    EXPECT_EQ(player->currentTime(), 0);
    player->setRate(2);
    Clock::advance(0.75);
    EXPECT_NEAR(player->currentTime(), 1.5, 1e-9);
    EXPECT_TRUE(shows(player->currentFrame(), kSeconds[1]));
}

TEST(Player, PeriodicCallbacksOnTheClockThenTheEndOnce) {
    Clock::useVirtual();
    auto item = readyItem(fileURL(kClips / "colors.mp4"));
    auto player = Player::create(item);
    std::vector<std::string> events;
    auto token = player->addPeriodicTimeObserver(1.0, [&](double t) {
        char text[32];
        std::snprintf(text, sizeof text, "time %.2f", t);
        events.push_back(text);
    });
    auto end = NotificationCenter::defaultCenter().addObserver(
        kPlayerItemDidPlayToEndTimeNotification, item.get(),
        [&](const Notification&) { events.push_back("end"); });
    player->play();
    RunLoop::main().runOnce(0);
    EXPECT_EQ(events, std::vector<std::string>{"time 0.00"}) << "playback started";
    Clock::advance(2.5);
    RunLoop::main().runOnce(0);
    EXPECT_EQ(events, (std::vector<std::string>{"time 0.00", "time 1.00", "time 2.00"}));
    player->pause();
    Clock::advance(1);
    player->play();
    RunLoop::main().runOnce(0);
    EXPECT_EQ(events, (std::vector<std::string>{"time 0.00", "time 1.00", "time 2.00", "time 2.50",
                                                "time 2.50"}))
        << "stopped and started again where it stood";
    events.erase(events.begin() + 3, events.end());
    ASSERT_TRUE(
        RunLoop::main().runUntil([&] { return !events.empty() && events.back() == "end"; }, 10));
    const double duration = item->duration();
    char endTime[32];
    std::snprintf(endTime, sizeof endTime, "time %.2f", duration);
    // The sound runs a little past 4 s, so the multiple at 4 s still comes before the end.
    ASSERT_GT(duration, 4.0);
    EXPECT_EQ(events, (std::vector<std::string>{"time 0.00", "time 1.00", "time 2.00", "time 3.00",
                                                "time 4.00", endTime, "end"}));
    EXPECT_EQ(player->rate(), 0);
    EXPECT_DOUBLE_EQ(player->currentTime(), duration);
    EXPECT_TRUE(shows(player->currentFrame(), kSeconds[3])) << "the last picture stays";

    // Playing at the end stays there; after a seek back the end comes again.
    events.clear();
    player->play();
    Clock::advance(5);
    RunLoop::main().runOnce(0);
    EXPECT_EQ(events, std::vector<std::string>{});
    player->removeTimeObserver(token);
    player->seekToTime(duration - 0.5);
    player->play();
    ASSERT_TRUE(
        RunLoop::main().runUntil([&] { return !events.empty() && events.back() == "end"; }, 10));
    EXPECT_EQ(events, std::vector<std::string>{"end"});
    NotificationCenter::defaultCenter().removeObserver(end);
}

TEST(Player, PlayBeforeReadyStartsWhenReadyAndStatusObserversSeeOneChange) {
    Clock::useVirtual();
    auto item = PlayerItem::create(fileURL(kClips / "colors.mp4"));
    std::vector<PlayerItemStatus> seen;
    item->addStatusObserver([&](PlayerItemStatus s) { seen.push_back(s); }, true);
    EXPECT_EQ(seen, std::vector<PlayerItemStatus>{PlayerItemStatus::Unknown}) << "initial";
    EXPECT_TRUE(std::isnan(item->duration()));
    EXPECT_TRUE(item->loadedTimeRanges().empty());
    auto player = Player::create(item);
    player->play();
    EXPECT_EQ(player->rate(), 1);
    EXPECT_EQ(player->currentTime(), 0);
    EXPECT_FALSE(player->currentFrame()) << "nothing to show before ready";
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return seen.size() == 2; }, 20));
    EXPECT_EQ(seen.back(), PlayerItemStatus::ReadyToPlay);
    Clock::advance(1.5);
    EXPECT_NEAR(player->currentTime(), 1.5, 1e-9);
    EXPECT_TRUE(shows(player->currentFrame(), kSeconds[1]));
}

TEST(Player, ItemsThatCannotPlayFailWithAReason) {
    Clock::useVirtual();
    ClipServer server;
    fs::path garbage = AppHome::temporary() / "garbage.mp4";
    std::string noise(64 * 1024, '\0');
    uint32_t seed = 12345;
    for (auto& c : noise) {
        seed = seed * 1103515245 + 12345;
        c = char(seed >> 16);
    }
    ASSERT_TRUE(files::writeAtomically(garbage, noise));
    fs::path empty = AppHome::temporary() / "empty.mp4";
    ASSERT_TRUE(files::writeAtomically(empty, std::string()));
    // The clip cut in half: the index at the start names samples that are not there.
    fs::path cut = AppHome::temporary() / "cut.mp4";
    {
        std::ifstream in(kClips / "colors.mp4", std::ios::binary);
        std::string whole((std::istreambuf_iterator<char>(in)), {});
        ASSERT_TRUE(files::writeAtomically(cut, whole.substr(0, 200)));
    }

    struct Case {
        const char* name;
        net::URL url;
        int64_t code;
    };
    const Case cases[] = {
        {"missing file", fileURL(AppHome::temporary() / "nothing.mp4"), kMediaErrorCannotOpen},
        {"a folder", fileURL(AppHome::temporary()), kMediaErrorCannotOpen},
        {"garbage bytes", fileURL(garbage), kMediaErrorNotMedia},
        {"an empty file", fileURL(empty), kMediaErrorNotMedia},
        {"a clip cut short", fileURL(cut), kMediaErrorNotMedia},
        {"404", server.url("/missing.mp4"), kMediaErrorDownloadFailed},
        {"no server", *net::URL::parse("http://127.0.0.1:1/clip.mp4"), kMediaErrorDownloadFailed},
        {"another scheme", *net::URL::parse("ftp://127.0.0.1/clip.mp4"), kMediaErrorUnsupportedURL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto item = readyItem(c.url);
        ASSERT_EQ(item->status(), PlayerItemStatus::Failed);
        ASSERT_TRUE(item->error());
        EXPECT_EQ(item->error()->domain, kMediaErrorDomain);
        EXPECT_EQ(item->error()->code, c.code) << item->error()->localizedDescription();
        EXPECT_FALSE(item->error()->localizedDescription().empty());
        auto player = Player::create(item);
        player->play();
        bool seeked = true;
        player->seekToTime(1, [&](bool finished) { seeked = finished; });
        EXPECT_TRUE(RunLoop::main().runUntil([&] { return !seeked; }, 5));
        EXPECT_FALSE(player->currentFrame());
        EXPECT_EQ(player->currentTime(), 0);
    }
}

TEST(Player, HttpItemDownloadsThroughTheNetworkAndPlays) {
    Clock::useVirtual();
    ClipServer server;
    auto item = readyItem(server.url("/colors.mp4"));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay)
        << (item->error() ? item->error()->localizedDescription() : "");
    EXPECT_NEAR(item->duration(), 4.0, 0.05);
    ASSERT_TRUE(RunLoop::main().runUntil(
        [&] {
            auto ranges = item->loadedTimeRanges();
            return !ranges.empty() && ranges[0].end() == item->duration();
        },
        10));
    auto player = Player::create(item);
    player->play();
    Clock::advance(2.25);
    EXPECT_TRUE(shows(player->currentFrame(), kSeconds[2]));
    EXPECT_NEAR(item->currentTime(), 2.25, 1e-9);
}

TEST(Player, ADownloadThatBreaksHalfWayFailsTheItemWhereItStood) {
    Clock::useVirtual();
    ClipServer server;
    auto item = readyItem(server.url("/broken.mp4"));
    ASSERT_EQ(item->status(), PlayerItemStatus::ReadyToPlay) << "the header came whole";
    auto player = Player::create(item);
    player->play();
    // Playing on reaches the missing half of the 6 s clip.
    for (int i = 0; i < 60 && item->status() == PlayerItemStatus::ReadyToPlay; ++i) {
        Clock::advance(0.1);
        player->currentFrame();
        // Turns of the loop that do not move the clock: the failure arrives on the main queue.
        RunLoop::main().runOnce(0.01);
        RunLoop::main().runOnce(0.01);
    }
    ASSERT_EQ(item->status(), PlayerItemStatus::Failed);
    EXPECT_EQ(item->error()->code, kMediaErrorDownloadFailed);
    EXPECT_TRUE(item->error()->userInfo.count(kUnderlyingErrorKey));
    const double stoodAt = player->currentTime();
    EXPECT_GT(stoodAt, 1.0);
    EXPECT_LT(stoodAt, 5.0);
    Clock::advance(1);
    EXPECT_EQ(player->currentTime(), stoodAt);
}

// An output that keeps what it was given.
struct Heard {
    std::mutex mutex;
    std::vector<int16_t> samples;
    size_t size() {
        std::lock_guard lock(mutex);
        return samples.size();
    }
};

class Recorder : public AudioStream {
  public:
    explicit Recorder(std::shared_ptr<Heard> into) : into_(std::move(into)) {}
    void write(const int16_t* samples, size_t frames) override {
        std::lock_guard lock(into_->mutex);
        into_->samples.insert(into_->samples.end(), samples, samples + frames * 2);
    }
    void clear() override {}
    double queuedSeconds() const override { return 0; }

  private:
    std::shared_ptr<Heard> into_;
};

TEST(Player, SoundGoesToTheInstalledOutputOnTheRealClockScaledByVolume) {
    auto heard = std::make_shared<Heard>();
    setAudioOutput([heard] { return std::make_unique<Recorder>(heard); });
    auto item = readyItem(fileURL(kClips / "colors.mp4"));
    auto player = Player::create(item);
    player->setVolume(0.5);
    player->play();
    // The sound is written from the decoding queue: nothing wakes the main loop for it.
    const double start = Clock::now();
    while (heard->size() <= 2 * 44100 && Clock::now() - start < 20)
        RunLoop::main().runOnce(0.02);
    player->pause();
    const double played = player->currentTime();
    setAudioOutput(nullptr);
    ASSERT_GT(heard->size(), 2u * 44100) << "a second of sound written";
    EXPECT_LE(double(heard->size()) / 2 / 44100, played + 1.0)
        << "written only a little ahead of the clock";
    auto peakOf = [](const std::vector<int16_t>& samples) {
        int peak = 0;
        for (int16_t s : samples)
            peak = std::max(peak, std::abs(int(s)));
        return peak;
    };
    // The clip's own sound, decoded straight.
    Error error;
    auto decoder = detail::Decoder::open(detail::fileSource(kClips / "colors.mp4", &error), &error);
    ASSERT_TRUE(decoder);
    std::vector<VideoFrame> frames;
    std::vector<detail::AudioChunk> chunks;
    while (decoder->step(frames, &chunks) == detail::Decoder::Step::Progress) {
    }
    std::vector<int16_t> raw;
    for (auto& c : chunks)
        raw.insert(raw.end(), c.samples.begin(), c.samples.end());
    ASSERT_GT(peakOf(raw), 3000);
    EXPECT_NEAR(peakOf(heard->samples), peakOf(raw) / 2, peakOf(raw) / 20) << "half volume";

    AudioSession& session = AudioSession::shared();
    EXPECT_EQ(session.category(), kAudioSessionCategorySoloAmbient);
    EXPECT_TRUE(session.setCategory(kAudioSessionCategoryAmbient, nullptr));
    EXPECT_EQ(session.category(), kAudioSessionCategoryAmbient);
    error = Error();
    EXPECT_FALSE(session.setCategory("loud", &error));
    EXPECT_EQ(error.domain, "AudioSessionErrorDomain");
    EXPECT_EQ(session.category(), kAudioSessionCategoryAmbient);
    EXPECT_GE(session.outputVolume(), 0);
    EXPECT_LE(session.outputVolume(), 1);
}

TEST(MediaDecoder, DecodesEveryFrameOfTheClipInOrderFromMemory) {
    std::ifstream in(kClips / "colors.mp4", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    ASSERT_LT(bytes.size(), 32u * 1024) << "a clip of a few kilobytes";
    Error error;
    auto decoder = detail::Decoder::open(detail::memorySource(Data::fromString(bytes)), &error);
    ASSERT_TRUE(decoder) << error.localizedDescription();
    std::vector<VideoFrame> frames;
    std::vector<detail::AudioChunk> audio;
    while (decoder->step(frames, &audio) == detail::Decoder::Step::Progress) {
    }
    ASSERT_EQ(frames.size(), 120u);
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_NEAR(frames[i].time, double(i) / 30, 1e-6);
        EXPECT_TRUE(shows(frames[i], kSeconds[i / 30])) << "frame " << i;
    }
    size_t samples = 0;
    for (auto& chunk : audio)
        samples += chunk.samples.size() / 2;
    EXPECT_NEAR(double(samples) / 44100, 4.0, 0.1);
}

}  // namespace
}  // namespace platform::media
