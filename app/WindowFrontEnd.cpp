#include "app/WindowFrontEnd.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "app/Screen.h"
#include "app/TextInput.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Log.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/SystemSound.h"
#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"

namespace qen::app {

using platform::ui::Application;
using platform::ui::ApplicationState;
using platform::ui::TouchPhase;
using platform::ui::Window;

namespace {

constexpr uint64_t kFrameMillis = 33;

// Mixes the sounds being played into one stereo stream. Files are decoded and converted to
// the device's format on a serial queue of their own, so a play never blocks its caller; each
// file is decoded once.
class Mixer {
  public:
    static std::shared_ptr<Mixer> open() {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            platform::log(std::string("qen: no audio: ") + SDL_GetError());
            return nullptr;
        }
        auto mixer = std::shared_ptr<Mixer>(new Mixer());
        mixer->self_ = mixer;
        SDL_AudioSpec want{};
        want.freq = 44100;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        want.callback = &Mixer::fill;
        want.userdata = mixer.get();
        mixer->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &mixer->spec_, 0);
        if (mixer->device_ == 0) {
            platform::log(std::string("qen: no audio device: ") + SDL_GetError());
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            return nullptr;
        }
        SDL_PauseAudioDevice(mixer->device_, 0);
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
        }
        return std::make_unique<Stream>(self_, queue);
    }

    // Waits for the decoding in flight, then closes the device.
    void close() {
        if (device_ == 0) return;
        loader_->sync([] {});
        SDL_CloseAudioDevice(device_);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        device_ = 0;
    }

  private:
    using Samples = std::vector<int16_t>;
    struct Voice {
        std::shared_ptr<const Samples> samples;
        size_t position = 0;
    };

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

    // On the loader queue.
    void start(const std::filesystem::path& file) {
        auto& samples = decoded_[file];
        if (!samples) samples = decode(file);
        if (!samples || samples->empty()) return;
        std::lock_guard lock(mutex_);
        voices_.push_back({samples, 0});
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
        }
        for (size_t i = 0; i < count; ++i)
            out[i] = int16_t(std::clamp(sum[i], -32768, 32767));
    }

    std::weak_ptr<Mixer> self_;
    SDL_AudioDeviceID device_ = 0;
    SDL_AudioSpec spec_{};
    std::shared_ptr<platform::Queue> loader_;
    std::map<std::filesystem::path, std::shared_ptr<const Samples>> decoded_;  // loader queue
    std::mutex mutex_;
    std::vector<Voice> voices_;                          // under mutex_
    std::vector<std::shared_ptr<StreamQueue>> streams_;  // under mutex_
};

}  // namespace

struct WindowFrontEnd::State {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* texture = nullptr;
    int hook = 0;
    bool closed = false;
    bool dirty = true;
    uint64_t lastFrame = 0;
    std::shared_ptr<Window> touchWindow;  // the window of the touch that is down
    std::shared_ptr<Mixer> mixer;

    ~State() {
        if (hook) platform::RunLoop::main().removeHook(hook);
        if (mixer) {
            platform::media::setPlayer(nullptr);
            platform::media::setAudioOutput(nullptr);
            mixer->close();
        }
        if (texture) SDL_DestroyTexture(texture);
        if (renderer) SDL_DestroyRenderer(renderer);
        if (window) {
            SDL_StopTextInput();
            SDL_DestroyWindow(window);
        }
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
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

    void handle(const SDL_Event& e) {
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
                        break;
                    case SDL_WINDOWEVENT_MINIMIZED:
                        app.setState(ApplicationState::Background);
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
                if (touchWindow && (e.motion.state & SDL_BUTTON_LMASK)) {
                    touch(TouchPhase::Moved, e.motion.x, e.motion.y);
                }
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
                break;
        }
    }

    void draw() {
        void* pixels = nullptr;
        int pitch = 0;
        if (SDL_LockTexture(texture, nullptr, &pixels, &pitch) != 0) return;
        {
            const auto& screen = platform::ui::Screen::main();
            auto size = screen.bounds().size;
            auto bitmap = platform::render::Bitmap::wrapping(
                pixels, int(size.width * screen.scale()), int(size.height * screen.scale()), pitch,
                screen.scale());
            platform::render::Canvas canvas(bitmap);
            drawScreen(canvas);
        }
        SDL_UnlockTexture(texture);
        SDL_RenderClear(renderer);
        SDL_RenderCopy(renderer, texture, nullptr, nullptr);
        SDL_RenderPresent(renderer);
    }

    // The run-loop hook.
    bool poll() {
        bool handled = false;
        SDL_Event e;
        while (!closed && SDL_PollEvent(&e)) {
            handle(e);
            handled = true;
        }
        if (closed) return handled;
        uint64_t now = SDL_GetTicks64();
        if (handled || dirty || now - lastFrame >= kFrameMillis) {
            draw();
            lastFrame = now;
            dirty = false;
        }
        return handled;
    }
};

WindowFrontEnd::WindowFrontEnd(std::unique_ptr<State> state) : state_(std::move(state)) {}

WindowFrontEnd::~WindowFrontEnd() = default;

std::unique_ptr<WindowFrontEnd> WindowFrontEnd::open(std::string& error) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        SDL_Quit();
        return nullptr;
    }
    auto state = std::make_unique<State>();
    const auto& screen = platform::ui::Screen::main();
    auto size = screen.bounds().size;
    // Frames are drawn by cairo on the CPU; showing them needs no GPU, so the window stays on
    // the software path end to end (also under a virtual X server).
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
    state->window =
        SDL_CreateWindow("qen", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                         int(size.width * kPixelsPerPoint), int(size.height * kPixelsPerPoint), 0);
    if (state->window)
        state->renderer = SDL_CreateRenderer(state->window, -1, SDL_RENDERER_SOFTWARE);
    if (state->renderer) {
        state->texture = SDL_CreateTexture(
            state->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
            int(size.width * screen.scale()), int(size.height * screen.scale()));
    }
    if (!state->texture) {
        error = std::string("cannot open a window: ") + SDL_GetError();
        return nullptr;
    }
    SDL_StartTextInput();

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

    State* raw = state.get();
    state->hook = platform::RunLoop::main().addHook([raw] { return raw->poll(); });
    return std::unique_ptr<WindowFrontEnd>(new WindowFrontEnd(std::move(state)));
}

bool WindowFrontEnd::isClosed() const {
    return state_->closed;
}

bool WindowFrontEnd::playsSounds() const {
    return state_->mixer != nullptr;
}

}  // namespace qen::app
