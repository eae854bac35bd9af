// The voucher shop: four packs of vouchers bought through the store's payment queue, the free
// vouchers of a watched video, and the purchases the queue reports (also ones an earlier run
// left unfinished).

#include <set>
#include <string>
#include <vector>

#include "game/model/QenNumbers.h"
#include "game/screens/QenMainViewController.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/net/Reachability.h"
#include "platform/store/StoreError.h"
#include "platform/ui/Bundle.h"

namespace {

using platform::store::TransactionState;

struct Pack {
    int32_t units;  // vouchers added, in 1,000-yuan units
    const char* message;
    bool adsOff;
    int32_t buymoney;
};

constexpr Pack kPacks[4] = {
    {100, "买房代金券已增加10万", false, 1},
    {1400, "买房代金券已增加140万", true, 12},
    {8000, "买房代金券已增加800万", true, 60},
    {15000, "买房代金券已增加1500万", true, 98},
};

constexpr double kProductTimeout = 15;
constexpr const char* kNoNetwork = "请检查你的无线或蜂窝网络是否已正常开启";

void addToUsage(QenData& d, const std::string& key, int32_t amount) {
    d.usage[key] = std::to_string(qen::intValue(d.usage[key]) + amount);
}

// "way<n><what>" for the place the shop was opened from, or nothing for another place.
void addToPlaceUsage(QenData& d, int32_t trigger, const char* what) {
    if (trigger >= 1 && trigger <= 3) addToUsage(d, "way" + std::to_string(trigger) + what, 1);
}

void setVisible(const std::weak_ptr<platform::ui::View>& outlet, bool visible) {
    if (auto view = outlet.lock()) view->setHidden(!visible);
}

}  // namespace

std::vector<std::string> QenMainViewController::voucherProductList() {
    std::vector<std::string> identifiers;
    const auto list =
        platform::plist::readFile(platform::ui::bundleDirectory() / "ListOfVoucher.plist");
    if (!list || !list->array()) return identifiers;
    for (const auto& entry : *list->array())
        identifiers.push_back(entry.asString());
    return identifiers;
}

bool QenMainViewController::isConnectionAvailable() {
    const auto flags = platform::net::reachabilityFlags("www.qen-game.example");
    return flags && (*flags & platform::net::kReachable) != 0;
}

void QenMainViewController::showBuyVoucher() {
    QenData& d = *qend_;
    if (auto title = dialogbuyv_title.lock()) title->setFont({d.fontname, 16, false});
    if (auto note = dialogbuyv_videonote.lock()) note->setFont({d.fontname, 14, false});

    const char* noteImage = adshouldinit ? "btn_buyvoucher_note" : "btn_buyvoucher_note1";
    const bool video = adshouldinit && videoadallowed;
    setVisible(dialogbuyv_title, !video);
    setVisible(dialogbuyv_note1, !video);
    setVisible(dialogbuyv_note, video);
    setVisible(dialogbuyv_video, video);
    setVisible(dialogbuyv_videonote, video);
    if (video) {
        if (auto note = dialogbuyv_videonote.lock())
            note->setText("看视频免费领取" + std::to_string(videoadfinishgift) + "买房代金券");
    } else if (auto note1 = dialogbuyv_note1.lock()) {
        note1->setImage(platform::ui::imageNamed(noteImage));
    }
    if (auto note = dialogbuyv_note.lock()) note->setImage(platform::ui::imageNamed(noteImage));

    // Offline no request goes out, so no late answer can open the shop.
    if (isConnectionAvailable()) {
        queryProductInfo();
        setVisible(activityindicator, true);
        buyvocherconn_menue = true;
        if (timerconn_menue) timerconn_menue->invalidate();
        std::weak_ptr<QenMainViewController> weak =
            std::dynamic_pointer_cast<QenMainViewController>(shared_from_this());
        timerconn_menue =
            platform::Timer::scheduled(kProductTimeout, false, [weak](platform::Timer&) {
                if (auto self = weak.lock()) self->closeActivityindicater_menue();
            });
    } else {
        setVisible(activityindicator, false);
        showMessage("提示", kNoNetwork);
        if (buyvtriger == 2) showMoreTime();
    }

    d.loadUsage();
    addToPlaceUsage(d, buyvtriger, "click");
    d.saveUsage();
}

void QenMainViewController::queryProductInfo() {
    const auto list = voucherProductList();
    auto request =
        platform::store::ProductsRequest::create(std::set<std::string>(list.begin(), list.end()));
    request->setDelegate(std::dynamic_pointer_cast<QenMainViewController>(shared_from_this()));
    request->start();
}

void QenMainViewController::didReceiveResponse(platform::store::ProductsRequest&,
                                               const platform::store::ProductsResponse& response) {
    qenproducts = response.products;
    platform::log("fetch product info success");
    setVisible(activityindicator, false);
    dismissStart();
    setVisible(dialogbuyv, true);
    buyvocherconn_menue = false;
}

void QenMainViewController::closeActivityindicater_menue() {
    timerconn_menue.reset();
    auto indicator = activityindicator.lock();
    if (!indicator || indicator->isHidden() || !buyvocherconn_menue) return;
    indicator->setHidden(true);
    showMessage("提示", "连接网络超时");
}

void QenMainViewController::buyVoucherPack(size_t position) {
    playSound(qend_->sid_button);
    const auto list = voucherProductList();
    if (position < list.size()) {
        for (const auto& product : qenproducts) {
            if (product.productIdentifier != list[position]) continue;
            auto payment = platform::store::Payment::forProduct(product);
            payment.quantity = 1;
            platform::store::PaymentQueue::defaultQueue()->addPayment(payment);
            setVisible(activityindicator, true);
            return;
        }
    }
    showMessage("提示", "找不到该商品");
}

void QenMainViewController::updatedTransactions(
    platform::store::PaymentQueue&,
    const std::vector<platform::store::TransactionRef>& transactions) {
    for (const auto& transaction : transactions) {
        switch (transaction->transactionState()) {
            case TransactionState::Purchased:
                platform::log("buy success");
                completeTransaction(transaction);
                break;
            case TransactionState::Failed:
                failedTransaction(transaction);
                platform::log("buy fail");
                break;
            case TransactionState::Restored:
                restoreTransaction(transaction);
                platform::log("buy restored");
                break;
            default:
                break;
        }
    }
}

void QenMainViewController::completeTransaction(
    const platform::store::TransactionRef& transaction) {
    QenData& d = *qend_;
    const auto list = voucherProductList();
    for (size_t position = 0; position < list.size() && position < 4; ++position) {
        if (transaction->payment().productIdentifier != list[position]) continue;
        const Pack& pack = kPacks[position];
        if (!d.changeVoucher(pack.units)) {
            // The balance could not be stored: the transaction stays unfinished, so the queue
            // hands it over again on the next launch and the vouchers are not lost.
            playSound(d.sid_error);
            setVisible(activityindicator, false);
            return;
        }
        showMessage("提示", pack.message);
        if (pack.adsOff) {
            d.adenabled = false;
            d.disableAd();
        }
        d.loadUsage();
        addToUsage(d, "buynbr", 1);
        addToUsage(d, "buymoney", pack.buymoney);
        addToPlaceUsage(d, buyvtriger, "buy");
        d.saveUsage();
        break;
    }
    platform::store::PaymentQueue::defaultQueue()->finishTransaction(transaction);
    setVisible(activityindicator, false);
}

void QenMainViewController::failedTransaction(const platform::store::TransactionRef& transaction) {
    const auto& error = transaction->error();
    const bool cancelled = error && error->code == platform::store::kStoreErrorPaymentCancelled;
    showMessage("提示", cancelled ? "交易已取消" : "购买商品失败");
    platform::store::PaymentQueue::defaultQueue()->finishTransaction(transaction);
    setVisible(activityindicator, false);
}

void QenMainViewController::restoreTransaction(const platform::store::TransactionRef& transaction) {
    platform::store::PaymentQueue::defaultQueue()->finishTransaction(transaction);
    setVisible(activityindicator, false);
}

void QenMainViewController::dialogbuyv_videoTapped(platform::runtime::Object*) {
    auto video = HRNRewardBasedVideoAd::sharedInstance();
    if (video->isReady()) {
        video->presentFromRootViewController(
            std::dynamic_pointer_cast<QenMainViewController>(shared_from_this()));
        return;
    }
    showMessage("提示", "视频加载未完成，请稍后再试");
    if (auto button = dialogstart_video.lock())
        button->setImage(platform::ui::imageNamed("btn_video_invalid"),
                         platform::ui::ControlState::Normal);
    if (!madontheway && adshouldinit && videoadallowed) loadVideo();
}

void QenMainViewController::dialogbuyv_close(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    setVisible(dialogbuyv, false);
    if (buyvtriger == 1)
        showStart();
    else if (buyvtriger == 2)
        showMoreTime();
    else if (buyvtriger == 3)
        showAskHint();
}
