// The week's happenings as two modal texts, the event dialog (price news) and the diary
// (random events, sickness, notes, the end of the year), and the chain from one to the next.

#include <string>
#include <vector>

#include "game/screens/QenMainViewController.h"
#include "platform/foundation/Log.h"

namespace {

// Buttons that an open event dialog or diary locks.
template <typename Screen>
std::vector<std::shared_ptr<platform::ui::Button>> lockedButtons(Screen& s) {
    std::vector<std::shared_ptr<platform::ui::Button>> buttons;
    for (const auto* outlet : {&s.market1, &s.market2, &s.market3, &s.bbank, &s.bhospital,
                               &s.bhouseseller, &s.bagent, &s.bhelp, &s.bnewgame, &s.brecord})
        if (auto button = outlet->lock()) buttons.push_back(button);
    for (int i = 0; i < 5; ++i) {
        if (auto button = s.bmslot[i].lock()) buttons.push_back(button);
        if (auto button = s.bwslot[i].lock()) buttons.push_back(button);
    }
    return buttons;
}

void setHidden(const std::weak_ptr<platform::ui::View>& outlet, bool hidden) {
    if (auto view = outlet.lock()) view->setHidden(hidden);
}

bool isVisible(const std::weak_ptr<platform::ui::View>& outlet) {
    auto view = outlet.lock();
    return view && !view->isHidden();
}

}  // namespace

void QenMainViewController::showEvent(const std::string& text) {
    openDialog(text, true);
}

void QenMainViewController::showDiary(const std::string& text) {
    openDialog(text, false);
}

void QenMainViewController::openDialog(const std::string& text, bool event) {
    setHidden(dialogdiary, event);
    setHidden(dialogevent, !event);
    for (const auto* panel : {&dialogbuy, &dialogsell, &dialogbank, &dialoghospital, &dialogagent})
        setHidden(*panel, true);
    if (auto note = (event ? dialogevent_note : dialogdiary_note).lock()) {
        note->setText(text);
        note->setFont({qend_->fontname, 14, false});
    }
    for (const auto& button : lockedButtons(*this))
        button->setEnabled(false);
}

void QenMainViewController::dismissEvent() {
    carryWeekOn();
}

void QenMainViewController::dismissDiary() {
    carryWeekOn();
}

void QenMainViewController::carryWeekOn() {
    for (const auto* outlet : {&bhelp, &bnewgame, &brecord})
        if (auto button = outlet->lock()) button->setEnabled(true);
    refreshData();

    QenData& d = *qend_;
    const auto lastWeek = [&] {
        return QenData::readInt(d.curdate) == QenData::readInt(d.datelimit);
    };
    switch (d.curevent) {
        case 0:
            if (auto text = d.generateEvent()) {
                showDiary(*text);
            } else if (auto sick = d.generateSick()) {
                showDiary(*sick);
            } else if (lastWeek()) {
                showMoreTime();
            }
            break;
        case 1:
            if (auto sick = d.generateSick()) {
                showDiary(*sick);
            } else if (lastWeek()) {
                showMoreTime();
            }
            break;
        default:
            if (d.gamestatus != 1) return;
            if (lastWeek()) showMoreTime();
            break;
    }
}

void QenMainViewController::dialogevent_cancel(platform::runtime::Object*) {
    dismissEvent();
}

void QenMainViewController::dismissKeyboard() {
    if (isVisible(dialogad)) return;
    for (const auto* field : {&dialogbuy_nbr, &dialogsell_nbr, &dialogagent_nbr}) {
        auto textField = field->lock();
        if (!textField || !textField->isFirstResponder()) continue;
        textField->resignFirstResponder();
        if (field == &dialogagent_nbr) updateAgentNote();
    }
    if (isVisible(dialoghint)) return;
    if (isVisible(dialogdiary)) {
        if (qend_->gamestatus != 2) {
            dismissDiary();
        } else {
            auto newGame = bnewgame.lock();
            const bool wasEnabled = newGame && newGame->isEnabled();
            dismissDiary();
            if (!wasEnabled) {
                platform::log("sdfsdfsdfdsf");
                showAd();
            }
        }
    }
    if (isVisible(dialogevent)) dismissEvent();
}
