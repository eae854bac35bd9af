// The new-game button's two dialogs: the start dialog, where vouchers become extra starting
// cash 1,000 yuan at a time (plus and minus repeat while held), and the dialog that ends a
// running game.

#include <string>

#include "game/model/QenNumbers.h"
#include "game/screens/QenMainViewController.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Bundle.h"

namespace {

using platform::ui::ControlState;

constexpr int32_t kStep = 1000;
constexpr int32_t kMaxExtraCash = 97000;

// The plain text of a model value: unscrambled in place, copied and scrambled again (one draw).
std::string plainText(std::string& field) {
    QenData::Decrypt(field);
    std::string text = field;
    QenData::Encrypt(field);
    return text;
}

std::string scrambled(int32_t value) {
    std::string text = std::to_string(value);
    QenData::Encrypt(text);
    return text;
}

void setStartButtonImage(const std::weak_ptr<platform::ui::Button>& outlet,
                         const std::string& name) {
    if (auto button = outlet.lock())
        button->setImage(platform::ui::imageNamed(name), ControlState::Normal);
}

void stop(std::shared_ptr<platform::Timer>& timer) {
    if (timer) timer->invalidate();
    timer.reset();
}

void addToStoredUsage(QenData& d, const std::string& key, int32_t amount) {
    d.loadUsage();
    d.usage[key] = std::to_string(qen::intValue(d.usage[key]) + amount);
    d.saveUsage();
}

}  // namespace

void QenMainViewController::newGame(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    showStart();
}

void QenMainViewController::showStart() {
    QenData& d = *qend_;
    d.hinton = d.readHintStatus();
    if (d.readHintLeft() < 1 && d.hinton) d.hinton = false;

    if (adshouldinit && videoadallowed) {
        if (auto video = dialogstart_video.lock()) video->setHidden(false);
        const bool ready = HRNRewardBasedVideoAd::sharedInstance()->isReady();
        setStartButtonImage(dialogstart_video, ready ? "btn_video_valid" : "btn_video_invalid");
    } else if (auto video = dialogstart_video.lock()) {
        video->setHidden(true);
    }

    const char* sound = d.isSoundOn() ? "btn_soundon" : "btn_soundoff";
    setStartButtonImage(dialogstart_sound, sound);
    setStartButtonImage(dialogend_sound, sound);

    if (d.readHintEnable()) {
        if (auto hint = dialogstart_hint.lock()) hint->setHidden(false);
        setStartButtonImage(dialogstart_hint, d.hinton ? "btn_hinton" : "btn_hintoff");
    } else if (auto hint = dialogstart_hint.lock()) {
        hint->setHidden(true);
    }

    // The crazy button keeps the visibility it has; only its picture follows the mode.
    if (d.readCrazyEnable() && adshouldinit)
        setStartButtonImage(dialogstart_crazy, d.crazyon ? "btn_crazyon" : "btn_crazyoff");
    else if (auto crazy = dialogstart_crazy.lock())
        crazy->setHidden(true);

    if (d.gamestatus != 1) {
        d.voucher = d.readVoucher();
        if (auto dialog = dialogstart.lock()) dialog->setHidden(false);
        if (auto label = dialogstart_voucher.lock()) {
            label->setText(plainText(d.voucher));
            label->setFont({d.fontname, 18, false});
        }
        if (auto label = dialogstart_startcash.lock()) {
            label->setText(plainText(d.defaultcash));
            label->setFont({d.fontname, 18, false});
        }
        auto blinking = QenData::readInt(d.voucher) >= 5000 ? dialogstart_addstartcash.lock()
                                                            : dialogstart_addvoucher.lock();
        if (blinking) {
            auto blink = platform::ui::BasicAnimation::withKeyPath("opacity");
            blink.fromValue = 1.0;
            blink.toValue = 0.4;
            blink.duration = 0.2;
            blink.autoreverses = true;
            blink.repeatCount = 6;
            blink.fillMode = platform::ui::FillMode::Forwards;
            blink.removedOnCompletion = false;
            blinking->addAnimation(blink, "opacity");
        }
    } else {
        if (auto dialog = dialogend.lock()) dialog->setHidden(false);
        if (auto label = dialogend_note.lock()) label->setFont({d.fontname, 20, false});
    }

    if (!madontheway && adshouldinit && videoadallowed) loadVideo();
}

void QenMainViewController::dismissStart() {
    if (auto dialog = dialogstart.lock()) dialog->setHidden(true);
    qend_->extracash = scrambled(0);
    qend_->voucher = scrambled(0);
}

void QenMainViewController::changeExtraCash() {
    QenData& d = *qend_;
    const int32_t balance = QenData::readInt(d.voucher);
    const int32_t extra = QenData::readInt(d.extracash);
    int32_t newBalance = 0, newExtra = 0;
    if (increase) {
        if (balance < kStep || extra > kMaxExtraCash - kStep) {
            stop(timerincdec);
            return;
        }
        newBalance = balance - kStep;
        newExtra = extra + kStep;
    } else {
        if (extra < kStep) {
            stop(timerincdec);
            return;
        }
        newBalance = balance + kStep;
        newExtra = extra - kStep;
    }
    d.voucher = scrambled(newBalance);
    d.extracash = scrambled(newExtra);
    if (auto label = dialogstart_voucher.lock()) label->setText(std::to_string(newBalance));
    if (auto label = dialogstart_startcash.lock())
        label->setText(std::to_string(QenData::readInt(d.defaultcash) + newExtra));
}

void QenMainViewController::startTimerforChange() {
    stop(timerlongclick);
    stop(timerincdec);
    if (!pressing) return;
    changeExtraCash();
    std::weak_ptr<QenMainViewController> weak =
        std::dynamic_pointer_cast<QenMainViewController>(shared_from_this());
    timerincdec = platform::Timer::scheduled(0.05, true, [weak](platform::Timer&) {
        if (auto self = weak.lock()) self->changeExtraCash();
    });
}

namespace {

void pressStep(QenMainViewController& screen, bool plus) {
    screen.playSound(screen.qend()->sid_inccash);
    if (screen.timerincdec) screen.timerincdec->invalidate();
    screen.timerincdec.reset();
    screen.pressing = true;
    screen.increase = plus;
    if (screen.timerlongclick) screen.timerlongclick->invalidate();
    std::weak_ptr<QenMainViewController> weak =
        std::dynamic_pointer_cast<QenMainViewController>(screen.shared_from_this());
    screen.timerlongclick = platform::Timer::scheduled(0.5, false, [weak](platform::Timer&) {
        if (auto self = weak.lock()) self->startTimerforChange();
    });
}

void releaseStep(QenMainViewController& screen) {
    screen.pressing = false;
    if (!screen.timerincdec) {
        screen.changeExtraCash();  // a tap is one step
    } else {
        screen.timerincdec->invalidate();
        screen.timerincdec.reset();
    }
    // A tap also ends the wait, so a late repeat cannot start.
    if (screen.timerlongclick) screen.timerlongclick->invalidate();
    screen.timerlongclick.reset();
}

}  // namespace

void QenMainViewController::dialogstart_incdown(platform::runtime::Object*) {
    pressStep(*this, true);
}

void QenMainViewController::dialogstart_inc(platform::runtime::Object*) {
    releaseStep(*this);
}

void QenMainViewController::dialogstart_decdown(platform::runtime::Object*) {
    pressStep(*this, false);
}

void QenMainViewController::dialogstart_dec(platform::runtime::Object*) {
    releaseStep(*this);
}

void QenMainViewController::dialogstart_ok(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_button);
    if (auto dialog = dialogstart.lock()) dialog->setHidden(true);

    const int32_t extra = QenData::readInt(d.extracash);
    const int32_t units = extra / kStep;
    // The extra cash is paid for before it is granted: when the balance cannot be stored the
    // game does not start and the vouchers stay as they were.
    if (units != 0 && !d.changeVoucher(-units)) {
        d.extracash = scrambled(0);
        d.voucher = scrambled(0);
        playSound(d.sid_error);
        return;
    }

    d.newGame();
    refreshData();
    d.extracash = scrambled(0);
    d.voucher = scrambled(0);

    d.curevent = 1;
    showDiary(
        "    我来到这个城市已经四年了， 合租、 加班、 月光的日子让我十分疲惫， "
        "买房的梦想遥不可及， "
        "回老家还是继续坚持？ 我决定用一年时间做最后一次努力！");
    if (d.hinton) {
        d.changeHintLeft(-1);
        showHintDialog();
    }
    if (d.crazyon) showCrazyDialog();
    badadleft = badadmax;
    if (extra >= 1) addToStoredUsage(d, "addcash", 1);
    if (d.crazyon) addToStoredUsage(d, "crazy", 1);
}

void QenMainViewController::dialogstart_cancel(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    dismissStart();
}

void QenMainViewController::dialogend_ok(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    qend_->gameOver();
    refreshData();
    if (adinited) showAd();
}

void QenMainViewController::dialogend_cancel(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    if (auto dialog = dialogend.lock()) dialog->setHidden(true);
}

void QenMainViewController::getVoucher(platform::runtime::Object*) {
    playSound(qend_->sid_inccash);
    buyvtriger = 1;
    showBuyVoucher();
}
