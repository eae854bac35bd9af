#include "ads/foundation/HRNApplicationContentHashing.h"

#include <gtest/gtest.h>

#include "ads/foundation/HRNContent.h"
#include "ads/foundation/HRNSettings.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"
#include "platform/web/WebView.h"

namespace {

using platform::ui::Rect;

constexpr double kCap = 10;  // real seconds; only a cap

// A main window whose root view shows known texts: two labels, a button and a text field, which
// the walk does not read, and a web page with four paragraphs, which it does.
class ContentHashingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::Clock::useVirtual();
        window = std::make_shared<platform::ui::Window>();
        auto controller = std::make_shared<platform::ui::ViewController>();
        controller->setView(std::make_shared<platform::ui::View>(Rect(0, 0, 320, 480)));
        window->setRootViewController(controller);
        window->makeKeyAndVisible();
        root = controller->view();

        title = std::make_shared<platform::ui::Label>(Rect(0, 0, 320, 20));
        title->setText("欢迎来到北京的市场");
        root->addSubview(title);
        auto panel = std::make_shared<platform::ui::View>(Rect(0, 20, 320, 200));
        root->addSubview(panel);
        auto cash = std::make_shared<platform::ui::Label>(Rect(0, 0, 320, 20));
        cash->setText("Cash 2000 and debt 5000");
        panel->addSubview(cash);
        auto button = std::make_shared<platform::ui::Button>(Rect(0, 20, 100, 30));
        button->setTitle("Buy a house now", platform::ui::ControlState::Normal);
        panel->addSubview(button);
        auto field = std::make_shared<platform::ui::TextField>(Rect(0, 50, 100, 30));
        field->setText("12345");
        panel->addSubview(field);
        web = std::make_shared<platform::web::WebView>(Rect(0, 240, 320, 200));
        web->loadHTMLString(
            "<body><p>欢迎来到北京的市场</p><p>Cash 2000 and debt 5000</p>"
            "<p>Buy a house now</p><p>The market opens at dawn</p></body>",
            std::nullopt);
        root->addSubview(web);
        ASSERT_TRUE(spin([&] { return !web->isLoading(); }));
    }

    static bool spin(const std::function<bool()>& done) {
        return platform::RunLoop::main().runUntil(done, kCap);
    }

    // The screen's texts hashed as one walk of the given number.
    static std::shared_ptr<HRNContent> expectedContent(uint64_t walk,
                                                       const std::vector<std::string>& texts) {
        auto content = std::make_shared<HRNContent>(walk);
        for (const std::string& text : texts)
            content->updateContentWithText(text);
        return content;
    }

    // Serves fingerprints until none is left.
    static std::vector<std::string> serveAll() {
        std::vector<std::string> served;
        auto hashing = HRNApplicationContentHashing::sharedInstance();
        while (auto fingerprint = hashing->fingerprintWithServedPenaltyDeduction())
            served.push_back(*fingerprint);
        return served;
    }

    std::shared_ptr<platform::ui::Window> window;
    std::shared_ptr<platform::ui::View> root;
    std::shared_ptr<platform::ui::Label> title;
    std::shared_ptr<platform::web::WebView> web;
};

const std::vector<std::string> kPageTexts = {"欢迎来到北京的市场", "Cash 2000 and debt 5000",
                                             "Buy a house now", "The market opens at dawn"};

// The page's text as the walk reads it: its paragraphs, one a line.
std::string pageText(const std::vector<std::string>& paragraphs) {
    std::string text;
    for (const std::string& paragraph : paragraphs)
        text += (text.empty() ? "" : "\n") + paragraph;
    return text;
}

// Served fingerprints until a content's score is used up: 100 points a serve.
size_t servesOf(double score) {
    return static_cast<size_t>((score + 99) / 100);
}

TEST_F(ContentHashingTest, TheScheduledWalkFingerprintsTheTextsOnScreen) {
    auto hashing = HRNApplicationContentHashing::sharedInstance();
    EXPECT_EQ(hashing->fingerprintWithServedPenaltyDeduction(), std::nullopt);
    hashing->startContentHashing();
    hashing->startContentHashing();  // running already: nothing
    EXPECT_TRUE(hashing->isRunning());

    std::optional<std::string> fingerprint;
    const double start = platform::Clock::now();
    ASSERT_TRUE(spin([&] {
        fingerprint = hashing->fingerprintWithServedPenaltyDeduction();
        return fingerprint.has_value();
    }));
    EXPECT_EQ(platform::Clock::now() - start, 10);  // the first walk one interval in
    hashing->stopContentHashing();
    EXPECT_FALSE(hashing->isRunning());

    // The page's paragraphs and nothing of the labels, the button or the field: 4 + 1 + 1 + 1
    // shingles of six tokens, each ideograph a token.
    ASSERT_EQ(web->stringByEvaluatingJavaScriptFromString("document.body.innerText"),
              pageText(kPageTexts));
    auto expected = expectedContent(1, {pageText(kPageTexts)});
    EXPECT_EQ(*fingerprint, expected->fingerprint());
    EXPECT_EQ(fingerprint->size(), 40u);
    // Served once already: what is left of its score.
    EXPECT_EQ(serveAll().size(), servesOf(expected->score()) - 1);
}

// One walk now, waited for.
void walkOnce() {
    bool done = false;
    HRNApplicationContentHashing::sharedInstance()->traverseViewHierarchy(
        [&] { platform::Queue::main()->async([&] { done = true; }); });
    ASSERT_TRUE(platform::RunLoop::main().runUntil([&] { return done; }, kCap));
}

TEST_F(ContentHashingTest, AnUnchangedScreenIsKeptOnceAndAChangedPageMakesAnother) {
    platform::UserDefaults::standard().set(HRNSettingKey("traversal_interval"), "100000");
    platform::UserDefaults::standard().set(HRNSettingKey("content_age_weight"), "1000");
    auto hashing = HRNApplicationContentHashing::sharedInstance();
    hashing->startContentHashing();
    walkOnce();
    walkOnce();
    // Only the newer walk stays.
    auto second = expectedContent(2, {pageText(kPageTexts)});
    const std::string same = second->fingerprint();
    EXPECT_EQ(serveAll(), std::vector<std::string>(servesOf(second->score()), same));

    web->stringByEvaluatingJavaScriptFromString(
        "document.body.lastChild.textContent = 'Prices fall when the police come'");
    walkOnce();
    hashing->stopContentHashing();
    auto texts = kPageTexts;
    texts.back() = "Prices fall when the police come";
    const std::string changed = expectedContent(3, {pageText(texts)})->fingerprint();
    EXPECT_NE(changed, same);
    EXPECT_EQ(hashing->fingerprintWithServedPenaltyDeduction(), changed);

    // A new start begins a new queue, its walks numbered from 1 again.
    hashing->startContentHashing();
    EXPECT_EQ(hashing->fingerprintWithServedPenaltyDeduction(), std::nullopt);
    walkOnce();
    EXPECT_EQ(serveAll().size(), servesOf(expectedContent(1, {pageText(kPageTexts)})->score()));
}

TEST_F(ContentHashingTest, AWalkInFlightWhenStoppedStillFinishesOnTheContentQueue) {
    auto hashing = HRNApplicationContentHashing::sharedInstance();
    hashing->startContentHashing();
    // The walk's visits wait for later turns of the main thread; stopping now leaves them all
    // to come.
    bool done = false;
    hashing->traverseViewHierarchy([&] { platform::Queue::main()->async([&] { done = true; }); });
    hashing->stopContentHashing();
    ASSERT_TRUE(spin([&] { return done; }));
    EXPECT_EQ(hashing->fingerprintWithServedPenaltyDeduction(),
              expectedContent(1, {pageText(kPageTexts)})->fingerprint());

    // Stopped: no more walks, whatever the clock does.
    title->setText("a different title for the screen");
    platform::Clock::advance(60);
    walkOnce();
    EXPECT_EQ(serveAll(), std::vector<std::string>{});
}

TEST_F(ContentHashingTest, AScreenWithoutALongEnoughParagraphLeavesNoTrace) {
    const auto subviews = root->subviews();
    for (const auto& view : subviews)
        view->removeFromSuperview();
    auto page = std::make_shared<platform::web::WebView>(Rect(0, 0, 320, 100));
    page->loadHTMLString("<body><p>short</p><p>texts</p><p>only</p></body>", std::nullopt);
    root->addSubview(page);
    ASSERT_TRUE(spin([&] { return !page->isLoading(); }));
    auto label = std::make_shared<platform::ui::Label>(Rect(0, 0, 100, 20));
    label->setText("A label long enough to count if labels counted");
    root->addSubview(label);
    auto hashing = HRNApplicationContentHashing::sharedInstance();
    hashing->startContentHashing();
    walkOnce();
    hashing->stopContentHashing();
    EXPECT_EQ(hashing->fingerprintWithServedPenaltyDeduction(), std::nullopt);
}

}  // namespace
