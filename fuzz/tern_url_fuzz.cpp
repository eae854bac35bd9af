// What the messenger hands the game: a URL that opens it and the record waiting on a
// pasteboard, read by TNApi::handleOpenURL exactly as the app delegate calls it.
//
// Input: the pieces between "\n#board\n" separators are the URL, the bytes of the records'
// pasteboard (the general one on systems from 7 on, else "tern_data"; QEN_SYSTEM_VERSION picks
// the system) and the media bytes of "tern_file". A missing piece leaves its pasteboard empty.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/ui/Pasteboard.h"
#include "sdk/tern/AppCommunicate.h"
#include "sdk/tern/TNApi.h"

namespace {

// The game's messenger app id.
constexpr const char* kAppID = "tn5e0c8a47d21b93f6";

// Looks at what it is handed, as the app delegate does.
class Delegate : public TNApiDelegate {
  public:
    void onReq(const std::shared_ptr<BaseReq>& req) override { seen += req != nullptr; }
    void onResp(const std::shared_ptr<BaseResp>& resp) override {
        if (resp) seen += static_cast<size_t>(resp->errCode & 1);
    }
    size_t seen = 0;
};

void fill(const std::shared_ptr<platform::ui::Pasteboard>& board, std::string_view bytes) {
    board->setDataForPasteboardType(platform::Data(bytes.data(), bytes.size()), "content");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    TNApi::registerApp(std::string(kAppID));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto pieces = qen::fuzz::split(
        std::string_view(reinterpret_cast<const char*>(data), size), "\n#board\n", 3);
    const std::string_view records = pieces.size() > 1 ? pieces[1] : std::string_view();
    const std::string_view media = pieces.size() > 2 ? pieces[2] : std::string_view();
    fill(platform::ui::Pasteboard::generalPasteboard(), records);
    fill(AppCommunicate::getDataPasteboard(), records);
    fill(AppCommunicate::getFilePasteboard(), media);

    Delegate delegate;
    TNApi::handleOpenURL(std::string(pieces[0]), &delegate);
    return 0;
}
