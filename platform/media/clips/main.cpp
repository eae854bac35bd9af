// qen_clipgen: writes the video clips that the media tests, the web view tests, the benchmarks
// and the peers play, at build time, so that no clip is ever downloaded. Each clip is an MP4
// file with H.264 video (libx264) and AAC sound, as ad videos are.
//
//   colors.mp4   320 x 568, 30 frames a second, 4 seconds, one colour per second (red, green,
//                blue, white), a key frame every second, a 440 Hz tone: pixels prove which
//                second is drawn. A few kilobytes.
//   motion.mp4   320 x 568, 30 frames a second, 6 seconds of moving gradients and shapes with
//                some texture: what a decoder of ad videos really works on (the benchmark).
//   tiny.mp4     32 x 32, 4 frames a second, 1 second of red: the smallest whole clip (the
//                fuzzers' seed).
//
// Usage: qen_clipgen OUTPUT_FOLDER

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

struct RGB {
    double r, g, b;  // 0..1
};

// The colour of each second of colors.mp4; the tests keep the same table.
constexpr RGB kSecondColors[] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};

struct Clip {
    const char* name;
    int width;
    int height;
    int fps;
    int seconds;
    bool motion;
    const char* crf;
};

uint8_t clampByte(double v) {
    return uint8_t(std::lround(std::fmin(255, std::fmax(0, v))));
}

// BT.601, limited range: what decoders assume for a stream that says nothing.
void toYUV(RGB c, uint8_t& y, uint8_t& u, uint8_t& v) {
    y = clampByte(16 + 65.481 * c.r + 128.553 * c.g + 24.966 * c.b);
    u = clampByte(128 - 37.797 * c.r - 74.203 * c.g + 112.0 * c.b);
    v = clampByte(128 + 112.0 * c.r - 93.786 * c.g - 18.214 * c.b);
}

void fillFrame(AVFrame* f, const Clip& clip, int index) {
    if (!clip.motion) {
        uint8_t y, u, v;
        toYUV(kSecondColors[(index / clip.fps) % 4], y, u, v);
        for (int row = 0; row < f->height; ++row)
            std::fill_n(f->data[0] + row * f->linesize[0], f->width, y);
        for (int row = 0; row < f->height / 2; ++row) {
            std::fill_n(f->data[1] + row * f->linesize[1], f->width / 2, u);
            std::fill_n(f->data[2] + row * f->linesize[2], f->width / 2, v);
        }
        return;
    }
    // Gradients that drift, a ball that moves and a fine texture that changes every frame.
    double t = double(index) / clip.fps;
    double bx = f->width * (0.5 + 0.4 * std::sin(t * 1.7));
    double by = f->height * (0.5 + 0.4 * std::cos(t * 1.1));
    uint32_t seed = 2463534242u + uint32_t(index) * 7919u;
    for (int row = 0; row < f->height; ++row) {
        uint8_t* line = f->data[0] + row * f->linesize[0];
        for (int col = 0; col < f->width; ++col) {
            seed ^= seed << 13;
            seed ^= seed >> 17;
            seed ^= seed << 5;
            double d = std::hypot(col - bx, row - by);
            double base = 60 + 50 * std::sin((col + row * 0.5) / 23.0 + t * 2) +
                          40 * std::cos(row / 31.0 - t * 3);
            if (d < 40) base = 220 - d;
            line[col] = clampByte(base + double(seed % 9) - 4);
        }
    }
    for (int row = 0; row < f->height / 2; ++row) {
        uint8_t* u = f->data[1] + row * f->linesize[1];
        uint8_t* v = f->data[2] + row * f->linesize[2];
        for (int col = 0; col < f->width / 2; ++col) {
            u[col] = clampByte(128 + 60 * std::sin(col / 17.0 + t));
            v[col] = clampByte(128 + 60 * std::cos(row / 19.0 - t * 1.3));
        }
    }
}

struct Encoder {
    AVCodecContext* ctx = nullptr;
    AVStream* stream = nullptr;
};

bool drain(AVFormatContext* fmt, Encoder& e, AVFrame* frame) {
    if (avcodec_send_frame(e.ctx, frame) < 0) return false;
    AVPacket* pkt = av_packet_alloc();
    bool ok = true;
    for (;;) {
        int r = avcodec_receive_packet(e.ctx, pkt);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) {
            ok = false;
            break;
        }
        av_packet_rescale_ts(pkt, e.ctx->time_base, e.stream->time_base);
        pkt->stream_index = e.stream->index;
        if (av_interleaved_write_frame(fmt, pkt) < 0) {
            ok = false;
            break;
        }
    }
    av_packet_free(&pkt);
    return ok;
}

bool writeClip(const std::filesystem::path& path, const Clip& clip) {
    AVFormatContext* fmt = nullptr;
    if (avformat_alloc_output_context2(&fmt, nullptr, "mp4", path.c_str()) < 0) return false;
    fmt->flags |= AVFMT_FLAG_BITEXACT;

    const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
    const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!h264 || !aac) {
        std::fprintf(stderr, "qen_clipgen: no H.264 or AAC encoder\n");
        return false;
    }

    Encoder video;
    video.stream = avformat_new_stream(fmt, nullptr);
    video.ctx = avcodec_alloc_context3(h264);
    video.ctx->width = clip.width;
    video.ctx->height = clip.height;
    video.ctx->time_base = AVRational{1, clip.fps};
    video.ctx->framerate = AVRational{clip.fps, 1};
    video.ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    video.ctx->gop_size = clip.fps;
    video.ctx->max_b_frames = 0;
    video.ctx->thread_count = 1;
    video.ctx->flags |= AV_CODEC_FLAG_BITEXACT;
    av_opt_set(video.ctx->priv_data, "preset", "veryfast", 0);
    av_opt_set(video.ctx->priv_data, "crf", clip.crf, 0);
    // A key frame at every whole second, so a seek there decodes one frame.
    const std::string keys = "keyint=" + std::to_string(clip.fps) +
                             ":min-keyint=" + std::to_string(clip.fps) + ":scenecut=0";
    av_opt_set(video.ctx->priv_data, "x264-params", keys.c_str(), 0);
    if (fmt->oformat->flags & AVFMT_GLOBALHEADER) video.ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(video.ctx, h264, nullptr) < 0) return false;
    avcodec_parameters_from_context(video.stream->codecpar, video.ctx);
    video.stream->time_base = video.ctx->time_base;

    Encoder audio;
    audio.stream = avformat_new_stream(fmt, nullptr);
    audio.ctx = avcodec_alloc_context3(aac);
    audio.ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
    audio.ctx->sample_rate = 44100;
    audio.ctx->time_base = AVRational{1, 44100};
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    av_channel_layout_copy(&audio.ctx->ch_layout, &stereo);
    audio.ctx->bit_rate = 32000;
    audio.ctx->flags |= AV_CODEC_FLAG_BITEXACT;
    if (fmt->oformat->flags & AVFMT_GLOBALHEADER) audio.ctx->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(audio.ctx, aac, nullptr) < 0) return false;
    avcodec_parameters_from_context(audio.stream->codecpar, audio.ctx);
    audio.stream->time_base = audio.ctx->time_base;

    if (avio_open(&fmt->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    if (avformat_write_header(fmt, &options) < 0) return false;
    av_dict_free(&options);

    AVFrame* picture = av_frame_alloc();
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = clip.width;
    picture->height = clip.height;
    av_frame_get_buffer(picture, 0);

    AVFrame* sound = av_frame_alloc();
    sound->format = AV_SAMPLE_FMT_FLTP;
    sound->sample_rate = 44100;
    av_channel_layout_copy(&sound->ch_layout, &stereo);
    sound->nb_samples = audio.ctx->frame_size;
    av_frame_get_buffer(sound, 0);

    const int frames = clip.fps * clip.seconds;
    const int64_t samples = int64_t(44100) * clip.seconds;
    int nextPicture = 0;
    int64_t nextSample = 0;
    bool ok = true;
    while (ok && (nextPicture < frames || nextSample < samples)) {
        double pictureTime = double(nextPicture) / clip.fps;
        double soundTime = double(nextSample) / 44100;
        if (nextPicture < frames && (nextSample >= samples || pictureTime <= soundTime)) {
            av_frame_make_writable(picture);
            fillFrame(picture, clip, nextPicture);
            picture->pts = nextPicture++;
            ok = drain(fmt, video, picture);
        } else {
            av_frame_make_writable(sound);
            for (int i = 0; i < sound->nb_samples; ++i) {
                double s = 0.2 * std::sin(2 * M_PI * 440 * double(nextSample + i) / 44100);
                if (nextSample + i >= samples) s = 0;
                reinterpret_cast<float*>(sound->data[0])[i] = float(s);
                reinterpret_cast<float*>(sound->data[1])[i] = float(s);
            }
            sound->pts = nextSample;
            nextSample += sound->nb_samples;
            ok = drain(fmt, audio, sound);
        }
    }
    ok = ok && drain(fmt, video, nullptr) && drain(fmt, audio, nullptr);
    ok = ok && av_write_trailer(fmt) == 0;

    av_frame_free(&picture);
    av_frame_free(&sound);
    avcodec_free_context(&video.ctx);
    avcodec_free_context(&audio.ctx);
    avio_closep(&fmt->pb);
    avformat_free_context(fmt);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qen_clipgen OUTPUT_FOLDER\n");
        return 2;
    }
    av_log_set_level(AV_LOG_ERROR);
    std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out);
    const Clip clips[] = {
        {"colors.mp4", 320, 568, 30, 4, false, "30"},
        {"motion.mp4", 320, 568, 30, 6, true, "26"},
        {"tiny.mp4", 32, 32, 4, 1, false, "30"},
    };
    for (const Clip& clip : clips) {
        std::filesystem::path target = out / clip.name;
        std::filesystem::path partial = target;
        partial += ".part";
        if (!writeClip(partial, clip)) {
            std::fprintf(stderr, "qen_clipgen: cannot write %s\n", target.c_str());
            return 1;
        }
        std::filesystem::rename(partial, target);
    }
    return 0;
}
