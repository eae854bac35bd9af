#include "app/WindowFrontEnd.h"

#include <SDL.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "app/Screen.h"
#include "app/TextInput.h"
#include "app/WindowSystem.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/SystemSound.h"
#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
#include "platform/render/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Screen.h"
#include "platform/ui/URLOpening.h"

namespace qen::app {

using platform::render::Color;
using platform::ui::Application;
using platform::ui::ApplicationState;
using platform::ui::TouchPhase;
using platform::ui::Window;

namespace {

// Frames at most this often; while something animates, one every kAnimationFrameMillis.
constexpr uint64_t kMinFrameMillis = 16;
constexpr uint64_t kAnimationFrameMillis = 33;

// Mixes the sounds being played into one stereo stream. Files are decoded and converted to
// the device's format on a serial queue of their own, so a play never blocks its caller; each
// file is decoded once. The device is open only while sounds play and for a moment after: an
// open device's thread wakes for every buffer even when paused, so a silent game closes it.
class Mixer {
  public:
    static std::shared_ptr<Mixer> open() {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            platform::log(std::string("qen: no audio: ") + SDL_GetError());
            return nullptr;
        }
        auto mixer = std::shared_ptr<Mixer>(new Mixer());
        mixer->self_ = mixer;
        // Opened once now, to know that sounds can be heard; closed again when nothing plays.
        if (!mixer->openDevice()) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return nullptr;
        }
        mixer->closeWhenSilent(0);
        return mixer;
    }

    ~Mixer() { close(); }

    // Any thread.
    void play(const std::filesystem::path& file) {
        std::weak_ptr<Mixer> weak = self_;
        loader_->async([weak, file] {
            if (auto mixer = weak.lock()) mixer->start(file);
        });
    }

    // A stream of a video player's sound (44,100 Hz stereo, the device's own format), mixed in
    // as it is written. Any thread.
    std::unique_ptr<platform::media::AudioStream> openStream() {
        auto queue = std::make_shared<StreamQueue>();
        {
            std::lock_guard lock(mutex_);
            streams_.push_back(queue);
            ++generation_;
            silenceNoted_ = false;
        }
        // The device may have closed in a silence.
        std::weak_ptr<Mixer> weak = self_;
        loader_->async([weak] {
            if (auto mixer = weak.lock(); mixer && !mixer->closed_ && mixer->device_ == 0)
                mixer->openDevice();
        });
        return std::make_unique<Stream>(self_, queue);
    }

    // Waits for the decoding in flight, then closes the device.
    void close() {
        if (closed_) return;
        closed_ = true;
        loader_->sync([this] {
            if (device_ != 0) SDL_CloseAudioDevice(device_);
            device_ = 0;
        });
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }

  private:
    using Samples = std::vector<int16_t>;
    struct Voice {
        std::shared_ptr<const Samples> samples;
        size_t position = 0;
    };
    // Seconds of silence after which the device closes.
    static constexpr double kSilenceBeforeClosing = 3;

    struct StreamQueue {
        std::deque<int16_t> samples;  // under the mixer's mutex
    };

    class Stream : public platform::media::AudioStream {
      public:
        Stream(std::weak_ptr<Mixer> mixer, std::shared_ptr<StreamQueue> queue)
            : mixer_(std::move(mixer)), queue_(std::move(queue)) {}
        ~Stream() override {
            if (auto m = mixer_.lock()) {
                std::lock_guard lock(m->mutex_);
                std::erase(m->streams_, queue_);
            }
        }
        void write(const int16_t* samples, size_t frames) override {
            if (auto m = mixer_.lock()) {
                std::lock_guard lock(m->mutex_);
                queue_->samples.insert(queue_->samples.end(), samples, samples + frames * 2);
            }
        }
        void clear() override {
            if (auto m = mixer_.lock()) {
                std::lock_guard lock(m->mutex_);
                queue_->samples.clear();
            }
        }
        double queuedSeconds() const override {
            auto m = mixer_.lock();
            if (!m) return 0;
            std::lock_guard lock(m->mutex_);
            return double(queue_->samples.size()) / 2 / platform::media::kAudioSampleRate;
        }

      private:
        std::weak_ptr<Mixer> mixer_;
        std::shared_ptr<StreamQueue> queue_;
    };

    Mixer() : loader_(platform::Queue::serial("qen.sounds")) {}

    // On the loader queue (or in open()): the device, playing.
    bool openDevice() {
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        want.callback = &Mixer::fill;
        want.userdata = this;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &spec_, 0);
        if (device_ == 0) {
            platform::log(std::string("qen: no audio device: ") + SDL_GetError());
            return false;
        }
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }

    // Closes the device after a silence, unless a sound starts meanwhile.
    void closeWhenSilent(uint64_t generation) {
        std::weak_ptr<Mixer> weak = self_;
        loader_->after(kSilenceBeforeClosing, [weak, generation] {
            auto mixer = weak.lock();
            if (!mixer || mixer->closed_ || mixer->device_ == 0) return;
            {
                std::lock_guard lock(mixer->mutex_);
                if (!mixer->voices_.empty() || !mixer->streams_.empty() ||
                    mixer->generation_ != generation)
                    return;
            }
            SDL_CloseAudioDevice(mixer->device_);
            mixer->device_ = 0;
        });
    }

    // On the loader queue.
    void start(const std::filesystem::path& file) {
        auto& samples = decoded_[file];
        if (!samples) samples = decode(file);
        if (!samples || samples->empty() || closed_) return;
        {
            std::lock_guard lock(mutex_);
            voices_.push_back({samples, 0});
            ++generation_;
            silenceNoted_ = false;
        }
        if (device_ == 0) openDevice();
    }

    std::shared_ptr<const Samples> decode(const std::filesystem::path& file) const {
        SDL_AudioSpec spec;
        Uint8* buffer = nullptr;
        Uint32 length = 0;
        if (!SDL_LoadWAV(file.c_str(), &spec, &buffer, &length)) {
            platform::log("qen: cannot play " + file.string() + ": " + SDL_GetError());
            return nullptr;
        }
        SDL_AudioCVT cvt;
        int built = SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, spec_.format,
                                      spec_.channels, spec_.freq);
        std::vector<Uint8> work;
        if (built >= 0) {
            work.resize(size_t(length) * std::max(cvt.len_mult, 1));
            std::memcpy(work.data(), buffer, length);
            cvt.buf = work.data();
            cvt.len = int(length);
            if (built == 0 || SDL_ConvertAudio(&cvt) == 0) {
                work.resize(built == 0 ? length : size_t(cvt.len_cvt));
            } else {
                work.clear();
            }
        }
        SDL_FreeWAV(buffer);
        auto samples = std::make_shared<Samples>(work.size() / sizeof(int16_t));
        std::memcpy(samples->data(), work.data(), samples->size() * sizeof(int16_t));
        return samples;
    }

    // On SDL's audio thread.
    static void fill(void* userdata, Uint8* stream, int length) {
        auto* mixer = static_cast<Mixer*>(userdata);
        auto* out = reinterpret_cast<int16_t*>(stream);
        size_t count = size_t(length) / sizeof(int16_t);
        std::vector<int32_t> sum(count, 0);
        {
            std::lock_guard lock(mixer->mutex_);
            for (auto& voice : mixer->voices_) {
                size_t n = std::min(count, voice.samples->size() - voice.position);
                for (size_t i = 0; i < n; ++i)
                    sum[i] += (*voice.samples)[voice.position + i];
                voice.position += n;
            }
            std::erase_if(mixer->voices_,
                          [](const Voice& v) { return v.position >= v.samples->size(); });
            for (auto& stream : mixer->streams_) {
                size_t n = std::min(count, stream->samples.size());
                for (size_t i = 0; i < n; ++i)
                    sum[i] += stream->samples[i];
                stream->samples.erase(stream->samples.begin(),
                                      stream->samples.begin() + std::ptrdiff_t(n));
            }
            // The last sound ended and no player is open: the device closes after a silence
            // (from the loader queue, since a device cannot be closed from its own callback).
            if (mixer->voices_.empty() && mixer->streams_.empty() && !mixer->silenceNoted_) {
                mixer->silenceNoted_ = true;
                mixer->closeWhenSilent(mixer->generation_);
            }
        }
        for (size_t i = 0; i < count; ++i)
            out[i] = int16_t(std::clamp(sum[i], -32768, 32767));
    }

    std::weak_ptr<Mixer> self_;
    SDL_AudioDeviceID device_ = 0;  // loader queue
    SDL_AudioSpec spec_{};
    std::atomic<bool> closed_{false};
    std::shared_ptr<platform::Queue> loader_;
    std::map<std::filesystem::path, std::shared_ptr<const Samples>> decoded_;  // loader queue
    std::mutex mutex_;
    std::vector<Voice> voices_;                          // under mutex_
    std::vector<std::shared_ptr<StreamQueue>> streams_;  // under mutex_
    uint64_t generation_ = 0;                            // under mutex_: sounds started
    bool silenceNoted_ = false;                          // under mutex_
};

// Web addresses opened by the app: handed to the desktop's browser through xdg-open, without
// waiting for it.
void openInDesktopBrowser(const std::string& url) {
    const char* path = std::getenv("PATH");
    bool found = false;
    for (std::string_view dirs = path ? path : ""; !found && !dirs.empty();) {
        const size_t colon = dirs.find(':');
        const std::string dir(dirs.substr(0, colon));
        dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
        found = !dir.empty() && ::access((dir + "/xdg-open").c_str(), X_OK) == 0;
    }
    if (!found) {
        platform::log("qen: no browser on this desktop (xdg-open not found): " + url);
        return;
    }
    std::vector<char*> argv = {const_cast<char*>("xdg-open"), const_cast<char*>(url.c_str()),
                               nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv.data(), environ) != 0) {
        platform::log("qen: xdg-open did not start: " + url);
        return;
    }
    platform::log("qen: opened in the desktop's browser: " + url);
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
}

// Whether something on screen moves with the clock: a property animation still running, or a
// block animation whose drawn frame or alpha has not reached the model's.
bool isAnimating(const platform::ui::View& view, double now) {
    if (view.isHidden()) return false;
    for (const auto& key : view.animationKeys()) {
        auto animation = view.animationForKey(key);
        if (animation && !animation->isFinishedAt(now)) return true;
    }
    if (view.presentationAlpha() != view.alpha() || !(view.presentationFrame() == view.frame()))
        return true;
    for (const auto& subview : view.subviews())
        if (isAnimating(*subview, now)) return true;
    return false;
}

// The file of the bundle's launch picture, named by the Info.plist's "UILaunchImageFile";
// empty when it names none.
std::filesystem::path launchPictureFile() {
    const auto bundle = platform::ui::bundleDirectory();
    const auto info = platform::plist::readFile(bundle / "Info.plist");
    const platform::Value* name = info ? info->find("UILaunchImageFile") : nullptr;
    if (!name || !name->string() || name->string()->empty()) return {};
    std::filesystem::path file = bundle / *name->string();
    if (!file.has_extension()) file += ".png";
    return file;
}

// The launch picture drawn at the window's resolution, ready to show; nullopt without one.
std::optional<platform::render::Bitmap> launchFrame(const std::filesystem::path& file) {
    if (file.empty()) return std::nullopt;
    auto image = platform::render::Image::fromFile(file, platform::render::Image::kPictureScale);
    if (!image) {
        platform::log("qen: the launch picture " + file.string() + " does not decode");
        return std::nullopt;
    }
    const auto bounds = platform::ui::Screen::main().bounds();
    platform::render::Bitmap frame(bounds.size, WindowFrontEnd::kPixelsPerPoint);
    platform::render::Canvas canvas(frame);
    canvas.fillRect(bounds, Color::black());
    canvas.drawImage(*image, bounds);
    return frame;
}

bool screenIsAnimating() {
    const double now = platform::Clock::now();
    for (const auto& window : windowsOnScreen())
        if (isAnimating(*window, now)) return true;
    return false;
}

}  // namespace

struct WindowFrontEnd::State {
    SDL_Window* window = nullptr;
    int source = 0;    // the X connection, a file-descriptor source of the main loop
    int hook = 0;      // without one: polling SDL every turn, at least every 10 ms
    int observer = 0;  // events and frames at the end of every turn
    bool watching = false;
    bool closed = false;
    std::thread::id mainThread = std::this_thread::get_id();
    std::atomic<bool> pumping{false};     // the main thread is inside pumpEvents()
    std::shared_ptr<Window> touchWindow;  // the window of the touch that is down
    std::shared_ptr<Mixer> mixer;

    // Frames: drawn off screen after a turn that could have changed the screen, shown only when
    // they differ from the one on show.
    std::vector<uint8_t> shown;  // the frame on show
    bool frameWanted = true;
    bool mustPresent = true;  // the window lost its content (exposed)
    bool tickScheduled = false;
    uint64_t lastFrame = 0;  // SDL ticks of the last frame drawn
    uint64_t framesDrawn = 0;
    uint64_t framesShown = 0;
    // The bundle's launch picture, shown until the app's first window is on screen.
    std::optional<platform::render::Bitmap> launchPicture;

    ~State() {
        *alive_ = false;
        if (watching) SDL_DelEventWatch(&State::eventAdded, this);
        auto& loop = platform::RunLoop::main();
        if (observer) loop.removeObserver(observer);
        if (hook) loop.removeHook(hook);
        if (source) loop.removeFileDescriptorSource(source);
        platform::ui::setSystemBrowser(nullptr);
        if (mixer) {
            platform::media::setPlayer(nullptr);
            platform::media::setAudioOutput(nullptr);
            mixer->close();
        }
        if (window) {
            SDL_StopTextInput();
            SDL_DestroyWindow(window);
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
    }

    // An event entered SDL's queue: one pushed from another thread (a signal's quit, an audio
    // device) wakes the main loop, which otherwise sleeps until the X connection has data.
    static int SDLCALL eventAdded(void* userdata, SDL_Event*) {
        auto* state = static_cast<State*>(userdata);
        if (!(state->pumping && std::this_thread::get_id() == state->mainThread))
            platform::RunLoop::main().wake();
        return 1;
    }

    Point toPoints(int x, int y) const {
        return {(x + 0.5) / kPixelsPerPoint, (y + 0.5) / kPixelsPerPoint};
    }

    void touch(TouchPhase phase, int x, int y) {
        Point p = toPoints(x, y);
        if (phase == TouchPhase::Began) touchWindow = windowAt(p);
        auto target = touchWindow;
        if (!target) return;
        if (phase == TouchPhase::Ended || phase == TouchPhase::Cancelled) touchWindow.reset();
        target->sendTouch(phase, pointInWindow(*target, p));
    }

    void close() {
        if (closed) return;
        closed = true;
        auto& app = Application::shared();
        app.setState(ApplicationState::Background);
        app.terminate();
        platform::RunLoop::main().stop();
    }

    // Handles one event; true when it may have changed the screen (a pointer moving with no
    // touch down does not).
    bool handle(const SDL_Event& e) {
        auto& app = Application::shared();
        switch (e.type) {
            case SDL_QUIT:
                close();
                break;
            case SDL_WINDOWEVENT:
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_CLOSE:
                        close();
                        break;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        if (app.state() == ApplicationState::Active) {
                            app.setState(ApplicationState::Inactive);
                        }
                        break;
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                    case SDL_WINDOWEVENT_RESTORED:
                        app.setState(ApplicationState::Active);
                        mustPresent = true;
                        break;
                    case SDL_WINDOWEVENT_MINIMIZED:
                        app.setState(ApplicationState::Background);
                        break;
                    case SDL_WINDOWEVENT_EXPOSED:
                    case SDL_WINDOWEVENT_SHOWN:
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                        mustPresent = true;
                        break;
                    default:
                        break;
                }
                break;
            case SDL_MOUSEBUTTONDOWN:
                if (e.button.button == SDL_BUTTON_LEFT)
                    touch(TouchPhase::Began, e.button.x, e.button.y);
                break;
            case SDL_MOUSEMOTION:
                if (!touchWindow || !(e.motion.state & SDL_BUTTON_LMASK)) return false;
                touch(TouchPhase::Moved, e.motion.x, e.motion.y);
                break;
            case SDL_MOUSEBUTTONUP:
                if (e.button.button == SDL_BUTTON_LEFT)
                    touch(TouchPhase::Ended, e.button.x, e.button.y);
                break;
            case SDL_TEXTINPUT:
                if (auto field = focusedTextField()) typeInto(*field, e.text.text);
                break;
            case SDL_KEYDOWN:
                if (auto field = focusedTextField()) {
                    auto key = e.key.keysym.sym;
                    if (key == SDLK_BACKSPACE) field->deleteBackward();
                    if (key == SDLK_RETURN || key == SDLK_KP_ENTER) field->insertText("\n");
                }
                break;
            default:
                return false;
        }
        return true;
    }

    // Handles every event SDL has; true when one may have changed the screen.
    bool pumpEvents() {
        bool handled = false;
        pumping = true;
        SDL_Event e;
        while (!closed && SDL_PollEvent(&e)) {
            if (handle(e)) handled = true;
        }
        pumping = false;
        return handled;
    }

    // Shows the frame when it differs from the one on show (or the window lost its content).
    void present(const platform::render::Bitmap& frame) {
        const size_t bytes = size_t(frame.stride()) * size_t(frame.pixelHeight());
        const bool same =
            shown.size() == bytes && std::memcmp(shown.data(), frame.data(), bytes) == 0;
        if (same && !mustPresent) return;
        SDL_Surface* surface = SDL_GetWindowSurface(window);
        if (!surface) return;
        SDL_ConvertPixels(frame.pixelWidth(), frame.pixelHeight(), SDL_PIXELFORMAT_ARGB8888,
                          frame.data(), frame.stride(), surface->format->format, surface->pixels,
                          surface->pitch);
        SDL_UpdateWindowSurface(window);
        ++framesShown;
        mustPresent = false;
        shown.assign(frame.data(), frame.data() + bytes);
    }

    // Draws a frame at the window's own resolution: the launch picture until the app has a
    // window on screen (only ever at launch, as on the phone), then the screen.
    void drawFrame() {
        ++framesDrawn;
        lastFrame = SDL_GetTicks64();
        if (launchPicture && windowsOnScreen().empty()) {
            present(*launchPicture);
            return;
        }
        launchPicture.reset();
        platform::render::Bitmap next(platform::ui::Screen::main().bounds().size, kPixelsPerPoint);
        {
            platform::render::Canvas canvas(next);
            drawScreen(canvas);
        }
        present(next);
    }

    // A turn of the main loop to draw a frame at `delayMillis` from now (an animation's next
    // frame, or a frame held back to the frame rate).
    void scheduleTick(uint64_t delayMillis) {
        if (tickScheduled) return;
        tickScheduled = true;
        State* self = this;
        platform::Queue::main()->after(double(delayMillis) / 1000, [self, alive = alive_] {
            if (!*alive) return;
            self->tickScheduled = false;
            self->frameWanted = true;
        });
    }

    // The end of every turn of the main loop: SDL's events, then a frame when something may
    // have changed: an event, work the turn did (a block, a timer, a socket), a running
    // animation's next frame. Nothing happening costs nothing: the loop sleeps.
    void afterTurn(bool didWork) {
        if (closed) return;
        if (pumpEvents() || didWork) frameWanted = true;
        if (closed) return;
        if (frameWanted || mustPresent) {
            const uint64_t since = SDL_GetTicks64() - lastFrame;
            if (since < kMinFrameMillis && !mustPresent) {
                scheduleTick(kMinFrameMillis - since);
            } else {
                frameWanted = false;
                // Asked before drawing: a frame drawn while something still moved is followed
                // by another, so the end state is always drawn.
                const bool animating = screenIsAnimating();
                drawFrame();
                if (animating) scheduleTick(kAnimationFrameMillis);
            }
        }
        // Events read from the X connection while drawing wait in SDL's queue, where the
        // connection's readiness no longer shows them: take another turn for them.
        SDL_PumpEvents();
        if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) platform::RunLoop::main().wake();
    }

    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

WindowFrontEnd::WindowFrontEnd(std::unique_ptr<State> state) : state_(std::move(state)) {}

WindowFrontEnd::~WindowFrontEnd() = default;

std::unique_ptr<WindowFrontEnd> WindowFrontEnd::open(std::string& error) {
    // The launch picture is decoded and drawn while SDL opens the window.
    auto picture = std::async(std::launch::async, launchFrame, launchPictureFile());
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        SDL_Quit();
        return nullptr;
    }
    auto state = std::make_unique<State>();
    const auto& screen = platform::ui::Screen::main();
    auto size = screen.bounds().size;
    // Frames are drawn by cairo on the CPU at the window's resolution and copied into its
    // frame buffer: no GPU, no scaling (also under a virtual X server).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    state->window =
        SDL_CreateWindow("qen", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                         int(size.width * kPixelsPerPoint), int(size.height * kPixelsPerPoint), 0);
    if (!state->window || !SDL_GetWindowSurface(state->window)) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        return nullptr;
    }
    SDL_StartTextInput();
    // The launch picture is the first frame, shown while the app starts.
    state->launchPicture = picture.get();
    state->drawFrame();

    state->mixer = Mixer::open();
    if (auto mixer = state->mixer) {
        std::weak_ptr<Mixer> weak = mixer;
        platform::media::setPlayer(
            [weak](platform::media::SoundID, const std::filesystem::path& file) {
                if (file.empty()) return;  // vibration: nothing to hear
                if (auto m = weak.lock()) m->play(file);
            });
        // Video players' sound.
        platform::media::setAudioOutput([weak]() -> std::unique_ptr<platform::media::AudioStream> {
            auto m = weak.lock();
            return m ? m->openStream() : nullptr;
        });
    }

    platform::ui::setSystemBrowser(openInDesktopBrowser);

    // The main loop sleeps until the X connection has data, an event is pushed or work is
    // posted; each turn ends with the events and, when something may have changed, a frame.
    // Without an X connection to wait on, a hook polls SDL.
    State* raw = state.get();
    auto& loop = platform::RunLoop::main();
    state->observer = loop.addObserver([raw](bool didWork) { raw->afterTurn(didWork); });
    SDL_AddEventWatch(&State::eventAdded, raw);
    state->watching = true;
    if (const int fd = windowSystemConnection(state->window); fd >= 0) {
        // Its readiness only says that SDL has events to read, which the observer does.
        state->source = loop.addFileDescriptorSource(
            fd, POLLIN, [](short) {}, false);
    } else {
        state->hook = loop.addHook([raw] { return raw->pumpEvents(); });
    }
    return std::unique_ptr<WindowFrontEnd>(new WindowFrontEnd(std::move(state)));
}

uint64_t WindowFrontEnd::framesDrawn() const {
    return state_->framesDrawn;
}

uint64_t WindowFrontEnd::framesShown() const {
    return state_->framesShown;
}

bool WindowFrontEnd::isClosed() const {
    return state_->closed;
}

bool WindowFrontEnd::playsSounds() const {
    return state_->mixer != nullptr;
}

}  // namespace qen::app
