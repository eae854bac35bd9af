#pragma once
// Internal to platform/media: reading a media file's bytes from a source and decoding its
// first video and audio streams with FFmpeg's libraries. A decoder is used by one thread at a
// time (the item's decoding queue); a source's cancel() may come from any thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Data.h"
#include "platform/foundation/Error.h"
#include "platform/media/VideoFrame.h"

namespace platform::media::detail {

// Bytes of a media file, read in order with jumps (the container's index may sit at the end).
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes at the current offset: the count read, 0 at the end, -1 on failure.
    // May block until the bytes arrive (a download); cancel() ends the wait with a failure.
    virtual int read(uint8_t* buffer, int size) = 0;
    // Moves to `offset`; false when it lies outside the file.
    virtual bool seek(int64_t offset) = 0;
    // The whole size, or -1 while unknown.
    virtual int64_t size() = 0;
    virtual void cancel() {}
    // Why the source failed, when it did.
    virtual std::optional<Error> failure() { return std::nullopt; }
};

std::unique_ptr<ByteSource> memorySource(Data bytes);
// Null, with *error set, when the file cannot be opened.
std::unique_ptr<ByteSource> fileSource(const std::filesystem::path& path, Error* error);

// A source filled by a download as its bytes arrive: reads wait for them.
class GrowingSource : public ByteSource {
  public:
    void append(const uint8_t* data, size_t size);
    void setExpectedSize(int64_t size);
    void finish();                  // every byte arrived
    void fail(const Error& error);  // the download failed: reads from now on fail
    // Bytes arrived so far, and the expected total (-1 while unknown).
    std::pair<int64_t, int64_t> progress();

    int read(uint8_t* buffer, int size) override;
    bool seek(int64_t offset) override;
    int64_t size() override;
    void cancel() override;
    std::optional<Error> failure() override;

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<uint8_t> bytes_;
    int64_t expected_ = -1;
    int64_t offset_ = 0;
    bool finished_ = false;
    bool cancelled_ = false;
    std::optional<Error> error_;
};

// Interleaved signed 16-bit stereo samples at kSampleRate starting at `time`.
struct AudioChunk {
    double time = 0;
    std::vector<int16_t> samples;
};

class Decoder {
  public:
    static constexpr int kSampleRate = 44100;
    // Pictures larger than this many pixels are refused rather than decoded.
    static constexpr int64_t kMaxPixels = 4096 * 4096;

    // Reads the container's header and opens the decoders. Null, with *error set, when the bytes
    // are no media file this can play (no video and no audio stream, or nothing decodable).
    static std::unique_ptr<Decoder> open(std::unique_ptr<ByteSource> source, Error* error);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    double duration() const { return duration_; }  // seconds
    bool hasVideo() const;
    bool hasAudio() const;
    int width() const;  // of the pictures, 0 without video
    int height() const;

    enum class Step { Progress, End, Failed };
    // Reads one packet and appends what it decoded to `frames` and, when `audio` is not null,
    // to `audio` (audio is skipped otherwise). End once every stream is drained.
    Step step(std::vector<VideoFrame>& frames, std::vector<AudioChunk>* audio);
    // Moves to the key frame at or before `time`; the frames decoded next start there.
    bool seek(double time);
    // The reason of the last failure.
    const std::optional<Error>& error() const { return error_; }

  private:
    struct Impl;
    explicit Decoder(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
    double duration_ = 0;
    std::optional<Error> error_;
};

}  // namespace platform::media::detail
