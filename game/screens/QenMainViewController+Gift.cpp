// The daily-gift exchange with the game's server and the two dialogs that show its outcome:
// the gift of the day and the server's broadcast.

#include <algorithm>
#include <string>
#include <vector>

#include "game/model/QenNumbers.h"
#include "game/screens/QenGiftExchange.h"
#include "game/screens/QenMainViewController.h"
#include "platform/dispatch/Queue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/URLOpening.h"

namespace {

// The bundle's "CFBundleVersion"; a missing one is sent the way a missing counter is.
std::string bundleVersion() {
    auto info = platform::plist::readFile(platform::ui::bundleDirectory() / "Info.plist");
    const platform::Value* version = info ? info->find("CFBundleVersion") : nullptr;
    return version && version->isString() ? version->asString() : "(null)";
}

const char* const kCounters[12] = {"buynbr",  "buymoney",  "way1buy",   "way2buy",
                                   "way3buy", "way1click", "way2click", "way3click",
                                   "addcash", "moretime",  "share",     "crazy"};

}  // namespace

std::string QenMainViewController::dailyGiftRequest() {
    QenData& d = *qend_;
    d.loadRecord();
    const int32_t played = qen::intValue(d.record_totalnbr.value_or(""));
    int64_t successes = 0;  // counts read from the records: their sum is held at the int range
    int32_t best = -1;
    for (int32_t i = 0; i < d.housenbr; ++i) {
        const std::string key = std::to_string(i);
        const auto date = d.record_date.find(key);
        const auto count = d.record_succnbr.find(key);
        if (date != d.record_date.end() && !date->second.empty() &&
            count != d.record_succnbr.end() && count->second != "0") {
            successes += qen::intValue(count->second);
            best = i;
        }
    }
    d.loadUsage();

    std::vector<std::string> fields = {"3",
                                       d.userid,
                                       "apple store",
                                       bundleVersion(),
                                       std::to_string(played),
                                       std::to_string(qen::clampToInt(successes)),
                                       std::to_string(best)};
    for (const char* counter : kCounters) {
        const auto value = d.usage.find(counter);
        fields.push_back(value == d.usage.end() ? "(null)" : value->second);
    }
    std::string request;
    for (const std::string& field : fields)
        request += field + "\r\n";
    return request;
}

void QenMainViewController::startDailyGift() {
    // The flag is set only here and cleared only by a failure's report, both on the main
    // thread, so at most one exchange runs.
    if (getdailygiftsucc && giftThread_.joinable()) return;
    if (giftThread_.joinable()) giftThread_.join();
    getdailygiftsucc = true;
    const QenGiftExchange::Endpoint endpoint = QenGiftExchange::endpoint();
    giftHost_ = endpoint.host;
    giftPort_ = endpoint.port;
    giftCancel_ = false;
    giftThread_ = std::thread(
        [this, request = dailyGiftRequest()]() mutable { getDailyGift(std::move(request)); });
}

void QenMainViewController::getDailyGift(std::string request) {
    // Real work outside any queue: the virtual clock waits for it rather than jumping ahead.
    platform::PendingWork pending;
    const QenGiftExchange::Result result =
        QenGiftExchange::run({giftHost_, giftPort_}, request, giftCancel_);
    if (result.outcome == QenGiftExchange::Outcome::Cancelled) return;

    std::weak_ptr<ViewController> weakSelf = weak_from_this();
    if (result.outcome != QenGiftExchange::Outcome::Replied) {
        // A failed exchange: nothing is applied and the next move tries again.
        platform::Queue::main()->async([weakSelf] {
            if (auto self = std::dynamic_pointer_cast<QenMainViewController>(weakSelf.lock()))
                self->getdailygiftsucc = false;
        });
        return;
    }

    QenGiftExchange::Reply read = QenGiftExchange::readReply(result.reply);
    std::vector<std::string> parts = std::move(read.parts);
    const bool complete = read.complete;
    const auto at = [&](size_t i) -> const std::string& { return parts.at(i); };
    if (complete) {
        platform::log("site=" + at(1));
        platform::log("site_i=" + at(2));
        platform::log("sharemsg=" + at(5));
        platform::log("ad1enable=" + at(23) + ",ad2enable=" + at(24) + ",ad3enable=" + at(28));
    } else {
        platform::log("site=");
        platform::log("site_i=");
        platform::log("sharemsg=(null)");
        platform::log("ad1enable=(null),ad2enable=(null),ad3enable=(null)");
    }
    platform::Queue::main()->async([weakSelf, parts = std::move(parts), complete]() mutable {
        if (auto self = std::dynamic_pointer_cast<QenMainViewController>(weakSelf.lock()))
            self->applyDailyGift(std::move(parts), complete);
    });
}

void QenMainViewController::applyDailyGift(std::vector<std::string> parts, bool complete) {
    QenData& d = *qend_;
    const auto yes = [&](size_t i) { return complete && parts.at(i) == "1"; };
    const auto number = [&](size_t i) { return complete ? qen::intValue(parts.at(i)) : 0; };
    // A short reply hands the savers no text, so each stores its own default.
    const auto text = [&](size_t i) { return complete ? parts.at(i) : std::string(); };

    if (complete) {
        d.casttitle = parts.at(7);
        d.castcontent = parts.at(8);
        d.castlink = parts.at(9);
    }

    adshouldinit = yes(3);
    clickadgiftflag1 = yes(4);
    clickadgiftflag2 = yes(25);
    clickadgiftflag3 = yes(29);
    badadmax = number(12);

    // Only a complete reply with a readable time grants the day's gift and moves the streak.
    int32_t day = 0;
    if (complete) {
        std::string time = parts.at(0);
        QenData::Encrypt(time);
        day = d.getGift(time, parts.at(21));
    }
    if (day < 1)
        showCast();
    else
        dialoggift_show(day);

    std::string site = text(1), siteI = text(2), shareGift = text(10), judgeGift = text(11);
    d.saveDownloadsite(site);
    d.saveDownloadsiteI(siteI);
    d.saveShareMsg(text(5));
    d.saveAskSharePoint(text(6));
    d.saveShareGiftShouldGive(shareGift);
    d.saveJudgeGiftShouldGive(judgeGift);
    d.setHintEnable(yes(13));
    std::string normalLeft = text(14), normalGift = text(15);
    d.saveNormalShareGiftLeft(normalLeft);
    d.saveNormalShareGift(normalGift);
    d.setCrazyEnable(yes(16));

    videoadallowed = yes(17);
    videoadfinishgift = number(18);
    adclicknote1 = yes(19);
    adclicknote2 = yes(26);
    adclicknote3 = yes(30);
    adclickgift1 = number(20);
    adclickgift2 = number(27);
    adclickgift3 = number(31);
    fakead = yes(22);
    ad1enable = yes(23);
    ad2enable = yes(24);
    ad3enable = yes(28);
}

void QenMainViewController::dialoggift_show(int32_t day) {
    QenData& d = *qend_;
    for (auto& marker : dialoggift_d)
        if (auto view = marker.lock()) view->setImage(nullptr);
    // The ten amounts are unscrambled in place, shown, then scrambled again (ten draws).
    const size_t amounts = std::min<size_t>(10, d.dailygifts.size());
    for (size_t n = 0; n < amounts; ++n)
        QenData::Decrypt(d.dailygifts[n]);
    for (size_t n = 0; n < 10; ++n) {
        if (auto label = dialoggift_g[n].lock()) {
            label->setText((n < amounts ? d.dailygifts[n] : std::string()) + "万");
            label->setFont({d.fontname, 14, false});
        }
    }
    for (size_t n = 0; n < amounts; ++n)
        QenData::Encrypt(d.dailygifts[n]);
    if (auto dialog = dialoggift.lock()) dialog->setHidden(false);
    if (day >= 1 && day <= 10)
        if (auto marker = dialoggift_d[day - 1].lock())
            marker->setImage(platform::ui::imageNamed("bg_mrjl_jt.png"));
}

void QenMainViewController::dialoggift_close(platform::runtime::Object*) {
    playSound(qend_->sid_button);
    if (auto dialog = dialoggift.lock()) dialog->setHidden(true);
    showCast();
}

void QenMainViewController::showCast() {
    QenData& d = *qend_;
    if (!d.casttitle || d.casttitle->empty()) return;
    if (auto dialog = dialogcast.lock()) dialog->setHidden(false);
    if (auto title = dialogcast_title.lock()) {
        title->setFont({d.fontname, 18, false});
        title->setText(*d.casttitle);
    }
    if (auto content = dialogcast_content.lock()) {
        content->setFont({d.fontname, 14, false});
        content->setText(d.castcontent.value_or(""));
    }
    d.casttitle = std::string();
    d.castcontent = std::string();
}

void QenMainViewController::dialogcast_ok(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_button);
    if (d.castlink && !d.castlink->empty()) {
        platform::ui::openURL(*d.castlink);
        d.castlink = std::string();
    }
    if (auto dialog = dialogcast.lock()) dialog->setHidden(true);
}

void QenMainViewController::dialogcast_close(platform::runtime::Object*) {
    QenData& d = *qend_;
    playSound(d.sid_button);
    d.castlink = std::string();
    if (auto dialog = dialogcast.lock()) dialog->setHidden(true);
}
