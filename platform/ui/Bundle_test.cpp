#include "platform/ui/Bundle.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/render/Canvas.h"

namespace platform::ui {
namespace {

// A bundle folder with a 40 x 20 pixel PNG "house1.png" and a JPEG "a1.jpg".
class TemporaryBundle : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = AppHome::temporary() / "bundle";
        std::filesystem::create_directories(dir);
        render::Bitmap bitmap({40, 20}, 1);
        render::Canvas(bitmap).fillRect(render::Rect(0, 0, 40, 20), {0, 0.5, 0, 1});
        ASSERT_TRUE(bitmap.writePNG(dir / "house1.png"));
        auto image = render::Image::fromData(bitmap.pngData(), 1);
        ASSERT_TRUE(image);
        Data jpeg = image->jpegData(0.9);
        ASSERT_TRUE(files::writeAtomically(dir / "a1.jpg", jpeg));
        setBundleDirectory(dir);
    }

    std::filesystem::path dir;
};

TEST_F(TemporaryBundle, FindsPicturesByNameAtScaleTwo) {
    auto house = imageNamed("house1");
    ASSERT_TRUE(house);
    EXPECT_EQ(house->size(), (render::Size{20, 10}));
    EXPECT_DOUBLE_EQ(house->scale(), 2);
    EXPECT_EQ(imageNamed("house1"), house);  // cached

    auto jpeg = imageNamed("a1.jpg");
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->pixelWidth(), 40);

    EXPECT_EQ(imageNamed("house2"), nullptr);
    EXPECT_EQ(imageNamed("a1"), nullptr);  // no a1.png
    EXPECT_EQ(imageNamed(""), nullptr);
}

TEST_F(TemporaryBundle, DirectoryComesFromTheOverrideThenTheEnvironment) {
    EXPECT_EQ(bundleDirectory(), dir);
    setBundleDirectory({});
    setenv("QEN_BUNDLE_DIR", "/nowhere/bundle", 1);
    EXPECT_EQ(bundleDirectory(), std::filesystem::path("/nowhere/bundle"));
    EXPECT_EQ(imageNamed("house1"), nullptr);  // the cache went with the old folder
    unsetenv("QEN_BUNDLE_DIR");
    EXPECT_EQ(bundleDirectory().filename(), "resources");
}

TEST_F(TemporaryBundle, TheInfoDictionaryIsTheBundleFoldersInfoPlist) {
    EXPECT_TRUE(infoDictionary().empty());  // no Info.plist yet
    const auto other = AppHome::temporary() / "other-bundle";
    std::filesystem::create_directories(other);
    Dictionary info{{"UISupportedInterfaceOrientations", Array{"UIInterfaceOrientationPortrait"}}};
    ASSERT_TRUE(plist::writeFile(other / "Info.plist", info));
    setBundleDirectory(other);
    EXPECT_EQ(infoDictionary(), info);
    ASSERT_TRUE(plist::writeFile(other / "Info.plist", Dictionary{}));
    EXPECT_EQ(infoDictionary(), info);  // read once per folder
}

}  // namespace
}  // namespace platform::ui
