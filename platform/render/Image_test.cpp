#include "platform/render/Image.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"
#include "platform/render/Canvas.h"
#include "platform/render/PixelTestSupport.h"

namespace platform::render {
namespace {

using testing::colorNear;

const Color kRed{1, 0, 0, 1};
const Color kGreen{0, 1, 0, 1};
const Color kBlue{0, 0, 1, 1};

// 32 x 16 pixels: a red and a green block above, a blue block and a translucent red one below.
Bitmap blocks() {
    Bitmap bitmap(Size{32, 16});
    Canvas canvas(bitmap);
    canvas.fillRect({0, 0, 16, 8}, kRed);
    canvas.fillRect({16, 0, 16, 8}, kGreen);
    canvas.fillRect({0, 8, 16, 8}, kBlue);
    canvas.fillRect({16, 8, 16, 8}, kRed.withAlpha(0.5));
    return bitmap;
}

TEST(Image, PNGRoundTripKeepsPixelsAndTakesTheLoadersScale) {
    const Data png = blocks().pngData();
    ASSERT_GT(png.size(), 8u);
    EXPECT_EQ(png.toString().substr(1, 3), "PNG");
    auto image = Image::fromData(png, 2);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 32);
    EXPECT_EQ(image->pixelHeight(), 16);
    EXPECT_EQ(image->scale(), 2);
    EXPECT_EQ(image->size(), (Size{16, 8}));
    EXPECT_TRUE(colorNear(image->pixelAt(4, 4), kRed));
    EXPECT_TRUE(colorNear(image->pixelAt(20, 4), kGreen));
    EXPECT_TRUE(colorNear(image->pixelAt(4, 12), kBlue));
    EXPECT_TRUE(colorNear(image->pixelAt(20, 12), kRed.withAlpha(0.5)));
    EXPECT_EQ(image->pixelAt(32, 0), Color::clear());

    // Re-encoding the decoded image gives the same pixels again.
    auto again = Image::fromData(image->pngData(), 1);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->size(), (Size{32, 16}));
    EXPECT_TRUE(colorNear(again->pixelAt(20, 12), kRed.withAlpha(0.5)));
}

TEST(Image, JPEGRoundTripKeepsSizeAndColoursRoughly) {
    auto image = Image::fromData(blocks().pngData(), 1);
    ASSERT_TRUE(image);
    const Data jpeg = image->jpegData(0.9);
    ASSERT_GT(jpeg.size(), 2u);
    EXPECT_EQ(jpeg.data()[0], 0xff);
    EXPECT_EQ(jpeg.data()[1], 0xd8);
    auto decoded = Image::fromData(jpeg, 2);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->pixelWidth(), 32);
    EXPECT_EQ(decoded->pixelHeight(), 16);
    EXPECT_EQ(decoded->size(), (Size{16, 8}));
    EXPECT_TRUE(colorNear(decoded->pixelAt(4, 4), kRed, 0.1));
    EXPECT_TRUE(colorNear(decoded->pixelAt(27, 3), kGreen, 0.1));
    EXPECT_TRUE(colorNear(decoded->pixelAt(4, 12), kBlue, 0.1));
    // No alpha in JPEG: half-transparent red comes out as half-dark red.
    EXPECT_TRUE(colorNear(decoded->pixelAt(27, 12), {0.5, 0, 0, 1}, 0.1));
}

TEST(Image, JPEGQualityTradesSizeForFidelity) {
    Bitmap noise(Size{64, 64});
    {
        Canvas canvas(noise);
        std::mt19937 random(7);
        std::uniform_real_distribution<double> unit(0, 1);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                canvas.fillRect({double(x), double(y), 1, 1},
                                {unit(random), unit(random), unit(random), 1});
            }
        }
    }
    auto image = Image::fromData(noise.pngData(), 1);
    ASSERT_TRUE(image);
    EXPECT_LT(image->jpegData(0.1).size(), image->jpegData(1).size() / 2);
}

TEST(Image, GIFGivesItsFirstFrame) {
    // A 1 x 1 GIF whose one pixel is palette entry 0, red.
    const uint8_t gif[] = {'G', 'I',  'F', '8', '9', 'a', 1, 0,    1,    0, 0x80, 0,
                           0,   0xff, 0,   0,   0,   0,   0, 0x2c, 0,    0, 0,    0,
                           1,   0,    1,   0,   0,   2,   2, 0x44, 0x01, 0, 0x3b};
    auto image = Image::fromData(Data(gif, sizeof gif), 1);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{1, 1}));
    EXPECT_TRUE(colorNear(image->pixelAt(0, 0), kRed));
}

TEST(Image, BytesThatAreNoPictureGiveNoImage) {
    const Data png = blocks().pngData();
    const Data cases[] = {
        Data(),
        Data::fromString("<html><body>not found</body></html>"),
        Data::fromString("\x89PNG\r\n\x1a\n but then nothing of the sort"),
        Data::fromString("\xff\xd8\xff\xe0 junk after a JPEG marker"),
        Data(png.data(), png.size() / 3),  // cut short
    };
    for (const Data& bytes : cases) {
        EXPECT_FALSE(Image::fromData(bytes, 1)) << bytes.toString();
        EXPECT_FALSE(decodesAsImage(bytes)) << bytes.toString();
    }
    EXPECT_TRUE(decodesAsImage(png));
}

TEST(Image, LoadsFromFiles) {
    const auto folder = AppHome::temporary();
    ASSERT_TRUE(blocks().writePNG(folder / "blocks.png"));
    auto image = Image::fromFile(folder / "blocks.png", Image::kPictureScale);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), (Size{16, 8}));
    EXPECT_TRUE(colorNear(image->pixelAt(4, 12), kBlue));

    EXPECT_FALSE(Image::fromFile(folder / "missing.png", 2));
    ASSERT_TRUE(files::writeAtomically(folder / "garbage.png", std::string_view("garbage")));
    EXPECT_FALSE(Image::fromFile(folder / "garbage.png", 2));
}

}  // namespace
}  // namespace platform::render
