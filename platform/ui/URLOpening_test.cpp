#include "platform/ui/URLOpening.h"

#include <gtest/gtest.h>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"

namespace platform::ui {
namespace {

TEST(URLOpening, CanOpenAnswersFromTheRegistry) {
    registerInstalledApplication("com.example.messenger", {"tern", "TernAuth"});
    struct Case {
        const char* url;
        bool expected;
    } cases[] = {
        {"tern://app/send", true},
        {"TERN://app", true},  // schemes ignore case
        {"ternauth:x", true},  // the registry keeps "TernAuth"
        {"http://example.com/", true},
        {"https://example.com/", true},
        {"ftp://example.com/", false},
        {"ter://x", false},  // a prefix of a scheme is another scheme
        {"no scheme at all", false},
        {"://empty", false},
        {"1tern://x", false},  // a scheme begins with a letter
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(canOpenURL(c.url), c.expected) << c.url;
}

TEST(URLOpening, OpeningARegisteredSchemeFillsThatAppsInbox) {
    AppHome::setBundleIdentifier("com.example.game");
    registerInstalledApplication("com.example.messenger", {"tern"});
    registerInstalledApplication("com.example.other", {"other"});

    EXPECT_TRUE(openURL("tern://first"));
    EXPECT_TRUE(openURL("Tern://second"));
    EXPECT_TRUE(openURL("https://shop.example.com/ad1"));
    EXPECT_FALSE(openURL("unknown://x"));

    EXPECT_EQ(openedURLs(), (std::vector<std::string>{"tern://first", "Tern://second",
                                                      "https://shop.example.com/ad1"}));
    EXPECT_TRUE(takeInboxURLs("com.example.other").empty());

    // The entry names the app that opened it, for the receiving app's delegate.
    auto inbox = AppHome::deviceRoot() / "inbox" / "com.example.messenger";
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(inbox)) {
        auto entry = plist::readFile(e.path());
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->find("sourceApplication")->asString(), "com.example.game");
        ++entries;
    }
    EXPECT_EQ(entries, 2);

    EXPECT_EQ(takeInboxURLs("com.example.messenger"),
              (std::vector<std::string>{"tern://first", "Tern://second"}));
    EXPECT_TRUE(takeInboxURLs("com.example.messenger").empty());  // taken means gone
}

TEST(URLOpening, RegisteringAgainReplacesTheSchemes) {
    registerInstalledApplication("com.example.messenger", {"tern"});
    registerInstalledApplication("com.example.messenger", {"tern2"});
    EXPECT_FALSE(canOpenURL("tern://x"));
    EXPECT_TRUE(canOpenURL("tern2://x"));
    EXPECT_FALSE(openURL("tern://x"));
    EXPECT_TRUE(openedURLs().empty());
}

TEST(URLOpening, WebAddressesGoToTheSystemBrowserOrAreLogged) {
    LogCapture log;
    EXPECT_TRUE(openURL("https://shop.example.com/ad1"));
    EXPECT_TRUE(log.contains("Opened in the system browser: https://shop.example.com/ad1"));

    std::vector<std::string> browsed;
    setSystemBrowser([&](const std::string& url) { browsed.push_back(url); });
    log.clear();
    EXPECT_TRUE(openURL("http://games.example.com/more"));
    EXPECT_EQ(browsed, std::vector<std::string>{"http://games.example.com/more"});
    EXPECT_FALSE(log.contains("Opened in the system browser"));
    EXPECT_FALSE(openURL("ftp://example.com/")) << "no browser for other schemes";
    EXPECT_EQ(browsed.size(), 1u);

    setSystemBrowser(nullptr);
    EXPECT_TRUE(openURL("http://games.example.com/again"));
    EXPECT_EQ(browsed.size(), 1u);
    EXPECT_TRUE(log.contains("Opened in the system browser: http://games.example.com/again"));
    EXPECT_EQ(openedURLs().size(), 3u);
}

}  // namespace
}  // namespace platform::ui
