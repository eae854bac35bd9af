// The records screen from the real storyboard: the rows read from the record files (also those
// a first run wrote), the row backgrounds, the success panel of a bought house, the sounds, and
// the leave button back to the screen that opened it.

#include "game/screens/QenRecordViewController.h"

#include <gtest/gtest.h>

#include <any>
#include <memory>

#include "game/model/QenData.h"
#include "game/screens/QenRecordTableViewCell.h"
#include "game/screens/ScreenTesting_test.h"
#include "platform/device/SystemVersion.h"
#include "platform/media/SystemSound.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/URLOpening.h"
#include "sdk/tern/AppCommunicate.h"
#include "sdk/tern/TNApi.h"

namespace {

using namespace platform::ui;
using namespace screentesting;
namespace media = platform::media;

class QenRecordViewControllerTest : public ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        media::clearPlayedSounds();
    }

    // A first run that bought house 2 three times and house 8 once, then ended.
    static void writeRecordsOfAnEarlierRun() {
        QenData first;
        first.loadRecord();
        first.record_date["2"] = "2026-12-01";
        first.record_succnbr["2"] = "3";
        first.record_date["8"] = "2026-12-09";
        first.record_succnbr["8"] = "1";
        first.saveRecord();
    }

    void open() {
        model = std::make_shared<QenData>();
        model->sid_button = media::createSystemSound(bundleDirectory() / "button.wav");
        model->sid_selgoods = media::createSystemSound(bundleDirectory() / "selgoods.wav");
        ASSERT_NE(model->sid_button, 0u);
        ASSERT_NE(model->sid_selgoods, 0u);
        screen = instantiate<QenRecordViewController>("record");
        screen->setValueForKey("mdata", std::any(model));
        present(screen);
        table = get(screen->tableview_record);
        // The rows are drawn (and the records read) before a player can tap one.
        ASSERT_TRUE(cell(0));
    }

    std::shared_ptr<QenRecordTableViewCell> cell(int64_t row) {
        const Rect place = table->rectForRowAtIndexPath(IndexPath::forRow(row));
        table->setContentOffset({0, place.origin.y});
        return std::dynamic_pointer_cast<QenRecordTableViewCell>(
            table->cellForRowAtIndexPath(IndexPath::forRow(row)));
    }

    void expectRow(int64_t row, const std::string& date, const std::string& count) {
        SCOPED_TRACE("row " + std::to_string(row));
        auto c = cell(row);
        ASSERT_TRUE(c);
        EXPECT_EQ(get(c->housename)->text(), model->housename[static_cast<size_t>(row)]);
        EXPECT_EQ(get(c->firstdate)->text(), date);
        EXPECT_EQ(get(c->succnbr)->text(), count);
        for (auto* label : {&c->housename, &c->firstdate, &c->succnbr}) {
            EXPECT_EQ(get(*label)->font().family, model->fontname);
            EXPECT_EQ(get(*label)->font().size, 16);
        }
        EXPECT_EQ(get(c->background)->image(),
                  imageNamed("background_recordcell" + std::to_string(row % 3 + 1)));
        EXPECT_EQ(c->selectionStyle(), TableViewCellSelectionStyle::None);
    }

    void select(int64_t row) {
        screen->tableViewDidSelectRowAtIndexPath(*table, IndexPath::forRow(row));
    }

    bool panelOpen() { return !get(screen->dialogsuccess)->isHidden(); }

    std::shared_ptr<QenData> model;
    std::shared_ptr<QenRecordViewController> screen;
    std::shared_ptr<TableView> table;
};

TEST_F(QenRecordViewControllerTest, ListsWhatAnEarlierRunStored) {
    writeRecordsOfAnEarlierRun();
    open();
    EXPECT_EQ(table->separatorStyle(), TableViewCellSeparatorStyle::None);
    EXPECT_FALSE(panelOpen());
    EXPECT_TRUE(get(screen->bleaveRecord)->isEnabled());
    ASSERT_EQ(table->numberOfRowsInSection(0), 10);
    writeSnapshot("records");

    for (int64_t row = 0; row < 10; ++row) {
        if (row == 2)
            expectRow(row, "2026-12-01", "3");
        else if (row == 8)
            expectRow(row, "2026-12-09", "1");
        else
            expectRow(row, "", "0");
    }
}

TEST_F(QenRecordViewControllerTest, RowsShowTheFilesAsTheyAreWhenDrawn) {
    open();
    expectRow(4, "", "0");
    // Another model stores a success while the screen is up: the next drawing shows it.
    QenData other;
    other.loadRecord();
    other.record_date["4"] = "2026-12-10";
    other.record_succnbr["4"] = "2";
    other.saveRecord();
    table->reloadData();
    expectRow(4, "2026-12-10", "2");
}

TEST_F(QenRecordViewControllerTest, ABoughtHouseOpensItsSuccessPanelAndANeverBoughtOneNothing) {
    writeRecordsOfAnEarlierRun();
    open();

    select(0);
    EXPECT_FALSE(panelOpen()) << "a house never bought opens nothing";
    EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_selgoods});

    media::clearPlayedSounds();
    tap(cell(2));
    ASSERT_TRUE(panelOpen());
    EXPECT_EQ(screen->selrow(), 2);
    EXPECT_FALSE(get(screen->bleaveRecord)->isEnabled());
    EXPECT_EQ(get(screen->dialogsuccess_note)->text(), model->housesuccmsg[2]);
    EXPECT_EQ(get(screen->dialogsuccess_note)->font().size, 14);
    EXPECT_EQ(get(screen->dialogsuccess_note)->font().family, model->fontname);
    ASSERT_TRUE(imageNamed(model->houseimgressucc[2]));
    EXPECT_EQ(get(screen->dialogsuccess_succimg)->image(), imageNamed(model->houseimgressucc[2]));
    EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_selgoods});
    writeSnapshot("records-success");

    // With the panel open another bought house changes nothing but sounds.
    media::clearPlayedSounds();
    select(8);
    EXPECT_EQ(screen->selrow(), 2);
    EXPECT_EQ(get(screen->dialogsuccess_note)->text(), model->housesuccmsg[2]);
    EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_selgoods});

    media::clearPlayedSounds();
    tap(screen->view()->viewNamed("dialogsuccess_close"));
    EXPECT_FALSE(panelOpen());
    EXPECT_TRUE(get(screen->bleaveRecord)->isEnabled());
    EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_button});

    select(8);
    EXPECT_TRUE(panelOpen());
    EXPECT_EQ(screen->selrow(), 8);
    EXPECT_EQ(get(screen->dialogsuccess_note)->text(), model->housesuccmsg[8]);
}

TEST_F(QenRecordViewControllerTest, LeavingSoundsAndReturnsToTheOpeningScreen) {
    open();
    tap(get(screen->bleaveRecord));
    EXPECT_EQ(host->heard, std::vector<std::string>{"backFromRecord: backfromrecord"});
    EXPECT_FALSE(host->presentedViewController());
    EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_button});
}

TEST_F(QenRecordViewControllerTest, WithTheSoundOffNothingIsHeard) {
    writeRecordsOfAnEarlierRun();
    open();
    model->turnOnSound(false);
    select(2);
    tap(screen->view()->viewNamed("dialogsuccess_close"));
    tap(get(screen->bleaveRecord));
    EXPECT_TRUE(media::playedSounds().empty());
    EXPECT_EQ(host->heard.size(), 1u);
}

// The messenger installed and the game registered with it, as the app delegate does at launch.
class QenRecordShareTest : public QenRecordViewControllerTest {
  protected:
    void SetUp() override {
        QenRecordViewControllerTest::SetUp();
        platform::device::setSystemVersion("8.4");
        platform::ui::registerInstalledApplication("com.example.messenger", {"ternapp", "tern"});
        ASSERT_TRUE(TNApi::registerApp(std::string("tnqen")));
    }

    // The record the share left for the messenger.
    static platform::Dictionary sentRecord() {
        auto record = AppCommunicate::propertyListForAppIDForiOS7Plus("tnqen");
        EXPECT_TRUE(record.has_value());
        return record.value_or(platform::Dictionary{});
    }
    static std::string text(const platform::Dictionary& record, const std::string& key) {
        auto it = record.find(key);
        return it != record.end() && it->second.string() ? *it->second.string() : "<none>";
    }
};

TEST_F(QenRecordShareTest, TheHouseOnShowGoesToAChatOrTheTimelineAsAWebPageCard) {
    writeRecordsOfAnEarlierRun();
    {
        QenData server;
        std::string site = "https://example.com/qen";
        server.saveDownloadsite(site);
    }
    open();
    select(8);
    ASSERT_TRUE(panelOpen());

    struct Case {
        const char* button;
        const char* scene;
    };
    for (const Case& c : {Case{"dialogsuccess_friend", "0"}, Case{"dialogsuccess_timeline", "1"}}) {
        SCOPED_TRACE(c.button);
        const size_t opened = platform::ui::openedURLs().size();
        media::clearPlayedSounds();
        tap(screen->view()->viewNamed(c.button));
        const auto urls = platform::ui::openedURLs();
        ASSERT_EQ(urls.size(), opened + 1);
        EXPECT_EQ(urls.back(), "ternapp://app/tnqen/sendreq/?");
        EXPECT_EQ(media::playedSounds(), std::vector<media::SoundID>{model->sid_button});
        const auto record = sentRecord();
        EXPECT_EQ(text(record, "command"), "1010");
        EXPECT_EQ(text(record, "scene"), c.scene);
        EXPECT_EQ(text(record, "title"),
                  "三千起家，一年时间我就买到了" + model->housename[8] + "！你能做到吗？");
        EXPECT_EQ(text(record, "description"), model->housesuccmsg[8]);
        EXPECT_EQ(text(record, "mediaUrl"), "https://example.com/qen");
        EXPECT_EQ(text(record, "objectType"), "5");
        EXPECT_TRUE(record.count("thumbData")) << "the thumbnail picture";
    }
    EXPECT_TRUE(panelOpen()) << "sharing leaves the panel up";
}

TEST_F(QenRecordShareTest, BeforeAnyDownloadPageIsKnownTheMessengerIsNotOpened) {
    writeRecordsOfAnEarlierRun();
    open();
    ASSERT_FALSE(model->readDownloadsite());
    select(2);
    const size_t opened = platform::ui::openedURLs().size();
    EXPECT_FALSE(screen->share(QenRecordViewController::kShareToChat));
    tap(screen->view()->viewNamed("dialogsuccess_friend"));
    EXPECT_EQ(platform::ui::openedURLs().size(), opened);
    EXPECT_TRUE(panelOpen());
}

}  // namespace
