// Runs under a virtual X server with the dummy audio driver (see CMakeLists.txt).

#include "app/WindowFrontEnd.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Log.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/TextField.h"
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

}  // namespace
}  // namespace qen::app
