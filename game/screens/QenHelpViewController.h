#pragma once
// QenHelpViewController: the tutorial. A still copy of the main board filled with fixed sample
// values, under ten step pictures (steps 1 to 5 at the top, 6 to 10 at the bottom) turned by the
// next button. The exit button leaves at any step by the scene's unwind segue ("backFromHelp:").
//
// Contract (main thread only):
//  - The tutorial makes a model of its own when the view loads (for the font name and to store
//    that the tutorial was shown); the running game's model is neither used nor changed.
//  - viewDidLoad shows step 1 at once and stores "tutorial shown" at once, whether or not the
//    player reaches the end.

#include <cstdint>
#include <memory>
#include <string>

#include "game/model/QenData.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

class QenHelpViewController : public platform::ui::ViewController {
  public:
    static constexpr const char* kClassName = "QenHelpViewController";
    static constexpr int32_t kStepCount = 10;

    QenHelpViewController();
    std::string className() const override { return kClassName; }

    // The tutorial's own model, made by viewDidLoad.
    std::shared_ptr<QenData> mdata() const { return mdata_; }
    // The next step to show, 1 to 11.
    int32_t step() const { return step_; }

    void viewDidLoad() override;
    // Fills the mock-up board with the sample values and hides its panels.
    void showBackground();
    // Shows the step picture of `step` and moves on; after the last step, nothing.
    void showStep();

    template <typename T>
    using Outlet = std::weak_ptr<T>;
    using Label = platform::ui::Label;
    using Button = platform::ui::Button;
    using ImageView = platform::ui::ImageView;
    using TextField = platform::ui::TextField;
    using View = platform::ui::View;

    // The mock-up: the main board's controls under the same names, slot n at index n-1.
    Outlet<Label> thouseprice, tdate, tcash, tdeposit, thealth, treputation;
    Outlet<Button> bmslot[5];
    Outlet<Label> tmslot[5];
    Outlet<Label> twstatus;
    Outlet<Button> bwslot[5];
    Outlet<Label> twslot[5];
    Outlet<Label> tnwslot[5];
    Outlet<Button> market1, market2, market3;
    Outlet<Button> bbank, bhospital, bagent, bhouseseller, bhelp, brecord, bnewgame;
    Outlet<View> dialogfunc;
    Outlet<View> dialogbuy;
    Outlet<ImageView> dialogbuy_nameimg;
    Outlet<TextField> dialogbuy_nbr;
    Outlet<Label> dialogbuy_note;
    Outlet<View> dialogsell;
    Outlet<ImageView> dialogsell_nameimg;
    Outlet<TextField> dialogsell_nbr;
    Outlet<Label> dialogsell_note;
    Outlet<View> dialogevent;
    Outlet<Label> dialogevent_note;
    Outlet<View> dialogbank;
    Outlet<View> dialoghospital;
    Outlet<Button> dialoghospital_ok;
    Outlet<Label> dialoghospital_note;
    Outlet<View> dialogagent;
    Outlet<Label> dialogagent_note;
    Outlet<TextField> dialogagent_nbr;
    Outlet<Button> dialogagent_ok;
    Outlet<View> dialogdiary;
    Outlet<Label> dialogdiary_note;
    Outlet<Button> dialogdiary_moregame;

    // The step pictures and the next button.
    Outlet<ImageView> helpimg_top, helpimg_bottom;
    Outlet<Button> bnextstep;

  private:
    std::shared_ptr<QenData> mdata_;
    int32_t step_ = 0;
};
