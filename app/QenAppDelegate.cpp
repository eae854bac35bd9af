#include "app/QenAppDelegate.h"

#include <cstdlib>
#include <string>

#include "game/model/QenData.h"
#include "platform/foundation/AppHome.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/URLDelivery.h"

namespace qen::app {

const char* const kTernAppID = "tn5e0c8a47d21b93f6";

namespace {

void showAlert(const std::string& message) {
    auto alert = std::make_shared<platform::ui::AlertView>(
        "提示", message, std::weak_ptr<platform::ui::AlertViewDelegate>{}, std::string("确定"));
    alert->show();
}

}  // namespace

bool QenAppDelegate::didFinishLaunching(const platform::Dictionary& /*options*/) {
    TNApi::registerApp(std::string(kTernAppID));
    // URLs of the game's scheme reach it from now on, and those opened before now come at once.
    platform::ui::startURLDelivery(platform::AppHome::bundleIdentifier(), {kTernAppID});
    return true;
}

std::optional<bool> QenAppDelegate::handleOpenURL(const std::string& url) {
    return TNApi::handleOpenURL(url, this);
}

std::optional<bool> QenAppDelegate::openURL(const std::string& url,
                                            const std::string& /*sourceApplication*/,
                                            const platform::Value& /*annotation*/) {
    return TNApi::handleOpenURL(url, this);
}

void QenAppDelegate::onResp(const std::shared_ptr<BaseResp>& resp) {
    if (!std::dynamic_pointer_cast<SendMessageToTNResp>(resp)) return;
    QenData data{QenData::Uninitialized{}};
    if (resp->errCode != 0) return;

    const int32_t left = data.readNormalShareGiftLeft();
    if (left >= 1) {
        const int32_t gift = data.readNormalShareGift();
        data.changeVoucher(gift);
        std::string count = std::to_string(left - 1);
        data.saveNormalShareGiftLeft(count);
        showAlert("已得到额外买房代金券奖励" + std::to_string(gift / 10) + "万");
    }

    std::string message = "炫耀成功";
    if (data.readShareGift()) {
        const int32_t gift = data.readShareGiftShouldGive();
        data.changeVoucher(gift);
        data.setShareGift(false);
        message = "炫耀成功，买房代金券已增加" + std::to_string(gift / 10) + "万";
    }
    showAlert(message);

    data.loadUsage();
    auto shares = data.usage.find("share");
    const int64_t count = shares == data.usage.end() ? 0 : std::atoll(shares->second.c_str());
    data.usage["share"] = std::to_string(static_cast<int32_t>(count + 1));
    data.saveUsage();
}

void registerClasses() {
    platform::runtime::registerClass(QenAppDelegate::kClassName,
                                     [] { return std::make_shared<QenAppDelegate>(); });
}

}  // namespace qen::app
