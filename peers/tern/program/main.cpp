// qen-tern: the messenger app of the device, small and real. It declares the messenger's URL
// schemes, and for every "ternapp://app/<app id>/sendreq/?" opened to it reads the app's
// registration and the waiting share request from the pasteboards, logs the share, writes its
// answer record and opens the app's own URL so the app reads it. The answer is chosen on the
// command line, so tests and players script it.
//
//   qen-tern [--answer success|cancel|fail] [--count N] [--timeout SECONDS]
//
// It runs until it has answered N shares (default: until killed), or for at most the time-out.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Application.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/URLDelivery.h"
#include "platform/ui/URLOpening.h"

namespace {

using platform::Dictionary;
using platform::Value;
using platform::ui::Pasteboard;

const char kBundleIdentifier[] = "qen.peer.tern";
const char kType[] = "content";
const char kUsage[] = "usage: qen-tern [--answer success|cancel|fail] [--count N] [--timeout S]\n";

// The error codes of the three answers.
const int kSuccess = 0;
const int kFailed = -1;
const int kCancelled = -2;

const std::string* text(const Dictionary& d, const char* key) {
    auto it = d.find(key);
    return it == d.end() ? nullptr : it->second.string();
}

std::optional<Dictionary> decodedBoard(const std::shared_ptr<Pasteboard>& board) {
    if (!board) return std::nullopt;
    auto data = board->dataForPasteboardType(kType);
    if (!data) return std::nullopt;
    auto plist = platform::plist::parse(*data);
    if (!plist || !plist->dictionary()) return std::nullopt;
    return *plist->dictionary();
}

// The entry of the app id in a board's dictionary, when it is a dictionary itself.
std::optional<Dictionary> entryOf(const std::optional<Dictionary>& all, const std::string& id) {
    if (!all) return std::nullopt;
    auto it = all->find(id);
    if (it == all->end() || !it->second.dictionary()) return std::nullopt;
    return *it->second.dictionary();
}

class Messenger : public platform::ui::ApplicationDelegate {
  public:
    explicit Messenger(int answer) : answer_(answer) {}

    std::optional<bool> handleOpenURL(const std::string& url) override {
        const std::string prefix = "ternapp://app/";
        const std::string request = "/sendreq/?";
        auto end = url.find(request);
        if (url.rfind(prefix, 0) != 0 || end == std::string::npos || end <= prefix.size()) {
            std::printf("qen-tern: opened %s\n", url.c_str());
            std::fflush(stdout);
            return true;
        }
        share(url.substr(prefix.size(), end - prefix.size()));
        ++handled_;
        return true;
    }

    int handled() const { return handled_; }

  private:
    void share(const std::string& appID) {
        auto registration =
            entryOf(decodedBoard(Pasteboard::pasteboardWithName("tern_register", false)), appID);
        if (!registration) {
            std::printf("qen-tern: %s is not registered; nothing shared\n", appID.c_str());
            std::fflush(stdout);
            return;
        }
        // The request waits on the general pasteboard, or on "tern_data" on older systems.
        auto board = Pasteboard::generalPasteboard();
        auto all = decodedBoard(board);
        auto record = entryOf(all, appID);
        if (!record) {
            board = Pasteboard::pasteboardWithName("tern_data", false);
            all = decodedBoard(board);
            record = entryOf(all, appID);
        }
        if (!record) {
            std::printf("qen-tern: no request of %s waits; nothing shared\n", appID.c_str());
            std::fflush(stdout);
            return;
        }
        const std::string* name = text(*registration, "appName");
        const std::string* command = text(*record, "command");
        const std::string* scene = text(*record, "scene");
        const std::string* title = text(*record, "title");
        const std::string* url = text(*record, "mediaUrl");
        std::printf("qen-tern: %s shares to %s: command %s \"%s\" %s; answer %d\n",
                    name ? name->c_str() : appID.c_str(),
                    scene && *scene == "1" ? "the timeline" : "a friend",
                    command ? command->c_str() : "-", title ? title->c_str() : "",
                    url ? url->c_str() : "", answer_);
        std::fflush(stdout);

        Dictionary answer{{"command", std::string("2020")},
                          {"result", std::to_string(answer_)},
                          {"returnFromApp", std::string("0")}};
        if (const std::string* account = text(*record, "account")) answer["account"] = *account;
        Dictionary boardContents;
        if (board->name() != Pasteboard::generalPasteboard()->name() && all) boardContents = *all;
        boardContents[appID] = answer;
        auto bytes = platform::plist::serialize(boardContents, platform::plist::Format::Binary);
        if (bytes) board->setDataForPasteboardType(*bytes, kType);
        if (!platform::ui::openURL(appID + "://platformId=tern")) {
            std::printf("qen-tern: %s:// opens no app\n", appID.c_str());
            std::fflush(stdout);
        }
    }

    int answer_;
    int handled_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    int answer = kSuccess;
    int count = -1;
    double timeout = 24 * 3600.0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--answer" && value) {
            const std::string a = value;
            if (a == "success")
                answer = kSuccess;
            else if (a == "cancel")
                answer = kCancelled;
            else if (a == "fail")
                answer = kFailed;
            else {
                std::fputs(kUsage, stderr);
                return 2;
            }
            ++i;
        } else if (arg == "--count" && value) {
            count = std::atoi(value);
            ++i;
        } else if (arg == "--timeout" && value) {
            timeout = std::atof(value);
            ++i;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }

    platform::AppHome::setBundleIdentifier(kBundleIdentifier);
    auto messenger = std::make_shared<Messenger>(answer);
    platform::ui::Application::shared().launch(messenger);
    if (!platform::ui::startURLDelivery(kBundleIdentifier, {"ternapp", "tern"})) {
        std::fputs("qen-tern: cannot listen for opened URLs\n", stderr);
        return 1;
    }
    std::printf("qen-tern: listening\n");
    std::fflush(stdout);
    const bool done = platform::RunLoop::main().runUntil(
        [&] { return count >= 0 && messenger->handled() >= count; }, timeout);
    platform::ui::stopURLDelivery();
    return done || count < 0 ? 0 : 1;
}
