#include "platform/render/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "platform/render/Canvas.h"
#include "platform/render/Fonts.h"
#include "platform/render/PixelTestSupport.h"
#include "platform/render/TextLayout.h"

namespace platform::render {
namespace {

using testing::countPixels;
using testing::isDark;
using testing::whiteBitmap;

const Font kFont = Font::system(20);

Rect scaled(const Rect& r, double scale) {
    return {r.minX() * scale, r.minY() * scale, r.width() * scale, r.height() * scale};
}

// Left, top, right and bottom pixel bounds of the dark pixels; all -1 when there are none.
struct Ink {
    int left = -1, top = -1, right = -1, bottom = -1;
};

Ink inkOf(const Bitmap& bitmap) {
    Ink ink;
    for (int y = 0; y < bitmap.pixelHeight(); ++y) {
        for (int x = 0; x < bitmap.pixelWidth(); ++x) {
            if (!isDark(bitmap.pixelAt(x, y))) continue;
            if (ink.left < 0) ink = {x, y, x, y};
            ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x),
                   std::max(ink.bottom, y)};
        }
    }
    return ink;
}

TEST(Text, ChineseLabelInksOnlyItsMeasuredRect) {
    const Size size = measureText("提示", kFont);
    ASSERT_GT(size.width, 30);
    ASSERT_GT(size.height, 20);
    Bitmap bitmap = whiteBitmap({100, 50}, 2);
    const Rect rect({10, 10}, size);
    Canvas(bitmap).drawText("提示", rect, kFont, Color::black());
    const Rect pixels = scaled(rect, 2);
    EXPECT_GT(countPixels(bitmap, pixels, isDark), 200);
    EXPECT_EQ(countPixels(bitmap, pixels, isDark, false), 0);
}

TEST(Text, ChineseGlyphsHaveTheirOwnShapes) {
    // A missing glyph is drawn as a box whatever the character; "一" is one horizontal stroke.
    auto draw = [](const char* text) {
        Bitmap bitmap = whiteBitmap({40, 40}, 2);
        Canvas(bitmap).drawText(text, {5, 5, 30, 30}, kFont, Color::black());
        return inkOf(bitmap);
    };
    const Ink one = draw("一");
    const Ink mouth = draw("口");
    ASSERT_GE(one.left, 0);
    ASSERT_GE(mouth.left, 0);
    EXPECT_LT(one.bottom - one.top, 6);
    EXPECT_GT(mouth.bottom - mouth.top, 20);
    EXPECT_GT(one.right - one.left, 25);
}

TEST(Text, MeasureGrowsWithTextAndWrapsUnderMaxWidth) {
    const Size two = measureText("提示", kFont);
    const Size four = measureText("提示提示", kFont);
    const Size eight = measureText("提示提示提示提示", kFont);
    EXPECT_GT(four.width, two.width * 1.8);
    EXPECT_GT(eight.width, four.width * 1.8);
    EXPECT_EQ(eight.height, two.height);

    const Size wrapped = measureText("提示提示提示提示", kFont, four.width);
    EXPECT_LE(wrapped.width, four.width);
    EXPECT_GE(wrapped.height, 2 * two.height - 1);
    EXPECT_LE(wrapped.height, 2 * two.height + 1);

    const Size latin = measureText("hello world", kFont);
    const Size latinWrapped = measureText("hello world", kFont, latin.width - 1);
    EXPECT_LT(latinWrapped.width, latin.width * 0.7);
    EXPECT_GE(latinWrapped.height, 2 * latin.height - 1);

    // Newlines break lines whatever the width.
    const Size lines = measureText("提示\n提示", kFont);
    EXPECT_EQ(lines.width, two.width);
    EXPECT_GE(lines.height, 2 * two.height - 1);

    EXPECT_EQ(measureText("", kFont), Size{});
    EXPECT_GT(measureText("\xff\xfe broken", kFont).width, 0);
}

TEST(Text, LineLimitAndTruncation) {
    const std::string text = "提示提示提示提示提示提示提示提示";
    const double lineHeight = measureText("提", kFont).height;
    const double maxWidth = measureText("提示提示", kFont).width;
    struct Case {
        LineBreak lineBreak;
        int lines;
        int expectedLines;
    } cases[] = {
        {LineBreak::WordWrap, 0, 4},     {LineBreak::WordWrap, 2, 2},
        {LineBreak::CharWrap, 1, 1},     {LineBreak::TruncateTail, 0, 4},
        {LineBreak::TruncateTail, 1, 1}, {LineBreak::TruncateTail, 3, 3},
    };
    for (const Case& c : cases) {
        const Size size = measureText(text, kFont, maxWidth,
                                      {.lineBreak = c.lineBreak, .numberOfLines = c.lines});
        EXPECT_LE(size.width, maxWidth) << int(c.lineBreak) << " " << c.lines;
        EXPECT_NEAR(size.height, c.expectedLines * lineHeight, 1.5)
            << int(c.lineBreak) << " " << c.lines;
    }
    // A limited line count also holds without a width: text past the first line is dropped.
    EXPECT_NEAR(measureText("提示\n提示\n提示", kFont, 1e9, {.numberOfLines = 2}).height,
                2 * lineHeight, 1.5);
}

// The lines of `text` laid out `width` points wide, as measuring and drawing lay them out.
std::vector<std::string> linesOf(const std::string& text, double width, LineBreak lineBreak) {
    auto layout = detail::makeLayout(text, kFont, width, 1e9, {.lineBreak = lineBreak});
    const char* laid = pango_layout_get_text(layout.get());
    std::vector<std::string> lines;
    for (int i = 0; i < pango_layout_get_line_count(layout.get()); ++i) {
        const PangoLayoutLine* line = pango_layout_get_line_readonly(layout.get(), i);
        lines.emplace_back(laid + line->start_index, size_t(line->length));
    }
    return lines;
}

TEST(Text, ClosingPunctuationNeverStartsALineNorAnOpeningBracketEndsOne) {
    const std::string diary =
        "    一个漆黑寒冷的夜晚， 我再次晕倒在街头。 长期的咸菜馒头和揪心的房价摧毁了我的健康， "
        "让我再也没能醒过来。。。";
    // Each width is that of the text up to the mark, so plain character wrapping puts a closing
    // mark first on the next line or leaves an opening one last on its line.
    struct Case {
        std::string text;
        std::string fits;  // the part that fits the first line
        std::string firstOfNext;
        std::string lastOfFirst;
    } cases[] = {
        {"好好好好。好好", "好好好好", "好", "好"},
        {"他说：“你好。”再见", "他说：“你好。", "好", "你"},
        {"我们去「北京」吧", "我们去「", "「", "去"},
        {"看《红楼梦》，好看", "看《红楼梦》", "梦", "红楼"},
        {"等一下……好吗？", "等一下…", "下", "等一"},
        {"这样（真的）可以", "这样（", "（", "样"},
    };
    for (const LineBreak mode : {LineBreak::CharWrap, LineBreak::WordWrap}) {
        for (const Case& c : cases) {
            const double width = measureText(c.fits, kFont).width + 0.5;
            const auto lines = linesOf(c.text, width, mode);
            ASSERT_GE(lines.size(), 2u) << c.text;
            EXPECT_TRUE(lines[1].starts_with(c.firstOfNext))
                << c.text << " mode " << int(mode) << ": " << lines[0] << " | " << lines[1];
            EXPECT_TRUE(lines[0].ends_with(c.lastOfFirst))
                << c.text << " mode " << int(mode) << ": " << lines[0] << " | " << lines[1];
        }
    }

    // The death diary as its dialog shows it: 14-point text 248 points wide.
    auto diaryLayout =
        detail::makeLayout(diary, Font::system(14), 248, 1e9, {.lineBreak = LineBreak::CharWrap});
    const char* laid = pango_layout_get_text(diaryLayout.get());
    const int count = pango_layout_get_line_count(diaryLayout.get());
    ASSERT_GE(count, 2);
    for (int i = 1; i < count; ++i) {
        const std::string start(laid +
                                pango_layout_get_line_readonly(diaryLayout.get(), i)->start_index);
        EXPECT_FALSE(start.starts_with("。")) << start;
        EXPECT_FALSE(start.starts_with("，")) << start;
    }
}

TEST(Text, ARunOfClosingMarksWiderThanALineStillWraps) {
    std::string run;
    for (int i = 0; i < 30; ++i)
        run += "。";
    const double width = measureText("。。。。。", kFont).width + 0.5;
    for (const LineBreak mode : {LineBreak::CharWrap, LineBreak::WordWrap}) {
        const Size size = measureText(run, kFont, width, {.lineBreak = mode});
        EXPECT_LE(size.width, width) << int(mode);
        EXPECT_EQ(linesOf(run, width, mode).size(), 6u) << int(mode);
    }
}

TEST(Text, TruncateTailStopsAtTheRectBottom) {
    const std::string text = "提示提示提示提示提示提示提示提示提示提示";
    const double lineHeight = measureText("提", kFont).height;
    const Rect rect(0, 0, 90, 2 * lineHeight);
    auto inkBottom = [&](LineBreak lineBreak) {
        Bitmap bitmap = whiteBitmap({90, 200});
        Canvas(bitmap).drawText(text, rect, kFont, Color::black(), {.lineBreak = lineBreak});
        return inkOf(bitmap).bottom;
    };
    EXPECT_LT(inkBottom(LineBreak::TruncateTail), rect.maxY());
    EXPECT_GT(inkBottom(LineBreak::TruncateTail), lineHeight);  // both lines drawn
    EXPECT_GT(inkBottom(LineBreak::WordWrap), rect.maxY() + lineHeight);
}

TEST(Text, AlignmentPlacesLinesAcrossTheRect) {
    const double width = measureText("提示", kFont).width;
    struct Case {
        TextAlignment alignment;
        double expectedLeft;
    } cases[] = {
        {TextAlignment::Left, 0},
        {TextAlignment::Center, (200 - width) / 2},
        {TextAlignment::Right, 200 - width},
    };
    for (const Case& c : cases) {
        Bitmap bitmap = whiteBitmap({200, 40});
        Canvas(bitmap).drawText("提示", {0, 0, 200, 40}, kFont, Color::black(),
                                {.alignment = c.alignment});
        const Ink ink = inkOf(bitmap);
        EXPECT_GE(ink.left, c.expectedLeft - 1) << int(c.alignment);
        EXPECT_LE(ink.left, c.expectedLeft + 4) << int(c.alignment);
    }
}

TEST(Text, BoldDrawsHeavierStrokes) {
    auto darkPixels = [](const Font& font) {
        Bitmap bitmap = whiteBitmap({60, 40});
        Canvas(bitmap).drawText("提示", {0, 0, 60, 40}, font, Color::black());
        return countPixels(bitmap, {0, 0, 60, 40}, isDark);
    };
    EXPECT_GT(darkPixels(Font::system(20, true)), darkPixels(kFont) * 1.2);
}

TEST(Text, UnknownFamilyFallsBackToTheSystemFont) {
    const Font missing{"No Such Family Anywhere", 20};
    EXPECT_EQ(missing.resolvedFamily(), Font::kSystemFamily);
    EXPECT_EQ(measureText("Hello 提示", missing), measureText("Hello 提示", kFont));

    if (!fontExists("DejaVu Sans", 20)) GTEST_SKIP() << "DejaVu Sans is not installed";
    const Font installed{"DejaVu Sans", 20};
    EXPECT_EQ(installed.resolvedFamily(), "DejaVu Sans");
    EXPECT_NE(measureText("Hello", installed), measureText("Hello", kFont));
}

TEST(Text, MeasuresAlikeOnEveryThread) {
    const Size here = measureText("提示 hello", kFont, 60);
    Size there;
    std::thread([&] { there = measureText("提示 hello", kFont, 60); }).join();
    EXPECT_EQ(there, here);
}

}  // namespace
}  // namespace platform::render
