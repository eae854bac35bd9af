// Media files that ads and pages play (a video downloaded from an ad server, a page's <video>):
// the player's decoder opens the bytes and decodes every packet, pictures and sound, to the end.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/media/MediaDecoder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qen::fuzz::prepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform::media::detail;
    platform::Error error;
    auto decoder = Decoder::open(memorySource(platform::Data(data, size)), &error);
    if (!decoder) return 0;
    std::vector<platform::media::VideoFrame> frames;
    std::vector<AudioChunk> audio;
    // A bounded number of packets: a damaged file may claim an endless stream.
    for (int packets = 0; packets < 200; ++packets) {
        frames.clear();
        audio.clear();
        if (decoder->step(frames, &audio) != Decoder::Step::Progress) break;
    }
    decoder->seek(0);
    frames.clear();
    decoder->step(frames, nullptr);
    return 0;
}
