// The main screen's start-up, its appearance, its ads (interstitial, rewarded video, the game's
// own house ads) and its system sounds.

#include <cstdlib>
#include <string>

#include "ads/pipeline/HRNRequest.h"
#include "game/model/QenNumbers.h"
#include "game/screens/QenMainViewController.h"
#include "platform/dispatch/Clock.h"
#include "platform/foundation/Log.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/URLOpening.h"

namespace {

// The game's ad units and the links of its five house ads ("ad1.png" to "ad5.png").
constexpr const char* kInterstitialAdUnitID = "qen-main-interstitial";
constexpr const char* kRewardedVideoAdUnitID = "qen-voucher-video";
constexpr const char* kHouseAdLinks[5] = {
    "https://shop.qen.example/ad1", "https://shop.qen.example/ad2", "https://shop.qen.example/ad3",
    "https://shop.qen.example/ad4", "https://shop.qen.example/ad5"};

}  // namespace

void QenMainViewController::viewDidLoad() {
    ViewController::viewDidLoad();
    // The launch picture stays up a moment before the board.
    platform::Clock::sleepFor(1.5);

    qend_ = std::make_shared<QenData>();
    refreshData();

    pressing = false;
    badadmax = 0;
    badadleft = 0;
    adinited = false;
    madontheway = false;
    adshouldinit = true;
    clickadgiftflag1 = false;
    adclicknote1 = false;
    adclickgift1 = 0;
    fakead = false;
    fakeadid = static_cast<int32_t>(qen::randomUnit() * 5);
    ad1enable = true;
    ad2enable = true;
    ad3enable = true;
    videoadallowed = true;
    videoadfinishgift = 10000;

    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    view()->addGestureRecognizer(std::make_shared<platform::ui::TapGestureRecognizer>(
        [weakSelf](platform::ui::GestureRecognizer&) {
            if (auto self = std::dynamic_pointer_cast<QenMainViewController>(weakSelf.lock()))
                self->dismissKeyboard();
        }));

    startDailyGift();

    QenData& d = *qend_;
    d.sid_button = loadSound("button");
    d.sid_changeplace = loadSound("changeplace");
    d.sid_dead = loadSound("dead");
    d.sid_error = loadSound("error");
    d.sid_inccash = loadSound("inccash");
    d.sid_money = loadSound("money");
    d.sid_success = loadSound("success");
    d.sid_success_mars = loadSound("success_mars");
    d.sid_timeup = loadSound("timeup");
    d.sid_eventbad = loadSound("eventbad");
    d.sid_eventgood = loadSound("eventgood");
    d.sid_eventhealth = loadSound("eventhealth");
    d.sid_selgoods = loadSound("selgoods");

    auto self = std::dynamic_pointer_cast<QenMainViewController>(shared_from_this());
    for (const auto* field : {&dialogagent_nbr, &dialogbuy_nbr, &dialogsell_nbr})
        if (auto textField = field->lock()) textField->setDelegate(self);

    platform::store::PaymentQueue::defaultQueue()->addTransactionObserver(self);

    d.adenabled = d.readAdStatus();
    if (adshouldinit) initAd();
    HRNRewardBasedVideoAd::sharedInstance()->setDelegate(self);
    if (adshouldinit && videoadallowed) loadVideo();
}

void QenMainViewController::viewDidAppear(bool animated) {
    ViewController::viewDidAppear(animated);
    QenData& d = *qend_;
    if (!d.readHelpShow() && !gamestoryshown) {
        performSegueWithIdentifier("startgamestory", this);
        if (d.needtoshowad) showAd();
        return;
    }
    if (!d.readHelpShow()) performSegueWithIdentifier("starthelp", this);
    if (d.needtoshowad) showAd();
}

void QenMainViewController::prepareForSegue(platform::ui::StoryboardSegue& segue,
                                            platform::runtime::Object* sender) {
    // The house shop, the records and the story work on this screen's model.
    const bool fromShopOrRecords =
        sender && (sender == bhouseseller.lock().get() || sender == brecord.lock().get());
    if ((fromShopOrRecords || segue.identifier() == "startgamestory") && segue.destination())
        segue.destination()->setValueForKey("mdata", qend_);
}

void QenMainViewController::initAd() {
    if (ad2enable) {
        interstitial = createAndLoadInterstitial();
        adinited = true;
    }
    if (fakead) adinited = true;
}

std::shared_ptr<HRNInterstitial> QenMainViewController::createAndLoadInterstitial() {
    auto ad = HRNInterstitial::create(kInterstitialAdUnitID);
    ad->setDelegate(std::dynamic_pointer_cast<QenMainViewController>(shared_from_this()));
    ad->loadRequest(HRNRequest::request());
    return ad;
}

void QenMainViewController::showAd() {
    QenData& d = *qend_;
    if (adinited && (d.adenabled || d.crazyon)) {
        if (ad2enable) {
            if (interstitial && interstitial->isReady())
                interstitial->presentFromRootViewController(shared_from_this());
        } else {
            succ2 = false;
        }
        d.needtoshowad = false;
    }
    if (fakead) showFakead();
}

void QenMainViewController::loadVideo() {
    HRNRewardBasedVideoAd::sharedInstance()->loadRequestWithAdUnitID(HRNRequest::request(),
                                                                     kRewardedVideoAdUnitID);
    madontheway = true;
}

void QenMainViewController::showFakead() {
    if (fakeadid >= 0 && fakeadid <= 4) {
        if (auto content = dialogad_content.lock())
            content->setImage(
                platform::ui::imageNamed("ad" + std::to_string(fakeadid + 1) + ".png"));
        fakeadurl = kHouseAdLinks[fakeadid];
    }
    fakeadid += 1;
    if (fakeadid == 5) fakeadid = 0;
    if (auto ad = dialogad.lock()) ad->setHidden(false);
}

void QenMainViewController::clickFakead(platform::runtime::Object*) {
    platform::ui::openURL(fakeadurl);
}

void QenMainViewController::dismissFakead(platform::runtime::Object*) {
    if (auto ad = dialogad.lock()) ad->setHidden(true);
}

uint32_t QenMainViewController::loadSound(const std::string& name) {
    // A missing file gives 0, which plays nothing.
    return platform::media::createSystemSound(platform::ui::bundleDirectory() / (name + ".wav"));
}

void QenMainViewController::playSound(uint32_t sound) {
    if (qend_ && qend_->isSoundOn()) platform::media::playSystemSound(sound);
}

void QenMainViewController::showMessage(const std::string& title, const std::string& msg) {
    auto alert = std::make_shared<platform::ui::AlertView>(
        title, msg, std::dynamic_pointer_cast<QenMainViewController>(shared_from_this()),
        std::string("确定"));
    alert->show();
}

void QenMainViewController::interstitialDidReceiveAd(const std::shared_ptr<HRNInterstitial>&) {
    succ2 = true;
    ad2loadsucc = true;
}

void QenMainViewController::interstitialDidFailToReceiveAdWithError(
    const std::shared_ptr<HRNInterstitial>&,
    const platform::Error&) {
    succ2 = false;
    ad2loadsucc = false;
}

void QenMainViewController::interstitialDidDismissScreen(const std::shared_ptr<HRNInterstitial>&) {
    interstitial = createAndLoadInterstitial();
}

namespace {

void showVideoButtonState(const std::weak_ptr<platform::ui::Button>& outlet) {
    if (auto button = outlet.lock())
        button->setImage(platform::ui::imageNamed(HRNRewardBasedVideoAd::sharedInstance()->isReady()
                                                      ? "btn_video_valid"
                                                      : "btn_video_invalid"),
                         platform::ui::ControlState::Normal);
}

}  // namespace

void QenMainViewController::rewardBasedVideoAdDidReceiveAd(
    const std::shared_ptr<HRNRewardBasedVideoAd>&) {
    platform::log("Reward based video ad is received.");
    showVideoButtonState(dialogstart_video);
}

void QenMainViewController::rewardBasedVideoAdDidRewardUserWithReward(
    const std::shared_ptr<HRNRewardBasedVideoAd>&,
    const std::shared_ptr<const HRNAdReward>&) {
    qend_->changeVoucher(videoadfinishgift / 1000);
    auto alert = std::make_shared<platform::ui::AlertView>(
        "提示", "买房代金券已增加" + std::to_string(videoadfinishgift),
        std::dynamic_pointer_cast<QenMainViewController>(shared_from_this()), std::string("确定"));
    rewardAlert_ = alert;
    alert->show();
}

void QenMainViewController::alertViewClickedButtonAtIndex(platform::ui::AlertView& alertView,
                                                          int64_t) {
    auto start = dialogstart.lock();
    if (rewardAlert_.lock().get() != &alertView || !start || start->isHidden()) return;
    // The open start dialog shows the balance in yuan; it catches up with the video's grant.
    QenData& d = *qend_;
    QenData::Decrypt(d.voucher);
    const int64_t sum = int64_t{qen::intValue(d.voucher)} + videoadfinishgift;
    d.voucher = std::to_string(qen::clampToInt(sum));
    const std::string shown = d.voucher;
    QenData::Encrypt(d.voucher);
    if (auto label = dialogstart_voucher.lock()) label->setText(shown);
}

void QenMainViewController::rewardBasedVideoAdDidClose(
    const std::shared_ptr<HRNRewardBasedVideoAd>&) {
    showVideoButtonState(dialogstart_video);
    platform::log("Reward based video ad is closed.");
    loadVideo();
    platform::log("Reward based video ad is closed and new one on the way.");
}

void QenMainViewController::rewardBasedVideoAdDidFailToLoadWithError(
    const std::shared_ptr<HRNRewardBasedVideoAd>&,
    const platform::Error& error) {
    madontheway = false;
    platform::log("Reward based video ad failed to load.");
    platform::log("Error Domain=" + error.domain + " Code=" + std::to_string(error.code) + " \"" +
                  error.localizedDescription() + "\"");
}
