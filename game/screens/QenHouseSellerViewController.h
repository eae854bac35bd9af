#pragma once
// QenHouseSellerViewController: the house shop, where a game is won. It lists the model's
// houses with their current prices and first-purchase gifts; the player picks one and buys it
// with cash plus deposit. A purchase shows the success dialog, grants the first-purchase gift
// in vouchers, updates the per-house records, and offers to share the success through the
// messenger (for the share gift) and to rate the game (for the rating gift). The screen goes
// back by the unwind segue "backfromhouseseller".
//
// Contract (main thread only):
//  - The opening screen hands over its model before the view loads, under the key "mdata";
//    every game value is read from and written to that model.
//  - At most one of the five dialogs shows at a time. The note, purchase, ask-share and
//    ask-to-rate dialogs disable the buy and leave buttons; closing the note or purchase
//    dialog enables them again, also when the model refuses a purchase the screen allowed.
//  - Shares go to the messenger SDK; its answer (and the share gift) comes back through the
//    app delegate, not here.
//  - Button actions play the model's button sound (the purchase its money sound, row taps the
//    goods-selection sound) when the model's sound setting is on.

#include <cstdint>
#include <memory>
#include <string>

#include "game/model/QenData.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

class QenHouseSellerViewController : public platform::ui::ViewController,
                                     public platform::ui::TableViewDataSource,
                                     public platform::ui::TableViewDelegate,
                                     public platform::ui::AlertViewDelegate {
  public:
    static constexpr const char* kClassName = "QenHouseSellerViewController";
    static constexpr const char* kBackSegue = "backfromhouseseller";
    // Where a share goes: a chat with a friend or the timeline.
    static constexpr int32_t kShareToChat = 0;
    static constexpr int32_t kShareToTimeline = 1;

    QenHouseSellerViewController();
    std::string className() const override { return kClassName; }

    std::shared_ptr<QenData> mdata() const { return mdata_; }
    void setMdata(std::shared_ptr<QenData> model) { mdata_ = std::move(model); }
    // Which of the three selection frames the selected row shows, 0 to 2.
    int32_t selectimgchange() const { return selectimgchange_; }

    void viewDidLoad() override;

    int64_t numberOfSectionsInTableView(platform::ui::TableView& tableView) override;
    int64_t tableViewNumberOfRowsInSection(platform::ui::TableView& tableView,
                                           int64_t section) override;
    std::shared_ptr<platform::ui::TableViewCell> tableViewCellForRowAtIndexPath(
        platform::ui::TableView& tableView,
        const platform::ui::IndexPath& indexPath) override;
    void tableViewDidSelectRowAtIndexPath(platform::ui::TableView& tableView,
                                          const platform::ui::IndexPath& indexPath) override;

    // The dialogs.
    void showNote();
    void dismissNote();
    void showBuyAsk();
    void dismissBuyAsk();
    void showAskShare();
    void showAskJudge();
    // A one-button alert ("确定") with this screen as its delegate.
    void showMessage(const std::string& title, const std::string& msg);

    // The price the shop compares cash plus deposit with: whole millions above 100,000,000,
    // whole 万 above 10,000, else the price itself (what formatPrice shows).
    static int64_t comparePrice(int64_t price);
    // The share title: `format` with its first two "%@" replaced by `price` and `name`, in that
    // order; every other "%" stays as it is.
    static std::string shareTitle(const std::string& format,
                                  const std::string& price,
                                  const std::string& name);

    // Sends the selected house's success to the messenger as a web-page card for the scene
    // (kShareToChat or kShareToTimeline); false when the messenger did not take it.
    bool share(int32_t scene);

    std::weak_ptr<platform::ui::View> dialogbuy;
    std::weak_ptr<platform::ui::Label> dialogbuy_text;
    std::weak_ptr<platform::ui::View> dialognote;
    std::weak_ptr<platform::ui::Label> dialognote_text;
    std::weak_ptr<platform::ui::Button> bbuyhouse;
    std::weak_ptr<platform::ui::Button> bbuycancel;
    std::weak_ptr<platform::ui::View> dialogresult;
    std::weak_ptr<platform::ui::Label> dialogresult_text;
    std::weak_ptr<platform::ui::ImageView> dialogresult_succimg;
    std::weak_ptr<platform::ui::TableView> tableview_house;
    std::weak_ptr<platform::ui::Label> money;
    std::weak_ptr<platform::ui::View> dialogaskshare;
    std::weak_ptr<platform::ui::Label> dialogaskshare_text;
    std::weak_ptr<platform::ui::Label> dialogshare_sharegift;
    std::weak_ptr<platform::ui::View> dialogaskjudge;
    std::weak_ptr<platform::ui::Label> dialogaskjude_text;
    std::weak_ptr<platform::ui::Label> dialogjudge_judgegift;

  private:
    void playSound(uint32_t sound);
    void setButtonsEnabled(bool enabled);
    void showMoney();
    void buyHouse();
    void buyConfirmed();
    void closeResult();
    void declineShare();
    void rate();
    int32_t successCount();
    std::string houseText(const std::vector<std::string>& table) const;

    std::shared_ptr<QenData> mdata_;
    int32_t selectimgchange_ = 0;
};
