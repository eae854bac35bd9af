#include "app/HeadlessRunner.h"

#include <charconv>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "app/Screen.h"
#include "app/TextInput.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"

namespace qen::app {

using platform::ui::Button;
using platform::ui::Label;
using platform::ui::TextField;
using platform::ui::TouchPhase;
using platform::ui::View;
using platform::ui::Window;

namespace {

constexpr double kDefaultWaitForTimeout = 10;
// Real seconds a wait may take beyond its own length before the run gives up on it; with the
// virtual clock, the real time a wait may take at all (the clock stands still while real work,
// such as a request to a peer, is outstanding).
constexpr double kRealSlack = 10;
constexpr double kVirtualCap = 60;
// Turns of the main loop run after a tap or typed text, at most, while they find work.
constexpr int kSettleTurns = 100;

std::string_view trim(std::string_view s) {
    const char* space = " \t\r\n";
    auto first = s.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(space) - first + 1);
}

std::optional<double> parseNumber(std::string_view text) {
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t')
            ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

bool isTransparent(const View& view) {
    return view.isHidden() || view.presentationAlpha() < 0.01;
}

// Calls `visit` for every shown view of the shown windows, front-most first (a view's
// subviews, front to back, before the view itself), until it returns true.
bool visitFrontToBack(View& view, const std::function<bool(View&)>& visit) {
    if (isTransparent(view)) return false;
    const auto& subviews = view.subviews();
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
        if (visitFrontToBack(**it, visit)) return true;
    }
    return visit(view);
}

bool visitScreen(const std::function<bool(View&)>& visit) {
    auto shown = windowsOnScreen();
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) {
        if (visitFrontToBack(**it, visit)) return true;
    }
    return false;
}

// What a tap or waitfor line names: a view by its name, else a button by its title.
std::shared_ptr<View> findTarget(const std::string& name) {
    std::shared_ptr<View> found;
    visitScreen([&](View& view) {
        if (view.name() == name) found = view.shared_from_this();
        return found != nullptr;
    });
    if (found) return found;
    visitScreen([&](View& view) {
        auto* button = dynamic_cast<Button*>(&view);
        if (button && button->currentTitle() == name) found = view.shared_from_this();
        return found != nullptr;
    });
    return found;
}

bool showsText(const std::string& text) {
    return visitScreen([&](View& view) {
        if (auto* label = dynamic_cast<Label*>(&view)) {
            return label->text().find(text) != std::string::npos;
        }
        if (auto* button = dynamic_cast<Button*>(&view)) {
            auto title = button->currentTitle();
            return title && title->find(text) != std::string::npos;
        }
        if (auto* field = dynamic_cast<TextField*>(&view)) {
            return field->text().find(text) != std::string::npos;
        }
        return false;
    });
}

std::string describe(const View& view) {
    std::string out = view.className();
    if (!view.name().empty()) out += " \"" + view.name() + "\"";
    return out;
}

// Runs the work that is ready on the main loop, so the next line sees what a tap caused.
void settle() {
    for (int i = 0; i < kSettleTurns && platform::RunLoop::main().runOnce(0); ++i) {
    }
}

// Runs the main loop until `seconds` passed on the Clock or `until` holds. Returns whether
// either happened before the real-time cap.
bool runFor(double seconds, const std::function<bool()>& until) {
    auto due = std::make_shared<bool>(false);
    platform::Queue::main()->after(seconds, [due] { *due = true; });
    double cap = platform::Clock::isVirtual() ? kVirtualCap : seconds + kRealSlack;
    return platform::RunLoop::main().runUntil([&] { return *due || (until && until()); }, cap);
}

void sendTap(Window& window, Point screenPoint) {
    Point p = pointInWindow(window, screenPoint);
    window.sendTouch(TouchPhase::Began, p);
    window.sendTouch(TouchPhase::Ended, p);
}

}  // namespace

bool HeadlessRunner::runFile(const std::filesystem::path& script, std::string& error) {
    std::ifstream in(script, std::ios::binary);
    if (!in) {
        error = "cannot read the script " + script.string();
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return run(text.str(), script.string(), error);
}

bool HeadlessRunner::run(std::string_view script, std::string_view source, std::string& error) {
    // The open if blocks, innermost last: whether the lines of the part being read run.
    struct Block {
        bool outerRuns;  // the lines around the block run
        bool holds;      // the if's condition held
        bool inElse = false;
        int line;
    };
    std::vector<Block> blocks;
    auto running = [&] {
        return blocks.empty() ||
               (blocks.back().outerRuns && blocks.back().holds != blocks.back().inElse);
    };
    auto fail = [&](int number, std::string_view line, const std::string& message) {
        error = std::string(source) + ":" + std::to_string(number) + ": " + std::string(line) +
                ": " + message;
        return false;
    };
    int number = 0;
    size_t pos = 0;
    while (pos <= script.size()) {
        size_t end = script.find('\n', pos);
        if (end == std::string_view::npos) end = script.size();
        std::string_view line = trim(script.substr(pos, end - pos));
        pos = end + 1;
        ++number;
        if (line.empty() || line.front() == '#') continue;
        size_t split = line.find_first_of(" \t");
        std::string_view command = line.substr(0, split);
        std::string_view argument =
            split == std::string_view::npos ? std::string_view() : trim(line.substr(split));
        if (command == "if") {
            if (argument.empty()) return fail(number, line, "if needs a name or a text");
            const bool outer = running();
            const std::string wanted(argument);
            const bool holds = outer && (findTarget(wanted) != nullptr || showsText(wanted));
            blocks.push_back({outer, holds, false, number});
            continue;
        }
        if (command == "else") {
            if (blocks.empty() || blocks.back().inElse)
                return fail(number, line, "else without its if");
            blocks.back().inElse = true;
            continue;
        }
        if (command == "end") {
            if (blocks.empty()) return fail(number, line, "end without its if");
            blocks.pop_back();
            continue;
        }
        if (!running()) continue;
        std::string message;
        if (!runCommand(command, argument, message)) return fail(number, line, message);
    }
    if (!blocks.empty()) {
        error =
            std::string(source) + ":" + std::to_string(blocks.back().line) + ": if without its end";
        return false;
    }
    return true;
}

bool HeadlessRunner::runCommand(std::string_view command,
                                std::string_view argument,
                                std::string& error) {
    if (command == "tap") {
        auto parts = words(argument);
        if (parts.empty()) {
            error = "tap needs a name or a point";
            return false;
        }
        if (parts.size() == 2 && parseNumber(parts[0]) && parseNumber(parts[1])) {
            Point p{*parseNumber(parts[0]), *parseNumber(parts[1])};
            auto window = windowAt(p);
            if (!window) {
                error = "no window at that point";
                return false;
            }
            sendTap(*window, p);
            settle();
            return true;
        }
        std::string name(argument);
        auto view = findTarget(name);
        if (!view) {
            error = "no visible view, button or alert button named \"" + name + "\"";
            return false;
        }
        auto window = view->window();
        Point centre =
            pointOnScreen(*window, view->convertRectToView(view->bounds(), nullptr).center());
        auto front = windowAt(centre);
        if (!front) {
            error = "\"" + name + "\" lies off the screen";
            return false;
        }
        // The tap goes where a finger would land; a view covering the target gets it, which a
        // script never means.
        auto hit = front->hitTest(pointInWindow(*front, centre));
        if (!hit) {
            error = "\"" + name + "\" takes no touches";
            return false;
        }
        if (!hit->isDescendantOfView(view.get()) && !view->isDescendantOfView(hit.get())) {
            error = "\"" + name + "\" is covered by " + describe(*hit);
            return false;
        }
        sendTap(*front, centre);
        settle();
        return true;
    }
    if (command == "type") {
        auto field = focusedTextField();
        if (!field) {
            error = "no text field is being edited";
            return false;
        }
        typeInto(*field, argument);
        settle();
        return true;
    }
    if (command == "wait") {
        auto seconds = parseNumber(argument);
        if (!seconds || *seconds < 0) {
            error = "wait needs a number of seconds";
            return false;
        }
        if (!runFor(*seconds, nullptr)) {
            error = "the clock did not move on (work still outstanding)";
            return false;
        }
        return true;
    }
    if (command == "waitfor") {
        auto parts = words(argument);
        double timeout = kDefaultWaitForTimeout;
        std::string_view name = argument;
        if (parts.size() >= 2) {
            if (auto t = parseNumber(parts.back())) {
                timeout = *t;
                name = trim(argument.substr(0, argument.size() - parts.back().size()));
            }
        }
        if (name.empty()) {
            error = "waitfor needs a name";
            return false;
        }
        std::string target(name);
        runFor(timeout, [&] { return findTarget(target) != nullptr; });
        if (!findTarget(target)) {
            error = "\"" + target + "\" did not appear";
            return false;
        }
        return true;
    }
    if (command == "shot") {
        if (argument.empty()) {
            error = "shot needs a name";
            return false;
        }
        if (options_.shotsDirectory.empty()) {
            error = "no shots directory (--shots DIR)";
            return false;
        }
        std::error_code ec;
        std::filesystem::create_directories(options_.shotsDirectory, ec);
        auto file = options_.shotsDirectory / (std::string(argument) + ".png");
        if (!screenshot().writePNG(file)) {
            error = "cannot write " + file.string();
            return false;
        }
        return true;
    }
    if (command == "expect") {
        if (argument.empty()) {
            error = "expect needs a text";
            return false;
        }
        if (!showsText(std::string(argument))) {
            error = "nothing visible shows \"" + std::string(argument) + "\"";
            return false;
        }
        return true;
    }
    if (command == "log") {
        std::cout << argument << std::endl;
        return true;
    }
    error = "unknown command \"" + std::string(command) + "\"";
    return false;
}

}  // namespace qen::app
