#include "game/screens/QenHouseSellerViewController.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "game/model/QenNumbers.h"
#include "game/screens/QenHouseSellerTableViewCell.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Calendar.h"
#include "platform/foundation/Log.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/URLOpening.h"
#include "sdk/tern/BaseReq.h"
#include "sdk/tern/TNApi.h"
#include "sdk/tern/TNMediaMessage.h"

using platform::ui::IndexPath;
using platform::ui::TableView;
using platform::ui::TableViewCell;

namespace {

constexpr double kSellerTextSize = 16;
constexpr double kSmallTextSize = 14;
constexpr int32_t kLastHouse = 9;

std::string valueFor(const QenData::StringMap& map, const std::string& key) {
    auto it = map.find(key);
    return it == map.end() ? std::string() : it->second;
}

// "%lld" of a scrambled money text.
std::string scrambledMoney(int64_t yuan) {
    std::string text = std::to_string(yuan);
    QenData::Encrypt(text);
    return text;
}

}  // namespace

QenHouseSellerViewController::QenHouseSellerViewController() {
    bindValue("mdata", &mdata_);
    bindOutlet("dialogbuy", &dialogbuy);
    bindOutlet("dialogbuy_text", &dialogbuy_text);
    bindOutlet("dialognote", &dialognote);
    bindOutlet("dialognote_text", &dialognote_text);
    bindOutlet("bbuyhouse", &bbuyhouse);
    bindOutlet("bbuycancel", &bbuycancel);
    bindOutlet("dialogresult", &dialogresult);
    bindOutlet("dialogresult_text", &dialogresult_text);
    bindOutlet("dialogresult_succimg", &dialogresult_succimg);
    bindOutlet("tableview_house", &tableview_house);
    bindOutlet("money", &money);
    bindOutlet("dialogaskshare", &dialogaskshare);
    bindOutlet("dialogaskshare_text", &dialogaskshare_text);
    bindOutlet("dialogshare_sharegift", &dialogshare_sharegift);
    bindOutlet("dialogaskjudge", &dialogaskjudge);
    bindOutlet("dialogaskjude_text", &dialogaskjude_text);
    bindOutlet("dialogjudge_judgegift", &dialogjudge_judgegift);

    // Each action but the purchase and "more games" starts with the button sound.
    auto withSound = [this](std::function<void()> then) {
        return [this, then = std::move(then)](platform::runtime::Object*) {
            if (mdata_) playSound(mdata_->sid_button);
            if (then) then();
        };
    };
    bindAction("buyHouse:", withSound([this] { buyHouse(); }));
    // Leaving is the button's unwind segue.
    bindAction("leaveHouseseller:", withSound(nullptr));
    bindAction("dialogbuy_ok:", [this](platform::runtime::Object*) { buyConfirmed(); });
    bindAction("dialogbuy_cancel:", withSound([this] { dismissBuyAsk(); }));
    bindAction("dialognote_cancel:", withSound([this] { dismissNote(); }));
    bindAction("dialogresult_cancel:", withSound([this] { closeResult(); }));
    bindAction("dialogresult_friend:", withSound([this] { share(kShareToChat); }));
    bindAction("dialogresult_timeline:", withSound([this] { share(kShareToTimeline); }));
    bindAction("dialogresult_moregame:", [](platform::runtime::Object*) {});
    bindAction("dialogaskshare_friend:", withSound([this] { share(kShareToChat); }));
    bindAction("dialogaskshare_timeline:", withSound([this] { share(kShareToTimeline); }));
    bindAction("dialogaskshare_cancel:", withSound([this] { declineShare(); }));
    // Both rating buttons leave the screen by their unwind segue.
    bindAction("dialogaskjudge_ok:", withSound([this] { rate(); }));
    bindAction("dialogaskjudge_no:", withSound(nullptr));
    bindAction("forNonthing", [](platform::runtime::Object*) {});
}

void QenHouseSellerViewController::playSound(uint32_t sound) {
    if (mdata_ && mdata_->isSoundOn()) platform::media::playSystemSound(sound);
}

std::string QenHouseSellerViewController::houseText(const std::vector<std::string>& table) const {
    const auto at = static_cast<size_t>(mdata_->selhouse);
    return mdata_->selhouse >= 0 && at < table.size() ? table[at] : std::string();
}

void QenHouseSellerViewController::showMoney() {
    auto label = money.lock();
    if (!label || !mdata_) return;
    const int64_t available =
        QenData::readMoney(mdata_->cash) + QenData::readMoney(mdata_->deposit);
    label->setText("可用资金： " + std::to_string(available));
    label->setFont({mdata_->fontname, kSellerTextSize, false});
}

void QenHouseSellerViewController::viewDidLoad() {
    if (!mdata_) return;
    showMoney();
    mdata_->generateReputationInfect();
    for (auto* dialog : {&dialogbuy, &dialognote, &dialogresult, &dialogaskshare, &dialogaskjudge})
        if (auto view = dialog->lock()) view->setHidden(true);
    if (auto table = tableview_house.lock())
        table->setSeparatorStyle(platform::ui::TableViewCellSeparatorStyle::None);
    mdata_->loadRecord();
}

// ---- Table ----

int64_t QenHouseSellerViewController::numberOfSectionsInTableView(TableView&) {
    return 1;
}

int64_t QenHouseSellerViewController::tableViewNumberOfRowsInSection(TableView&, int64_t) {
    return mdata_ ? mdata_->housenbr : 0;
}

std::shared_ptr<TableViewCell> QenHouseSellerViewController::tableViewCellForRowAtIndexPath(
    TableView& tableView,
    const IndexPath& indexPath) {
    tableView.registerNib(platform::ui::Nib::named(QenHouseSellerTableViewCell::kNibName),
                          QenHouseSellerTableViewCell::kReuseIdentifier);
    auto cell = tableView.dequeueReusableCellWithIdentifierForIndexPath(
        QenHouseSellerTableViewCell::kReuseIdentifier, indexPath);
    auto house = std::dynamic_pointer_cast<QenHouseSellerTableViewCell>(cell);
    if (!house || !mdata_) return cell;

    const int64_t row = indexPath.row;
    const auto at = static_cast<size_t>(row);
    auto entry = [at](const std::vector<std::string>& table) {
        return at < table.size() ? table[at] : std::string();
    };
    auto fill = [this](const std::weak_ptr<platform::ui::Label>& outlet, const std::string& text,
                       double size) {
        if (auto label = outlet.lock()) {
            label->setText(text);
            label->setFont({mdata_->fontname, size, false});
        }
    };
    fill(house->housename, entry(mdata_->housename), kSellerTextSize);
    fill(house->houseprice, "售价： " + mdata_->formatPrice(entry(mdata_->housepricec)),
         kSellerTextSize);
    fill(house->housedes, entry(mdata_->houseinfo), kSmallTextSize);

    const bool bought = qen::intValue(valueFor(mdata_->record_succnbr, std::to_string(row))) >= 1;
    if (auto picture = house->houseimg.lock())
        picture->setImage(platform::ui::imageNamed(bought ? entry(mdata_->houseimgres)
                                                          : std::string("housemask")));
    if (bought) {
        fill(house->firstbuygift, "", kSmallTextSize);
        fill(house->firstbuygift_title, "", kSmallTextSize);
    } else {
        std::string gift = entry(mdata_->housefirstbuygift);
        QenData::Decrypt(gift);
        fill(house->firstbuygift, gift + "万买房代金券", kSmallTextSize);
        fill(house->firstbuygift_title, "首次购买奖励：", kSmallTextSize);
    }
    if (auto frame = house->selimg.lock())
        frame->setImage(
            row == mdata_->selhouse
                ? platform::ui::imageNamed("bg_selected" + std::to_string(selectimgchange_ + 1))
                : nullptr);
    house->setSelectionStyle(platform::ui::TableViewCellSelectionStyle::None);
    return cell;
}

void QenHouseSellerViewController::tableViewDidSelectRowAtIndexPath(TableView& tableView,
                                                                    const IndexPath& indexPath) {
    if (!mdata_) return;
    auto share = dialogaskshare.lock();
    auto result = dialogresult.lock();
    if ((share && !share->isHidden()) || (result && !result->isHidden())) return;
    playSound(mdata_->sid_selgoods);
    const auto row = static_cast<int32_t>(indexPath.row);
    if (row == mdata_->selhouse) return;
    mdata_->selhouse = row;
    if (++selectimgchange_ >= 3) selectimgchange_ = 0;
    tableView.reloadData();
    if (auto buy = dialogbuy.lock(); buy && !buy->isHidden()) dismissBuyAsk();
    if (auto note = dialognote.lock(); note && !note->isHidden()) dismissNote();
}

// ---- Dialogs ----

void QenHouseSellerViewController::setButtonsEnabled(bool enabled) {
    if (auto button = bbuyhouse.lock()) button->setEnabled(enabled);
    if (auto button = bbuycancel.lock()) button->setEnabled(enabled);
}

void QenHouseSellerViewController::showNote() {
    if (auto view = dialognote.lock()) view->setHidden(false);
    setButtonsEnabled(false);
}

void QenHouseSellerViewController::dismissNote() {
    if (auto view = dialognote.lock()) view->setHidden(true);
    setButtonsEnabled(true);
}

void QenHouseSellerViewController::showBuyAsk() {
    if (auto view = dialogbuy.lock()) view->setHidden(false);
    setButtonsEnabled(false);
}

void QenHouseSellerViewController::dismissBuyAsk() {
    if (auto view = dialogbuy.lock()) view->setHidden(true);
    setButtonsEnabled(true);
}

void QenHouseSellerViewController::showMessage(const std::string& title, const std::string& msg) {
    auto alert = std::make_shared<platform::ui::AlertView>(
        title, msg, std::dynamic_pointer_cast<QenHouseSellerViewController>(shared_from_this()),
        std::string("确定"));
    alert->show();
}

void QenHouseSellerViewController::showAskShare() {
    if (auto view = dialogaskshare.lock()) view->setHidden(false);
    setButtonsEnabled(false);
    const platform::render::Font font{mdata_->fontname, kSellerTextSize, false};
    if (auto label = dialogaskshare_text.lock()) {
        label->setText("    第一次成功买到" + houseText(mdata_->housename) + "， 要炫耀一下吗？");
        label->setFont(font);
    }
    if (auto label = dialogshare_sharegift.lock()) {
        label->setText("炫耀可获得" + std::to_string(mdata_->readShareGiftShouldGive() / 10) +
                       "万买房代金券");
        label->setFont(font);
    }
    mdata_->setShareGift(true);
}

void QenHouseSellerViewController::showAskJudge() {
    if (auto view = dialogaskjudge.lock()) view->setHidden(false);
    setButtonsEnabled(false);
    const platform::render::Font font{mdata_->fontname, kSellerTextSize, false};
    if (auto label = dialogaskjude_text.lock()) label->setFont(font);
    if (auto label = dialogjudge_judgegift.lock()) {
        const int32_t gift = mdata_->readJudgeGiftShouldGive();
        label->setText(gift >= 1 ? "评价可获得" + std::to_string(gift / 10) + "万买房代金券"
                                 : std::string("请帮助我们不断进步吧"));
        label->setFont(font);
    }
}

// ---- Purchase ----

int64_t QenHouseSellerViewController::comparePrice(int64_t price) {
    if (price > 100000000) return price / 1000000 * 1000000;
    if (price > 10000) return price / 10000 * 10000;
    return price;
}

void QenHouseSellerViewController::buyHouse() {
    if (!mdata_ || mdata_->selhouse < 0 ||
        static_cast<size_t>(mdata_->selhouse) >= mdata_->housepricec.size())
        return;
    QenData& d = *mdata_;
    const int64_t available = QenData::readMoney(d.cash) + QenData::readMoney(d.deposit);
    std::string& price = d.housepricec[static_cast<size_t>(d.selhouse)];
    const int64_t compared = comparePrice(QenData::readMoney(price));
    platform::log("lhouseprice=" + std::to_string(compared));

    const std::string name = houseText(d.housename);
    std::string text;
    if (houseText(d.reputationinfect) == "no") {
        text = "由于你的名声太差， 售楼小姐不愿意把这套房子卖给你！";
        showNote();
        if (auto label = dialognote_text.lock()) label->setText(text);
    } else if (available >= compared) {
        text = "确定要花费" + d.formatPrice(price) + "购买" + name + "吗？";
        showBuyAsk();
        if (auto label = dialogbuy_text.lock()) label->setText(text);
    } else {
        text = "购买" + name + "需要" + d.formatPrice(price) + "， 你只有" +
               d.formatPrice(scrambledMoney(available)) + "！";
        showNote();
        if (auto label = dialognote_text.lock()) label->setText(text);
    }
    for (auto* outlet : {&dialogbuy_text, &dialognote_text})
        if (auto label = outlet->lock()) label->setFont({d.fontname, kSellerTextSize, false});
}

void QenHouseSellerViewController::buyConfirmed() {
    if (!mdata_) return;
    QenData& d = *mdata_;
    playSound(d.sid_money);
    if (d.buyHouse() != 1) {
        // Above 100,000,000 the model pays whole 万 where the shop compared whole millions, so
        // it can refuse what the shop allowed: nothing is bought, and the player goes on.
        dismissBuyAsk();
        return;
    }

    if (auto label = dialogresult_text.lock()) {
        label->setFont({d.fontname, kSmallTextSize, false});
        label->setText(houseText(d.housesuccmsg));
    }
    if (auto view = dialogresult.lock()) view->setHidden(false);
    if (auto picture = dialogresult_succimg.lock())
        picture->setImage(platform::ui::imageNamed(houseText(d.houseimgressucc)));
    showMoney();

    d.loadRecord();
    const std::string key = std::to_string(d.selhouse);
    const int32_t count = qen::intValue(valueFor(d.record_succnbr, key));
    auto storedDate = d.record_date.find(key);
    std::optional<std::string> date;
    if (storedDate != d.record_date.end()) date = storedDate->second;

    std::string gift = houseText(d.housefirstbuygift);
    QenData::Decrypt(gift);
    const int32_t g = qen::intValue(gift);
    if (g >= 1) {
        int32_t units = 0;
        std::string message;
        if (count == 0) {
            units = d.crazyon ? 20 * g : 10 * g;
            message = "买房代金券已增加" + std::to_string(d.crazyon ? 2 * g : g) + "万";
        } else if (d.crazyon) {
            units = 10 * g;
            message = "买房代金券已增加" + std::to_string(g) + "万";
        } else {
            units = 2 * g;
            message = "买房代金券已增加" + std::to_string(int64_t{2000} * g);
        }
        d.changeVoucher(units);
        showMessage("提示", message);
    }

    if (count == 0)
        date = platform::formatLocalDay(static_cast<int64_t>(platform::Clock::wallNow()));
    if (date) d.record_date[key] = *date;
    // A stored count at the int limit stays there.
    d.record_succnbr[key] = std::to_string(qen::clampToInt(int64_t{count} + 1));
    d.saveRecord();
    d.needtoshowad = true;

    dismissBuyAsk();
    playSound(d.selhouse == kLastHouse ? d.sid_success_mars : d.sid_success);
    setButtonsEnabled(false);
    if (auto table = tableview_house.lock()) table->reloadData();
}

int32_t QenHouseSellerViewController::successCount() {
    const std::string stored = valueFor(mdata_->record_succnbr, std::to_string(mdata_->selhouse));
    const int32_t count = qen::intValue(stored);
    platform::log("str=" + stored + ", int=" + std::to_string(count));
    return count;
}

void QenHouseSellerViewController::closeResult() {
    if (!mdata_) return;
    if (auto view = dialogresult.lock()) view->setHidden(true);
    setButtonsEnabled(true);
    if (successCount() == 1)
        showAskShare();
    else
        performSegueWithIdentifier(kBackSegue, this);
}

void QenHouseSellerViewController::declineShare() {
    if (!mdata_) return;
    if (auto view = dialogaskshare.lock()) view->setHidden(true);
    mdata_->setShareGift(false);
    if (!mdata_->readJudge() && mdata_->selhouse >= mdata_->readAskSharePiont())
        showAskJudge();
    else
        performSegueWithIdentifier(kBackSegue, this);
}

void QenHouseSellerViewController::rate() {
    if (!mdata_) return;
    const auto link = mdata_->readDownloadsiteI();
    if (!link || link->empty()) return;
    const int32_t gift = mdata_->readJudgeGiftShouldGive();
    if (gift >= 1) {
        mdata_->changeVoucher(gift);
        showMessage("提示", "买房代金券已增加" + std::to_string(gift / 10) + "万");
    }
    mdata_->setJudge();
    platform::ui::openURL(*link);
}

// ---- Share ----

std::string QenHouseSellerViewController::shareTitle(const std::string& format,
                                                     const std::string& price,
                                                     const std::string& name) {
    std::string title;
    const std::string* arguments[] = {&price, &name};
    size_t used = 0;
    for (size_t i = 0; i < format.size(); ++i) {
        if (used < 2 && format.compare(i, 2, "%@") == 0) {
            title += *arguments[used++];
            ++i;
        } else {
            title += format[i];
        }
    }
    return title;
}

bool QenHouseSellerViewController::share(int32_t scene) {
    if (!mdata_ || mdata_->selhouse < 0 ||
        static_cast<size_t>(mdata_->selhouse) >= mdata_->housepricec.size())
        return false;
    QenData& d = *mdata_;
    auto message = TNMediaMessage::message();
    message->title =
        shareTitle(d.readShareMsg(), d.formatPrice(d.housepricec[static_cast<size_t>(d.selhouse)]),
                   houseText(d.housename));
    message->description = houseText(d.housesuccmsg);
    if (auto thumb = platform::ui::imageNamed("icon180.png")) message->setThumbImage(*thumb);
    auto page = TNWebpageObject::object();
    page->webpageUrl = d.readDownloadsite();
    message->mediaObject = page;

    auto request = std::make_shared<SendMessageToTNReq>();
    request->bText = false;
    request->message = message;
    request->scene = scene;
    // The messenger's answer comes back through the app delegate.
    return TNApi::sendReq(request);
}
