// The default way the sandbox store asks the player to confirm a purchase: an alert with the
// product's title, the quantity when more than one, and the price, with "取消" and "购买".

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/store/SandboxStore.h"
#include "platform/ui/AlertView.h"

namespace platform::store {

namespace {

// "¥6.00" for yuan; other currencies by their code.
std::string formattedPrice(double amount, const std::string& priceLocale) {
    std::string currency = "CNY";
    if (auto at = priceLocale.find("currency="); at != std::string::npos)
        currency = priceLocale.substr(at + 9, 3);
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.2f", amount);
    return (currency == "CNY" ? std::string("¥") : currency + " ") + digits;
}

// Answers once, from the tapped button (or the index the alert was dismissed with). It keeps
// itself alive while its alert is up, since the alert holds its delegate weakly.
class Confirmation : public ui::AlertViewDelegate {
  public:
    static constexpr int64_t kBuyIndex = 1;

    explicit Confirmation(std::function<void(bool)> reply) : reply_(std::move(reply)) {}

    void hold(std::shared_ptr<Confirmation> self) { self_ = std::move(self); }

    void alertViewClickedButtonAtIndex(ui::AlertView&, int64_t index) override { answer(index); }
    void alertViewDidDismissWithButtonIndex(ui::AlertView&, int64_t index) override {
        answer(index);
    }

  private:
    void answer(int64_t index) {
        auto keep = std::move(self_);
        if (auto reply = std::exchange(reply_, nullptr)) reply(index == kBuyIndex);
    }

    std::function<void(bool)> reply_;
    std::shared_ptr<Confirmation> self_;
};

}  // namespace

SandboxStore::Confirmer alertConfirmer() {
    return [](const Product& product, int64_t quantity, std::function<void(bool)> reply) {
        std::string message = product.localizedTitle;
        if (quantity > 1) message += " × " + std::to_string(quantity);
        message += "\n" + formattedPrice(product.price * static_cast<double>(quantity),
                                         product.priceLocale);
        auto confirmation = std::make_shared<Confirmation>(std::move(reply));
        confirmation->hold(confirmation);
        auto alert = std::make_shared<ui::AlertView>("确认购买", message, confirmation, "取消",
                                                     std::vector<std::string>{"购买"});
        alert->show();
    };
}

}  // namespace platform::store
