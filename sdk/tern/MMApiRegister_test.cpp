#include "sdk/tern/MMApiRegister.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/dispatch/Clock.h"
#include "platform/foundation/AppHome.h"
#include "platform/foundation/PropertyList.h"
#include "platform/ui/Bundle.h"
#include "sdk/tern/TNApi.h"
#include "sdk/tern/TernApiUtil.h"
#include "sdk/tern/TernTestSupport_test.h"

namespace {

namespace fs = std::filesystem;
using platform::Dictionary;
using platform::Value;
using platform::ui::Pasteboard;

class MMApiRegisterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        bundle = platform::AppHome::temporary() / "bundle";
        fs::create_directories(bundle);
        platform::ui::setBundleDirectory(bundle);
        platform::Clock::useVirtual();
    }

    void writeInfo(const Dictionary& info) {
        ASSERT_TRUE(platform::plist::writeFile(bundle / "Info.plist", info));
    }
    void writeFile(const std::string& name, const std::string& bytes) {
        std::ofstream(bundle / name, std::ios::binary) << bytes;
    }

    static std::shared_ptr<Pasteboard> board() {
        return Pasteboard::pasteboardWithName("tern_register", false);
    }
    static Dictionary all() {
        auto d = MMApiRegister::getRegisterDictionary(board());
        EXPECT_TRUE(d.has_value());
        return d.value_or(Dictionary{});
    }
    static const Dictionary& entry(const Dictionary& all, const std::string& id) {
        static const Dictionary none;
        auto it = all.find(id);
        return it != all.end() && it->second.dictionary() ? *it->second.dictionary() : none;
    }

    fs::path bundle;
};

TEST_F(MMApiRegisterTest, RegistrationWritesTheEntryOthersReadWithPlistlib) {
    writeInfo({{"CFBundleIdentifier", Value("com.example.game")},
               {"CFBundleDisplayName", Value("买房")},
               {"CFBundleName", Value("Game")}});
    writeFile("Icon@2x.png", "two-x icon");
    // Another app's entry stays as it is.
    Dictionary other{{"tnother", Value(Dictionary{{"appID", Value("tnother")}})}};
    auto pb = Pasteboard::pasteboardWithName("tern_register", true);
    pb->setDataForPasteboardType(*TernApiUtil::dataFromPropertyList(other), "content");

    ASSERT_TRUE(TNApi::registerApp(std::string("tn123")));
    EXPECT_TRUE(board()->isPersistent());
    const std::string seconds = std::to_string(static_cast<int64_t>(platform::Clock::wallNow()));

    const auto file = platform::AppHome::temporary() / "register.plist";
    {
        auto data = *board()->dataForPasteboardType("content");
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(data.bytes().data()),
                   static_cast<std::streamsize>(data.size()));
    }
    auto out = tern::testing::run(
        "python3 -c \"import plistlib,sys\n"
        "d=plistlib.load(open(sys.argv[1],'rb'))\n"
        "e=d['tn123']\n"
        "print(sorted(d))\n"
        "for k in sorted(e): print(k, e[k].decode() if isinstance(e[k], bytes) else e[k])\" " +
        file.string());
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(*out,
              "['tn123', 'tnother']\n"
              "appID tn123\n"
              "appIcon two-x icon\n"
              "appIdentifier com.example.game\n"
              "appName 买房\n"
              "firstLaunchTime " +
                  seconds +
                  "\n"
                  "laststLaunchTime " +
                  seconds + "\n");
}

TEST_F(MMApiRegisterTest, ASecondRegistrationKeepsTheFirstLaunchAndRebuildsTheRest) {
    ASSERT_TRUE(
        MMApiRegister::registerAppWithDescription(std::string("tn1"), std::string(1024, 'd')));
    const Dictionary first = entry(all(), "tn1");
    ASSERT_TRUE(first.count("appDescriptionSDK"));
    EXPECT_FALSE(first.count("appName"));  // no information dictionary: no facts, no icon
    EXPECT_FALSE(first.count("appIcon"));

    platform::Clock::advance(90);
    // Too long a description is left out; the registration still succeeds.
    ASSERT_TRUE(
        MMApiRegister::registerAppWithDescription(std::string("tn1"), std::string(1025, 'd')));
    const Dictionary second = entry(all(), "tn1");
    EXPECT_EQ(second.at("firstLaunchTime"), first.at("firstLaunchTime"));
    EXPECT_EQ(std::stoll(*second.at("laststLaunchTime").string()),
              std::stoll(*first.at("laststLaunchTime").string()) + 90);
    EXPECT_FALSE(second.count("appDescriptionSDK"));

    ASSERT_TRUE(MMApiRegister::registerAppWithDescription(std::string("tn1"), std::string()));
    EXPECT_FALSE(entry(all(), "tn1").count("appDescriptionSDK"));
    EXPECT_FALSE(MMApiRegister::registerApp(std::nullopt));
}

TEST_F(MMApiRegisterTest, DamagedOrForgedRecordsAreReplacedNotTrusted) {
    auto pb = Pasteboard::pasteboardWithName("tern_register", true);
    pb->setDataForPasteboardType(platform::Data::fromString("garbage"), "content");
    EXPECT_FALSE(MMApiRegister::getRegisterDictionary(pb).has_value());
    ASSERT_TRUE(MMApiRegister::registerApp(std::string("tn1")));
    EXPECT_EQ(all().size(), 1u);

    // An old entry whose first launch is no text, or that is no dictionary at all.
    Dictionary forged{{"tn1", Value(Dictionary{{"firstLaunchTime", Value(int64_t{5})},
                                               {"appName", Value("old")}})},
                      {"tn2", Value("not an entry")}};
    pb->setDataForPasteboardType(*TernApiUtil::dataFromPropertyList(forged), "content");
    ASSERT_TRUE(MMApiRegister::registerApp(std::string("tn1")));
    ASSERT_TRUE(MMApiRegister::registerApp(std::string("tn2")));
    const Dictionary now = all();
    EXPECT_EQ(entry(now, "tn1").at("firstLaunchTime"), entry(now, "tn1").at("laststLaunchTime"));
    EXPECT_FALSE(entry(now, "tn1").count("appName"));  // old keys are not carried over
    EXPECT_EQ(*entry(now, "tn2").at("appID").string(), "tn2");
}

TEST_F(MMApiRegisterTest, NameAndIconComeFromTheInformationDictionary) {
    writeFile("Icon.png", "plain icon");
    writeFile("i@2x.png", "listed 2x");
    writeFile("b.png", "last listed");
    writeFile("single.png", "single");
    struct Case {
        const char* name;
        Dictionary info;
        const char* appName;  // nullptr: none
        const char* icon;     // the bytes read
    } cases[] = {
        {"display name and 2x icon",
         {{"CFBundleDisplayName", Value("显示")},
          {"CFBundleName", Value("name")},
          {"CFBundleIconFiles", Value(platform::Array{Value("i.png"), Value("i@2x.png")})}},
         "显示",
         "listed 2x"},
        {"empty display name, no 2x icon: the last listed",
         {{"CFBundleDisplayName", Value("")},
          {"CFBundleName", Value("name")},
          {"CFBundleIconFiles", Value(platform::Array{Value("a.png"), Value("b.png")})}},
         "name",
         "last listed"},
        {"empty list: the single icon file",
         {{"CFBundleIconFiles", Value(platform::Array{})},
          {"CFBundleIconFile", Value("single.png")}},
         nullptr,
         "single"},
        {"a named file that is missing: Icon.png",
         {{"CFBundleIconFile", Value("missing.png")}},
         nullptr,
         "plain icon"},
        {"nothing named: the default, else Icon.png",
         {{"CFBundleName", Value(int64_t{3})}},
         nullptr,
         "plain icon"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeInfo(c.info);
        Dictionary e = MMApiRegister::buildAppDictionary("tn1", nullptr);
        if (c.appName) {
            ASSERT_TRUE(e.count("appName"));
            EXPECT_EQ(*e.at("appName").string(), c.appName);
        } else {
            EXPECT_FALSE(e.count("appName"));
        }
        ASSERT_TRUE(e.count("appIcon"));
        EXPECT_EQ(*e.at("appIcon").data(), platform::Data::fromString(c.icon));
    }
    writeInfo({});
    EXPECT_EQ(*MMApiRegister::getIconString(), bundle / "Icon@2x.png");  // a 2x screen
}

}  // namespace
