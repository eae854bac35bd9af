#include <gtest/gtest.h>

#include "platform/store/StoreError.h"
#include "platform/store/StoreTestSupport_test.h"
#include "platform/ui/AlertView.h"

namespace platform::store {
namespace {

using testing::Recorder;
using testing::waitFor;

std::shared_ptr<ui::AlertView> visibleAlert() {
    auto alerts = ui::AlertView::visibleAlerts();
    return alerts.empty() ? nullptr : alerts.front();
}

using ConfirmationAlertTest = testing::StoreTest;

// The confirm mode's own alert, as the player sees and answers it.
TEST_F(ConfirmationAlertTest, ShowsTheProductAndItsPriceAndBuysOnlyWhenTheBuyButtonIsTapped) {
    struct Case {
        const char* name;
        const char* product;
        int64_t quantity;
        const char* message;
        std::optional<int64_t> tapped;  // else dismissed by the app with button 0
        TransactionState state;
    };
    const Case cases[] = {
        {"buy", testing::kSmall, 1, "小包\n¥6.00", 1, TransactionState::Purchased},
        {"cancel", testing::kSmall, 1, "小包\n¥6.00", 0, TransactionState::Failed},
        {"two, in dollars", testing::kLarge, 2, "大包 × 2\nUSD 1297.00", 1,
         TransactionState::Purchased},
        {"dismissed", testing::kSmall, 1, "小包\n¥6.00", std::nullopt, TransactionState::Failed},
    };
    auto recorder = std::make_shared<Recorder>();
    recorder->finishDecided = true;
    PaymentQueue::defaultQueue()->addTransactionObserver(recorder);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recorder->heard.clear();
        Payment payment;
        payment.productIdentifier = c.product;
        payment.quantity = c.quantity;
        PaymentQueue::defaultQueue()->addPayment(payment);

        ASSERT_TRUE(waitFor([] { return visibleAlert() != nullptr; }));
        auto alert = visibleAlert();
        EXPECT_EQ(alert->title(), "确认购买");
        EXPECT_EQ(alert->message(), c.message);
        ASSERT_EQ(alert->numberOfButtons(), 2);
        EXPECT_EQ(alert->buttonTitleAtIndex(alert->cancelButtonIndex()), "取消");
        EXPECT_EQ(alert->buttonTitleAtIndex(1), "购买");
        EXPECT_EQ(recorder->heard.size(), 1u) << "still purchasing while the alert is up";

        if (c.tapped)
            alert->buttonAtIndex(*c.tapped)->sendActionsForEvents(ui::ControlEvent::TouchUpInside);
        else
            alert->dismissWithClickedButtonIndex(0, true);
        ASSERT_TRUE(waitFor([&] { return recorder->heardDecision(); }));
        EXPECT_EQ(recorder->heard.back().state, c.state);
        if (c.state == TransactionState::Failed) {
            EXPECT_EQ(recorder->heard.back().errorCode, kStoreErrorPaymentCancelled);
        }
        EXPECT_EQ(visibleAlert(), nullptr);
    }
    testing::letTimePass(1);
    EXPECT_TRUE(PaymentQueue::defaultQueue()->transactions().empty());
}

}  // namespace
}  // namespace platform::store
