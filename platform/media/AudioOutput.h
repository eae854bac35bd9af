#pragma once
// Where the players' sound goes. The window front end installs an output that plays through
// its audio device; without one (headless runs, tests) players decode no sound at all.
//
// A player opens one stream while it plays and writes interleaved signed 16-bit stereo samples
// at kAudioSampleRate into it, a little ahead of what is heard; clear() drops what was written
// but not heard yet (pause, seek). Streams are written from a player's decoding queue and may
// be read from the device's own thread: implementations are thread-safe. Installing or
// removing the output is thread-safe; streams opened before a change keep their output.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace platform::media {

inline constexpr int kAudioSampleRate = 44100;

class AudioStream {
  public:
    virtual ~AudioStream() = default;
    virtual void write(const int16_t* samples, size_t frames) = 0;
    virtual void clear() = 0;
    // Seconds written but not heard yet.
    virtual double queuedSeconds() const = 0;
};

using AudioOutput = std::function<std::unique_ptr<AudioStream>()>;

// nullptr removes the output.
void setAudioOutput(AudioOutput output);
// A new stream on the installed output, or null when there is none.
std::unique_ptr<AudioStream> openAudioStream();

}  // namespace platform::media
