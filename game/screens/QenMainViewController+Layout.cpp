// The main screen's redraw: the model copied onto the board, panels and buttons put into the
// state of the game status, and the hint mark set again.

#include <initializer_list>

#include "game/model/QenNumbers.h"
#include "game/screens/QenMainViewController.h"
#include "platform/render/Color.h"
#include "platform/ui/Bundle.h"

namespace {

using platform::render::Color;
using platform::ui::Button;
using platform::ui::ControlState;
using platform::ui::Label;
using platform::ui::View;

constexpr Color kWhite{1, 1, 1, 1};
// The status bar's warning for a late week and for poor health.
constexpr Color kWarning{144 / 255.0, 40 / 255.0, 13 / 255.0, 1};

// Week from which the week counter warns, and health at or below which health warns.
constexpr int32_t kLateWeek = 48;
constexpr int32_t kPoorHealth = 94;

// The plain decimal text of a scrambled value, which is scrambled again at once.
std::string plainValue(std::string& value) {
    QenData::Decrypt(value);
    std::string text = value;
    QenData::Encrypt(value);
    return text;
}

void setText(const std::weak_ptr<Label>& outlet,
             const std::string& text,
             const std::string& fontname,
             double size) {
    if (auto label = outlet.lock()) {
        label->setText(text);
        label->setFont({fontname, size, false});
    }
}

void setColor(const std::weak_ptr<Label>& outlet, const Color& color) {
    if (auto label = outlet.lock()) label->setTextColor(color);
}

template <typename T>
void setOutletHidden(const std::weak_ptr<T>& outlet, bool hidden) {
    if (auto view = outlet.lock()) view->setHidden(hidden);
}

void setEnabled(const std::weak_ptr<Button>& outlet, bool enabled) {
    if (auto button = outlet.lock()) button->setEnabled(enabled);
}

void setPicture(const std::weak_ptr<Button>& outlet, const std::string& name) {
    if (auto button = outlet.lock())
        button->setBackgroundImage(platform::ui::imageNamed(name), ControlState::Normal);
}

}  // namespace

void QenMainViewController::refreshData() {
    QenData& d = *qend_;
    const std::string& font = d.fontname;

    setText(thouseprice, d.formatPrice(d.housepricec.at(static_cast<size_t>(d.selhouse))), font,
            24);

    QenData::Decrypt(d.curdate);
    QenData::Decrypt(d.datelimit);
    setText(tdate, d.curdate.empty() ? d.curdate : d.curdate + "/" + d.datelimit + "周", font, 24);
    setColor(tdate, qen::intValue(d.curdate) < kLateWeek ? kWhite : kWarning);
    QenData::Encrypt(d.curdate);
    QenData::Encrypt(d.datelimit);

    setText(tcash, plainValue(d.cash), font, 22);
    setText(tdeposit, plainValue(d.deposit), font, 22);
    const std::string health = plainValue(d.health);
    setText(thealth, health, font, 22);
    setColor(thealth, qen::intValue(health) > kPoorHealth ? kWhite : kWarning);
    setText(treputation, plainValue(d.reputation), font, 22);

    for (size_t i = 0; i < 5; ++i) {
        const bool empty = d.goodsnamem.at(i).empty();
        setOutletHidden(bmslot[i], empty);
        setOutletHidden(tmslot[i], empty);
        if (empty) continue;
        setPicture(bmslot[i], d.goodsimgm.at(i) + "_m");
        setText(tmslot[i], plainValue(d.goodspricem.at(i)), font, 16);
    }

    const std::string available = plainValue(d.wavailable);
    setText(twstatus, available + "/" + plainValue(d.wcapacity), font, 18);

    for (size_t i = 0; i < 5; ++i) {
        const bool empty = d.goodsnamew.at(i).empty();
        setOutletHidden(bwslot[i], empty);
        setOutletHidden(twslot[i], empty);
        setOutletHidden(tnwslot[i], empty);
        if (empty) continue;
        setPicture(bwslot[i], d.goodsimgw.at(i) + "_w");
        setText(twslot[i], plainValue(d.goodspricew.at(i)), font, 16);
        setText(tnwslot[i], plainValue(d.goodsnbrw.at(i)), font, 16);
    }

    // A diary shown as the game ends stays up; a start dialog opened over a game stays up.
    const int32_t status = d.gamestatus;
    if (status == 0 || status == 1) setOutletHidden(dialogdiary, true);
    for (const auto* panel : {&dialogevent, &dialogfunc, &dialogbuy, &dialogsell, &dialogbank,
                              &dialoghospital, &dialogagent, &dialogaskhint, &dialogcast})
        setOutletHidden(*panel, true);
    if (status == 0) setOutletHidden(dialogstart, true);
    for (const auto* panel : {&dialogend, &dialoggift, &dialogmoretime, &dialogbuyv, &dialoghint,
                              &dialogaskcrazy, &dialogad})
        setOutletHidden(*panel, true);

    const bool playing = status == 1;
    setPicture(bnewgame, playing ? "btn_jsyx" : "btn_ksyx");

    // The move into the current market disabled its button; a redraw leaves it so.
    const std::weak_ptr<Button>* markets[] = {&market1, &market2, &market3};
    for (int32_t n = 1; n <= 3; ++n) {
        if (!playing || n != market_) setEnabled(*markets[n - 1], playing);
    }
    for (const auto* button : {&bbank, &bhospital, &bhouseseller, &bagent})
        setEnabled(*button, playing);
    for (size_t i = 0; i < 5; ++i) {
        setEnabled(bmslot[i], playing);
        setEnabled(bwslot[i], playing);
    }

    showHint();
}
