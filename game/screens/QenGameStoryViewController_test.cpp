// The story screen from the real storyboard: its five pages in order, each fading in, the start
// button on the last page leading back to the screen that opened it, and the hint setting it
// turns off.

#include "game/screens/QenGameStoryViewController.h"

#include <gtest/gtest.h>

#include <any>
#include <memory>

#include "game/model/QenData.h"
#include "game/screens/ScreenTesting_test.h"
#include "platform/dispatch/Clock.h"

namespace {

using namespace screentesting;

class QenGameStoryViewControllerTest : public ScreenTest {
  protected:
    std::shared_ptr<QenGameStoryViewController> open(const std::shared_ptr<QenData>& model) {
        auto story = instantiate<QenGameStoryViewController>("gamestory");
        story->setValueForKey("mdata", std::any(model));
        present(story);
        return story;
    }

    // The page on show, faded in afresh.
    static void expectPage(QenGameStoryViewController& story, int32_t number) {
        SCOPED_TRACE("page " + std::to_string(number));
        auto text = get(story.text);
        EXPECT_EQ(text->text(), QenGameStoryViewController::page(number));
        auto fade = text->animationForKey("opacity");
        ASSERT_TRUE(fade);
        EXPECT_EQ(fade->keyPath, "opacity");
        EXPECT_EQ(fade->fromValue, 0.2);
        EXPECT_EQ(fade->toValue, 1.0);
        EXPECT_EQ(fade->duration, 1.0);
    }
};

TEST_F(QenGameStoryViewControllerTest, FivePagesInOrderThenTheStartButtonLeadsBack) {
    auto model = std::make_shared<QenData>();
    auto story = open(model);
    ASSERT_EQ(host->presentedViewController(), story);
    EXPECT_EQ(story->mdata(), model);

    EXPECT_EQ(story->step(), 1);
    expectPage(*story, 1);
    EXPECT_TRUE(QenGameStoryViewController::page(1).starts_with("    昨晚彻夜的游戏"));
    EXPECT_EQ(get(story->text)->font().family, model->fontname);
    EXPECT_EQ(get(story->text)->font().size, 16);
    EXPECT_FALSE(get(story->bnext)->isHidden());
    EXPECT_TRUE(get(story->bstart)->isHidden());
    writeSnapshot("story-page1");

    for (int32_t page = 2; page <= 5; ++page) {
        get(story->text)->removeAllAnimations();
        tap(get(story->bnext));
        EXPECT_EQ(story->step(), page);
        expectPage(*story, page);
        EXPECT_EQ(get(story->bnext)->isHidden(), page == 5);
        EXPECT_EQ(get(story->bstart)->isHidden(), page != 5);
    }
    EXPECT_TRUE(QenGameStoryViewController::page(5).ends_with("你能完成这个挑战吗？"));
    // The page is fully drawn once its second has passed.
    platform::Clock::sleepFor(1.05);
    EXPECT_EQ(get(story->text)->presentationAlpha(), 1.0);
    writeSnapshot("story-page5");

    // Past the last page the next action changes nothing on screen.
    get(story->text)->removeAllAnimations();
    story->bnextAction();
    EXPECT_EQ(get(story->text)->text(), QenGameStoryViewController::page(5));
    EXPECT_FALSE(get(story->text)->animationForKey("opacity"));
    EXPECT_FALSE(get(story->bstart)->isHidden());

    EXPECT_TRUE(host->heard.empty());
    tap(get(story->bstart));
    EXPECT_EQ(host->heard, std::vector<std::string>{"backFromGameStory: backfromgamestory"});
    EXPECT_FALSE(host->presentedViewController());
}

TEST_F(QenGameStoryViewControllerTest, EachShowingTurnsHintsOffInTheStoredSettings) {
    {
        QenData earlier;
        earlier.setHint(true);
        earlier.changeHintLeft(3);
    }
    auto model = std::make_shared<QenData>();
    ASSERT_TRUE(model->readHintStatus());
    open(model);

    QenData later;  // what the next run reads
    EXPECT_FALSE(later.readHintStatus());
    EXPECT_EQ(later.readHintLeft(), 3) << "the count of hints left is written back unchanged";
}

TEST_F(QenGameStoryViewControllerTest, AFirstShowingStoresNoHintsLeft) {
    open(std::make_shared<QenData>());
    QenData later;
    EXPECT_FALSE(later.readHintStatus());
    EXPECT_EQ(later.readHintLeft(), 0);
}

}  // namespace
