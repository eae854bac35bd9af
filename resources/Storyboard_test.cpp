// The game's storyboard and cell nibs, loaded from the built bundle with the platform's loader:
// every scene makes its controller class, every outlet that the screens' code reads is connected
// to a view of the right kind, every action the screens handle is sent by some control, the
// segues lead where the screens expect and come back through their unwind actions, and the
// cells load under their reuse identifiers.
//
// The outlet and action lists are written from the game's screens, not read from the JSON, so a
// control that the storyboard forgets, misnames or makes of the wrong kind fails here. Stand-in
// controllers and cells bind exactly those names, as the real classes do.
//
// Set QEN_SNAPSHOT_DIR to also write every scene and cell as a PNG file there, to look at.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TableView.h"
#include "platform/ui/TableViewCell.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace {

using namespace platform;
using namespace platform::ui;
namespace fs = std::filesystem;

enum class Kind { Label, Button, TextField, ImageView, Panel, Table };

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::Label:
            return "label";
        case Kind::Button:
            return "button";
        case Kind::TextField:
            return "text field";
        case Kind::ImageView:
            return "image view";
        case Kind::Panel:
            return "plain view";
        case Kind::Table:
            return "table view";
    }
    return "?";
}

using Outlets = std::vector<std::pair<std::string, Kind>>;

void add(Outlets& list, Kind kind, const std::vector<std::string>& names) {
    for (const auto& name : names)
        list.emplace_back(name, kind);
}

std::vector<std::string> numbered(const std::string& prefix,
                                  int last,
                                  const std::string& suffix = "") {
    std::vector<std::string> names;
    for (int i = 1; i <= last; ++i)
        names.push_back(prefix + std::to_string(i) + suffix);
    return names;
}

std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> lists) {
    std::vector<std::string> all;
    for (const auto& list : lists)
        all.insert(all.end(), list.begin(), list.end());
    return all;
}

// The board that the main screen and the tutorial's mock-up share.
Outlets boardOutlets() {
    Outlets o;
    add(o, Kind::Label,
        joined({{"thouseprice", "tdate", "tcash", "tdeposit", "thealth", "treputation", "twstatus"},
                numbered("tmslot", 5),
                numbered("twslot", 5),
                numbered("tnwslot", 5),
                {"dialogbuy_note", "dialogsell_note", "dialogevent_note", "dialogdiary_note",
                 "dialoghospital_note", "dialogagent_note"}}));
    add(o, Kind::Button,
        joined({numbered("bmslot", 5),
                numbered("bwslot", 5),
                numbered("market", 3),
                {"bbank", "bhospital", "bagent", "bhouseseller", "bhelp", "brecord", "bnewgame",
                 "dialogdiary_moregame", "dialoghospital_ok", "dialogagent_ok"}}));
    add(o, Kind::TextField, {"dialogbuy_nbr", "dialogsell_nbr", "dialogagent_nbr"});
    add(o, Kind::ImageView, {"dialogbuy_nameimg", "dialogsell_nameimg"});
    add(o, Kind::Panel,
        {"dialogfunc", "dialogbuy", "dialogsell", "dialogevent", "dialogdiary", "dialogbank",
         "dialoghospital", "dialogagent"});
    return o;
}

Outlets mainOutlets() {
    Outlets o = boardOutlets();
    add(o, Kind::Label,
        joined(
            {{"dialogstart_voucher", "dialogstart_startcash", "dialogend_note", "dialogcast_title",
              "dialogcast_content", "dialogmoretime_note", "dialogmoretime_noteleft",
              "dialogmoretime_note1", "dialogmoretime_note2", "dialoghint_timeleft",
              "dialoghint_note", "dialogaskhint_note", "dialogaskhint_notev", "dialogaskcrazy_note",
              "dialogbuyv_title", "dialogbuyv_videonote"},
             numbered("dialoggift_g", 10)}));
    add(o, Kind::Button,
        {"dialogstart_addvoucher", "dialogstart_addstartcash", "dialogstart_video",
         "dialogstart_sound", "dialogstart_hint", "dialogstart_crazy", "dialogend_sound",
         "dialogmoretime_ok", "dialogbuyv_video", "dialogad_btntolink"});
    add(o, Kind::ImageView,
        joined({{"dialogbuyv_note", "dialogbuyv_note1", "dialogad_content"},
                numbered("dialoggift_d", 10)}));
    add(o, Kind::Panel,
        {"dialogstart", "dialogend", "dialoggift", "dialogcast", "dialogmoretime", "dialoghint",
         "dialogaskhint", "dialogaskcrazy", "dialogbuyv", "activityindicator", "dialogad"});
    return o;
}

Outlets helpOutlets() {
    Outlets o = boardOutlets();
    add(o, Kind::ImageView, {"helpimg_top", "helpimg_bottom"});
    add(o, Kind::Button, {"bnextstep"});
    return o;
}

// The main screen's unwind targets: bound by the controller, reached by other scenes' segues.
const std::vector<std::string> kUnwindActions = {
    "backFromGameStory:", "backFromRecord:", "backFromHelp:", "backFromHouseSeller:"};

struct SceneSpec {
    std::string identifier;
    std::string className;
    Outlets outlets;
    std::vector<std::string> actions;  // each sent by some control of the scene
    std::vector<std::string> unwindTargets;
    bool tableViewIsRoot = false;
};

const std::vector<SceneSpec>& scenes() {
    static const std::vector<SceneSpec> list = {
        {"main", "QenMainViewController", mainOutlets(),
         joined({{"changeMarket1:", "changeMarket2:", "changeMarket3:"},
                 numbered("mslot", 5, ":"),
                 numbered("wslot", 5, ":"),
                 {"dialogbuy_ok:",
                  "dialogbuy_cancel:",
                  "dialogsell_ok:",
                  "dialogsell_cancel:",
                  "bBank:",
                  "dialogbank_save:",
                  "dialogbank_get:",
                  "dialogbank_leave:",
                  "bHospital:",
                  "dialoghospital_ok:",
                  "dialoghospital_cancel:",
                  "bAgent:",
                  "dialogagent_ok:",
                  "dialogagent_cancel:",
                  "bHouseSeller:",
                  "bHelp:",
                  "bRecrod:",
                  "bsound:",
                  "bVideo:",
                  "newGame:",
                  "dialogstart_ok:",
                  "dialogstart_cancel:",
                  "dialogstart_incdown:",
                  "dialogstart_inc:",
                  "dialogstart_decdown:",
                  "dialogstart_dec:",
                  "getVoucher:",
                  "dialogend_ok:",
                  "dialogend_cancel:",
                  "dialoggift_close:",
                  "dialogcast_ok:",
                  "dialogcast_close:",
                  "dialogevent_cancel:",
                  "dialogevent_moregame:",
                  "dialogmoretime_ok:",
                  "dialogmoretime_close:",
                  "dialogmoretime_addvoucher:",
                  "dialogmoretime_hide:",
                  "dialogmoretime_show:",
                  "dialoghint_close:",
                  "bHint:",
                  "dialogaskhint_ok:",
                  "dialogaskhint_cancel:",
                  "bCrazy:",
                  "dialogaskcrazy_ok:",
                  "dialogaskcrazy_cancel:",
                  "dialogbuyv_v10:",
                  "dialogbuyv_v140:",
                  "dialogbuyv_v800:",
                  "dialogbuyv_v1500:",
                  "dialogbuyv_video:",
                  "dialogbuyv_close:",
                  "clickFakead:",
                  "dismissFakead:"}}),
         kUnwindActions},
        {"gamestory",
         "QenGameStoryViewController",
         {{"text", Kind::Label}, {"bnext", Kind::Button}, {"bstart", Kind::Button}},
         {"bnext:", "bstart:"},
         {}},
        {"help", "QenHelpViewController", helpOutlets(), {"bNextStep:", "bExitHelp:"}, {}},
        {"record",
         "QenRecordViewController",
         {{"tableview_record", Kind::Table},
          {"dialogsuccess", Kind::Panel},
          {"dialogsuccess_succimg", Kind::ImageView},
          {"dialogsuccess_note", Kind::Label},
          {"bleaveRecord", Kind::Button}},
         {"dialogsuccess_friend:", "dialogsuccess_timeline:", "dialogsuccess_close:",
          "dialogsuccess_moregame:", "leaveRecord:"},
         {}},
        {"houseseller",
         "QenHouseSellerViewController",
         {{"dialogbuy", Kind::Panel},
          {"dialogbuy_text", Kind::Label},
          {"dialognote", Kind::Panel},
          {"dialognote_text", Kind::Label},
          {"bbuyhouse", Kind::Button},
          {"bbuycancel", Kind::Button},
          {"dialogresult", Kind::Panel},
          {"dialogresult_text", Kind::Label},
          {"dialogresult_succimg", Kind::ImageView},
          {"tableview_house", Kind::Table},
          {"money", Kind::Label},
          {"dialogaskshare", Kind::Panel},
          {"dialogaskshare_text", Kind::Label},
          {"dialogshare_sharegift", Kind::Label},
          {"dialogaskjudge", Kind::Panel},
          {"dialogaskjude_text", Kind::Label},
          {"dialogjudge_judgegift", Kind::Label}},
         {"buyHouse:", "leaveHouseseller:", "dialogbuy_ok:", "dialogbuy_cancel:",
          "dialognote_cancel:", "dialogresult_cancel:", "dialogresult_friend:",
          "dialogresult_timeline:", "dialogresult_moregame:", "dialogaskshare_friend:",
          "dialogaskshare_timeline:", "dialogaskshare_cancel:", "dialogaskjudge_ok:",
          "dialogaskjudge_no:"},
         {}},
        {"houselist", "QenHouseListTableViewController", {}, {}, {}, true},
    };
    return list;
}

// Holds one weak slot per outlet, of the outlet's kind, so that the loader refuses a view of
// another kind as it would for the real class.
class OutletSlots {
  public:
    void bind(OutletOwner& owner, const Outlets& outlets) {
        for (const auto& [name, kind] : outlets) {
            switch (kind) {
                case Kind::Label:
                    owner.bindOutlet(name, &labels_[name]);
                    break;
                case Kind::Button:
                    owner.bindOutlet(name, &buttons_[name]);
                    break;
                case Kind::TextField:
                    owner.bindOutlet(name, &fields_[name]);
                    break;
                case Kind::ImageView:
                    owner.bindOutlet(name, &images_[name]);
                    break;
                case Kind::Panel:
                    owner.bindOutlet(name, &views_[name]);
                    break;
                case Kind::Table:
                    owner.bindOutlet(name, &tables_[name]);
                    break;
            }
        }
    }

    std::shared_ptr<View> connected(const std::string& name, Kind kind) const {
        switch (kind) {
            case Kind::Label:
                return lock(labels_, name);
            case Kind::Button:
                return lock(buttons_, name);
            case Kind::TextField:
                return lock(fields_, name);
            case Kind::ImageView:
                return lock(images_, name);
            case Kind::Panel:
                return lock(views_, name);
            case Kind::Table:
                return lock(tables_, name);
        }
        return nullptr;
    }

  private:
    template <typename T>
    static std::shared_ptr<View> lock(const std::map<std::string, std::weak_ptr<T>>& slots,
                                      const std::string& name) {
        auto it = slots.find(name);
        return it == slots.end() ? nullptr : it->second.lock();
    }

    std::map<std::string, std::weak_ptr<Label>> labels_;
    std::map<std::string, std::weak_ptr<Button>> buttons_;
    std::map<std::string, std::weak_ptr<TextField>> fields_;
    std::map<std::string, std::weak_ptr<ImageView>> images_;
    std::map<std::string, std::weak_ptr<View>> views_;
    std::map<std::string, std::weak_ptr<TableView>> tables_;
};

// What the stand-ins heard: "<action>" for control actions, "<action> <segue>" for unwinds.
std::vector<std::string>& heard() {
    static std::vector<std::string> list;
    return list;
}

class StandInController : public ViewController,
                          public TableViewDataSource,
                          public TableViewDelegate {
  public:
    explicit StandInController(const SceneSpec& spec) : spec_(spec) {
        slots.bind(*this, spec.outlets);
        for (const auto& action : spec.actions) {
            bindAction(action, [action](runtime::Object*) { heard().push_back(action); });
        }
        for (const auto& action : spec.unwindTargets) {
            bindAction(action, [action](runtime::Object* sender) {
                auto* segue = dynamic_cast<StoryboardSegue*>(sender);
                heard().push_back(action + " " + (segue ? segue->identifier() : "?"));
            });
        }
    }
    std::string className() const override { return spec_.className; }

    int64_t tableViewNumberOfRowsInSection(TableView&, int64_t) override { return 0; }
    std::shared_ptr<TableViewCell> tableViewCellForRowAtIndexPath(TableView&,
                                                                  const IndexPath&) override {
        return std::make_shared<TableViewCell>();
    }

    OutletSlots slots;

  private:
    const SceneSpec& spec_;
};

struct CellSpec {
    std::string nib;
    std::string className;
    std::string reuseIdentifier;
    Outlets outlets;
};

const std::vector<CellSpec>& cells() {
    static const std::vector<CellSpec> list = {
        {"RecordCell",
         "QenRecordTableViewCell",
         "recordcell",
         {{"housename", Kind::Label},
          {"firstdate", Kind::Label},
          {"succnbr", Kind::Label},
          {"background", Kind::ImageView}}},
        {"Housecell",
         "QenHouseSellerTableViewCell",
         "housecell",
         {{"houseimg", Kind::ImageView},
          {"housename", Kind::Label},
          {"houseprice", Kind::Label},
          {"housedes", Kind::Label},
          {"firstbuygift_title", Kind::Label},
          {"firstbuygift", Kind::Label},
          {"selimg", Kind::ImageView}}},
    };
    return list;
}

class StandInCell : public TableViewCell {
  public:
    explicit StandInCell(const CellSpec& spec) : spec_(spec) { slots.bind(*this, spec.outlets); }
    std::string className() const override { return spec_.className; }
    void awakeFromNib() override { awoken = true; }

    OutletSlots slots;
    bool awoken = false;

  private:
    const CellSpec& spec_;
};

void forEachView(const std::shared_ptr<View>& view,
                 const std::function<void(const std::shared_ptr<View>&)>& visit) {
    visit(view);
    for (const auto& child : view->subviews())
        forEachView(child, visit);
}

std::string describe(const View& view) {
    return view.name().empty() ? view.className() : view.name();
}

void settle() {
    int turns = 0;
    RunLoop::main().runUntil([&] { return ++turns > 3; }, 2.0);
}

// Where a developer asked for pictures to look at, else nowhere.
std::optional<fs::path> snapshotDirectory() {
    const char* dir = std::getenv("QEN_SNAPSHOT_DIR");
    if (!dir || !*dir) return std::nullopt;
    fs::create_directories(dir);
    return fs::path(dir);
}

class StoryboardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setBundleDirectory(QEN_BUNDLE_DIR);
        for (const auto& spec : scenes()) {
            runtime::registerClass(spec.className,
                                   [&spec] { return std::make_shared<StandInController>(spec); });
        }
        for (const auto& spec : cells()) {
            runtime::registerClass(spec.className,
                                   [&spec] { return std::make_shared<StandInCell>(spec); });
        }
        heard().clear();
        storyboard = Storyboard::named("Main");
        ASSERT_TRUE(storyboard) << "Main.storyboard.json is missing or malformed";
    }

    std::shared_ptr<StandInController> instantiate(const std::string& identifier) {
        return std::dynamic_pointer_cast<StandInController>(
            storyboard->instantiateViewControllerWithIdentifier(identifier));
    }

    // The main scene in a key window, as at launch.
    std::shared_ptr<StandInController> showMain() {
        auto main = std::dynamic_pointer_cast<StandInController>(
            storyboard->instantiateInitialViewController());
        EXPECT_TRUE(main);
        if (!main) return nullptr;
        window = std::make_shared<Window>();
        window->setRootViewController(main);
        window->makeKeyAndVisible();
        settle();
        return main;
    }

    void tap(const std::shared_ptr<View>& view) {
        window->tap(view->convertPointToView(view->bounds().center(), nullptr));
    }

    std::shared_ptr<Storyboard> storyboard;
    std::shared_ptr<Window> window;
};

TEST_F(StoryboardTest, EveryScenePutsItsControlsWhereItsClassExpectsThem) {
    for (const auto& spec : scenes()) {
        SCOPED_TRACE("scene " + spec.identifier);
        LogCapture log;
        auto controller = instantiate(spec.identifier);
        ASSERT_TRUE(controller);
        EXPECT_EQ(controller->className(), spec.className);
        auto root = controller->view();
        ASSERT_TRUE(root);
        EXPECT_EQ(root->frame(), Rect(0, 0, 320, 568)) << "the scene fills the screen";

        for (const auto& [name, kind] : spec.outlets) {
            auto view = controller->slots.connected(name, kind);
            if (!view) {
                ADD_FAILURE() << "outlet " << name << " (" << kindName(kind)
                              << ") is not connected";
                continue;
            }
            if (kind == Kind::Panel) {
                const View& panel = *view;
                EXPECT_EQ(typeid(panel), typeid(View)) << name << " is a " << view->className();
            }
            // Scripts find controls by their outlet's name.
            EXPECT_EQ(view->name(), name);
            EXPECT_EQ(root->viewNamed(name), view) << "another view is also named " << name;
        }

        // Every action the class handles is sent by some control, and no name is used twice.
        std::set<std::string> sent;
        std::map<std::string, int> names;
        forEachView(root, [&](const std::shared_ptr<View>& view) {
            if (!view->name().empty()) ++names[view->name()];
            auto control = std::dynamic_pointer_cast<Control>(view);
            if (!control) return;
            for (ControlEvent event : {ControlEvent::TouchDown, ControlEvent::TouchUpInside,
                                       ControlEvent::TouchUpOutside, ControlEvent::TouchCancel}) {
                for (const auto& action : control->actionsForEvent(event))
                    sent.insert(action);
            }
        });
        for (const auto& action : spec.actions)
            EXPECT_TRUE(sent.count(action)) << "no control sends " << action;
        for (const auto& [name, count] : names)
            EXPECT_EQ(count, 1) << "views named " << name;
        for (const auto& action : spec.unwindTargets)
            EXPECT_TRUE(controller->hasAction(action));

        // Frames stay on screen: each view lies within its superview.
        forEachView(root, [&](const std::shared_ptr<View>& view) {
            for (const auto& child : view->subviews()) {
                Rect f = child->frame();
                Rect b = view->bounds();
                EXPECT_TRUE(f.origin.x >= b.origin.x && f.origin.y >= b.origin.y &&
                            f.origin.x + f.size.width <= b.origin.x + b.size.width + 0.01 &&
                            f.origin.y + f.size.height <= b.origin.y + b.size.height + 0.01)
                    << describe(*child) << " sticks out of " << describe(*view);
            }
        });

        // The dialogs wait hidden until the screen's code opens them.
        for (const auto& [name, kind] : spec.outlets) {
            if (kind != Kind::Panel || spec.identifier == "help") continue;
            auto view = controller->slots.connected(name, kind);
            EXPECT_TRUE(view && view->isHidden()) << name << " shows at start";
        }
        EXPECT_FALSE(log.contains("no picture named"))
            << "a picture the storyboard names is missing";

        if (spec.tableViewIsRoot) {
            auto table = std::dynamic_pointer_cast<TableView>(root);
            ASSERT_TRUE(table);
            EXPECT_EQ(table->dataSource(), controller);
            auto cell = table->dequeueReusableCellWithIdentifier("houselistcell");
            ASSERT_TRUE(cell) << "no storyboard cell houselistcell";
            EXPECT_EQ(cell->reuseIdentifier(), "houselistcell");
        }
        for (const auto& [name, kind] : spec.outlets) {
            if (kind != Kind::Table) continue;
            auto table =
                std::dynamic_pointer_cast<TableView>(controller->slots.connected(name, kind));
            ASSERT_TRUE(table);
            EXPECT_EQ(table->dataSource(), controller) << name;
            EXPECT_EQ(table->delegate(), controller) << name;
        }
    }
}

TEST_F(StoryboardTest, ScreensOpenFromTheMainScreenAndComeBackThroughTheirUnwinds) {
    struct Journey {
        std::string open;  // a segue performed by code, or the name of a button to tap
        bool byCode;
        std::string opensClass;
        std::string openAction;  // what the tapped button sends besides its segue
        std::string reveal;      // a hidden view to show before leaving (a dialog, a button)
        std::string leave;       // the control tapped, or the segue performed, to go back
        bool leaveByCode;
        std::string heardOnMain;  // the main screen's unwind action and the segue's identifier
    };
    const std::vector<Journey> journeys = {
        {"startgamestory", true, "QenGameStoryViewController", "", "bstart", "bstart", false,
         "backFromGameStory: backfromgamestory"},
        {"starthelp", true, "QenHelpViewController", "", "", "bExitHelp", false,
         "backFromHelp: backfromhelp"},
        {"bhelp", false, "QenHelpViewController", "bHelp:", "", "bExitHelp", false,
         "backFromHelp: backfromhelp"},
        {"brecord", false, "QenRecordViewController", "bRecrod:", "", "bleaveRecord", false,
         "backFromRecord: backfromrecord"},
        {"bhouseseller", false, "QenHouseSellerViewController", "bHouseSeller:", "", "bbuycancel",
         false, "backFromHouseSeller: backfromhouseseller"},
        {"bhouseseller", false, "QenHouseSellerViewController", "bHouseSeller:", "dialogaskjudge",
         "dialogaskjudge_ok", false, "backFromHouseSeller: backfromhouseseller"},
        {"bhouseseller", false, "QenHouseSellerViewController", "bHouseSeller:", "dialogaskjudge",
         "dialogaskjudge_no", false, "backFromHouseSeller: backfromhouseseller"},
        {"bhouseseller", false, "QenHouseSellerViewController", "bHouseSeller:", "",
         "backfromhouseseller", true, "backFromHouseSeller: backfromhouseseller"},
    };
    auto main = showMain();
    ASSERT_TRUE(main);
    for (const auto& j : journeys) {
        SCOPED_TRACE(j.open + " then " + j.leave);
        heard().clear();
        if (j.byCode) {
            main->performSegueWithIdentifier(j.open, main.get());
        } else {
            auto button = main->view()->viewNamed(j.open);
            ASSERT_TRUE(button);
            tap(button);
        }
        settle();
        auto shown = std::dynamic_pointer_cast<StandInController>(main->presentedViewController());
        ASSERT_TRUE(shown);
        EXPECT_EQ(shown->className(), j.opensClass);
        if (!j.openAction.empty()) {
            EXPECT_EQ(heard(), std::vector<std::string>{j.openAction});
        }
        heard().clear();
        if (!j.reveal.empty()) {
            auto hidden = shown->view()->viewNamed(j.reveal);
            ASSERT_TRUE(hidden);
            hidden->setHidden(false);
        }
        if (j.leaveByCode) {
            shown->performSegueWithIdentifier(j.leave, shown.get());
        } else {
            auto control = shown->view()->viewNamed(j.leave);
            ASSERT_TRUE(control);
            tap(control);
        }
        settle();
        ASSERT_FALSE(heard().empty());
        EXPECT_EQ(heard().back(), j.heardOnMain);
        EXPECT_FALSE(main->presentedViewController()) << "still showing " << shown->className();
    }
}

TEST_F(StoryboardTest, CellNibsLoadAsTheirCellClassesUnderTheirReuseIdentifiers) {
    for (const auto& spec : cells()) {
        SCOPED_TRACE("nib " + spec.nib);
        LogCapture log;
        auto nib = Nib::named(spec.nib);
        ASSERT_TRUE(nib) << spec.nib << ".nib.json is missing or malformed";
        auto cell = std::dynamic_pointer_cast<StandInCell>(nib->instantiate());
        ASSERT_TRUE(cell) << "the nib's top view is not a " << spec.className;
        EXPECT_TRUE(cell->awoken);
        EXPECT_EQ(cell->reuseIdentifier(), spec.reuseIdentifier);
        EXPECT_EQ(cell->selectionStyle(), TableViewCellSelectionStyle::None);
        for (const auto& [name, kind] : spec.outlets) {
            auto view = cell->slots.connected(name, kind);
            ASSERT_TRUE(view) << "outlet " << name << " (" << kindName(kind)
                              << ") is not connected";
            EXPECT_TRUE(view->isDescendantOfView(cell.get())) << name;
            Rect f = view->frame();
            EXPECT_TRUE(f.origin.x >= 0 && f.origin.y >= 0 &&
                        f.origin.x + f.size.width <= cell->frame().size.width + 0.01 &&
                        f.origin.y + f.size.height <= cell->frame().size.height + 0.01)
                << name << " sticks out of the cell";
        }
        EXPECT_FALSE(log.contains("no picture named"));

        // A table hands the nib's cells out under the identifier the screens dequeue with.
        TableView table(Rect(0, 0, 320, 400));
        table.registerNib(nib, spec.reuseIdentifier);
        auto dequeued = table.dequeueReusableCellWithIdentifier(spec.reuseIdentifier);
        ASSERT_TRUE(std::dynamic_pointer_cast<StandInCell>(dequeued));
        EXPECT_NE(dequeued, cell);
    }
}

TEST_F(StoryboardTest, TheMainScreenDrawsItsBoardOnScreen) {
    auto main = showMain();
    ASSERT_TRUE(main);
    fs::path png = AppHome::temporary() / "main.png";
    ASSERT_TRUE(window->snapshotPNG(png));
    EXPECT_GT(fs::file_size(png), 10000u);

    render::Bitmap bitmap = snapshot(*window);
    const Color background = bitmap.pixelAt(2 * 160, 2 * 362);  // between the sections
    // Each market and warehouse slot shows its goods' picture over the board.
    for (const char* name : {"bmslot1", "bmslot5", "bwslot1", "bwslot5"}) {
        auto slot = main->view()->viewNamed(name);
        ASSERT_TRUE(slot);
        Point c = slot->convertPointToView(slot->bounds().center(), nullptr);
        EXPECT_NE(bitmap.pixelAt(static_cast<int>(2 * c.x), static_cast<int>(2 * c.y)), background)
            << name;
    }

    if (auto dir = snapshotDirectory()) {
        fs::copy_file(png, *dir / "main.png", fs::copy_options::overwrite_existing);
        for (const auto& spec : scenes()) {
            auto controller = instantiate(spec.identifier);
            auto view = controller->view();
            // Show the dialogs one at a time too, so that each can be looked at.
            snapshot(*view).writePNG(*dir / (spec.identifier + ".png"));
            for (const auto& [name, kind] : spec.outlets) {
                if (kind != Kind::Panel || name == "dialogfunc") continue;
                auto panel = controller->slots.connected(name, kind);
                bool wasHidden = panel->isHidden();
                panel->setHidden(false);
                snapshot(*view).writePNG(*dir / (spec.identifier + "-" + name + ".png"));
                panel->setHidden(wasHidden);
            }
        }
        for (const auto& spec : cells()) {
            auto cell = Nib::named(spec.nib)->instantiate();
            cell->layoutIfNeeded();
            snapshot(*cell).writePNG(*dir / (spec.nib + ".png"));
        }
    }
}

}  // namespace
