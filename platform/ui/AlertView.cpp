#include "platform/ui/AlertView.h"

#include <algorithm>
#include <deque>

#include "platform/dispatch/Queue.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

constexpr double kBoxWidth = 270;
constexpr double kPadding = 16;
constexpr double kButtonHeight = 44;

const Color kTint = Color::fromRGB255(0, 122, 255);
const Color kLine = Color::fromRGB255(200, 199, 204);

// The alerts shown or waiting, the one on screen first.
std::deque<std::shared_ptr<AlertView>>& alertQueue() {
    static std::deque<std::shared_ptr<AlertView>> queue;
    return queue;
}

// Dismissals whose delegate call has not run yet; the next alert waits for them.
int pendingDismissals = 0;

void showNextAlert() {
    auto& queue = alertQueue();
    if (pendingDismissals == 0 && !queue.empty()) queue.front()->present();
}

// The rounded white box, with hairlines above and between the buttons.
class AlertBox : public View {
  public:
    double buttonsTop = 0;
    bool sideBySide = false;
    size_t buttonCount = 0;

    void draw(render::Canvas& canvas, const Rect& rect) override {
        canvas.fillRect(rect, Color::fromRGB255(248, 248, 248), 12);
        if (buttonCount == 0) return;
        canvas.fillRect(Rect(0, buttonsTop, rect.width(), 0.5), kLine);
        if (sideBySide) {
            canvas.fillRect(Rect(rect.width() / 2, buttonsTop, 0.5, kButtonHeight), kLine);
        } else {
            for (size_t i = 1; i < buttonCount; ++i) {
                canvas.fillRect(Rect(0, buttonsTop + i * kButtonHeight, rect.width(), 0.5), kLine);
            }
        }
    }
};

}  // namespace

AlertView::AlertView(std::string title,
                     std::string message,
                     std::weak_ptr<AlertViewDelegate> delegate,
                     std::optional<std::string> cancelButtonTitle,
                     std::vector<std::string> otherButtonTitles)
    : View(Screen::main().bounds()),
      title_(std::move(title)),
      message_(std::move(message)),
      delegate_(std::move(delegate)),
      hasCancel_(cancelButtonTitle.has_value()) {
    if (cancelButtonTitle) buttonTitles_.push_back(*cancelButtonTitle);
    for (auto& t : otherButtonTitles)
        buttonTitles_.push_back(std::move(t));
    setBackgroundColor(Color::black().withAlpha(0.4));
}

std::string AlertView::buttonTitleAtIndex(int64_t index) const {
    if (index < 0 || index >= numberOfButtons()) return {};
    return buttonTitles_[index];
}

std::shared_ptr<Button> AlertView::buttonAtIndex(int64_t index) const {
    if (index < 0 || index >= static_cast<int64_t>(buttons_.size())) return nullptr;
    return buttons_[index];
}

std::vector<std::shared_ptr<AlertView>> AlertView::visibleAlerts() {
    assertMainThread("AlertView::visibleAlerts");
    auto& queue = alertQueue();
    if (queue.empty() || !queue.front()->onScreen_) return {};
    return {queue.front()};
}

void AlertView::show() {
    assertMainThread("AlertView::show");
    auto& queue = alertQueue();
    auto self = std::static_pointer_cast<AlertView>(shared_from_this());
    if (std::find(queue.begin(), queue.end(), self) != queue.end()) return;
    queue.push_back(self);
    showNextAlert();
}

void AlertView::buildContent() {
    if (box_) return;
    auto box = std::make_shared<AlertBox>();
    box_ = box;
    titleLabel_ = std::make_shared<Label>();
    titleLabel_->setText(title_);
    titleLabel_->setFont(render::Font::system(17, true));
    titleLabel_->setTextAlignment(TextAlignment::Center);
    titleLabel_->setNumberOfLines(0);
    messageLabel_ = std::make_shared<Label>();
    messageLabel_->setText(message_);
    messageLabel_->setFont(render::Font::system(13));
    messageLabel_->setTextAlignment(TextAlignment::Center);
    messageLabel_->setNumberOfLines(0);
    box_->addSubview(titleLabel_);
    box_->addSubview(messageLabel_);
    std::weak_ptr<AlertView> weak = std::static_pointer_cast<AlertView>(shared_from_this());
    for (size_t i = 0; i < buttonTitles_.size(); ++i) {
        auto button = std::make_shared<Button>();
        button->setName(buttonTitles_[i]);
        button->setTitle(buttonTitles_[i], ControlState::Normal);
        button->setTitleColor(kTint, ControlState::Normal);
        button->setTitleFont(render::Font::system(17, hasCancel_ && i == 0));
        button->addTarget(
            [weak, i](Control&, ControlEvent) {
                if (auto alert = weak.lock()) alert->clicked(static_cast<int64_t>(i));
            },
            ControlEvent::TouchUpInside);
        buttons_.push_back(button);
        box_->addSubview(button);
    }
    addSubview(box_);
    setNeedsLayout();
}

void AlertView::layoutSubviews() {
    if (!box_) return;
    auto box = std::static_pointer_cast<AlertBox>(box_);
    double inner = kBoxWidth - 2 * kPadding;
    double y = kPadding + 4;
    if (!title_.empty()) {
        double h = titleLabel_->sizeThatFits(Size{inner, 1e6}).height;
        titleLabel_->setFrame(Rect(kPadding, y, inner, h));
        y += h + 4;
    }
    if (!message_.empty()) {
        double h = messageLabel_->sizeThatFits(Size{inner, 1e6}).height;
        messageLabel_->setFrame(Rect(kPadding, y, inner, h));
        y += h;
    }
    y += kPadding + 4;
    box->buttonsTop = y;
    box->buttonCount = buttons_.size();
    box->sideBySide = buttons_.size() == 2;
    if (box->sideBySide) {
        // Cancel on the left, the other on the right.
        buttons_[0]->setFrame(Rect(0, y, kBoxWidth / 2, kButtonHeight));
        buttons_[1]->setFrame(Rect(kBoxWidth / 2, y, kBoxWidth / 2, kButtonHeight));
        y += kButtonHeight;
    } else {
        // Stacked, the cancel button last.
        std::vector<std::shared_ptr<Button>> order(buttons_.begin(), buttons_.end());
        if (hasCancel_ && order.size() > 1)
            std::rotate(order.begin(), order.begin() + 1, order.end());
        for (auto& b : order) {
            b->setFrame(Rect(0, y, kBoxWidth, kButtonHeight));
            y += kButtonHeight;
        }
    }
    Rect b = bounds();
    box_->setFrame(Rect(b.minX() + (b.width() - kBoxWidth) / 2, b.minY() + (b.height() - y) / 2,
                        kBoxWidth, y));
}

void AlertView::present() {
    if (onScreen_) return;
    onScreen_ = true;
    buildContent();
    if (auto window = Application::shared().keyWindow()) {
        setFrame(window->bounds());
        window->addSubview(shared_from_this());
    }
    layoutIfNeeded();
}

void AlertView::clicked(int64_t index) {
    if (!isVisible()) return;
    if (auto d = delegate()) d->alertViewClickedButtonAtIndex(*this, index);
    dismissWithClickedButtonIndex(index, true);
}

void AlertView::dismissWithClickedButtonIndex(int64_t buttonIndex, bool /*animated*/) {
    assertMainThread("AlertView::dismissWithClickedButtonIndex");
    auto& queue = alertQueue();
    auto self = std::static_pointer_cast<AlertView>(shared_from_this());
    auto it = std::find(queue.begin(), queue.end(), self);
    if (it == queue.end()) return;
    queue.erase(it);
    if (onScreen_) {
        onScreen_ = false;
        removeFromSuperview();
    }
    ++pendingDismissals;
    Queue::main()->async([self, buttonIndex] {
        if (auto d = self->delegate()) d->alertViewDidDismissWithButtonIndex(*self, buttonIndex);
        --pendingDismissals;
        showNextAlert();
    });
}

}  // namespace platform::ui
