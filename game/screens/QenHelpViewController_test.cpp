// The tutorial from the real storyboard: the mock-up board with its sample values, the ten step
// pictures in order, the exit back to the screen that opened it, and the "shown" mark it stores
// as soon as it opens.

#include "game/screens/QenHelpViewController.h"

#include <gtest/gtest.h>

#include <memory>

#include "game/model/QenData.h"
#include "game/screens/ScreenTesting_test.h"
#include "platform/ui/Bundle.h"

namespace {

using namespace platform::ui;
using namespace screentesting;

class QenHelpViewControllerTest : public ScreenTest {
  protected:
    std::shared_ptr<QenHelpViewController> open() {
        auto help = instantiate<QenHelpViewController>("help");
        present(help);
        return help;
    }

    // Step `number`'s picture on show in its place, the other place hidden.
    static void expectStep(QenHelpViewController& help, int32_t number) {
        SCOPED_TRACE("step " + std::to_string(number));
        const bool top = number <= 5;
        auto shown = get(top ? help.helpimg_top : help.helpimg_bottom);
        auto other = get(top ? help.helpimg_bottom : help.helpimg_top);
        EXPECT_FALSE(shown->isHidden());
        EXPECT_TRUE(other->isHidden());
        ASSERT_TRUE(shown->image());
        EXPECT_EQ(shown->image(), imageNamed("help" + std::to_string(number)));
        EXPECT_EQ(help.step(), number + 1);
        EXPECT_EQ(get(help.bnextstep)->isHidden(), number == 10);
    }
};

TEST_F(QenHelpViewControllerTest, OpensOnTheMockUpBoardWithStepOneAndRecordsItself) {
    ASSERT_FALSE(QenData().readHelpShow());
    auto help = open();
    auto& h = *help;
    ASSERT_TRUE(h.mdata());
    const std::string& font = h.mdata()->fontname;

    struct Text {
        const std::weak_ptr<Label>* label;
        const char* text;
        double size;
    };
    const Text texts[] = {
        {&h.thouseprice, "259万", 24}, {&h.tdate, "28/52周", 24}, {&h.tcash, "0", 22},
        {&h.tdeposit, "734738", 22},   {&h.thealth, "96", 22},    {&h.treputation, "98", 22},
        {&h.tmslot[0], "397", 16},     {&h.tmslot[1], "137", 16}, {&h.tmslot[2], "3457", 16},
        {&h.tmslot[3], "106", 16},     {&h.tmslot[4], "674", 16}, {&h.twstatus, "30/100", 18},
        {&h.twslot[0], "15023", 16},   {&h.tnwslot[0], "50", 16}, {&h.twslot[1], "2065", 16},
        {&h.tnwslot[1], "20", 16}};
    for (const auto& t : texts) {
        auto label = get(*t.label);
        EXPECT_EQ(label->text(), t.text) << label->name();
        EXPECT_EQ(label->font().family, font) << label->name();
        EXPECT_EQ(label->font().size, t.size) << label->name();
    }

    const char* market[] = {"btn_dgy_m", "btn_slrj_m", "btn_hjss_m", "btn_zjyd_m", "btn_jknf_m"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE("market slot " + std::to_string(i + 1));
        EXPECT_FALSE(get(h.bmslot[i])->isHidden());
        EXPECT_FALSE(get(h.tmslot[i])->isHidden());
        ASSERT_TRUE(imageNamed(market[i]));
        EXPECT_EQ(get(h.bmslot[i])->backgroundImageForState(ControlState::Normal),
                  imageNamed(market[i]));
    }
    EXPECT_EQ(get(h.bwslot[0])->backgroundImageForState(ControlState::Normal),
              imageNamed("btn_gcqc_w"));
    EXPECT_EQ(get(h.bwslot[1])->backgroundImageForState(ControlState::Normal),
              imageNamed("btn_hjss_w"));
    for (int i = 2; i < 5; ++i) {
        SCOPED_TRACE("warehouse slot " + std::to_string(i + 1));
        EXPECT_TRUE(get(h.bwslot[i])->isHidden());
        EXPECT_TRUE(get(h.twslot[i])->isHidden());
        EXPECT_TRUE(get(h.tnwslot[i])->isHidden());
    }
    EXPECT_EQ(get(h.bnewgame)->backgroundImageForState(ControlState::Normal),
              imageNamed("btn_jsyx"));
    for (const auto* panel : {&h.dialogdiary, &h.dialogevent, &h.dialogfunc, &h.dialogbuy,
                              &h.dialogsell, &h.dialogbank, &h.dialoghospital, &h.dialogagent})
        EXPECT_TRUE(get(*panel)->isHidden()) << get(*panel)->name();

    expectStep(h, 1);
    EXPECT_TRUE(QenData().readHelpShow()) << "shown as soon as it opens";
    writeSnapshot("help-step1");
}

TEST_F(QenHelpViewControllerTest, NineTapsWalkThroughTheTenPicturesInOrder) {
    auto help = open();
    expectStep(*help, 1);
    for (int32_t step = 2; step <= 10; ++step) {
        tap(get(help->bnextstep));
        expectStep(*help, step);
        if (step == 6) writeSnapshot("help-step6");
    }
    writeSnapshot("help-step10");

    // Nothing follows the last step.
    help->showStep();
    EXPECT_EQ(help->step(), 11);
    expectStep(*help, 10);
}

TEST_F(QenHelpViewControllerTest, LeavingAtTheFirstStepReturnsAndStaysRecorded) {
    auto help = open();
    auto exit = help->view()->viewNamed("bExitHelp");
    ASSERT_TRUE(exit);
    tap(exit);
    EXPECT_EQ(host->heard, std::vector<std::string>{"backFromHelp: backfromhelp"});
    EXPECT_FALSE(host->presentedViewController());
    EXPECT_TRUE(QenData().readHelpShow());
}

}  // namespace
