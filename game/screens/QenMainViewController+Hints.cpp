// Hint mode (one blinking button recommended after every redraw), its start notice and the
// purchase of hint uses with vouchers, and crazy mode's switch, confirmation and notice.

#include <cstdlib>
#include <limits>
#include <string>

#include "game/model/QenNumbers.h"
#include "game/screens/QenMainViewController.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Bundle.h"

namespace {

using platform::ui::Button;

constexpr int32_t kHintPrice = 10;  // vouchers in 1,000-yuan units
constexpr int64_t kHospitalFeePerPoint = 5000;

// The plain text of a scrambled text that is no field of the model (readVoucher's answer).
std::string plain(std::string value) {
    QenData::Decrypt(value);
    return value;
}

// A price field read as a single-precision number, as the rules compare them: unscrambled in
// place, parsed and scrambled again, as every read of a model value is.
float priceOf(std::string& field) {
    QenData::Decrypt(field);
    const float price = std::strtof(field.c_str(), nullptr);
    QenData::Encrypt(field);
    return price;
}

int64_t moneyOf(std::string& field) {
    return QenData::readMoney(field);
}

// The average price of the goods called `name`; 0 when the table does not have it.
float averagePrice(QenData& d, const std::string& name) {
    for (size_t g = 0; g < d.goodsname.size() && g < d.goodspriceavg.size(); ++g)
        if (d.goodsname[g] == name) return priceOf(d.goodspriceavg[g]);
    return 0;
}

void setButtonImage(const std::weak_ptr<Button>& outlet, const std::string& name) {
    if (auto button = outlet.lock())
        button->setImage(platform::ui::imageNamed(name), platform::ui::ControlState::Normal);
}

template <typename T>
void setHidden(const std::weak_ptr<T>& outlet, bool hidden) {
    if (auto view = outlet.lock()) view->setHidden(hidden);
}

void setNote(const std::weak_ptr<platform::ui::Label>& outlet,
             const std::string& text,
             const std::string& fontname,
             double size) {
    if (auto label = outlet.lock()) {
        label->setText(text);
        label->setFont({fontname, size, false});
    }
}

void mark(const std::weak_ptr<Button>& outlet) {
    auto button = outlet.lock();
    if (!button) return;
    auto blink = platform::ui::BasicAnimation::withKeyPath("opacity");
    blink.fromValue = 1.0;
    blink.toValue = 0.2;
    blink.duration = 0.3;
    blink.autoreverses = true;
    blink.repeatCount = std::numeric_limits<double>::infinity();
    blink.fillMode = platform::ui::FillMode::Forwards;
    blink.removedOnCompletion = false;
    button->addAnimation(blink, "opacity");
}

}  // namespace

void QenMainViewController::showHint() {
    auto stop = [](const std::weak_ptr<Button>& outlet) {
        if (auto button = outlet.lock()) button->removeAllAnimations();
    };
    stop(bhospital);
    for (const auto& slot : bwslot)
        stop(slot);
    for (const auto& slot : bmslot)
        stop(slot);
    stop(market1);
    stop(market2);
    stop(market3);
    stop(bhouseseller);

    QenData& d = *qend_;
    if (!d.hinton || d.gamestatus != 1) return;
    // Each rule reads the values it names, in its order, each read in place (one random draw
    // when it is scrambled again).
    auto money = [&d] { return moneyOf(d.cash) + moneyOf(d.deposit); };

    // Sell a warehouse slot bought more than 20% cheaper than it sells here.
    for (size_t i = 0; i < 5 && i < d.goodsnamew.size(); ++i) {
        const std::string name = d.goodsnamew[i];
        if (name.empty()) break;
        const int32_t market = d.sellGoodsHave(name);
        if (market < 0) continue;
        const float p = priceOf(d.goodspricem.at(static_cast<size_t>(market)));
        const float q = priceOf(d.goodspricew.at(i));
        const float a = averagePrice(d, name);
        const float rise = (p - q) / q;
        if (static_cast<double>(rise) > 0.2 &&
            static_cast<double>(p) > 0.8 * static_cast<double>(a)) {
            mark(bwslot[i]);
            return;
        }
    }

    // Buy the cheapest house.
    if (!d.housepricec.empty()) {
        const int64_t have = money();
        if (have >= moneyOf(d.housepricec[0])) {
            mark(bhouseseller);
            return;
        }
    }

    // See the doctor.
    const int64_t health = moneyOf(d.health);
    if (health < 95 && money() >= (100 - health) * kHospitalFeePerPoint) {
        mark(bhospital);
        return;
    }

    // Buy the market's best bargain below 80% of its average price.
    if (moneyOf(d.wavailable) >= 1) {
        float best = 10.0f;
        int bestSlot = -1;
        int64_t bestPrice = 0;
        for (size_t k = 0; k < 5 && k < d.goodsnamem.size(); ++k) {
            if (d.goodsnamem[k].empty()) continue;  // nothing on offer there
            const float p = priceOf(d.goodspricem.at(k));
            const float ratio = p / averagePrice(d, d.goodsnamem[k]);
            if (static_cast<double>(ratio) < 0.8 && ratio < best) {
                best = ratio;
                bestSlot = static_cast<int>(k);
                bestPrice = static_cast<int64_t>(p);
            }
        }
        if (bestSlot >= 0 && money() >= bestPrice) {
            mark(bmslot[bestSlot]);
            return;
        }
    }

    // Otherwise move on: one of the enabled markets, drawn at random. With none enabled there
    // is nothing to draw from.
    const std::weak_ptr<Button>* markets[] = {&market1, &market2, &market3};
    bool anyEnabled = false;
    for (const auto* outlet : markets)
        if (auto button = outlet->lock(); button && button->isEnabled()) anyEnabled = true;
    if (!anyEnabled) return;
    for (;;) {
        const int k = static_cast<int>(qen::randomUnit() * 3);
        auto button = markets[k]->lock();
        if (button && button->isEnabled()) {
            mark(*markets[k]);
            return;
        }
    }
}

void QenMainViewController::showHintDialog() {
    const QenData& d = *qend_;
    setHidden(dialoghint, false);
    setNote(dialoghint_timeleft, "提示模式已开启", d.fontname, 16);
    setNote(dialoghint_note,
            "    在提示模式中， 你可以遵循闪动按钮的提示进行买卖操作。\n"
            "    价格是游戏的关键， 你要尽量在提示模式的帮助下， 摸清货物价格的变动区间。",
            d.fontname, 15);
}

void QenMainViewController::showCrazyDialog() {
    const QenData& d = *qend_;
    setHidden(dialoghint, false);
    setNote(dialoghint_timeleft, "疯狂模式已开启", d.fontname, 16);
    setNote(
        dialoghint_note,
        "    在疯狂模式中， 成功买房能得到更多买房代金券， 但游戏过程中会有较多广告。详情如下：\n"
        "    1、首次购买奖励翻倍；\n"
        "    2、非首次购买也能得到首次购买奖励。",
        d.fontname, 15);
}

void QenMainViewController::dialoghint_close(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    setHidden(dialoghint, true);
}

void QenMainViewController::bHint(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_button);
    if (d.hinton) {
        d.hinton = false;
        d.setHint(false);
        setButtonImage(dialogstart_hint, "btn_hintoff");
    } else if (d.readHintLeft() < 1) {
        showAskHint();
    } else {
        // A use is spent when the game starts, not here.
        d.hinton = true;
        d.setHint(true);
        setButtonImage(dialogstart_hint, "btn_hinton");
    }
}

void QenMainViewController::showAskHint() {
    QenData& d = *qend_;
    setHidden(dialogaskhint, false);
    setNote(dialogaskhint_note,
            "    提示模式可以帮助你摸清货物价格的变动区间， 但要消耗1万买房代金券， 确定要开启吗？",
            d.fontname, 15);
    setNote(dialogaskhint_notev, "买房代金券余额： " + plain(d.readVoucher()), d.fontname, 14);
    dismissStart();
}

void QenMainViewController::dialogaskhint_ok(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_button);
    if (qen::longLongValue(plain(d.readVoucher())) >= kHintPrice * 1000) {
        // The use is granted only once its price is stored.
        if (!d.changeVoucher(-kHintPrice)) {
            playSound(d.sid_error);
            setHidden(dialogaskhint, true);
            showStart();
            return;
        }
        d.changeHintLeft(1);
        d.hinton = true;
        d.setHint(true);
        setButtonImage(dialogstart_hint, "btn_hinton");
        setHidden(dialogaskhint, true);
        showStart();
    } else {
        setHidden(dialogaskhint, true);
        buyvtriger = 3;
        showBuyVoucher();
        showMessage("提示", "你的买房代金券余额不足");
    }
}

void QenMainViewController::dialogaskhint_cancel(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    setHidden(dialogaskhint, true);
    showStart();
}

void QenMainViewController::bCrazy(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_button);
    if (d.crazyon) {
        d.crazyon = false;
        setButtonImage(dialogstart_crazy, "btn_crazyoff");
    } else {
        showAskCrazy();
    }
}

void QenMainViewController::showAskCrazy() {
    dismissStart();
    setHidden(dialogaskcrazy, false);
    setNote(dialogaskcrazy_note,
            "    在疯狂模式下， 成功买房能得到更多的买房代金券， 但游戏过程中会弹出很多广告！ "
            "确定开启吗？",
            qend_->fontname, 15);
}

void QenMainViewController::dialogaskcrazy_ok(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    qend_->crazyon = true;
    setButtonImage(dialogstart_crazy, "btn_crazyon");
    setHidden(dialogaskcrazy, true);
    showStart();
}

void QenMainViewController::dialogaskcrazy_cancel(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    setHidden(dialogaskcrazy, true);
    showStart();
}
