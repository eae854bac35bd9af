// The built bundle holds every picture and sound that the game's code loads by name, each one a
// file that the platform can decode, and the voucher product list.
//
// The name lists here are written from the game's screens, not taken from the generator, so a
// picture that the generator forgets or misnames fails here.

#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kBundle = QEN_BUNDLE_DIR;

std::vector<std::string> numbered(const std::string& prefix,
                                  int first,
                                  int last,
                                  const std::string& suffix = "") {
    std::vector<std::string> names;
    for (int i = first; i <= last; ++i)
        names.push_back(prefix + std::to_string(i) + suffix);
    return names;
}

const std::vector<std::string> kGoodsImages = {"btn_zjyd", "btn_slrj", "btn_dgy",  "btn_jknf",
                                               "btn_fdmj", "btn_hjss", "btn_spsj", "btn_gcqc"};

std::vector<std::string> goods(const std::string& suffix) {
    std::vector<std::string> names;
    for (const std::string& g : kGoodsImages)
        names.push_back(g + suffix);
    return names;
}

// Groups of pictures that take turns in one view, so they must have one size.
std::vector<std::vector<std::string>> pictureGroups() {
    auto houses = numbered("house", 1, 10);
    houses.push_back("housemask");  // shown in the house's place until it is bought
    auto slots = goods("_m");
    for (const std::string& w : goods("_w"))
        slots.push_back(w);
    return {
        houses,
        numbered("success", 1, 10),
        {"a1.jpg"},
        numbered("bg_selected", 1, 3),
        slots,
        {"btn_ksyx", "btn_jsyx"},
        {"btn_video_valid", "btn_video_invalid"},
        {"btn_soundon", "btn_soundoff"},
        {"btn_hinton", "btn_hintoff"},
        {"btn_crazyon", "btn_crazyoff"},
        {"btn_buyvoucher_note", "btn_buyvoucher_note1"},
        {"bg_mrjl_jt.png"},
        numbered("ad", 1, 5, ".png"),
        numbered("help", 1, 5),
        numbered("help", 6, 10),
        numbered("background_recordcell", 1, 3),
        {"icon180.png"},
        {"LaunchImage"},
    };
}

// A name without an extension is looked up as a PNG.
fs::path pictureFile(const std::string& name) {
    return kBundle / (fs::path(name).has_extension() ? name : name + ".png");
}

const std::vector<std::string> kSounds = {
    "button",       "changeplace", "dead",     "error",     "inccash",     "money",   "success",
    "success_mars", "timeup",      "eventbad", "eventgood", "eventhealth", "selgoods"};

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t be32(const std::string& b, size_t at) {
    return (uint32_t(uint8_t(b[at])) << 24) | (uint32_t(uint8_t(b[at + 1])) << 16) |
           (uint32_t(uint8_t(b[at + 2])) << 8) | uint32_t(uint8_t(b[at + 3]));
}
uint32_t le32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) | (uint32_t(uint8_t(b[at + 1])) << 8) |
           (uint32_t(uint8_t(b[at + 2])) << 16) | (uint32_t(uint8_t(b[at + 3])) << 24);
}
uint16_t le16(const std::string& b, size_t at) {
    return uint16_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8));
}

struct Size {
    int width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

// Decodes a picture; a zero size when it does not decode.
Size decodedSize(const fs::path& file, GdkPixbuf** keep = nullptr) {
    GError* error = nullptr;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(file.c_str(), &error);
    if (!pixbuf) {
        ADD_FAILURE() << file << " does not decode: " << (error ? error->message : "?");
        if (error) g_error_free(error);
        return {};
    }
    Size size{gdk_pixbuf_get_width(pixbuf), gdk_pixbuf_get_height(pixbuf)};
    if (keep)
        *keep = pixbuf;
    else
        g_object_unref(pixbuf);
    return size;
}

TEST(BundlePictures, EveryNamedPictureIsADecodableImageDrawnAtScaleTwo) {
    for (const auto& group : pictureGroups()) {
        for (const std::string& name : group) {
            SCOPED_TRACE(name);
            const fs::path file = pictureFile(name);
            ASSERT_TRUE(fs::is_regular_file(file)) << file << " is missing";
            const std::string bytes = readFile(file);
            if (file.extension() == ".jpg") {
                ASSERT_GE(bytes.size(), 4u);
                EXPECT_EQ(bytes.substr(0, 3), "\xff\xd8\xff");
                EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xff\xd9");
            } else {
                ASSERT_GE(bytes.size(), 33u);
                EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n");
                EXPECT_EQ(bytes.substr(12, 4), "IHDR");
            }
            const Size size = decodedSize(file);
            EXPECT_GT(size.width, 0);
            EXPECT_GT(size.height, 0);
            // Two pixels to the point: whole points only.
            EXPECT_EQ(size.width % 2, 0) << size.width;
            EXPECT_EQ(size.height % 2, 0) << size.height;
            if (file.extension() == ".png") {
                EXPECT_EQ(be32(bytes, 16), uint32_t(size.width));
                EXPECT_EQ(be32(bytes, 20), uint32_t(size.height));
            }
        }
    }
}

TEST(BundlePictures, PicturesThatTakeTurnsInOneViewHaveOneSize) {
    for (const auto& group : pictureGroups()) {
        const Size first = decodedSize(pictureFile(group.front()));
        for (const std::string& name : group)
            EXPECT_EQ(decodedSize(pictureFile(name)), first)
                << name << " differs in size from " << group.front();
    }
}

TEST(BundlePictures, EveryPictureShowsSomething) {
    for (const auto& group : pictureGroups()) {
        for (const std::string& name : group) {
            SCOPED_TRACE(name);
            GdkPixbuf* pixbuf = nullptr;
            decodedSize(pictureFile(name), &pixbuf);
            ASSERT_NE(pixbuf, nullptr);
            const int w = gdk_pixbuf_get_width(pixbuf), h = gdk_pixbuf_get_height(pixbuf);
            const int n = gdk_pixbuf_get_n_channels(pixbuf);
            const int stride = gdk_pixbuf_get_rowstride(pixbuf);
            const guchar* px = gdk_pixbuf_read_pixels(pixbuf);
            std::set<uint32_t> colours;
            int opaque = 0;
            for (int y = 0; y < h; y += 3)
                for (int x = 0; x < w; x += 3) {
                    const guchar* p = px + y * stride + x * n;
                    const bool visible = n < 4 || p[3] > 0;
                    opaque += visible;
                    if (visible) colours.insert((p[0] << 16) | (p[1] << 8) | p[2]);
                }
            g_object_unref(pixbuf);
            EXPECT_GT(opaque, 0) << "fully transparent";
            EXPECT_GT(colours.size(), 8u) << "a flat picture";
        }
    }
}

// The tutorial's pictures show the real board: each of the first six steps lights the button it
// explains, found where the storyboard's main scene has it, and dims the others.
TEST(BundlePictures, TheTutorialsBoardIsTheRealBoardWithTheExplainedButtonLit) {
    std::ifstream in(kBundle / "Main.storyboard.json");
    const auto storyboard = nlohmann::json::parse(in);
    std::map<std::string, std::array<double, 4>> frames;
    std::map<std::string, std::array<double, 3>> colours;
    for (const auto& view : storyboard.at("scenes").at(0).at("view").at("subviews")) {
        if (!view.contains("outlet")) continue;
        const std::string outlet = view.at("outlet");
        frames[outlet] = view.at("frame").get<std::array<double, 4>>();
        if (view.contains("backgroundColor") && view.at("backgroundColor").is_string() &&
            view.at("backgroundColor").get<std::string>().rfind('#', 0) == 0) {
            const auto hex =
                std::stoul(view.at("backgroundColor").get<std::string>().substr(1), nullptr, 16);
            colours[outlet] = {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0,
                               (hex & 0xff) / 255.0};
        }
    }
    colours["bnewgame"] = {0x3f / 255.0, 0xae / 255.0, 0x3a / 255.0};  // its green picture
    // Where the generator puts the board in a 300 x 180 picture: 0.27 of the screen, 12 points
    // from the left, centred up and down; 2 pixels a point.
    auto pixelOf = [](double x, double y) {
        constexpr double scale = 0.27;
        const double top = (180 - 568 * scale) / 2;
        return std::pair{int((12 + x * scale) * 2), int((top + y * scale) * 2)};
    };
    const std::vector<std::string> explained = {"bnewgame",  "market2", "bbank",
                                                "bhospital", "bagent",  "bhouseseller"};
    for (size_t step = 0; step < explained.size(); ++step) {
        GdkPixbuf* pixbuf = nullptr;
        const auto file = kBundle / ("help" + std::to_string(step + 1) + ".png");
        ASSERT_GT(decodedSize(file, &pixbuf).width, 0) << file;
        const int channels = gdk_pixbuf_get_n_channels(pixbuf);
        const int stride = gdk_pixbuf_get_rowstride(pixbuf);
        const guchar* pixels = gdk_pixbuf_get_pixels(pixbuf);
        for (const auto& outlet : explained) {
            ASSERT_TRUE(frames.count(outlet) && colours.count(outlet)) << outlet;
            const auto& f = frames[outlet];
            // Left of the middle, clear of the bar that stands for the button's title.
            const auto [px, py] = pixelOf(f[0] + f[2] * 0.12, f[1] + f[3] / 2);
            const guchar* p = pixels + py * stride + px * channels;
            const auto& c = colours[outlet];
            const double shown = (p[0] + p[1] + p[2]) / 3.0 / 255, own = (c[0] + c[1] + c[2]) / 3;
            if (outlet == explained[step]) {
                EXPECT_NEAR(shown, own, 0.06) << file << ": " << outlet << " should be lit";
                EXPECT_NEAR(p[0] / 255.0, c[0], 0.08) << file << ": " << outlet;
                EXPECT_NEAR(p[1] / 255.0, c[1], 0.08) << file << ": " << outlet;
            } else {
                EXPECT_LT(shown, own * 0.6) << file << ": " << outlet << " should be dimmed";
            }
        }
        g_object_unref(pixbuf);
    }
}

TEST(BundlePictures, TheLaunchPictureNamedByTheInfoListCoversTheScreen) {
    plist_t info = nullptr;
    const std::string xml = readFile(kBundle / "Info.plist");
    plist_from_xml(xml.data(), uint32_t(xml.size()), &info);
    ASSERT_NE(info, nullptr);
    plist_t name = plist_dict_get_item(info, "UILaunchImageFile");
    ASSERT_NE(name, nullptr);
    char* text = nullptr;
    plist_get_string_val(name, &text);
    ASSERT_NE(text, nullptr);
    // The phone's screen at 2 pixels a point.
    EXPECT_EQ(decodedSize(pictureFile(text)), (Size{640, 1136}));
    free(text);
    plist_free(info);
}

TEST(BundlePictures, ShareThumbnailIs180PixelsAndFitsTheMessengersLimit) {
    GdkPixbuf* pixbuf = nullptr;
    EXPECT_EQ(decodedSize(kBundle / "icon180.png", &pixbuf), (Size{180, 180}));
    ASSERT_NE(pixbuf, nullptr);
    // The share sends it as a JPEG at quality 0.6, and the messenger takes at most 32,768 bytes.
    gchar* buffer = nullptr;
    gsize length = 0;
    GError* error = nullptr;
    GdkPixbuf* flat = gdk_pixbuf_get_has_alpha(pixbuf)
                          ? gdk_pixbuf_composite_color_simple(pixbuf, 180, 180, GDK_INTERP_NEAREST,
                                                              255, 8, 0xffffff, 0xffffff)
                          : g_object_ref(pixbuf);
    ASSERT_TRUE(gdk_pixbuf_save_to_buffer(flat, &buffer, &length, "jpeg", &error, "quality", "60",
                                          static_cast<char*>(nullptr)));
    EXPECT_LE(length, 32768u);
    g_free(buffer);
    g_object_unref(flat);
    g_object_unref(pixbuf);
}

struct Wav {
    uint16_t format = 0, channels = 0, bits = 0, blockAlign = 0;
    uint32_t rate = 0, byteRate = 0;
    std::string data;
};

// Reads a RIFF WAVE file chunk by chunk; fails the test on a malformed header.
Wav readWav(const fs::path& file) {
    Wav wav;
    const std::string b = readFile(file);
    if (b.size() < 44 || b.substr(0, 4) != "RIFF" || b.substr(8, 4) != "WAVE") {
        ADD_FAILURE() << file << " is no RIFF WAVE file";
        return wav;
    }
    EXPECT_EQ(le32(b, 4), b.size() - 8) << "RIFF size";
    bool haveFormat = false;
    for (size_t at = 12; at + 8 <= b.size();) {
        const std::string id = b.substr(at, 4);
        const uint32_t size = le32(b, at + 4);
        if (at + 8 + size > b.size()) {
            ADD_FAILURE() << file << ": chunk " << id << " runs past the end";
            break;
        }
        if (id == "fmt ") {
            haveFormat = size >= 16;
            wav.format = le16(b, at + 8);
            wav.channels = le16(b, at + 10);
            wav.rate = le32(b, at + 12);
            wav.byteRate = le32(b, at + 16);
            wav.blockAlign = le16(b, at + 20);
            wav.bits = le16(b, at + 22);
        } else if (id == "data") {
            wav.data = b.substr(at + 8, size);
        }
        at += 8 + size + (size & 1);
    }
    EXPECT_TRUE(haveFormat) << file << " has no format chunk";
    return wav;
}

TEST(BundleSounds, EveryGameSoundIsShortPlainPcmMono) {
    for (const std::string& name : kSounds) {
        SCOPED_TRACE(name);
        const fs::path file = kBundle / (name + ".wav");
        ASSERT_TRUE(fs::is_regular_file(file)) << file << " is missing";
        const Wav wav = readWav(file);
        EXPECT_EQ(wav.format, 1) << "PCM";
        EXPECT_EQ(wav.channels, 1);
        EXPECT_EQ(wav.bits, 16);
        EXPECT_TRUE(wav.rate == 22050 || wav.rate == 44100) << wav.rate;
        EXPECT_EQ(wav.blockAlign, 2);
        EXPECT_EQ(wav.byteRate, wav.rate * 2);
        ASSERT_EQ(wav.data.size() % 2, 0u);
        const double seconds = double(wav.data.size()) / 2 / (wav.rate ? wav.rate : 1);
        EXPECT_GT(seconds, 0.03);
        EXPECT_LT(seconds, 3.0);
        int peak = 0;
        for (size_t i = 0; i + 1 < wav.data.size(); i += 2)
            peak = std::max(peak, std::abs(int(int16_t(le16(wav.data, i)))));
        EXPECT_GT(peak, 8000) << "too quiet to hear";
    }
}

TEST(BundleSounds, TheThirteenSoundsAreAllDifferent) {
    std::vector<std::string> data;
    for (const std::string& name : kSounds)
        data.push_back(readWav(kBundle / (name + ".wav")).data);
    for (size_t i = 0; i < data.size(); ++i)
        for (size_t j = i + 1; j < data.size(); ++j)
            EXPECT_NE(data[i], data[j]) << kSounds[i] << " and " << kSounds[j] << " are the same";
}

TEST(BundleVoucherList, IsAnArrayOfFourDistinctProductIdentifiers) {
    const std::string xml = readFile(kBundle / "ListOfVoucher.plist");
    ASSERT_FALSE(xml.empty());
    plist_t root = nullptr;
    plist_from_xml(xml.data(), uint32_t(xml.size()), &root);
    ASSERT_NE(root, nullptr) << "does not parse";
    ASSERT_EQ(plist_get_node_type(root), PLIST_ARRAY);
    ASSERT_EQ(plist_array_get_size(root), 4u);
    std::set<std::string> ids;
    for (uint32_t i = 0; i < 4; ++i) {
        plist_t item = plist_array_get_item(root, i);
        ASSERT_EQ(plist_get_node_type(item), PLIST_STRING);
        char* text = nullptr;
        plist_get_string_val(item, &text);
        ASSERT_NE(text, nullptr);
        EXPECT_GT(std::strlen(text), 0u);
        ids.insert(text);
        free(text);
    }
    EXPECT_EQ(ids.size(), 4u) << "identifiers repeat";
    plist_free(root);
}

}  // namespace
