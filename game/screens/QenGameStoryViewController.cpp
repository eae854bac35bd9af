#include "game/screens/QenGameStoryViewController.h"

#include <array>

#include "platform/ui/Animation.h"

namespace {

// Each page fades in from this opacity over one second.
constexpr double kFadeFrom = 0.2;
constexpr double kFadeSeconds = 1.0;
constexpr double kTextSize = 16;

}  // namespace

const std::string& QenGameStoryViewController::page(int32_t number) {
    static const std::array<std::string, kPageCount> pages = {
        "    昨晚彻夜的游戏让我头昏脑涨， 此刻蹲在厕所的我两脚发麻， 但仍在积极地思考着人生。",
        "    来到这个城市四年了， 合租、月光的标签粘着我挥之不去， 难道这就是我的生活？ "
        "买房的梦想就那么遥不可及？",
        "    门外合租的张XX已经捉急地在催促了， 而我却陷入了深深的思考中……",
        "    哼~ 有志者事竟成！ 我要用一年时间改变人生轨迹！ 我要完成别人做不到的事！ "
        "等我来吧， 梦中的家！",
        "    接下去的一年时间里， 你要用身上仅有的3000块钱， 赚到几百万甚至上千万， "
        "买到理想中的房子！ 你能完成这个挑战吗？",
    };
    return pages.at(static_cast<size_t>(number - 1));
}

QenGameStoryViewController::QenGameStoryViewController() {
    bindOutlet("text", &text);
    bindOutlet("bnext", &bnext);
    bindOutlet("bstart", &bstart);
    bindAction("bnext:", [this](platform::runtime::Object*) { bnextAction(); });
    // The start button leaves through its unwind segue; the action itself does nothing.
    bindAction("bstart:", [](platform::runtime::Object*) {});
    bindValue("mdata", &mdata_);
}

void QenGameStoryViewController::viewDidLoad() {
    step_ = 1;
    if (auto label = text.lock(); label && mdata_)
        label->setFont({mdata_->fontname, kTextSize, false});
    showPage(1);
    if (mdata_) {
        mdata_->setHint(false);
        mdata_->changeHintLeft(0);
    }
}

void QenGameStoryViewController::bnextAction() {
    ++step_;
    if (step_ < 2 || step_ > kPageCount) return;
    showPage(step_);
    if (step_ == kPageCount) {
        if (auto button = bnext.lock()) button->setHidden(true);
        if (auto button = bstart.lock()) button->setHidden(false);
    }
}

void QenGameStoryViewController::showPage(int32_t number) {
    auto label = text.lock();
    if (!label) return;
    label->setText(page(number));
    auto fade = platform::ui::BasicAnimation::withKeyPath("opacity");
    fade.fromValue = kFadeFrom;
    fade.toValue = 1.0;
    fade.duration = kFadeSeconds;
    label->addAnimation(fade, "opacity");
}
