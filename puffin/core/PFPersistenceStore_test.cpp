#include "puffin/core/PFPersistenceStore.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "puffin/core/PFTestSupport_test.h"

namespace {

namespace fs = std::filesystem;
using platform::Array;
using platform::Dictionary;
using platform::Value;
using Store = PFPersistenceStore;

class PFPersistenceStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { PFLog::setLogLevel(15); }
    static fs::path file(const std::string& folder, const std::string& name) {
        return platform::AppHome::caches() / folder / name;
    }
};

TEST_F(PFPersistenceStoreTest, ObjectsRoundTripThroughArchivesInTheCachesFolder) {
    const Value record = Dictionary{{"session", "abc"}, {"count", 3}, {"list", Array{1.5, true}}};
    Store::persistDictionary(record, "PFTrackDirectory", "pf_previous_session_info");
    EXPECT_TRUE(fs::is_regular_file(file("PFTrackDirectory", "pf_previous_session_info")));
    EXPECT_EQ(Store::loadObjectInDirectory("PFTrackDirectory", "pf_previous_session_info"), record);
    // Objects that JSON cannot carry are kept too when persisted as objects.
    const Value stamped = Dictionary{{"when", platform::Date{1.0e9}}};
    Store::persistObject(stamped, "PFTrackDirectory", "stamped");
    EXPECT_EQ(Store::loadObjectInDirectory("PFTrackDirectory", "stamped"), stamped);
    auto names = Store::namesOfFilesInDirectory("PFTrackDirectory");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->size(), 2u);
    Store::deleteFileInDirectory("PFTrackDirectory", "stamped");
    EXPECT_FALSE(fs::exists(file("PFTrackDirectory", "stamped")));
}

TEST_F(PFPersistenceStoreTest, JSONTextIsReadAndUnreadableFilesAreDeleted) {
    ASSERT_TRUE(
        platform::files::createDirectories(platform::AppHome::caches() / "PFMoreAppsDirectory"));
    ASSERT_TRUE(platform::files::writeAtomically(file("PFMoreAppsDirectory", "PFMoreAppCache"),
                                                 std::string_view(R"({"cells":[1,2]})")));
    EXPECT_EQ(Store::loadObjectInDirectory("PFMoreAppsDirectory", "PFMoreAppCache"),
              Value(Dictionary{{"cells", Array{1, 2}}}));

    const uint8_t noise[] = {0x00, 0xff, 0x13, 0x80, 0x7f};
    ASSERT_TRUE(platform::files::writeAtomically(file("PFMoreAppsDirectory", "noise"),
                                                 platform::Data(noise, 5)));
    ASSERT_TRUE(platform::files::writeAtomically(file("PFMoreAppsDirectory", "text"),
                                                 std::string_view("{oops")));
    const std::string out = pftest::unwrapped(pftest::stderrOf([] {
        EXPECT_FALSE(Store::loadObjectInDirectory("PFMoreAppsDirectory", "noise"));
        EXPECT_FALSE(Store::loadObjectInDirectory("PFMoreAppsDirectory", "text"));
    }));
    EXPECT_FALSE(fs::exists(file("PFMoreAppsDirectory", "noise")));
    EXPECT_FALSE(fs::exists(file("PFMoreAppsDirectory", "text")));
    EXPECT_NE(out.find("PFPersistenceStore Error: Failed to unarchive file noise in directory "
                       "PFMoreAppsDirectory"),
              std::string::npos);
    EXPECT_NE(
        out.find(
            "Failed to create JSON dictionary from file text in directory PFMoreAppsDirectory"),
        std::string::npos)
        << out;
}

TEST_F(PFPersistenceStoreTest, MissingFilesBadInputAndMissingFolders) {
    const std::string out = pftest::unwrapped(pftest::stderrOf([] {
        EXPECT_FALSE(Store::loadObjectInDirectory("PFRequests", "none"));
        Store::persistDictionary(Value(Dictionary{{"when", platform::Date{5}}}), "PFTrackDirectory",
                                 "bad");
        Store::persistObject(Value(1), std::nullopt, "x");
        Store::persistObject(std::nullopt, "PFTrackDirectory", "x");
        Store::deleteDirectory("PFRequests");
    }));
    EXPECT_NE(out.find("Puffin (I) | PFPersistenceStore Error: none from directory PFRequests does "
                       "not exist "),
              std::string::npos);
    EXPECT_NE(
        out.find("Puffin (E) | PFPersistenceStore Error: Dictionary is not a valid JSON object."),
        std::string::npos);
    EXPECT_EQ(pftest::occurrences(
                  out, "PFPersistenceStore Error: Missing paramters for write operation."),
              2);
    EXPECT_NE(out.find("Failed to delete directory PFRequests "), std::string::npos);
    EXPECT_FALSE(fs::exists(file("PFTrackDirectory", "bad")));
    EXPECT_FALSE(Store::namesOfFilesInDirectory("PFRequests"));
}

TEST_F(PFPersistenceStoreTest, DeletesItemsBiggerThanALimit) {
    const fs::path folder = platform::AppHome::caches() / "sized";
    ASSERT_TRUE(platform::files::createDirectories(folder));
    ASSERT_TRUE(platform::files::writeAtomically(folder / "small", std::string_view("12")));
    ASSERT_TRUE(platform::files::writeAtomically(folder / "large", std::string(100, 'x')));
    Store::shared()->deleteItemsInDirectory(folder, 10);
    EXPECT_TRUE(fs::exists(folder / "small"));
    EXPECT_FALSE(fs::exists(folder / "large"));
}

}  // namespace
