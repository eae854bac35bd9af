#pragma once
// An alert: a title, a message and buttons in a box over the key window, which dims the rest
// of the screen and takes every touch until a button is tapped. The game's one-button notices
// ("确定") and the store's purchase confirmations. Its buttons are named by their titles, so the
// headless runner and tests tap them by title.
//
// Contract (main thread only):
//  - One alert shows at a time; show() while another is on screen queues this one, and it
//    comes up after the one before it was dismissed. visibleAlerts() lists the one on screen.
//  - Button indexes: the cancel button is 0 when there is one, the other buttons follow in the
//    order given.
//  - A tapped button calls the delegate's alertViewClickedButtonAtIndex at once and takes the
//    alert off the screen; dismissWithClickedButtonIndex takes it off without that call. On a
//    later main-queue turn the delegate hears alertViewDidDismissWithButtonIndex, then the
//    next queued alert shows.
//  - A showing alert is kept alive by the queue; the delegate is held weakly.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/View.h"

namespace platform::ui {

class AlertView;

// Every operation is optional.
class AlertViewDelegate {
  public:
    virtual ~AlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(AlertView& /*alertView*/, int64_t /*buttonIndex*/) {}
    virtual void alertViewDidDismissWithButtonIndex(AlertView& /*alertView*/,
                                                    int64_t /*buttonIndex*/) {}
};

class AlertView : public View {
  public:
    AlertView(std::string title,
              std::string message,
              std::weak_ptr<AlertViewDelegate> delegate,
              std::optional<std::string> cancelButtonTitle,
              std::vector<std::string> otherButtonTitles = {});
    std::string className() const override { return "AlertView"; }

    const std::string& title() const { return title_; }
    const std::string& message() const { return message_; }
    std::shared_ptr<AlertViewDelegate> delegate() const { return delegate_.lock(); }

    int64_t numberOfButtons() const { return static_cast<int64_t>(buttonTitles_.size()); }
    // -1 when the alert has no cancel button.
    int64_t cancelButtonIndex() const { return hasCancel_ ? 0 : -1; }
    // Empty for an index out of range.
    std::string buttonTitleAtIndex(int64_t index) const;
    // The button drawn for an index, or null.
    std::shared_ptr<Button> buttonAtIndex(int64_t index) const;

    void show();
    void dismissWithClickedButtonIndex(int64_t buttonIndex, bool animated);
    bool isVisible() const { return onScreen_; }

    static std::vector<std::shared_ptr<AlertView>> visibleAlerts();

    void layoutSubviews() override;

    // Puts the alert on screen (the queue's side; use show()).
    void present();

  private:
    void buildContent();
    void clicked(int64_t index);

    std::string title_;
    std::string message_;
    std::weak_ptr<AlertViewDelegate> delegate_;
    bool hasCancel_;
    std::vector<std::string> buttonTitles_;
    bool onScreen_ = false;

    std::shared_ptr<View> box_;
    std::shared_ptr<Label> titleLabel_;
    std::shared_ptr<Label> messageLabel_;
    std::vector<std::shared_ptr<Button>> buttons_;
};

}  // namespace platform::ui
