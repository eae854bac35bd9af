// Runs under a virtual X server with the dummy audio driver (see CMakeLists.txt).

#include "app/WindowFrontEnd.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/media/SystemSound.h"
#include "platform/render/Bitmap.h"
#include "platform/render/Canvas.h"
#include "platform/ui/Application.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Button.h"
#include "platform/ui/Keyboard.h"
#include "platform/ui/TextField.h"
#include "platform/ui/URLOpening.h"
#include "platform/ui/Window.h"

namespace qen::app {
namespace {

using namespace platform::ui;

struct RecordingDelegate : ApplicationDelegate {
    std::vector<std::string> calls;
    void didEnterBackground() override { calls.push_back("didEnterBackground"); }
    void willTerminate() override { calls.push_back("willTerminate"); }
};

void pushMouse(Uint32 type, Point p) {
    SDL_Event e{};
    e.type = type;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = int(p.x * WindowFrontEnd::kPixelsPerPoint);
    e.button.y = int(p.y * WindowFrontEnd::kPixelsPerPoint);
    SDL_PushEvent(&e);
}

// The colour the window shows at a screen point, read from its frame buffer.
Color shownAt(Point p) {
    SDL_Window* window = SDL_GetWindowFromID(1);  // the process's only window
    SDL_Surface* surface = window ? SDL_GetWindowSurface(window) : nullptr;
    if (!surface) return Color::clear();
    int x = int(p.x * WindowFrontEnd::kPixelsPerPoint);
    int y = int(p.y * WindowFrontEnd::kPixelsPerPoint);
    Uint32 pixel = 0;
    std::memcpy(&pixel,
                static_cast<Uint8*>(surface->pixels) + y * surface->pitch +
                    x * surface->format->BytesPerPixel,
                surface->format->BytesPerPixel);
    Uint8 r, g, b;
    SDL_GetRGB(pixel, surface->format, &r, &g, &b);
    return Color::fromRGB255(r, g, b);
}

// What the window shows, written as a PNG into QEN_SNAPSHOT_DIR when it is set.
void saveWindow(const std::string& name) {
    const char* dir = std::getenv("QEN_SNAPSHOT_DIR");
    SDL_Window* window = SDL_GetWindowFromID(1);
    SDL_Surface* surface = window ? SDL_GetWindowSurface(window) : nullptr;
    if (!dir || !*dir || !surface) return;
    std::vector<uint32_t> argb(size_t(surface->w) * size_t(surface->h));
    SDL_ConvertPixels(surface->w, surface->h, surface->format->format, surface->pixels,
                      surface->pitch, SDL_PIXELFORMAT_ARGB8888, argb.data(), surface->w * 4);
    for (auto& p : argb)
        p |= 0xff000000u;
    std::filesystem::create_directories(dir);
    platform::render::Bitmap::wrapping(argb.data(), surface->w, surface->h, surface->w * 4,
                                       WindowFrontEnd::kPixelsPerPoint)
        .writePNG(std::filesystem::path(dir) / (name + ".png"));
}

void click(Point p) {
    pushMouse(SDL_MOUSEBUTTONDOWN, p);
    pushMouse(SDL_MOUSEBUTTONUP, p);
}

// Half a second of 8-bit mono sound at 11025 Hz: a format the mixer has to convert.
std::filesystem::path writeWAV() {
    auto path = platform::AppHome::temporary() / "beep.wav";
    std::vector<uint8_t> samples(5512);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = (i / 10) % 2 ? 200 : 56;
    auto u32 = [](std::ofstream& out, uint32_t v) { out.write(reinterpret_cast<char*>(&v), 4); };
    auto u16 = [](std::ofstream& out, uint16_t v) { out.write(reinterpret_cast<char*>(&v), 2); };
    std::ofstream out(path, std::ios::binary);
    out.write("RIFF", 4);
    u32(out, 36 + uint32_t(samples.size()));
    out.write("WAVEfmt ", 8);
    u32(out, 16);
    u16(out, 1);      // PCM
    u16(out, 1);      // mono
    u32(out, 11025);  // rate
    u32(out, 11025);  // bytes per second
    u16(out, 1);      // block
    u16(out, 8);      // bits
    out.write("data", 4);
    u32(out, uint32_t(samples.size()));
    out.write(reinterpret_cast<char*>(samples.data()), std::streamsize(samples.size()));
    return path;
}

TEST(WindowFrontEnd, MouseAndKeyboardReachTheViewsAndClosingTerminates) {
    auto delegate = std::make_shared<RecordingDelegate>();
    Application::shared().launch(delegate);
    auto window = std::make_shared<Window>();
    window->setBackgroundColor(Color::white());
    auto button = std::make_shared<Button>(Rect(100, 200, 120, 44));
    button->setBackgroundColor(Color::fromRGB255(40, 160, 60));
    button->setTitle("买入", ControlState::Normal);
    int clicks = 0;
    button->addTarget([&](auto&, auto) { ++clicks; }, ControlEvent::TouchUpInside);
    window->addSubview(button);
    auto field = std::make_shared<TextField>(Rect(20, 300, 200, 30));
    window->addSubview(field);
    window->makeKeyAndVisible();

    platform::LogCapture log;
    std::string error;
    auto frontEnd = WindowFrontEnd::open(error);
    ASSERT_TRUE(frontEnd) << error;
    auto& loop = platform::RunLoop::main();

    // The window shows the screen, scaled to its size.
    ASSERT_TRUE(loop.runUntil([&] { return shownAt({105, 205}).green > 0.5; }, 10));
    EXPECT_NEAR(shownAt({105, 205}).red, 40 / 255.0, 0.05);
    EXPECT_NEAR(shownAt({90, 205}).red, 1, 0.05);

    click(button->center());
    ASSERT_TRUE(loop.runUntil([&] { return clicks == 1; }, 10));
    EXPECT_FALSE(button->isHighlighted());

    click(field->center());
    ASSERT_TRUE(loop.runUntil([&] { return field->isFirstResponder(); }, 10));
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    std::strcpy(text.text.text, "12万");
    SDL_PushEvent(&text);
    SDL_Event backspace{};
    backspace.type = SDL_KEYDOWN;
    backspace.key.keysym.sym = SDLK_BACKSPACE;
    SDL_PushEvent(&backspace);
    ASSERT_TRUE(loop.runUntil([&] { return field->text() == "12"; }, 10)) << field->text();

    // With the front end's player, a sound is heard instead of recorded.
    ASSERT_TRUE(frontEnd->playsSounds());
    platform::media::clearPlayedSounds();
    platform::media::playSystemSound(platform::media::createSystemSound(writeWAV()));
    EXPECT_TRUE(platform::media::playedSounds().empty());

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    ASSERT_TRUE(loop.runUntil([&] { return frontEnd->isClosed(); }, 10));
    EXPECT_EQ(delegate->calls, (std::vector<std::string>{"didEnterBackground", "willTerminate"}));
    EXPECT_EQ(Application::shared().state(), ApplicationState::Background);

    frontEnd.reset();
    EXPECT_FALSE(log.contains("cannot play")) << log.lines().front();
    // Sounds are recorded again once the window is gone.
    platform::media::playSystemSound(platform::media::createSystemSound(writeWAV()));
    EXPECT_EQ(platform::media::playedSounds().size(), 1u);
}

bool near(const Color& a, const Color& b) {
    return std::abs(a.red - b.red) < 0.06 && std::abs(a.green - b.green) < 0.06 &&
           std::abs(a.blue - b.blue) < 0.06;
}

// Turns of the main loop for `seconds` of real time.
void runFor(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    platform::RunLoop::main().runUntil([&] { return std::chrono::steady_clock::now() >= until; },
                                       seconds + 5);
}

// A bundle whose Info.plist names a launch picture of one colour.
void makeBundleWithLaunchPicture(const Color& color) {
    const auto bundle = platform::AppHome::temporary() / "bundle";
    std::filesystem::create_directories(bundle);
    platform::render::Bitmap picture({320, 568}, 2);
    {
        platform::render::Canvas canvas(picture);
        canvas.fillRect({0, 0, 320, 568}, color);
    }
    ASSERT_TRUE(picture.writePNG(bundle / "Launch.png"));
    ASSERT_TRUE(platform::plist::writeFile(
        bundle / "Info.plist",
        platform::Value(platform::Dictionary{{"UILaunchImageFile", platform::Value("Launch")}})));
    setBundleDirectory(bundle);
}

TEST(WindowFrontEnd, TheLaunchPictureShowsUntilTheAppHasAWindowOnScreen) {
    const Color launch = Color::fromRGB255(200, 120, 30);
    makeBundleWithLaunchPicture(launch);
    Application::shared().launch(std::make_shared<ApplicationDelegate>());
    std::string error;
    auto frontEnd = WindowFrontEnd::open(error);
    ASSERT_TRUE(frontEnd) << error;
    // The first frame, before the main loop ever ran.
    EXPECT_EQ(frontEnd->framesShown(), 1u);
    EXPECT_TRUE(near(shownAt({160, 300}), launch));
    runFor(0.1);
    EXPECT_TRUE(near(shownAt({160, 300}), launch)) << "no window yet";

    // The app changes the screen from inside the main loop's turns, as here.
    auto window = std::make_shared<Window>();
    window->setBackgroundColor(Color::white());
    platform::Queue::main()->async([&] { window->makeKeyAndVisible(); });
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] {
            return near(shownAt({160, 300}), Color::white());
        },
        10));

    // Only ever at launch: with no window on screen later, the screen is black.
    platform::Queue::main()->async([&] { window->setHidden(true); });
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] {
            return near(shownAt({160, 300}), Color::black());
        },
        10));
}

TEST(WindowFrontEnd, FramesAreDrawnOnlyAfterChangesAndShownOnlyWhenTheyDiffer) {
    Application::shared().launch(std::make_shared<ApplicationDelegate>());
    auto window = std::make_shared<Window>();
    window->setBackgroundColor(Color::white());
    auto panel = std::make_shared<View>(Rect(40, 40, 100, 100));
    panel->setBackgroundColor(Color::fromRGB255(40, 160, 60));
    window->addSubview(panel);
    window->makeKeyAndVisible();
    std::string error;
    auto frontEnd = WindowFrontEnd::open(error);
    ASSERT_TRUE(frontEnd) << error;
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] {
            return near(shownAt({50, 50}), Color::fromRGB255(40, 160, 60));
        },
        10));
    // The window's own start-up events (exposure, focus) come and go first.
    for (int quiet = 0, tries = 0; quiet < 2 && tries < 20; ++tries) {
        const uint64_t before = frontEnd->framesDrawn();
        runFor(0.3);
        quiet = frontEnd->framesDrawn() == before ? quiet + 1 : 0;
    }

    // Nothing happening: the loop sleeps and no frame is drawn.
    const uint64_t drawn = frontEnd->framesDrawn();
    const uint64_t shown = frontEnd->framesShown();
    runFor(0.5);
    EXPECT_EQ(frontEnd->framesDrawn(), drawn);

    // Work that changes nothing draws a frame but shows none.
    platform::Queue::main()->async([] {});
    ASSERT_TRUE(
        platform::RunLoop::main().runUntil([&] { return frontEnd->framesDrawn() > drawn; }, 10));
    runFor(0.1);
    EXPECT_EQ(frontEnd->framesShown(), shown);

    // A change is shown.
    platform::Queue::main()->async(
        [&] { panel->setBackgroundColor(Color::fromRGB255(200, 30, 30)); });
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] {
            return near(shownAt({50, 50}), Color::fromRGB255(200, 30, 30));
        },
        10));
    EXPECT_EQ(frontEnd->framesShown(), shown + 1);

    // An animation is drawn frame by frame while it runs, with nothing else happening, and
    // the drawing stops after it.
    auto fade = BasicAnimation::withKeyPath("opacity");
    fade.fromValue = 1.0;
    fade.toValue = 0.0;
    fade.duration = 1.5;
    const uint64_t before = frontEnd->framesShown();
    const auto started = std::chrono::steady_clock::now();
    platform::Queue::main()->async([&] { panel->addAnimation(fade, "opacity"); });
    // About one frame every 33 ms; however slow drawing is (sanitizers, a busy machine), more
    // than one while it runs.
    EXPECT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return frontEnd->framesShown() >= before + 3; }, 10));
    const double left =
        1.8 - std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (left > 0) runFor(left);
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] {
            return near(shownAt({50, 50}), Color::fromRGB255(200, 30, 30));
        },
        10))
        << "the model's colour again";
    runFor(0.2);
    const uint64_t after = frontEnd->framesDrawn();
    runFor(0.3);
    EXPECT_EQ(frontEnd->framesDrawn(), after);
}

TEST(WindowFrontEnd, TheNumberPadIsDrawnAndTappedWhileAFieldEdits) {
    Application::shared().launch(std::make_shared<ApplicationDelegate>());
    auto window = std::make_shared<Window>();
    const Color backdrop = Color::fromRGB255(30, 60, 90);
    window->setBackgroundColor(backdrop);
    auto field = std::make_shared<TextField>(Rect(20, 100, 200, 30));
    field->setKeyboardType(KeyboardType::NumberPad);
    field->setBackgroundColor(Color::white());
    window->addSubview(field);
    window->makeKeyAndVisible();
    std::string error;
    auto frontEnd = WindowFrontEnd::open(error);
    ASSERT_TRUE(frontEnd) << error;
    auto& loop = platform::RunLoop::main();
    const Point padArea{60, 568 - 190};  // where the "1" key lies, right of its digit
    ASSERT_TRUE(loop.runUntil([&] { return near(shownAt(padArea), backdrop); }, 10));

    click(field->center());
    ASSERT_TRUE(loop.runUntil([&] { return KeyboardView::current() != nullptr; }, 10));
    ASSERT_TRUE(loop.runUntil([&] { return shownAt(padArea).red > 0.9; }, 10))
        << "the keys are drawn in the window";

    // Typed by clicking the keys, and by the keyboard as before.
    for (const char* name : {"key2", "key5"}) {
        auto key = window->viewNamed(name);
        ASSERT_TRUE(key);
        click(key->convertPointToView(key->bounds().center(), nullptr));
        loop.runUntil([] { return false; }, 0.05);
    }
    ASSERT_TRUE(loop.runUntil([&] { return field->text() == "25"; }, 10)) << field->text();
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    std::strcpy(text.text.text, "0");
    SDL_PushEvent(&text);
    ASSERT_TRUE(loop.runUntil([&] { return field->text() == "250"; }, 10)) << field->text();
    saveWindow("window-number-pad");

    platform::Queue::main()->async([&] { field->resignFirstResponder(); });
    ASSERT_TRUE(loop.runUntil([&] { return near(shownAt(padArea), backdrop); }, 10))
        << "gone with the editing";
}

// Whether a thread of this process plays audio (SDL names its device threads "SDLAudio...").
bool audioThreadRunning() {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        const auto name = platform::files::readText(task.path() / "comm");
        if (name && name->rfind("SDLAudio", 0) == 0) return true;
    }
    return false;
}

TEST(WindowFrontEnd, TheSoundDeviceIsOpenOnlyWhileSoundsPlay) {
    std::string error;
    auto frontEnd = WindowFrontEnd::open(error);
    ASSERT_TRUE(frontEnd) << error;
    ASSERT_TRUE(frontEnd->playsSounds());
    auto& loop = platform::RunLoop::main();
    // Silent: the device is closed after a moment, and no thread wakes for its buffers.
    ASSERT_TRUE(loop.runUntil([] { return !audioThreadRunning(); }, 10));

    platform::media::clearPlayedSounds();
    platform::media::playSystemSound(platform::media::createSystemSound(writeWAV()));
    EXPECT_TRUE(platform::media::playedSounds().empty()) << "heard, not recorded";
    ASSERT_TRUE(loop.runUntil([] { return audioThreadRunning(); }, 10)) << "opened to play";
    ASSERT_TRUE(loop.runUntil([] { return !audioThreadRunning(); }, 10)) << "closed after";
}

TEST(WindowFrontEnd, WebAddressesGoToTheDesktopsBrowser) {
    // A stand-in xdg-open first on the PATH, which writes down what it was given.
    const auto bin = platform::AppHome::temporary() / "bin";
    std::filesystem::create_directories(bin);
    const auto record = platform::AppHome::temporary() / "opened.txt";
    ASSERT_TRUE(platform::files::writeAtomically(
        bin / "xdg-open", "#!/bin/sh\necho \"$1\" > " + record.string() + "\n"));
    std::filesystem::permissions(bin / "xdg-open", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);

    std::string error;
    auto frontEnd = WindowFrontEnd::open(error);
    ASSERT_TRUE(frontEnd) << error;
    platform::LogCapture log;
    ASSERT_TRUE(openURL("https://shop.example.com/ad3"));
    ASSERT_TRUE(platform::RunLoop::main().runUntil(
        [&] { return platform::files::readText(record).has_value(); }, 10));
    EXPECT_EQ(*platform::files::readText(record), "https://shop.example.com/ad3\n");
    EXPECT_TRUE(log.contains("opened in the desktop's browser: https://shop.example.com/ad3"));

    // Without xdg-open the address is only logged.
    setenv("PATH", (platform::AppHome::temporary() / "nothing-here").c_str(), 1);
    ASSERT_TRUE(openURL("https://shop.example.com/ad4"));
    EXPECT_TRUE(
        log.contains("no browser on this desktop (xdg-open not found): "
                     "https://shop.example.com/ad4"));
    setenv("PATH", path.c_str(), 1);
}

}  // namespace
}  // namespace qen::app
