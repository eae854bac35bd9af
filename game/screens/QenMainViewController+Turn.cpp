// One market move: a week passes, the board is redrawn, the week's first happening shows, and
// the screen does its per-move housekeeping (interstitials, the rewarded video, and a retry of
// a failed daily-gift exchange).

#include <string>

#include "game/model/QenNumbers.h"
#include "game/screens/QenMainViewController.h"
#include "platform/foundation/Log.h"

namespace {

constexpr const char* kTimeUpText =
    "    我的豪情壮志最终没有成为现实， 一年时间过去了， 我没能买到属于自己的房子。 "
    "回到冰冷的出租屋， 我收拾东西打算回老家去了。";

}  // namespace

void QenMainViewController::changeMarket(int32_t n) {
    QenData& d = *qend_;
    playSound(d.sid_changeplace);
    d.newWeek();
    refreshData();

    const int32_t week = QenData::readInt(d.curdate);
    const int32_t limit = QenData::readInt(d.datelimit);
    if (week <= limit) {
        if (d.gamestatus == 1) {
            const Outlet<Button>* buttons[3] = {&market1, &market2, &market3};
            for (int i = 0; i < 3; ++i)
                if (auto button = buttons[i]->lock()) button->setEnabled(i + 1 != n);
            if (auto news = d.generatePriceEvent()) {
                showEvent(*news);
            } else if (auto event = d.generateEvent()) {
                showDiary(*event);
            } else if (auto sick = d.generateSick()) {
                showDiary(*sick);
            }
        }
    } else {
        showDiary(kTimeUpText);
        playSound(d.sid_timeup);
    }

    if (adinited) {
        const double r = qen::randomUnit();
        if (!d.crazyon) {
            if (static_cast<int>(r * 20) == 7 && badadleft >= 1) {
                showAd();
                badadleft -= 1;
            }
        } else if (static_cast<int>(r * 4) == 0) {
            showAd();
        }
        if (!ad2loadsucc && ad2enable) interstitial = createAndLoadInterstitial();
    } else if (adshouldinit) {
        initAd();
    }

    if (!madontheway && adshouldinit && videoadallowed) loadVideo();

    if (!getdailygiftsucc) {
        startDailyGift();
        platform::log("reconnect to get dailygift");
    }
    market_ = n;
}
