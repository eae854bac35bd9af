#pragma once
// QenRecordViewController: the player's records, one row per house of the model's house table
// with the date of the first game that bought it and how many games did. A house bought at
// least once opens into the success panel with its picture and message. The leave button
// returns by the scene's unwind segue ("backFromRecord:").
//
// Contract (main thread only):
//  - The opening screen hands over its model before the view loads, under the key "mdata".
//  - Every row the table asks for reloads the records from their files first, so the list
//    shows what is stored, also what an earlier run stored.
//  - Two states: the list (panel hidden, leave button enabled) and the panel open (leave
//    button disabled; a row tap then only plays its sound).
//  - The share buttons hand the house on show to the messenger SDK; its answer comes back
//    through the app delegate, not here.
//  - Button actions play the model's button sound, and row taps its goods-selection sound, when
//    the model's sound setting is on.

#include <cstdint>
#include <memory>
#include <string>

#include "game/model/QenData.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableView.h"
#include "platform/ui/ViewController.h"

class QenRecordViewController : public platform::ui::ViewController,
                                public platform::ui::TableViewDataSource,
                                public platform::ui::TableViewDelegate {
  public:
    static constexpr const char* kClassName = "QenRecordViewController";
    // Where the success panel's share buttons send the house: a chat or the timeline.
    static constexpr int32_t kShareToChat = 0;
    static constexpr int32_t kShareToTimeline = 1;

    QenRecordViewController();
    std::string className() const override { return kClassName; }

    std::shared_ptr<QenData> mdata() const { return mdata_; }
    void setMdata(std::shared_ptr<QenData> model) { mdata_ = std::move(model); }
    // The house shown in the success panel.
    int32_t selrow() const { return selrow_; }

    void viewDidLoad() override;

    // Opens the success panel for house `index`; closes it.
    void showSucc(int32_t index);
    void dismissSucc();

    int64_t tableViewNumberOfRowsInSection(platform::ui::TableView& tableView,
                                           int64_t section) override;
    std::shared_ptr<platform::ui::TableViewCell> tableViewCellForRowAtIndexPath(
        platform::ui::TableView& tableView,
        const platform::ui::IndexPath& indexPath) override;
    void tableViewDidSelectRowAtIndexPath(platform::ui::TableView& tableView,
                                          const platform::ui::IndexPath& indexPath) override;

    std::weak_ptr<platform::ui::TableView> tableview_record;
    std::weak_ptr<platform::ui::View> dialogsuccess;
    std::weak_ptr<platform::ui::ImageView> dialogsuccess_succimg;
    std::weak_ptr<platform::ui::Label> dialogsuccess_note;
    std::weak_ptr<platform::ui::Button> bleaveRecord;

    // Sends the house on show to the messenger as a web-page card (title, success message,
    // thumbnail, the game's download page) for the scene; false when nothing was sent.
    bool share(int32_t scene);

  private:
    void playSound(uint32_t sound);

    std::shared_ptr<QenData> mdata_;
    int32_t selrow_ = 0;
};
