#pragma once
// QenRecordTableViewCell: one row of the records screen, loaded from the nib "RecordCell" under
// the reuse identifier "recordcell": a house's name, the date of its first success and how
// many games ended with it, over a row background. The screen fills it. Main thread only.

#include <memory>
#include <string>

#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/TableViewCell.h"

// A row of the records as values; the screen reads the model directly and makes none.
struct QenRecordItem {
    std::string imgname;
    std::string housename;
    std::string firstsucc;
    std::string succnbr;
};

class QenRecordTableViewCell : public platform::ui::TableViewCell {
  public:
    static constexpr const char* kClassName = "QenRecordTableViewCell";
    static constexpr const char* kNibName = "RecordCell";
    static constexpr const char* kReuseIdentifier = "recordcell";

    QenRecordTableViewCell();
    std::string className() const override { return kClassName; }

    std::weak_ptr<platform::ui::Label> housename;
    std::weak_ptr<platform::ui::Label> firstdate;
    std::weak_ptr<platform::ui::Label> succnbr;
    std::weak_ptr<platform::ui::ImageView> background;
};
