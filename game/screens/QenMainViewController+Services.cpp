// The bank, hospital and agent dialogs, the buttons that open other screens, the sound switch
// and the start dialog's video button.

#include <string>

#include "ads/formats/HRNRewardBasedVideoAd.h"
#include "game/screens/QenMainViewController.h"
#include "platform/ui/Bundle.h"

namespace {

constexpr int64_t kTreatmentPerPoint = 5000;

void setHidden(const std::weak_ptr<platform::ui::View>& outlet, bool hidden) {
    if (auto view = outlet.lock()) view->setHidden(hidden);
}

// The switch's picture is the button's image, as the start dialog sets it: one kind of image
// in both places, so the last one set is the one drawn.
void setImage(const std::weak_ptr<platform::ui::Button>& outlet, const std::string& name) {
    if (auto button = outlet.lock())
        button->setImage(platform::ui::imageNamed(name), platform::ui::ControlState::Normal);
}

}  // namespace

void QenMainViewController::openServiceDialog(const std::weak_ptr<View>& dialog) {
    setHidden(dialogfunc, false);
    for (const auto* panel :
         {&dialogbuy, &dialogsell, &dialogevent, &dialogbank, &dialoghospital, &dialogagent})
        setHidden(*panel, panel != &dialog);
}

void QenMainViewController::bBank(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    openServiceDialog(dialogbank);
}

void QenMainViewController::dialogbank_save(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    qend_->saveMoney();
    refreshData();
}

void QenMainViewController::dialogbank_get(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    qend_->getMoney();
    refreshData();
}

void QenMainViewController::dialogbank_leave(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    setHidden(dialogbank, true);
    setHidden(dialogfunc, true);
}

void QenMainViewController::bHospital(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_button);
    openServiceDialog(dialoghospital);
    const int64_t health = QenData::readInt(d.health);
    const int64_t money = QenData::readMoney(d.cash) + QenData::readMoney(d.deposit);
    auto ok = dialoghospital_ok.lock();
    std::string text;
    if (health == 100) {
        if (ok) ok->setEnabled(false);
        text = "    身体好好的来医院干啥， 赶紧干正事儿去吧。";
    } else {
        const int64_t fee = (100 - health) * kTreatmentPerPoint;
        const bool affordable = fee <= money;
        if (ok) ok->setEnabled(affordable);
        text = "    看病需要花费" + std::to_string(fee) +
               (affordable ? "元， 确定要看病吗？" : "元， 你没有足够的钱看病！");
    }
    if (auto note = dialoghospital_note.lock()) {
        note->setText(text);
        note->setFont({d.fontname, 15, false});
    }
}

void QenMainViewController::dialoghospital_okTapped(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_money);
    const int64_t fee = (100 - int64_t{QenData::readInt(d.health)}) * kTreatmentPerPoint;
    const int64_t cash = QenData::readMoney(d.cash);
    const int64_t deposit = QenData::readMoney(d.deposit);
    if (cash >= fee) {
        QenData::storeMoney(d.cash, cash - fee);
        QenData::storeInt(d.health, 100);
    } else if (fee <= cash + deposit) {
        QenData::storeMoney(d.cash, 0);
        QenData::storeMoney(d.deposit, deposit - (fee - cash));
        QenData::storeInt(d.health, 100);
    }
    refreshData();
}

void QenMainViewController::dialoghospital_cancel(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    setHidden(dialoghospital, true);
    setHidden(dialogfunc, true);
}

void QenMainViewController::bAgent(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_button);
    openServiceDialog(dialogagent);
    const int64_t units = d.caculateRentnbr();
    if (auto field = dialogagent_nbr.lock()) {
        field->setText(std::to_string(units));
        field->setFont({d.fontname, 20, false});
    }
    if (auto note = dialogagent_note.lock()) {
        note->setText("共需要花费" + std::to_string(units) + "万元");
        note->setFont({d.fontname, 15, false});
    }
}

void QenMainViewController::dialogagent_okTapped(platform::runtime::Object*) {
    QenData& d = *qend_;
    const int32_t n = enteredNumber(dialogagent_nbr);
    switch (d.extandWarehouse(n)) {
        case 1:
            playSound(d.sid_money);
            dismissKeyboard();
            setHidden(dialogagent, true);
            refreshData();
            break;
        case 3:
            playSound(d.sid_error);
            if (auto field = dialogagent_nbr.lock()) field->setText("");
            if (auto note = dialogagent_note.lock()) note->setText("请输入大于0的数字");
            break;
        default:
            playSound(d.sid_error);
            if (auto note = dialogagent_note.lock())
                note->setText("共需要花费" + std::to_string(n) + "万元");
            break;
    }
}

void QenMainViewController::dialogagent_cancel(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    setHidden(dialogagent, true);
    setHidden(dialogfunc, true);
    dismissKeyboard();
}

void QenMainViewController::bsound(platform::runtime::Object*) {
    QenData& d = *qend_;
    const bool on = !d.isSoundOn();
    d.turnOnSound(on);
    if (on) playSound(d.sid_button);
    for (const auto* button : {&dialogstart_sound, &dialogend_sound})
        setImage(*button, on ? "btn_soundon" : "btn_soundoff");
}

void QenMainViewController::bVideo(platform::runtime::Object*) {
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
