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
//  - The daily-gift exchange is the one piece of work off the main thread: its socket runs on a
//    worker thread of its own, and its reply is applied to the model and the screen on the main
//    queue. Ad, alert and store callbacks all come on the main thread.
//  - Hold the controller in a std::shared_ptr (the storyboard does): the ad SDK, alerts and the
//    payment queue keep it as a weak delegate.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ads/formats/HRNInterstitial.h"
#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "game/model/QenData.h"
#include "platform/dispatch/Timer.h"
#include "platform/store/PaymentQueue.h"
#include "platform/store/Product.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"

class QenMainViewController : public platform::ui::ViewController,
                              public HRNInterstitialDelegate,
                              public HRNRewardBasedVideoAdDelegate,
                              public platform::ui::AlertViewDelegate,
                              public platform::ui::TextFieldDelegate,
                              public platform::store::PaymentTransactionObserver,
                              public platform::store::ProductsRequestDelegate {
  public:
    static constexpr const char* kClassName = "QenMainViewController";

    QenMainViewController();
    // Stops a daily-gift exchange still running and waits for its thread.
    ~QenMainViewController() override;
    std::string className() const override { return kClassName; }

    // The model shown by the screen.
    std::shared_ptr<QenData> qend() const { return qend_; }
    void setQend(std::shared_ptr<QenData> model) { qend_ = std::move(model); }
    // The market the player stands in, 1 to 3; 0 until the first move of the run.
    int32_t market() const { return market_; }
    void setMarket(int32_t market) { market_ = market; }

    // Redraws the whole board from the model (see above).
    void refreshData();

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

    // ---- Start-up, appearance, ads and sounds (QenMainViewController+Startup.cpp) ----
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    // The story screen that start-up opens gets the model under "mdata".
    void prepareForSegue(platform::ui::StoryboardSegue& segue,
                         platform::runtime::Object* sender) override;
    void initAd();
    std::shared_ptr<HRNInterstitial> createAndLoadInterstitial();
    void showAd();
    void loadVideo();
    void showFakead();
    void clickFakead(platform::runtime::Object* sender);
    void dismissFakead(platform::runtime::Object* sender);
    // The bundle's "<name>.wav" as a system sound; 0 (silent) when it is missing.
    uint32_t loadSound(const std::string& name);
    // Plays a sound when the model's sound switch is on.
    void playSound(uint32_t sound);
    // The game's one-button alert ("确定"), with this screen as its delegate.
    void showMessage(const std::string& title, const std::string& msg);

    void interstitialDidReceiveAd(const std::shared_ptr<HRNInterstitial>&) override;
    void interstitialDidFailToReceiveAdWithError(const std::shared_ptr<HRNInterstitial>&,
                                                 const platform::Error&) override;
    void interstitialDidDismissScreen(const std::shared_ptr<HRNInterstitial>&) override;
    void rewardBasedVideoAdDidReceiveAd(const std::shared_ptr<HRNRewardBasedVideoAd>&) override;
    void rewardBasedVideoAdDidRewardUserWithReward(
        const std::shared_ptr<HRNRewardBasedVideoAd>&,
        const std::shared_ptr<const HRNAdReward>&) override;
    void rewardBasedVideoAdDidClose(const std::shared_ptr<HRNRewardBasedVideoAd>&) override;
    void rewardBasedVideoAdDidFailToLoadWithError(const std::shared_ptr<HRNRewardBasedVideoAd>&,
                                                  const platform::Error& error) override;
    void alertViewClickedButtonAtIndex(platform::ui::AlertView& alertView,
                                       int64_t buttonIndex) override;
    // The voucher shop's purchases; the screen registers for them at start-up.
    void updatedTransactions(
        platform::store::PaymentQueue& queue,
        const std::vector<platform::store::TransactionRef>& transactions) override;

    // Ad and server switches (start values as viewDidLoad sets them).
    bool adshouldinit = true;
    bool ad1enable = true, ad2enable = true, ad3enable = true;
    bool adinited = false;
    bool succ2 = false, ad2loadsucc = false;
    std::shared_ptr<HRNInterstitial> interstitial;
    bool videoadallowed = true;
    int32_t videoadfinishgift = 10000;  // yuan per watched video
    bool madontheway = false;
    int32_t badadmax = 0, badadleft = 0;
    bool fakead = false;
    int32_t fakeadid = 0;
    std::string fakeadurl;
    bool clickadgiftflag1 = false, adclicknote1 = false;
    int32_t adclickgift1 = 0;
    bool clickadgiftflag2 = false, adclicknote2 = false;
    int32_t adclickgift2 = 0;
    bool clickadgiftflag3 = false, adclicknote3 = false;
    int32_t adclickgift3 = 0;
    bool pressing = false;
    bool getdailygiftsucc = false;
    bool gamestoryshown = false;

    // ---- Daily-gift exchange (QenMainViewController+Gift.cpp) ----
    // Main thread: sets getdailygiftsucc, builds the request from the model and starts the
    // exchange on a new thread. Does nothing while one runs.
    void startDailyGift();
    // Worker thread: runs one exchange over the network and hands its outcome to the main queue.
    void getDailyGift(std::string request);
    // The request's 19 CR-LF-ended fields from the model (main thread).
    std::string dailyGiftRequest();
    // Main thread: applies a reply (already split on the separator); `complete` is false for a
    // short or garbled one, which grants no gift.
    void applyDailyGift(std::vector<std::string> parts, bool complete);

    // ---- Daily-gift and broadcast dialogs (QenMainViewController+Gift.cpp) ----
    void dialoggift_show(int32_t day);
    void dialoggift_close(platform::runtime::Object* sender);
    void showCast();
    void dialogcast_ok(platform::runtime::Object* sender);
    void dialogcast_close(platform::runtime::Object* sender);

    // ---- Event and diary dialogs (QenMainViewController+Events.cpp) ----
    void showEvent(const std::string& text);
    void showDiary(const std::string& text);
    void dismissEvent();
    void dismissDiary();
    void dialogevent_cancel(platform::runtime::Object* sender);
    // The tap anywhere on the screen: closes the keyboard and an open diary or event dialog.
    void dismissKeyboard();

    // ---- The offer of more time in the last week (QenMainViewController+MoreTime.cpp) ----
    // Five more weeks for 5万 of vouchers, offered at most once a week while grants are left.
    void showMoreTime();
    // Closes the offer and gives the board back (help, new game and records included).
    void dismissMoreTime();
    void dialogmoretime_okTapped(platform::runtime::Object* sender);
    void dialogmoretime_close(platform::runtime::Object* sender);
    // To the voucher shop; closing the shop brings the offer back.
    void dialogmoretime_addvoucher(platform::runtime::Object* sender);
    void dialogmoretime_hide(platform::runtime::Object* sender);
    void dialogmoretime_show(platform::runtime::Object* sender);

    // ---- Hint marks, hint and crazy mode (QenMainViewController+Hints.cpp) ----
    // Stops every blinking mark, then, while hint mode is on in a running game, makes the one
    // recommended button blink. Runs at the end of every redraw.
    void showHint();
    // The notices at a game's start; both use the one dialog `dialoghint`.
    void showHintDialog();
    void showCrazyDialog();
    void dialoghint_close(platform::runtime::Object* sender);
    // The start dialog's hint switch: off, on when a use is left, else the offer of a use.
    void bHint(platform::runtime::Object* sender);
    // Offers a hint use for 1万 of vouchers (closes the start dialog).
    void showAskHint();
    void dialogaskhint_ok(platform::runtime::Object* sender);
    void dialogaskhint_cancel(platform::runtime::Object* sender);
    // The start dialog's crazy switch: off at once, on after a confirmation.
    void bCrazy(platform::runtime::Object* sender);
    void showAskCrazy();
    void dialogaskcrazy_ok(platform::runtime::Object* sender);
    void dialogaskcrazy_cancel(platform::runtime::Object* sender);

    // ---- New-game start dialog and end-game dialog (QenMainViewController+Start.cpp) ----
    // The new-game button: the start dialog when no game runs, else the end-game dialog.
    void newGame(platform::runtime::Object* sender);
    void showStart();
    // Closes the start dialog; extra cash chosen goes back (the stored balance never moved).
    void dismissStart();
    // One step of 1,000 yuan between the balance in memory and the extra cash (`increase`).
    void changeExtraCash();
    // The hold on plus or minus lasted 0.5 s: one step now, then one every 0.05 s.
    void startTimerforChange();
    void dialogstart_ok(platform::runtime::Object* sender);
    void dialogstart_cancel(platform::runtime::Object* sender);
    void dialogstart_incdown(platform::runtime::Object* sender);
    void dialogstart_inc(platform::runtime::Object* sender);
    void dialogstart_decdown(platform::runtime::Object* sender);
    void dialogstart_dec(platform::runtime::Object* sender);
    void getVoucher(platform::runtime::Object* sender);
    void dialogend_ok(platform::runtime::Object* sender);
    void dialogend_cancel(platform::runtime::Object* sender);
    bool increase = false;                            // the held button is plus
    std::shared_ptr<platform::Timer> timerlongclick;  // the wait before repeating
    std::shared_ptr<platform::Timer> timerincdec;     // the repeat

    // ---- Voucher shop and its purchases (QenMainViewController+Shop.cpp) ----
    // The caller sets buyvtriger first (1 start dialog, 2 more time, 3 hint); closing the shop
    // goes back there. The dialog opens when the product list arrives; 15 s without it ends in
    // "连接网络超时".
    void showBuyVoucher();
    void queryProductInfo();
    void closeActivityindicater_menue();
    // The pack at `position` of the bundle's "ListOfVoucher" (the four pack buttons).
    void buyVoucherPack(size_t position);
    // The shop's video button (the action "dialogbuyv_video:"; the outlet has the plain name).
    void dialogbuyv_videoTapped(platform::runtime::Object* sender);
    void dialogbuyv_close(platform::runtime::Object* sender);
    void completeTransaction(const platform::store::TransactionRef& transaction);
    void failedTransaction(const platform::store::TransactionRef& transaction);
    void restoreTransaction(const platform::store::TransactionRef& transaction);
    // The store's product identifiers in pack order; empty when the list cannot be read.
    static std::vector<std::string> voucherProductList();
    // True only when the network is reachable now.
    bool isConnectionAvailable();
    void didReceiveResponse(platform::store::ProductsRequest& request,
                            const platform::store::ProductsResponse& response) override;
    std::vector<platform::store::Product> qenproducts;  // the last product list received
    int32_t buyvtriger = 0;
    bool buyvocherconn_menue = false;  // a product request waits for its answer
    std::shared_ptr<platform::Timer> timerconn_menue;

    // ---- Market turn (QenMainViewController+Turn.cpp) ----
    void changeMarket(int32_t n);

    // ---- Number entry of the buy, sell and agent fields (QenMainViewController+NumberEntry.cpp)
    // -- Digits only (an empty text passes); the screen rises 150 points while a field is edited.
    static bool validateNumber(const std::string& text);
    // A field's number: empty is 0, digits past the 32-bit range stop at its bound.
    static int32_t enteredNumber(const std::weak_ptr<TextField>& field);
    // The agent's cost line, "共需要花费N万元", from its field.
    void updateAgentNote();
    void textFieldDidBeginEditing(TextField& textField) override;
    void textFieldDidEndEditing(TextField& textField) override;
    bool textFieldShouldChangeCharactersInRangeReplacementString(
        TextField& textField,
        platform::ui::TextRange range,
        const std::string& replacement) override;

    // ---- Buying and selling dialogs (QenMainViewController+Trade.cpp) ----
    // Market slot 0..4: the buy dialog proposing the most the player can buy.
    void mslot(int32_t slot);
    void dialogbuy_ok(platform::runtime::Object* sender);
    void dialogbuy_cancel(platform::runtime::Object* sender);
    // Warehouse slot 0..4: the sell dialog proposing all held, with the profit line.
    void wslot(int32_t slot);
    void dialogsell_ok(platform::runtime::Object* sender);
    void dialogsell_cancel(platform::runtime::Object* sender);

    // ---- Bank, hospital, agent, sound switch, video and navigation buttons
    // (QenMainViewController+Services.cpp) ----
    void bBank(platform::runtime::Object* sender);
    void dialogbank_save(platform::runtime::Object* sender);
    void dialogbank_get(platform::runtime::Object* sender);
    void dialogbank_leave(platform::runtime::Object* sender);
    // Treatment costs 5,000 yuan per missing health point, cash first, then the deposit.
    void bHospital(platform::runtime::Object* sender);
    void dialoghospital_okTapped(platform::runtime::Object* sender);
    void dialoghospital_cancel(platform::runtime::Object* sender);
    // Warehouse space at 1万 a unit; the field proposes what the money could fill.
    void bAgent(platform::runtime::Object* sender);
    void dialogagent_okTapped(platform::runtime::Object* sender);
    void dialogagent_cancel(platform::runtime::Object* sender);
    // Turns the stored sound switch over; only switching on is heard.
    void bsound(platform::runtime::Object* sender);
    // Plays a loaded rewarded video, else says it is not ready and starts a load when allowed.
    void bVideo(platform::runtime::Object* sender);

  private:
    void bindOutlets();
    void bindActions();
    void openDialog(const std::string& text, bool event);
    void carryWeekOn();
    // Trade dialogs: the backdrop with one of the two, notes at 13 points, numbers at 18.
    void openTradeDialog(bool buying);
    void setTradeNote(const std::weak_ptr<Label>& note, const std::string& text);
    void setTradeNumber(const std::weak_ptr<TextField>& field, const std::string& text);
    // Shows the backdrop with one of the bank, hospital and agent dialogs, hiding the others.
    void openServiceDialog(const std::weak_ptr<View>& dialog);

    std::shared_ptr<QenData> qend_;
    int32_t market_ = 0;

    std::weak_ptr<platform::ui::AlertView> rewardAlert_;
    std::thread giftThread_;
    std::string giftHost_;  // set before the thread starts, read by it
    uint16_t giftPort_ = 0;
    std::atomic<bool> giftCancel_{false};
};
