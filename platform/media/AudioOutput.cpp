#include "platform/media/AudioOutput.h"

#include <mutex>

namespace platform::media {

namespace {
std::mutex outputMutex;
AudioOutput& installedOutput() {
    static AudioOutput output;
    return output;
}
}  // namespace

void setAudioOutput(AudioOutput output) {
    std::lock_guard lock(outputMutex);
    installedOutput() = std::move(output);
}

std::unique_ptr<AudioStream> openAudioStream() {
    AudioOutput output;
    {
        std::lock_guard lock(outputMutex);
        output = installedOutput();
    }
    return output ? output() : nullptr;
}

}  // namespace platform::media
