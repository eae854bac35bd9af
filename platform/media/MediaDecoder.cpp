#include "platform/media/MediaDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/MediaError.h"

namespace platform::media::detail {

// ---- Sources ----

namespace {

class MemorySource : public ByteSource {
  public:
    explicit MemorySource(Data bytes) : bytes_(std::move(bytes)) {}
    int read(uint8_t* buffer, int size) override {
        if (offset_ >= bytes_.size() || size <= 0) return 0;
        size_t n = std::min(bytes_.size() - offset_, size_t(size));
        std::memcpy(buffer, bytes_.data() + offset_, n);
        offset_ += n;
        return int(n);
    }
    bool seek(int64_t offset) override {
        if (offset < 0 || uint64_t(offset) > bytes_.size()) return false;
        offset_ = size_t(offset);
        return true;
    }
    int64_t size() override { return int64_t(bytes_.size()); }

  private:
    Data bytes_;
    size_t offset_ = 0;
};

class FileSource : public ByteSource {
  public:
    FileSource(std::FILE* file, int64_t size) : file_(file), size_(size) {}
    ~FileSource() override { std::fclose(file_); }
    int read(uint8_t* buffer, int size) override {
        if (size <= 0) return 0;
        size_t n = std::fread(buffer, 1, size_t(size), file_);
        if (n == 0 && std::ferror(file_)) return -1;
        return int(n);
    }
    bool seek(int64_t offset) override {
        if (offset < 0 || offset > size_) return false;
        return fseeko(file_, offset, SEEK_SET) == 0;
    }
    int64_t size() override { return size_; }

  private:
    std::FILE* file_;
    int64_t size_;
};

}  // namespace

std::unique_ptr<ByteSource> memorySource(Data bytes) {
    return std::make_unique<MemorySource>(std::move(bytes));
}

std::unique_ptr<ByteSource> fileSource(const std::filesystem::path& path, Error* error) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        setError(error, mediaError(kMediaErrorCannotOpen,
                                   "The file \"" + path.filename().string() +
                                       "\" couldn't be opened because there is no such file."));
        return nullptr;
    }
    int64_t size = int64_t(std::filesystem::file_size(path, ec));
    std::FILE* file = ec ? nullptr : std::fopen(path.c_str(), "rb");
    if (!file) {
        setError(error, mediaError(kMediaErrorCannotOpen, "The file \"" + path.filename().string() +
                                                              "\" couldn't be opened."));
        return nullptr;
    }
    return std::make_unique<FileSource>(file, size);
}

void GrowingSource::append(const uint8_t* data, size_t size) {
    std::lock_guard lock(mutex_);
    bytes_.insert(bytes_.end(), data, data + size);
    cv_.notify_all();
}

void GrowingSource::setExpectedSize(int64_t size) {
    std::lock_guard lock(mutex_);
    expected_ = size;
    cv_.notify_all();
}

void GrowingSource::finish() {
    std::lock_guard lock(mutex_);
    finished_ = true;
    expected_ = int64_t(bytes_.size());
    cv_.notify_all();
}

void GrowingSource::fail(const Error& error) {
    std::lock_guard lock(mutex_);
    if (!error_) error_ = error;
    cv_.notify_all();
}

std::pair<int64_t, int64_t> GrowingSource::progress() {
    std::lock_guard lock(mutex_);
    return {int64_t(bytes_.size()), expected_};
}

int GrowingSource::read(uint8_t* buffer, int size) {
    std::unique_lock lock(mutex_);
    if (size <= 0) return 0;
    cv_.wait(lock, [&] {
        return cancelled_ || error_ || finished_ || uint64_t(offset_) < bytes_.size();
    });
    if (cancelled_) return -1;
    // What arrived before a failure can still be read.
    if (uint64_t(offset_) >= bytes_.size()) return error_ ? -1 : 0;
    size_t n = std::min(bytes_.size() - size_t(offset_), size_t(size));
    std::memcpy(buffer, bytes_.data() + offset_, n);
    offset_ += int64_t(n);
    return int(n);
}

bool GrowingSource::seek(int64_t offset) {
    std::unique_lock lock(mutex_);
    if (offset < 0 || (expected_ >= 0 && offset > expected_)) return false;
    // A jump past what arrived waits for it: the next read blocks until then.
    offset_ = offset;
    return true;
}

int64_t GrowingSource::size() {
    std::lock_guard lock(mutex_);
    return expected_;
}

void GrowingSource::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    cv_.notify_all();
}

std::optional<Error> GrowingSource::failure() {
    std::lock_guard lock(mutex_);
    return error_;
}

// ---- Decoder ----

namespace {

// FFmpeg's libraries are opened by the first decoder rather than when the program starts: with
// what they link they are over a hundred shared objects, whose loading would otherwise hold back
// the first frame of every program that links the player.
#define QEN_FFMPEG_FUNCTIONS(F)      \
    F(av_channel_layout_copy)        \
    F(av_channel_layout_default)     \
    F(av_channel_layout_uninit)      \
    F(av_dict_free)                  \
    F(av_dict_set)                   \
    F(av_find_best_stream)           \
    F(av_frame_alloc)                \
    F(av_frame_free)                 \
    F(av_frame_unref)                \
    F(av_free)                       \
    F(av_freep)                      \
    F(av_log_set_level)              \
    F(av_malloc)                     \
    F(av_packet_alloc)               \
    F(av_packet_free)                \
    F(av_packet_unref)               \
    F(av_read_frame)                 \
    F(av_seek_frame)                 \
    F(avcodec_alloc_context3)        \
    F(avcodec_find_decoder)          \
    F(avcodec_flush_buffers)         \
    F(avcodec_free_context)          \
    F(avcodec_open2)                 \
    F(avcodec_parameters_to_context) \
    F(avcodec_receive_frame)         \
    F(avcodec_send_packet)           \
    F(avformat_alloc_context)        \
    F(avformat_close_input)          \
    F(avformat_find_stream_info)     \
    F(avformat_open_input)           \
    F(avformat_seek_file)            \
    F(avio_alloc_context)            \
    F(avio_context_free)             \
    F(swr_alloc_set_opts2)           \
    F(swr_convert)                   \
    F(swr_free)                      \
    F(swr_get_out_samples)           \
    F(swr_init)                      \
    F(sws_freeContext)               \
    F(sws_getCachedContext)          \
    F(sws_scale)

struct Libraries {
#define QEN_FFMPEG_POINTER(name) decltype(&::name) name = nullptr;
    QEN_FFMPEG_FUNCTIONS(QEN_FFMPEG_POINTER)
#undef QEN_FFMPEG_POINTER
    std::string error;  // empty when every function was found
};

Libraries load() {
    Libraries libraries;
    // Each by the major version of the headers we were built with; kept open for good.
    std::vector<void*> handles;
    for (const char* file : {"libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
                             "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR),
                             "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
                             "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
                             "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR)}) {
        void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            libraries.error = dlerror();
            return libraries;
        }
        handles.push_back(handle);
    }
    auto find = [&](const char* name) -> void* {
        for (void* handle : handles)
            if (void* symbol = dlsym(handle, name)) return symbol;
        return nullptr;
    };
#define QEN_FFMPEG_FIND(name)                                          \
    libraries.name = reinterpret_cast<decltype(&::name)>(find(#name)); \
    if (!libraries.name && libraries.error.empty()) libraries.error = "no " #name;
    QEN_FFMPEG_FUNCTIONS(QEN_FFMPEG_FIND)
#undef QEN_FFMPEG_FIND
    return libraries;
}

const Libraries& ff() {
    static const Libraries libraries = load();
    return libraries;
}

constexpr int kIOBufferSize = 32 * 1024;
// The sound a decoder plays: rates from telephone speech to studio masters, up to 7.1.
constexpr int kMinSampleRate = 4000;
constexpr int kMaxSampleRate = 384000;
constexpr int kMaxChannels = 8;
// The containers ad videos come in; other demuxers never see the bytes.
constexpr const char* kFormats =
    "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,mpegts,flv,avi,wav,mp3,aac,ogg";

void quietLibraries() {
    static std::once_flag once;
    std::call_once(once, [] { ff().av_log_set_level(AV_LOG_QUIET); });
}

double seconds(int64_t ts, AVRational base) {
    return double(ts) * av_q2d(base);
}

}  // namespace

struct Decoder::Impl {
    std::unique_ptr<ByteSource> source;
    int64_t position = 0;
    AVIOContext* io = nullptr;
    AVFormatContext* fmt = nullptr;
    int videoIndex = -1;
    int audioIndex = -1;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    SwsContext* sws = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = ff().av_packet_alloc();
    AVFrame* frame = ff().av_frame_alloc();
    double startTime = 0;
    double frameInterval = 1.0 / 30;
    double lastVideoTime = -1;
    bool demuxEnded = false;
    bool videoDrained = false;
    bool audioDrained = false;

    ~Impl() {
        ff().avcodec_free_context(&video);
        ff().avcodec_free_context(&audio);
        ff().sws_freeContext(sws);
        ff().swr_free(&swr);
        ff().avformat_close_input(&fmt);
        if (io) {
            ff().av_freep(&io->buffer);
            ff().avio_context_free(&io);
        }
        ff().av_packet_free(&packet);
        ff().av_frame_free(&frame);
    }

    static int readPacket(void* opaque, uint8_t* buffer, int size) {
        auto* self = static_cast<Impl*>(opaque);
        int n = self->source->read(buffer, size);
        if (n < 0) return AVERROR(EIO);
        if (n == 0) return AVERROR_EOF;
        self->position += n;
        return n;
    }

    static int64_t seekTo(void* opaque, int64_t offset, int whence) {
        auto* self = static_cast<Impl*>(opaque);
        int64_t size = self->source->size();
        if (whence & AVSEEK_SIZE) return size >= 0 ? size : AVERROR(ENOSYS);
        whence &= ~AVSEEK_FORCE;
        int64_t target = offset;
        if (whence == SEEK_CUR) target = self->position + offset;
        if (whence == SEEK_END) {
            if (size < 0) return AVERROR(ENOSYS);
            target = size + offset;
        }
        if (!self->source->seek(target)) return AVERROR(EINVAL);
        self->position = target;
        return target;
    }

    AVCodecContext* openCodec(int index) {
        AVStream* stream = fmt->streams[index];
        const AVCodec* codec = ff().avcodec_find_decoder(stream->codecpar->codec_id);
        if (!codec) return nullptr;
        AVCodecContext* ctx = ff().avcodec_alloc_context3(codec);
        if (!ctx) return nullptr;
        bool ok = ff().avcodec_parameters_to_context(ctx, stream->codecpar) >= 0;
        // One thread: decoding stays deterministic and cheap per item.
        ctx->thread_count = 1;
        ctx->max_pixels = kMaxPixels;
        if (!ok || ff().avcodec_open2(ctx, codec, nullptr) < 0) {
            ff().avcodec_free_context(&ctx);
            return nullptr;
        }
        return ctx;
    }

    void convertVideo(std::vector<VideoFrame>& out) {
        int w = frame->width;
        int h = frame->height;
        if (w <= 0 || h <= 0 || int64_t(w) * h > kMaxPixels) return;
        sws = ff().sws_getCachedContext(sws, w, h, AVPixelFormat(frame->format), w, h,
                                        AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!sws) return;
        int stride = w * 4;
        std::shared_ptr<uint8_t[]> pixels(new uint8_t[size_t(stride) * size_t(h)]);
        uint8_t* planes[4] = {pixels.get(), nullptr, nullptr, nullptr};
        int strides[4] = {stride, 0, 0, 0};
        if (ff().sws_scale(sws, frame->data, frame->linesize, 0, h, planes, strides) != h) return;
        int64_t pts = frame->best_effort_timestamp;
        double time = pts == AV_NOPTS_VALUE
                          ? lastVideoTime + frameInterval
                          : seconds(pts, fmt->streams[videoIndex]->time_base) - startTime;
        lastVideoTime = time;
        out.push_back(VideoFrame{time, w, h, stride, std::move(pixels)});
    }

    void convertAudio(std::vector<AudioChunk>& out) {
        // A damaged header can claim any rate or channel count; the resampler's set-up for an
        // absurd one would take minutes. Such sound is not played.
        if (frame->sample_rate < kMinSampleRate || frame->sample_rate > kMaxSampleRate ||
            frame->ch_layout.nb_channels > kMaxChannels)
            return;
        if (!swr) {
            AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
            AVChannelLayout in{};
            if (ff().av_channel_layout_copy(&in, &frame->ch_layout) < 0 || in.nb_channels <= 0)
                ff().av_channel_layout_default(&in, std::max(audio->ch_layout.nb_channels, 1));
            int r = ff().swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, kSampleRate, &in,
                                             AVSampleFormat(frame->format), frame->sample_rate, 0,
                                             nullptr);
            ff().av_channel_layout_uninit(&in);
            if (r < 0 || ff().swr_init(swr) < 0) {
                ff().swr_free(&swr);
                return;
            }
        }
        int capacity = ff().swr_get_out_samples(swr, frame->nb_samples);
        if (capacity <= 0) return;
        AudioChunk chunk;
        chunk.samples.resize(size_t(capacity) * 2);
        auto* target = reinterpret_cast<uint8_t*>(chunk.samples.data());
        int n =
            ff().swr_convert(swr, &target, capacity,
                             const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        if (n <= 0) return;
        chunk.samples.resize(size_t(n) * 2);
        int64_t pts = frame->best_effort_timestamp;
        chunk.time = pts == AV_NOPTS_VALUE
                         ? (out.empty() ? 0 : out.back().time)
                         : seconds(pts, fmt->streams[audioIndex]->time_base) - startTime;
        out.push_back(std::move(chunk));
    }

    // Takes every frame the codec has ready; true when the codec is drained.
    bool receive(AVCodecContext* ctx,
                 std::vector<VideoFrame>& frames,
                 std::vector<AudioChunk>* chunks) {
        for (;;) {
            int r = ff().avcodec_receive_frame(ctx, frame);
            if (r == AVERROR_EOF) return true;
            if (r < 0) return false;  // needs input (or a broken frame, skipped)
            if (ctx == video) {
                convertVideo(frames);
            } else if (chunks) {
                convertAudio(*chunks);
            }
            ff().av_frame_unref(frame);
        }
    }
};

Decoder::Decoder(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Decoder::~Decoder() = default;

std::unique_ptr<Decoder> Decoder::open(std::unique_ptr<ByteSource> source, Error* error) {
    if (!ff().error.empty()) {
        setError(error, mediaError(kMediaErrorNotMedia,
                                   "The media libraries cannot be loaded: " + ff().error));
        return nullptr;
    }
    quietLibraries();
    auto impl = std::make_unique<Impl>();
    impl->source = std::move(source);
    auto* buffer = static_cast<uint8_t*>(ff().av_malloc(kIOBufferSize));
    impl->io = ff().avio_alloc_context(buffer, kIOBufferSize, 0, impl.get(), &Impl::readPacket,
                                       nullptr, &Impl::seekTo);
    impl->fmt = ff().avformat_alloc_context();
    if (!impl->io || !impl->fmt) {
        if (!impl->io) ff().av_free(buffer);
        setError(error, mediaError(kMediaErrorNotMedia, "Cannot set up decoding."));
        return nullptr;
    }
    impl->fmt->pb = impl->io;
    impl->fmt->flags |= AVFMT_FLAG_CUSTOM_IO;
    AVDictionary* options = nullptr;
    ff().av_dict_set(&options, "format_whitelist", kFormats, 0);
    int opened = ff().avformat_open_input(&impl->fmt, nullptr, nullptr, &options);
    ff().av_dict_free(&options);
    auto notMedia = [&](const char* why) {
        if (auto failure = impl->source->failure()) {
            setError(error, *failure);
        } else {
            setError(error, mediaError(kMediaErrorNotMedia, why));
        }
        return nullptr;
    };
    if (opened < 0) return notMedia("The data is not a media file that can be played.");
    if (ff().avformat_find_stream_info(impl->fmt, nullptr) < 0)
        return notMedia("The media file's streams cannot be read.");

    impl->videoIndex = ff().av_find_best_stream(impl->fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (impl->videoIndex >= 0) {
        AVCodecParameters* p = impl->fmt->streams[impl->videoIndex]->codecpar;
        if (p->width > 0 && p->height > 0 && int64_t(p->width) * p->height <= kMaxPixels)
            impl->video = impl->openCodec(impl->videoIndex);
        if (!impl->video) impl->videoIndex = -1;
    }
    impl->audioIndex = ff().av_find_best_stream(impl->fmt, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (impl->audioIndex >= 0) {
        impl->audio = impl->openCodec(impl->audioIndex);
        if (!impl->audio) impl->audioIndex = -1;
    }
    if (!impl->video && !impl->audio) return notMedia("The media file has no playable stream.");

    if (impl->fmt->start_time != AV_NOPTS_VALUE)
        impl->startTime = double(impl->fmt->start_time) / AV_TIME_BASE;
    double duration = 0;
    if (impl->fmt->duration != AV_NOPTS_VALUE && impl->fmt->duration > 0) {
        duration = double(impl->fmt->duration) / AV_TIME_BASE;
    } else {
        for (int index : {impl->videoIndex, impl->audioIndex}) {
            if (index < 0) continue;
            AVStream* s = impl->fmt->streams[index];
            if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
                duration = std::max(duration, seconds(s->duration, s->time_base));
        }
    }
    if (impl->video) {
        AVRational rate = impl->fmt->streams[impl->videoIndex]->avg_frame_rate;
        if (rate.num > 0 && rate.den > 0) impl->frameInterval = 1 / av_q2d(rate);
    }
    impl->audioDrained = !impl->audio;
    impl->videoDrained = !impl->video;
    std::unique_ptr<Decoder> decoder(new Decoder(std::move(impl)));
    decoder->duration_ = duration;
    return decoder;
}

bool Decoder::hasVideo() const {
    return impl_->video != nullptr;
}
bool Decoder::hasAudio() const {
    return impl_->audio != nullptr;
}
int Decoder::width() const {
    return impl_->video ? impl_->video->width : 0;
}
int Decoder::height() const {
    return impl_->video ? impl_->video->height : 0;
}

Decoder::Step Decoder::step(std::vector<VideoFrame>& frames, std::vector<AudioChunk>* audio) {
    Impl& d = *impl_;
    bool audioWanted = audio && d.audio;
    if (d.videoDrained && (d.audioDrained || !audioWanted)) return Step::End;
    if (!d.demuxEnded) {
        int r = ff().av_read_frame(d.fmt, d.packet);
        if (r < 0) {
            if (auto failure = d.source->failure()) {
                error_ = failure;
                return Step::Failed;
            }
            // The end, or a broken tail: what decoded so far stands.
            d.demuxEnded = true;
            if (d.video) ff().avcodec_send_packet(d.video, nullptr);
            if (d.audio) ff().avcodec_send_packet(d.audio, nullptr);
            return Step::Progress;
        }
        AVCodecContext* ctx = nullptr;
        if (d.packet->stream_index == d.videoIndex) ctx = d.video;
        if (d.packet->stream_index == d.audioIndex && audioWanted) ctx = d.audio;
        if (ctx) {
            // A packet the codec refuses (broken data) is skipped.
            ff().avcodec_send_packet(ctx, d.packet);
            d.receive(ctx, frames, audio);
        }
        ff().av_packet_unref(d.packet);
        return Step::Progress;
    }
    // The codecs were sent the end: one pass takes what they still hold.
    if (d.video && !d.videoDrained) d.receive(d.video, frames, audio);
    if (audioWanted && !d.audioDrained) d.receive(d.audio, frames, audio);
    d.videoDrained = true;
    d.audioDrained = true;
    return Step::Progress;
}

bool Decoder::seek(double time) {
    Impl& d = *impl_;
    int64_t ts = int64_t((std::max(time, 0.0) + d.startTime) * AV_TIME_BASE);
    int r = ff().av_seek_frame(d.fmt, -1, ts, AVSEEK_FLAG_BACKWARD);
    if (r < 0) r = ff().avformat_seek_file(d.fmt, -1, INT64_MIN, ts, ts, 0);
    if (d.video) ff().avcodec_flush_buffers(d.video);
    if (d.audio) ff().avcodec_flush_buffers(d.audio);
    if (d.swr) ff().swr_free(&d.swr);
    d.demuxEnded = false;
    d.videoDrained = !d.video;
    d.audioDrained = !d.audio;
    d.lastVideoTime = time - d.frameInterval;
    return r >= 0;
}

}  // namespace platform::media::detail
