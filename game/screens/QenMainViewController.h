#pragma once
// QenMainViewController: the game's one playing screen, loaded from the storyboard's "main"
// scene. It shows the model (`qend`) as a board: a status bar, five market slots, a warehouse of
// five slots and the navigation buttons, with a stack of dialog panels over the board of which
// at most one is meant to be up at a time.
//
// Contract (main thread only):
//  - Outlets are weak references into the view tree, which the controller's view owns; they are
//    empty until the view loads.
//  - refreshData is the screen's one redraw: it copies the model onto the board, hides every
//    panel that the game status does not keep open and enables the buttons that the status
//    allows. Every action that changes the game ends in it. It reads the model's scrambled
//    values and leaves each scrambled again.
//  - Actions of the scene are bound by their storyboard names; each is sent synchronously with
//    the control as sender.

#include <cstdint>
#include <memory>
#include <string>

#include "game/model/QenData.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

class QenMainViewController : public platform::ui::ViewController {
  public:
    static constexpr const char* kClassName = "QenMainViewController";

    QenMainViewController();
    std::string className() const override { return kClassName; }

    // The model shown by the screen.
    std::shared_ptr<QenData> qend() const { return qend_; }
    void setQend(std::shared_ptr<QenData> model) { qend_ = std::move(model); }
    // The market the player stands in, 1 to 3; 0 until the first move of the run.
    int32_t market() const { return market_; }
    void setMarket(int32_t market) { market_ = market; }

    // Redraws the whole board from the model (see above).
    void refreshData();
    // Stops every blinking hint mark of the board.
    void showHint();

    template <typename T>
    using Outlet = std::weak_ptr<T>;
    using Label = platform::ui::Label;
    using Button = platform::ui::Button;
    using ImageView = platform::ui::ImageView;
    using TextField = platform::ui::TextField;
    using View = platform::ui::View;

    // Status bar.
    Outlet<Label> thouseprice, tdate, tcash, tdeposit, thealth, treputation;

    // Market and warehouse, slot n at index n-1.
    Outlet<Button> bmslot[5];
    Outlet<Label> tmslot[5];
    Outlet<Label> twstatus;
    Outlet<Button> bwslot[5];
    Outlet<Label> twslot[5];
    Outlet<Label> tnwslot[5];

    // Navigation.
    Outlet<Button> market1, market2, market3;
    Outlet<Button> bbank, bhospital, bagent, bhouseseller, bhelp, brecord, bnewgame;

    // Dialog panels and their controls.
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
    Outlet<View> dialogdiary;
    Outlet<Label> dialogdiary_note;
    Outlet<Button> dialogdiary_moregame;
    Outlet<View> dialogbank;
    Outlet<View> dialoghospital;
    Outlet<Button> dialoghospital_ok;
    Outlet<Label> dialoghospital_note;
    Outlet<View> dialogagent;
    Outlet<Label> dialogagent_note;
    Outlet<TextField> dialogagent_nbr;
    Outlet<Button> dialogagent_ok;
    Outlet<View> dialogstart;
    Outlet<Label> dialogstart_voucher, dialogstart_startcash;
    Outlet<Button> dialogstart_addvoucher, dialogstart_addstartcash, dialogstart_video,
        dialogstart_sound, dialogstart_hint, dialogstart_crazy;
    Outlet<View> dialogend;
    Outlet<Label> dialogend_note;
    Outlet<Button> dialogend_sound;
    Outlet<View> dialoggift;
    Outlet<ImageView> dialoggift_d[10];
    Outlet<Label> dialoggift_g[10];
    Outlet<View> dialogcast;
    Outlet<Label> dialogcast_title, dialogcast_content;
    Outlet<View> dialogmoretime;
    Outlet<Label> dialogmoretime_note, dialogmoretime_noteleft, dialogmoretime_note1,
        dialogmoretime_note2;
    Outlet<Button> dialogmoretime_ok;
    Outlet<View> dialoghint;
    Outlet<Label> dialoghint_timeleft, dialoghint_note;
    Outlet<View> dialogaskhint;
    Outlet<Label> dialogaskhint_note, dialogaskhint_notev;
    Outlet<View> dialogaskcrazy;
    Outlet<Label> dialogaskcrazy_note;
    Outlet<View> dialogbuyv;
    Outlet<Label> dialogbuyv_title, dialogbuyv_videonote;
    Outlet<Button> dialogbuyv_video;
    Outlet<ImageView> dialogbuyv_note, dialogbuyv_note1;
    Outlet<View> activityindicator;
    Outlet<View> dialogad;
    Outlet<ImageView> dialogad_content;
    Outlet<Button> dialogad_btntolink;

  private:
    void bindOutlets();
    void bindActions();

    std::shared_ptr<QenData> qend_;
    int32_t market_ = 0;
};
