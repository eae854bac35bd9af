// View controllers loaded from a storyboard: outlets and actions by name, segues, unwinds and
// the appearance calls around presentations.

#include "platform/ui/ViewController.h"

#include <gtest/gtest.h>

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/ui/Bundle.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/Storyboard.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Window.h"

namespace platform::ui {
namespace {

// Three scenes: "main" presents "second" by code or by its button, "second" presents "third"
// by a button, and "third" unwinds to main's backFromThird: by a button or by code.
constexpr const char* kStoryboard = R"json({
  "initialScene": "main",
  "scenes": [
    {
      "id": "main",
      "class": "TestMainController",
      "view": {
        "type": "view",
        "backgroundColor": "#ffffff",
        "subviews": [
          {"type": "label", "frame": [10, 30, 200, 20], "outlet": "lcash", "text": "3000",
           "font": {"family": "Noto Sans CJK SC", "size": 18}, "textColor": [255, 0, 0]},
          {"type": "button", "frame": [10, 60, 100, 40], "outlet": "bbuy",
           "titles": {"normal": "买"}, "actions": {"touchUpInside": "buyGoods:"}},
          {"type": "button", "frame": [10, 110, 100, 40], "outlet": "bsecond",
           "actions": {"touchUpInside": "buttonSound:"}, "segue": "toSecondByButton"},
          {"type": "textField", "frame": [10, 160, 100, 30], "outlet": "nbr",
           "keyboardType": "numberPad", "placeholder": "0", "delegate": "owner"},
          {"type": "view", "frame": [0, 200, 320, 100], "name": "panel", "hidden": true,
           "subviews": [
             {"type": "label", "frame": [0, 0, 100, 20], "tag": 7, "text": "inner"}
           ]}
        ]
      },
      "segues": [
        {"id": "toSecond", "kind": "modal", "destination": "second"},
        {"id": "toSecondByButton", "kind": "show", "destination": "second"}
      ]
    },
    {
      "id": "second",
      "class": "TestSecondController",
      "view": {
        "type": "view",
        "subviews": [
          {"type": "button", "frame": [0, 0, 100, 40], "outlet": "bthird", "segue": "toThird"}
        ]
      },
      "segues": [{"id": "toThird", "kind": "modal", "destination": "third"}]
    },
    {
      "id": "third",
      "class": "TestThirdController",
      "view": {
        "type": "view",
        "subviews": [
          {"type": "button", "frame": [0, 0, 100, 40], "outlet": "bback", "segue": "backToMain"}
        ]
      },
      "segues": [{"id": "backToMain", "kind": "unwind", "action": "backFromThird:"}]
    }
  ]
})json";

std::vector<std::string>& calls() {
    static std::vector<std::string> list;
    return list;
}

struct Model {
    int cash = 0;
};

// Records its appearance calls as "<name>.<call>".
class Recorder : public ViewController {
  public:
    explicit Recorder(std::string name) : name_(std::move(name)) {}
    void record(const std::string& what) { calls().push_back(name_ + "." + what); }
    void viewDidLoad() override { record("viewDidLoad"); }
    void viewWillAppear(bool) override { record("viewWillAppear"); }
    void viewDidAppear(bool) override { record("viewDidAppear"); }
    void viewWillDisappear(bool) override { record("viewWillDisappear"); }
    void viewDidDisappear(bool) override { record("viewDidDisappear"); }

  private:
    std::string name_;
};

class TestMainController : public Recorder, public TextFieldDelegate {
  public:
    TestMainController() : Recorder("main") {
        bindOutlet("lcash", &lcash);
        bindOutlet("bbuy", &bbuy);
        bindOutlet("bsecond", &bsecond);
        bindOutlet("nbr", &nbr);
        bindAction("buyGoods:", [this](runtime::Object* sender) { buySenders.push_back(sender); });
        bindAction("buttonSound:", [this](runtime::Object*) { record("buttonSound:"); });
        bindAction("backFromThird:", [this](runtime::Object* sender) {
            auto segue = dynamic_cast<StoryboardSegue*>(sender);
            record("backFromThird: " + (segue ? segue->identifier() : std::string("?")));
        });
    }
    std::string className() const override { return "TestMainController"; }

    void prepareForSegue(StoryboardSegue& segue, runtime::Object* sender) override {
        record("prepareForSegue " + segue.identifier() +
               (sender == bsecond.lock().get() ? " from bsecond" : ""));
        segue.destination()->setValueForKey("mdata", model);
    }
    void viewDidAppear(bool animated) override {
        Recorder::viewDidAppear(animated);
        if (auto action = std::exchange(onDidAppear, nullptr)) action();
    }
    bool shouldPerformSegueWithIdentifier(const std::string& identifier,
                                          runtime::Object*) override {
        record("shouldPerform " + identifier);
        return allowSegues;
    }

    std::weak_ptr<Label> lcash;
    std::weak_ptr<Button> bbuy;
    std::weak_ptr<Button> bsecond;
    std::weak_ptr<TextField> nbr;
    std::vector<runtime::Object*> buySenders;
    std::shared_ptr<Model> model = std::make_shared<Model>(Model{4200});
    bool allowSegues = true;
    std::function<void()> onDidAppear;  // runs once, at the next viewDidAppear
};

class TestSecondController : public Recorder {
  public:
    TestSecondController() : Recorder("second") {
        bindOutlet("bthird", &bthird);
        bindValue("mdata", &mdata);
    }
    std::string className() const override { return "TestSecondController"; }
    void prepareForSegue(StoryboardSegue& segue, runtime::Object*) override {
        record("prepareForSegue " + segue.identifier());
        segue.destination()->setValueForKey("mdata", mdata);
    }

    std::weak_ptr<Button> bthird;
    std::shared_ptr<Model> mdata;
};

class TestThirdController : public Recorder {
  public:
    TestThirdController() : Recorder("third") {
        bindOutlet("bback", &bback);
        bindValue("mdata", &mdata);
    }
    std::string className() const override { return "TestThirdController"; }
    void prepareForSegue(StoryboardSegue& segue, runtime::Object*) override {
        record("prepareForSegue " + segue.identifier() + " to " + segue.destination()->className());
    }

    std::weak_ptr<Button> bback;
    std::shared_ptr<Model> mdata;
};

// A controller whose outlet "lcash" wants a button, but the scene has a label there.
class WrongOutletController : public ViewController {
  public:
    WrongOutletController() { bindOutlet("lcash", &lcash); }
    std::weak_ptr<Button> lcash;
};

void tapView(Window& window, View& view) {
    window.tap(view.convertPointToView(view.bounds().center(), nullptr));
}

bool settle() {
    // Lets pending main-queue turns (the did-calls of a transition) run.
    int turns = 0;
    return RunLoop::main().runUntil([&] { return ++turns > 3; }, 2.0);
}

class ViewControllerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        auto bundle = AppHome::temporary() / "bundle";
        ASSERT_TRUE(files::writeAtomically(bundle / "Test.storyboard.json", kStoryboard));
        setBundleDirectory(bundle);
        runtime::registerClass("TestMainController",
                               [] { return std::make_shared<TestMainController>(); });
        runtime::registerClass("TestSecondController",
                               [] { return std::make_shared<TestSecondController>(); });
        runtime::registerClass("TestThirdController",
                               [] { return std::make_shared<TestThirdController>(); });
        runtime::registerClass("WrongOutletController",
                               [] { return std::make_shared<WrongOutletController>(); });
    }

    // Loads the storyboard and shows its first scene in a key window.
    void showMain() {
        auto storyboard = Storyboard::named("Test");
        ASSERT_TRUE(storyboard);
        main = std::dynamic_pointer_cast<TestMainController>(
            storyboard->instantiateInitialViewController());
        ASSERT_TRUE(main);
        window = std::make_shared<Window>();
        window->setRootViewController(main);
        window->makeKeyAndVisible();
        settle();
        calls().clear();
    }

    std::shared_ptr<Window> window;
    std::shared_ptr<TestMainController> main;
};

TEST_F(ViewControllerTest, LoadingTheSceneConnectsOutletsAndActionsByName) {
    showMain();
    EXPECT_EQ(main->storyboard()->name(), "Test");
    auto lcash = main->lcash.lock();
    ASSERT_TRUE(lcash);
    EXPECT_EQ(lcash->text(), "3000");
    EXPECT_EQ(lcash->font().size, 18);
    EXPECT_EQ(lcash->textColor(), Color::fromRGB255(255, 0, 0));
    EXPECT_EQ(main->view()->viewNamed("lcash"), lcash);  // an outlet names its view
    EXPECT_EQ(main->nbr.lock()->keyboardType(), KeyboardType::NumberPad);
    EXPECT_EQ(main->nbr.lock()->delegate(), main);  // "delegate": "owner"
    auto panel = main->view()->viewNamed("panel");
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(panel->viewWithTag(7)->frame(), Rect(0, 0, 100, 20));

    // The views belong to the tree: the outlets are weak.
    auto bbuy = main->bbuy.lock();
    ASSERT_TRUE(bbuy);
    EXPECT_EQ(bbuy->currentTitle(), "买");
    tapView(*window, *bbuy);
    ASSERT_EQ(main->buySenders.size(), 1u);
    EXPECT_EQ(main->buySenders[0], bbuy.get());
}

TEST_F(ViewControllerTest, PresentingBySegueHandsTheModelOverAndCallsInOrder) {
    showMain();
    main->performSegueWithIdentifier("toSecond", main.get());
    // The "did" calls wait for a later turn.
    EXPECT_EQ(calls(),
              (std::vector<std::string>{"main.prepareForSegue toSecond", "second.viewDidLoad",
                                        "main.viewWillDisappear", "second.viewWillAppear"}));
    auto second = std::dynamic_pointer_cast<TestSecondController>(main->presentedViewController());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->presentingViewController(), main);
    EXPECT_EQ(second->mdata, main->model);  // the same object, not a copy
    EXPECT_EQ(second->view()->window(), window);

    settle();
    EXPECT_EQ(calls(),
              (std::vector<std::string>{"main.prepareForSegue toSecond", "second.viewDidLoad",
                                        "main.viewWillDisappear", "second.viewWillAppear",
                                        "second.viewDidAppear", "main.viewDidDisappear"}));
    EXPECT_EQ(main->view()->window(), nullptr);  // covered views leave the window

    calls().clear();
    bool completed = false;
    second->dismissViewController(true, [&] {
        completed = true;
        calls().push_back("completion");
    });
    EXPECT_EQ(main->presentedViewController(), nullptr);
    EXPECT_EQ(main->view()->window(), window);
    EXPECT_FALSE(completed);
    settle();
    EXPECT_EQ(calls(), (std::vector<std::string>{"second.viewWillDisappear", "main.viewWillAppear",
                                                 "main.viewDidAppear", "second.viewDidDisappear",
                                                 "completion"}));
    EXPECT_EQ(second->view()->window(), nullptr);
    EXPECT_EQ(window->subviews().front(), main->view());
}

TEST_F(ViewControllerTest, AButtonSegueAsksFirstAndNamesItsSender) {
    showMain();
    main->allowSegues = false;
    tapView(*window, *main->bsecond.lock());
    EXPECT_EQ(calls(), (std::vector<std::string>{"main.buttonSound:",
                                                 "main.shouldPerform toSecondByButton"}));
    EXPECT_EQ(main->presentedViewController(), nullptr);

    calls().clear();
    main->allowSegues = true;
    tapView(*window, *main->bsecond.lock());
    settle();
    ASSERT_GE(calls().size(), 3u);
    EXPECT_EQ(calls()[2], "main.prepareForSegue toSecondByButton from bsecond");
    EXPECT_TRUE(std::dynamic_pointer_cast<TestSecondController>(main->presentedViewController()));
}

TEST_F(ViewControllerTest, UnwindingTwoLevelsUpRunsTheActionAndDismissesBoth) {
    for (bool byButton : {true, false}) {
        SCOPED_TRACE(byButton ? "unwind by button" : "unwind by identifier");
        showMain();
        main->performSegueWithIdentifier("toSecond", main.get());
        settle();
        auto second =
            std::dynamic_pointer_cast<TestSecondController>(main->presentedViewController());
        tapView(*window, *second->bthird.lock());
        settle();
        auto third =
            std::dynamic_pointer_cast<TestThirdController>(second->presentedViewController());
        ASSERT_TRUE(third);
        EXPECT_EQ(third->mdata, main->model);

        calls().clear();
        if (byButton) {
            tapView(*window, *third->bback.lock());
        } else {
            third->performSegueWithIdentifier("backToMain", third.get());
        }
        settle();
        // second was covered and hears nothing; main hears the action before it shows again.
        EXPECT_EQ(calls(),
                  (std::vector<std::string>{
                      "third.prepareForSegue backToMain to TestMainController",
                      "main.backFromThird: backToMain", "third.viewWillDisappear",
                      "main.viewWillAppear", "main.viewDidAppear", "third.viewDidDisappear"}));
        EXPECT_EQ(main->presentedViewController(), nullptr);
        EXPECT_EQ(second->presentingViewController(), nullptr);
        EXPECT_EQ(window->subviews(), std::vector<std::shared_ptr<View>>{main->view()});
    }
}

TEST_F(ViewControllerTest, ThePresenterMayPresentAgainWhenItReappears) {
    // The first run: the story unwinds and the main screen opens the next screen from its
    // viewDidAppear.
    showMain();
    main->performSegueWithIdentifier("toSecond", main.get());
    settle();
    auto second = main->presentedViewController();
    auto next = std::make_shared<Recorder>("next");
    main->onDidAppear = [&] { main->presentViewController(next, true); };
    second->dismissViewController(true);
    settle();
    EXPECT_EQ(main->presentedViewController(), next);
    EXPECT_EQ(window->subviews(), std::vector<std::shared_ptr<View>>{next->view()});
    auto tail = std::vector<std::string>(calls().end() - 4, calls().end());
    EXPECT_EQ(tail, (std::vector<std::string>{"next.viewWillAppear", "second.viewDidDisappear",
                                              "next.viewDidAppear", "main.viewDidDisappear"}));
}

TEST_F(ViewControllerTest, PresentingTwiceOrOffScreenDoesNothing) {
    showMain();
    auto other = std::make_shared<Recorder>("other");
    auto loose = std::make_shared<Recorder>("loose");
    loose->presentViewController(other, false);  // its view is in no window
    EXPECT_EQ(loose->presentedViewController(), nullptr);

    main->presentViewController(other, false);
    main->presentViewController(std::make_shared<Recorder>("another"), false);
    EXPECT_EQ(main->presentedViewController(), other);
    settle();
    EXPECT_EQ(std::count(calls().begin(), calls().end(), "another.viewDidLoad"), 0);
}

TEST_F(ViewControllerTest, MismatchesWithTheClassFailLoudly) {
    struct Case {
        const char* name;
        const char* storyboard;
        const char* message;
    } cases[] = {
        {"an outlet of another view type",
         R"({"initialScene": "s", "scenes": [{"id": "s", "class": "WrongOutletController",
             "view": {"type": "view", "subviews": [
               {"type": "label", "frame": [0, 0, 1, 1], "outlet": "lcash"}]}}]})",
         "outlet \"lcash\" wants a platform::ui::Button but the view is a Label"},
        {"an outlet the class does not bind",
         R"({"initialScene": "s", "scenes": [{"id": "s", "class": "WrongOutletController",
             "view": {"type": "view", "subviews": [
               {"type": "label", "frame": [0, 0, 1, 1], "outlet": "lcahs"}]}}]})",
         "no outlet named \"lcahs\""},
        {"an action the class does not bind",
         R"({"initialScene": "s", "scenes": [{"id": "s", "class": "WrongOutletController",
             "view": {"type": "view", "subviews": [
               {"type": "button", "frame": [0, 0, 1, 1],
                "actions": {"touchUpInside": "buy:"}}]}}]})",
         "no action named \"buy:\""},
        {"a class nobody registered",
         R"({"initialScene": "s", "scenes": [{"id": "s", "class": "NoSuchController",
             "view": {"type": "view"}}]})",
         "no class named NoSuchController"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Error error;
        auto storyboard = Storyboard::fromJSON(c.storyboard, "Broken", &error);
        ASSERT_TRUE(storyboard) << error.localizedDescription();
        EXPECT_DEATH(storyboard->instantiateInitialViewController()->view(), c.message);
    }
    showMain();
    EXPECT_DEATH(main->performSegueWithIdentifier("nowhere", nullptr),
                 "no segue with the identifier \"nowhere\"");
    EXPECT_DEATH(main->setValueForKey("mdata", 5), "has no value for the key \"mdata\"");
}

TEST_F(ViewControllerTest, MalformedStoryboardsAreRefusedWithThePlace) {
    auto scene = [](const std::string& view, const std::string& segues = "[]") {
        return R"({"initialScene": "s", "scenes": [{"id": "s", "view": )" + view +
               R"(, "segues": )" + segues + "}]}";
    };
    struct Case {
        std::string json;
        std::string message;
    } cases[] = {
        {"[1, 2", "not JSON"},
        {R"({"initialScene": "x", "scenes": []})", "initialScene: no scene \"x\""},
        {scene(R"({"type": "view", "colour": "#fff"})"),
         "scenes[0].view.colour: unknown key for a view"},
        {scene(R"({"type": "label", "enabled": true})"),
         "scenes[0].view.enabled: unknown key for a label"},
        {scene(R"({"type": "slider"})"), "scenes[0].view.type: expected one of"},
        {scene(R"({"type": "view", "subviews": [{"type": "view"}]})"),
         "scenes[0].view.subviews[0]: a subview needs a \"frame\""},
        {scene(R"({"type": "view", "backgroundColor": "#12345"})"),
         "scenes[0].view.backgroundColor: expected"},
        {scene(R"({"type": "label", "font": {"family": "X"}})"),
         "scenes[0].view.font: a font needs a size"},
        {scene(R"({"type": "button", "titles": {"pressed": "x"}})"),
         "scenes[0].view.titles.pressed: expected one of"},
        {scene(R"({"type": "button", "actions": {"tap": "x:"}})"),
         "scenes[0].view.actions.tap: expected one of"},
        {scene(R"({"type": "button", "segue": "go"})"),
         "scenes[0].view.segue: the scene has no segue \"go\""},
        {scene(R"({"type": "view"})", R"([{"id": "go", "kind": "modal", "destination": "t"}])"),
         "scene s, segue go: no scene \"t\""},
        {scene(R"({"type": "view"})", R"([{"id": "back", "kind": "unwind"}])"),
         "an unwind segue has an \"action\""},
        {scene(R"({"type": "view"})", R"([{"id": "go", "kind": "push", "destination": "s"}])"),
         "segues[0].kind: expected modal, show or unwind"},
    };
    for (const auto& c : cases) {
        Error error;
        EXPECT_FALSE(Storyboard::fromJSON(c.json, "Broken", &error)) << c.json;
        EXPECT_NE(error.localizedDescription().find(c.message), std::string::npos)
            << error.localizedDescription() << "\nwanted: " << c.message;
    }
    EXPECT_FALSE(Storyboard::named("Missing"));
}

}  // namespace
}  // namespace platform::ui
