#include "game/screens/QenRecordViewController.h"

#include "game/model/QenNumbers.h"
#include "game/screens/QenRecordTableViewCell.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Storyboard.h"
#include "sdk/tern/BaseReq.h"
#include "sdk/tern/TNApi.h"
#include "sdk/tern/TNMediaMessage.h"

using platform::ui::IndexPath;
using platform::ui::TableView;
using platform::ui::TableViewCell;

namespace {

constexpr double kRowTextSize = 16;
constexpr double kNoteSize = 14;

// Row backgrounds take turns from the top; rows from this one on keep the cell's picture.
constexpr int64_t kPatternedRows = 15;

std::string valueFor(const QenData::StringMap& map, const std::string& key) {
    auto it = map.find(key);
    return it == map.end() ? std::string() : it->second;
}

}  // namespace

QenRecordViewController::QenRecordViewController() {
    bindOutlet("tableview_record", &tableview_record);
    bindOutlet("dialogsuccess", &dialogsuccess);
    bindOutlet("dialogsuccess_succimg", &dialogsuccess_succimg);
    bindOutlet("dialogsuccess_note", &dialogsuccess_note);
    bindOutlet("bleaveRecord", &bleaveRecord);
    bindValue("mdata", &mdata_);

    auto buttonSound = [this] {
        if (mdata_) playSound(mdata_->sid_button);
    };
    bindAction("dialogsuccess_friend:", [this, buttonSound](platform::runtime::Object*) {
        buttonSound();
        share(kShareToChat);
    });
    bindAction("dialogsuccess_timeline:", [this, buttonSound](platform::runtime::Object*) {
        buttonSound();
        share(kShareToTimeline);
    });
    bindAction("dialogsuccess_close:", [this, buttonSound](platform::runtime::Object*) {
        buttonSound();
        dismissSucc();
    });
    bindAction("dialogsuccess_moregame:", [](platform::runtime::Object*) {});
    // The leave button's unwind segue leaves the screen.
    bindAction("leaveRecord:", [buttonSound](platform::runtime::Object*) { buttonSound(); });
}

bool QenRecordViewController::share(int32_t scene) {
    if (!mdata_) return false;
    const auto at = static_cast<size_t>(selrow_);
    const std::string name = at < mdata_->housename.size() ? mdata_->housename[at] : std::string();
    auto message = TNMediaMessage::message();
    message->title = "三千起家，一年时间我就买到了" + name + "！你能做到吗？";
    message->description =
        at < mdata_->housesuccmsg.size() ? mdata_->housesuccmsg[at] : std::string();
    if (auto thumb = platform::ui::imageNamed("icon180.png")) message->setThumbImage(*thumb);
    auto page = TNWebpageObject::object();
    page->webpageUrl = mdata_->readDownloadsite();
    message->mediaObject = page;

    auto request = std::make_shared<SendMessageToTNReq>();
    request->bText = false;
    request->message = message;
    request->scene = scene;
    // The messenger's answer comes back through the app delegate.
    return TNApi::sendReq(request);
}

void QenRecordViewController::playSound(uint32_t sound) {
    if (mdata_ && mdata_->isSoundOn()) platform::media::playSystemSound(sound);
}

void QenRecordViewController::viewDidLoad() {
    if (auto table = tableview_record.lock())
        table->setSeparatorStyle(platform::ui::TableViewCellSeparatorStyle::None);
    dismissSucc();
}

void QenRecordViewController::showSucc(int32_t index) {
    if (auto panel = dialogsuccess.lock()) panel->setHidden(false);
    if (auto button = bleaveRecord.lock()) button->setEnabled(false);
    if (!mdata_ || index < 0) return;
    const auto at = static_cast<size_t>(index);
    if (auto note = dialogsuccess_note.lock()) {
        note->setFont({mdata_->fontname, kNoteSize, false});
        note->setText(at < mdata_->housesuccmsg.size() ? mdata_->housesuccmsg[at] : std::string());
    }
    if (auto picture = dialogsuccess_succimg.lock())
        picture->setImage(at < mdata_->houseimgressucc.size()
                              ? platform::ui::imageNamed(mdata_->houseimgressucc[at])
                              : nullptr);
}

void QenRecordViewController::dismissSucc() {
    if (auto panel = dialogsuccess.lock()) panel->setHidden(true);
    if (auto button = bleaveRecord.lock()) button->setEnabled(true);
}

int64_t QenRecordViewController::tableViewNumberOfRowsInSection(TableView&, int64_t) {
    return mdata_ ? mdata_->housenbr : 0;
}

std::shared_ptr<TableViewCell> QenRecordViewController::tableViewCellForRowAtIndexPath(
    TableView& tableView,
    const IndexPath& indexPath) {
    mdata_->loadRecord();
    tableView.registerNib(platform::ui::Nib::named(QenRecordTableViewCell::kNibName),
                          QenRecordTableViewCell::kReuseIdentifier);
    auto cell = tableView.dequeueReusableCellWithIdentifierForIndexPath(
        QenRecordTableViewCell::kReuseIdentifier, indexPath);
    auto record = std::dynamic_pointer_cast<QenRecordTableViewCell>(cell);
    if (!record) return cell;

    const int64_t row = indexPath.row;
    const std::string key = std::to_string(row);
    const auto at = static_cast<size_t>(row);
    const platform::render::Font font{mdata_->fontname, kRowTextSize, false};
    auto fill = [&font](const std::weak_ptr<platform::ui::Label>& outlet, const std::string& text) {
        if (auto label = outlet.lock()) {
            label->setText(text);
            label->setFont(font);
        }
    };
    fill(record->housename, at < mdata_->housename.size() ? mdata_->housename[at] : std::string());
    fill(record->succnbr, valueFor(mdata_->record_succnbr, key));
    fill(record->firstdate, valueFor(mdata_->record_date, key));
    if (row < kPatternedRows) {
        if (auto background = record->background.lock())
            background->setImage(
                platform::ui::imageNamed("background_recordcell" + std::to_string(row % 3 + 1)));
    }
    record->setSelectionStyle(platform::ui::TableViewCellSelectionStyle::None);
    return cell;
}

void QenRecordViewController::tableViewDidSelectRowAtIndexPath(TableView&,
                                                               const IndexPath& indexPath) {
    if (!mdata_) return;
    playSound(mdata_->sid_selgoods);
    const auto row = static_cast<int32_t>(indexPath.row);
    const bool bought = qen::intValue(valueFor(mdata_->record_succnbr, std::to_string(row))) >= 1;
    auto panel = dialogsuccess.lock();
    if (bought && panel && panel->isHidden()) {
        showSucc(row);
        selrow_ = row;
    }
}
