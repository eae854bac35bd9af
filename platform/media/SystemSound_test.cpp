#include "platform/media/SystemSound.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/foundation/AppHome.h"
#include "platform/foundation/Files.h"

namespace platform::media {
namespace {

namespace fs = std::filesystem;

fs::path soundFixture(const std::string& name) {
    const fs::path path = AppHome::temporary() / name;
    EXPECT_TRUE(files::writeAtomically(path, std::string("RIFF....WAVEfmt ")));
    return path;
}

TEST(SystemSound, OnlyReadableFilesMakeSounds) {
    EXPECT_EQ(createSystemSound(AppHome::temporary() / "missing.wav"), 0u);
    EXPECT_EQ(createSystemSound(""), 0u);
    EXPECT_EQ(createSystemSound(AppHome::temporary()), 0u) << "a folder is no sound";

    const fs::path coin = soundFixture("coin.wav");
    const SoundID first = createSystemSound(coin);
    const SoundID second = createSystemSound(soundFixture("buy.wav"));
    EXPECT_EQ(first, 1u);
    EXPECT_EQ(second, 2u);
    EXPECT_EQ(soundFile(first), coin);
    EXPECT_EQ(soundFile(0), fs::path());

    disposeSystemSound(first);
    EXPECT_EQ(soundFile(first), fs::path());
    EXPECT_EQ(createSystemSound(coin), 3u) << "identifiers are not reused";
}

TEST(SystemSound, NoSoundAndDisposedSoundsPlayNothing) {
    const SoundID coin = createSystemSound(soundFixture("coin.wav"));
    playSystemSound(0);
    playSystemSound(999);
    EXPECT_TRUE(playedSounds().empty());

    playSystemSound(coin);
    vibrate();
    EXPECT_EQ(playedSounds(), (std::vector<SoundID>{coin, kVibrate}));
    disposeSystemSound(coin);
    playSystemSound(coin);
    EXPECT_EQ(playedSounds().size(), 2u);
    clearPlayedSounds();
    EXPECT_TRUE(playedSounds().empty());
}

TEST(SystemSound, PlaysFromThreadsAreRecordedInEachThreadsOrder) {
    constexpr int kThreads = 4;
    constexpr int kPlays = 250;
    std::vector<SoundID> ids;
    for (int t = 0; t < kThreads; ++t) {
        ids.push_back(createSystemSound(soundFixture("s" + std::to_string(t) + ".wav")));
        ASSERT_NE(ids.back(), 0u);
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&ids, t] {
            for (int i = 0; i < kPlays; ++i)
                playSystemSound(ids[t]);
        });
    }
    for (auto& thread : threads)
        thread.join();
    const std::vector<SoundID> played = playedSounds();
    ASSERT_EQ(played.size(), size_t(kThreads * kPlays));
    std::map<SoundID, int> counts;
    for (SoundID id : played)
        ++counts[id];
    for (SoundID id : ids)
        EXPECT_EQ(counts[id], kPlays);

    // In one thread, the record keeps the order of the plays.
    clearPlayedSounds();
    for (SoundID id : {ids[2], ids[0], ids[2], ids[1]})
        playSystemSound(id);
    EXPECT_EQ(playedSounds(), (std::vector<SoundID>{ids[2], ids[0], ids[2], ids[1]}));
}

TEST(SystemSound, ThePlayerReceivesTheFileInsteadOfTheRecord) {
    const fs::path coin = soundFixture("coin.wav");
    const SoundID id = createSystemSound(coin);
    std::mutex mutex;
    std::vector<std::pair<SoundID, fs::path>> heard;
    setPlayer([&](SoundID sound, const fs::path& file) {
        std::lock_guard lock(mutex);
        heard.emplace_back(sound, file);
        // A player may look up sounds itself: no lock is held while it runs.
        EXPECT_EQ(soundFile(sound), file);
    });
    playSystemSound(id);
    vibrate();
    playSystemSound(0);
    EXPECT_EQ(heard, (std::vector<std::pair<SoundID, fs::path>>{{id, coin}, {kVibrate, {}}}));
    EXPECT_TRUE(playedSounds().empty());

    setPlayer(nullptr);
    playSystemSound(id);
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_EQ(playedSounds(), std::vector<SoundID>{id});
}

}  // namespace
}  // namespace platform::media
