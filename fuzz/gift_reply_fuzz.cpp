// The daily-gift server's reply, read as the exchange reads it and applied as the main screen
// applies it: the gift paid from the streak kept in files, the broadcast, the settings saved.
// A run starts from an empty home and applies up to three replies in turn (the pieces between
// "\n#reply\n" separators), so that a later reply meets what an earlier one stored, as the
// replies of several days do.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "game/model/QenData.h"
#include "game/screens/QenGiftExchange.h"
#include "game/screens/QenMainViewController.h"
#include "platform/foundation/AppHome.h"

namespace {

std::shared_ptr<QenData>& pristine() {
    static std::shared_ptr<QenData> model;
    return model;
}

std::shared_ptr<QenMainViewController>& screen() {
    static std::shared_ptr<QenMainViewController> controller;
    return controller;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    pristine() = std::make_shared<QenData>();
    screen() = std::make_shared<QenMainViewController>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qen::fuzz::emptyFolder(platform::AppHome::documents());
    std::srand(1);
    screen()->setQend(std::make_shared<QenData>(*pristine()));
    const auto replies = qen::fuzz::split(
        std::string_view(reinterpret_cast<const char*>(data), size), "\n#reply\n", 3);
    for (std::string_view reply : replies) {
        QenGiftExchange::Reply read = QenGiftExchange::readReply(std::string(reply));
        screen()->applyDailyGift(std::move(read.parts), read.complete);
    }
    return 0;
}
