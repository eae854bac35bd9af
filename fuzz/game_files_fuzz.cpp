// The game's files as another program may have left them: "data0" to "data23" in the
// documents folder and the keychain item of the player identifier, read by every reader of the
// model, then the daily gift paid from the stored streak and the daily-gift request built from
// the stored records (as the main screen builds it).
//
// Input: the pieces between "\n#file\n" separators are the files data0, data1, ... in order,
// then the keychain item's bytes, then the server time and the gift list for one daily gift. A
// file whose piece is absent is not written; an empty piece is an empty file.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "game/model/QenData.h"
#include "game/model/QenFiles.h"
#include "game/screens/QenMainViewController.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/security/Keychain.h"

namespace {

constexpr size_t kFiles = 24;
constexpr const char* kUserIDItem = "com.vq.Kestrune.duserid";

std::shared_ptr<QenData>& pristine() {
    static std::shared_ptr<QenData> model;
    return model;
}

std::shared_ptr<QenMainViewController>& screen() {
    static std::shared_ptr<QenMainViewController> controller;
    return controller;
}

void readEverything(QenData& d) {
    d.userid = d.getUserID();
    d.loadRecord();
    d.loadUsage();
    d.voucher = d.readVoucher();
    QenData::readInt(d.voucher);
    d.changeVoucher(10);
    d.readHintLeft();
    d.changeHintLeft(1);
    d.readShareGift();
    d.readHelpShow();
    d.readJudge();
    d.readAdStatus();
    d.readHintStatus();
    d.readShareMsg();
    d.readAskSharePiont();
    d.readShareGiftShouldGive();
    d.readJudgeGiftShouldGive();
    d.readNormalShareGift();
    d.readNormalShareGiftLeft();
    d.readDownloadsite();
    d.readDownloadsiteI();
    d.isSoundOn();
    d.readHintEnable();
    d.readCrazyEnable();
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
    const auto pieces = qen::fuzz::split(
        std::string_view(reinterpret_cast<const char*>(data), size), "\n#file\n", kFiles + 3);
    for (size_t i = 0; i < pieces.size() && i < kFiles; ++i)
        platform::files::writeAtomically(qen::files::path(static_cast<int>(i)),
                                         std::string(pieces[i]));
    QenData::delete_(kUserIDItem);
    if (pieces.size() > kFiles) {
        platform::Dictionary item = QenData::getKeychainQuery(kUserIDItem);
        item[platform::keychain::kValueData] =
            platform::Data(pieces[kFiles].data(), pieces[kFiles].size());
        platform::keychain::add(item);
    }

    auto model = std::make_shared<QenData>(*pristine());
    readEverything(*model);

    std::string time = pieces.size() > kFiles + 1 ? std::string(pieces[kFiles + 1]) : "";
    QenData::Encrypt(time);
    std::optional<std::string> gifts;
    if (pieces.size() > kFiles + 2) gifts = std::string(pieces[kFiles + 2]);
    model->getGift(time, gifts);

    screen()->setQend(model);
    screen()->dailyGiftRequest();
    return 0;
}
