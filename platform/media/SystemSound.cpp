#include "platform/media/SystemSound.h"

#include <fstream>
#include <map>
#include <mutex>

namespace platform::media {
namespace {

namespace fs = std::filesystem;

struct Registry {
    std::mutex mutex;
    SoundID nextID = 1;
    std::map<SoundID, fs::path> files;
    std::vector<SoundID> played;
    std::function<void(SoundID, const fs::path&)> player;
};

Registry& registry() {
    static Registry* r = new Registry;  // never destroyed: sounds may play during exit
    return *r;
}

// Plays or records one sound; `file` is empty for the vibration.
void play(Registry& r, SoundID id, const fs::path& file) {
    std::unique_lock lock(r.mutex);
    if (!r.player) {
        r.played.push_back(id);
        return;
    }
    auto player = r.player;
    lock.unlock();
    player(id, file);
}

}  // namespace

SoundID createSystemSound(const fs::path& file) {
    std::error_code ec;
    if (file.empty() || !fs::is_regular_file(file, ec)) return 0;
    if (!std::ifstream(file, std::ios::binary)) return 0;  // unreadable
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    SoundID id = r.nextID++;
    if (id == kVibrate) id = r.nextID++;
    r.files.emplace(id, file);
    return id;
}

void disposeSystemSound(SoundID id) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.files.erase(id);
}

void playSystemSound(SoundID id) {
    if (id == kVibrate) {
        vibrate();
        return;
    }
    Registry& r = registry();
    fs::path file;
    {
        std::lock_guard lock(r.mutex);
        auto it = r.files.find(id);
        if (it == r.files.end()) return;
        file = it->second;
    }
    play(r, id, file);
}

void vibrate() {
    play(registry(), kVibrate, {});
}

fs::path soundFile(SoundID id) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.files.find(id);
    return it == r.files.end() ? fs::path() : it->second;
}

std::vector<SoundID> playedSounds() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.played;
}

void clearPlayedSounds() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.played.clear();
}

void setPlayer(std::function<void(SoundID, const fs::path&)> player) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.player = std::move(player);
}

}  // namespace platform::media
