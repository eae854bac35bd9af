// qen_resgen: draws the game's pictures and synthesises its sounds into the bundle folder.
//
//   qen_resgen OUTPUT_FOLDER STORYBOARD
//
// The output depends on this program and on the storyboard (the tutorial's pictures show its
// board), so the build runs it again when either changes.

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "Pictures.h"
#include "Sounds.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER STORYBOARD\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "qen_resgen: cannot create %s: %s\n", folder.c_str(),
                     ec.message().c_str());
        return 1;
    }
    bool ok = resgen::drawPictures(folder, argv[2]);
    for (const resgen::Sound& sound : resgen::makeSounds())
        ok &= resgen::writeWav(folder / (sound.name + ".wav"), sound.samples, resgen::kSampleRate);
    return ok ? 0 : 1;
}
