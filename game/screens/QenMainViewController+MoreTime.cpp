// The offer of five more weeks, made when the last week's happenings are over, and its
// purchase with vouchers.

#include <limits>
#include <string>

#include "game/model/QenNumbers.h"
#include "game/screens/QenMainViewController.h"
#include "platform/ui/Animation.h"

namespace {

constexpr int32_t kMoreTimePrice = 50;  // vouchers in 1,000-yuan units
constexpr int32_t kMoreWeeks = 5;

}  // namespace

void QenMainViewController::showMoreTime() {
    QenData& d = *qend_;
    const int32_t left = QenData::readInt(d.moretimecount);
    if (left < 1 || d.alreadyaskmoretime) return;
    d.alreadyaskmoretime = true;

    for (const auto* panel : {&dialogdiary, &dialogevent, &dialogbuy, &dialogsell, &dialogbank,
                              &dialoghospital, &dialogagent})
        if (auto view = panel->lock()) view->setHidden(true);
    if (auto dialog = dialogmoretime.lock()) dialog->setHidden(false);

    std::string balance = d.readVoucher();
    QenData::Decrypt(balance);
    const auto setLabel = [&](const Outlet<Label>& outlet, const std::string* text, double size) {
        if (auto label = outlet.lock()) {
            if (text) label->setText(*text);
            label->setFont({d.fontname, size, false});
        }
    };
    const std::string note = "买房代金券余额： " + balance;
    const std::string noteLeft = "剩余加时机会： " + std::to_string(left) + "次";
    setLabel(dialogmoretime_note, &note, 14);
    setLabel(dialogmoretime_noteleft, &noteLeft, 14);
    setLabel(dialogmoretime_note1, nullptr, 15);
    setLabel(dialogmoretime_note2, nullptr, 12);

    for (const auto* outlet : {&market1, &market2, &market3, &bbank, &bhospital, &bhouseseller,
                               &bagent, &bhelp, &bnewgame, &brecord})
        if (auto button = outlet->lock()) button->setEnabled(false);
    for (int i = 0; i < 5; ++i) {
        if (auto button = bmslot[i].lock()) button->setEnabled(false);
        if (auto button = bwslot[i].lock()) button->setEnabled(false);
    }

    if (auto ok = dialogmoretime_ok.lock()) {
        auto blink = platform::ui::BasicAnimation::withKeyPath("opacity");
        blink.fromValue = 1.0;
        blink.toValue = 0.6;
        blink.duration = 0.3;
        blink.autoreverses = true;
        blink.repeatCount = std::numeric_limits<double>::infinity();
        blink.fillMode = platform::ui::FillMode::Forwards;
        blink.removedOnCompletion = false;
        ok->addAnimation(blink, "opacity");
    }
}

void QenMainViewController::dismissMoreTime() {
    for (const auto* outlet : {&bhelp, &bnewgame, &brecord})
        if (auto button = outlet->lock()) button->setEnabled(true);
    refreshData();
}

void QenMainViewController::dialogmoretime_close(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    dismissMoreTime();
}

void QenMainViewController::dialogmoretime_addvoucher(platform::runtime::Object*) {
    playSound(qend_->sid_inccash);
    qend_->alreadyaskmoretime = false;  // the offer comes back when the shop closes
    buyvtriger = 2;
    dismissMoreTime();
    showBuyVoucher();
}

void QenMainViewController::dialogmoretime_okTapped(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_button);
    std::string balance = d.readVoucher();
    QenData::Decrypt(balance);
    if (qen::longLongValue(balance) < kMoreTimePrice * 1000) {
        d.alreadyaskmoretime = false;
        buyvtriger = 2;
        dismissMoreTime();
        showBuyVoucher();
        showMessage("提示", "你的买房代金券余额不足");
        return;
    }

    dismissMoreTime();
    // The weeks are granted only once their price is stored.
    if (!d.changeVoucher(-kMoreTimePrice)) {
        playSound(d.sid_error);
        return;
    }
    QenData::storeInt(d.datelimit, QenData::readInt(d.datelimit) + kMoreWeeks);
    refreshData();
    QenData::storeInt(d.moretimecount, QenData::readInt(d.moretimecount) - 1);
    d.loadUsage();
    d.usage["moretime"] = std::to_string(qen::intValue(d.usage["moretime"]) + 1);
    d.saveUsage();
}

void QenMainViewController::dialogmoretime_hide(platform::runtime::Object*) {
    if (auto dialog = dialogmoretime.lock()) dialog->setHidden(true);
}

void QenMainViewController::dialogmoretime_show(platform::runtime::Object*) {
    if (auto dialog = dialogmoretime.lock()) dialog->setHidden(false);
}
