// The qen program started in a window, watched from outside through the X server as a person
// sees it: the launch picture is on screen from the first frames, while the game blocks its
// start-up, and the game's own screen replaces it. Runs under a virtual X server (see
// CMakeLists.txt); the screenshots go to the test's temporary folder and QEN_SNAPSHOT_DIR.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/WindowFrontEnd.h"
#include "platform/foundation/AppHome.h"
#include "platform/render/Bitmap.h"
#include "platform/render/Image.h"

// Last: the X11 headers define names (None, Bool, Status) that other headers use.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;
using platform::render::Color;

constexpr int kWidth = int(320 * qen::app::WindowFrontEnd::kPixelsPerPoint);
constexpr int kHeight = int(568 * qen::app::WindowFrontEnd::kPixelsPerPoint);

// What the X server shows of the program's window: its pixels as 0xRRGGBB.
struct Capture {
    std::vector<uint32_t> pixels;
    Color at(int x, int y) const {
        const uint32_t p = pixels[size_t(y) * kWidth + x];
        return Color::fromRGB255((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff);
    }
};

// The viewable top-level window of the phone screen's size, captured; nullopt while there is
// none.
std::optional<Capture> captureWindow(Display* display) {
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, root, &root, &parent, &children, &count)) return std::nullopt;
    std::optional<Capture> capture;
    for (unsigned i = count; i-- > 0 && !capture;) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, children[i], &attributes)) continue;
        if (attributes.map_state != IsViewable || attributes.width != kWidth ||
            attributes.height != kHeight)
            continue;
        XImage* image = XGetImage(display, children[i], 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
        if (!image) continue;
        Capture c;
        c.pixels.resize(size_t(kWidth) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            const auto* row = reinterpret_cast<const uint8_t*>(image->data) +
                              size_t(y) * size_t(image->bytes_per_line);
            for (int x = 0; x < kWidth; ++x) {
                uint32_t pixel = 0;
                if (image->bits_per_pixel == 32) {
                    std::memcpy(&pixel, row + size_t(x) * 4, 4);
                } else {
                    pixel = uint32_t(XGetPixel(image, x, y));
                }
                c.pixels[size_t(y) * kWidth + x] = pixel & 0xffffff;
            }
        }
        XDestroyImage(image);
        capture = std::move(c);
    }
    if (children) XFree(children);
    return capture;
}

// Whether the capture shows the picture (drawn at 2 pixels a point, shown scaled): most points
// of a grid agree within the scaling's blur.
bool shows(const Capture& capture, const platform::render::Image& picture) {
    int checked = 0, agreeing = 0;
    for (int gy = 1; gy < 24; ++gy) {
        for (int gx = 1; gx < 12; ++gx) {
            const int x = gx * kWidth / 12, y = gy * kHeight / 24;
            const Color shown = capture.at(x, y);
            const Color drawn =
                picture.pixelAt(int(x / qen::app::WindowFrontEnd::kPixelsPerPoint * 2),
                                int(y / qen::app::WindowFrontEnd::kPixelsPerPoint * 2));
            ++checked;
            if (std::abs(shown.red - drawn.red) < 0.15 &&
                std::abs(shown.green - drawn.green) < 0.15 &&
                std::abs(shown.blue - drawn.blue) < 0.15)
                ++agreeing;
        }
    }
    return agreeing * 10 >= checked * 9;
}

// A window mapped but not drawn yet.
bool black(const Capture& capture) {
    for (uint32_t p : capture.pixels)
        if (p != 0) return false;
    return true;
}

void save(const Capture& capture, const std::string& name) {
    std::vector<uint32_t> argb(capture.pixels.size());
    for (size_t i = 0; i < argb.size(); ++i)
        argb[i] = 0xff000000u | capture.pixels[i];
    auto bitmap = platform::render::Bitmap::wrapping(argb.data(), kWidth, kHeight, kWidth * 4,
                                                     qen::app::WindowFrontEnd::kPixelsPerPoint);
    std::vector<fs::path> dirs = {platform::AppHome::temporary()};
    if (const char* wanted = std::getenv("QEN_SNAPSHOT_DIR"); wanted && *wanted)
        dirs.emplace_back(wanted);
    for (const auto& dir : dirs) {
        fs::create_directories(dir);
        EXPECT_TRUE(bitmap.writePNG(dir / (name + ".png")));
    }
}

TEST(LaunchPicture, IsOnScreenFromTheFirstFramesUntilTheGameDrawsItsOwn) {
    const auto picture = platform::render::Image::fromFile(
        fs::path(QEN_BUNDLE_DIR) / "LaunchImage.png", platform::render::Image::kPictureScale);
    ASSERT_TRUE(picture);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr) << "no X server";

    const std::string home = (platform::AppHome::temporary() / "home").string();
    std::vector<std::string> args = {QEN_EXECUTABLE, "--bundle", QEN_BUNDLE_DIR, "--home", home};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = Steady::now();
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, QEN_EXECUTABLE, nullptr, nullptr, argv.data(), environ), 0);

    // Watch the window from its first frame: the launch picture, then the game's own screen.
    std::optional<double> windowSeen, launchSeen, ownSeen;
    std::optional<Capture> firstShown;
    while (Steady::now() - start < std::chrono::seconds(30) && !ownSeen) {
        auto capture = captureWindow(display);
        const double at = std::chrono::duration<double>(Steady::now() - start).count();
        if (capture) {
            if (!windowSeen) windowSeen = at;
            if (shows(*capture, *picture)) {
                if (!launchSeen) {
                    launchSeen = at;
                    save(*capture, "launch-picture");
                }
            } else if (launchSeen) {
                ownSeen = at;
                save(*capture, "after-launch");
            } else if (!firstShown && !black(*capture)) {
                firstShown = std::move(capture);
            }
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(display);

    ASSERT_TRUE(launchSeen) << "the launch picture never showed";
    EXPECT_FALSE(firstShown) << "the window showed something else before the launch picture";
    if (firstShown) save(*firstShown, "before-launch");
    ASSERT_TRUE(ownSeen) << "the game's screen never replaced the launch picture";
    // The game blocks its main thread for 1.5 s while it starts; the picture covers that time.
    EXPECT_GT(*ownSeen - *launchSeen, 1.0);
    std::printf(
        "after the program's start: its window on screen at %.0f ms, the launch picture at "
        "%.0f ms, the game's screen at %.0f ms\n",
        *windowSeen * 1000, *launchSeen * 1000, *ownSeen * 1000);
    RecordProperty("window_ms", int(*windowSeen * 1000));
    RecordProperty("launch_picture_ms", int(*launchSeen * 1000));
}

}  // namespace
