#include "Sounds.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>

namespace resgen {
namespace {

constexpr double kTwoPi = 2 * M_PI;

// A mono mix buffer in seconds; every voice adds into it and the result is normalised.
class Track {
  public:
    explicit Track(double seconds) : buf_(static_cast<size_t>(seconds * kSampleRate), 0.0) {}

    // One voice: the phase follows a pitch glide from f0 to f1 (exponential), the wave shape
    // maps phase (0..1) to a sample, the envelope maps (t, duration) to a gain.
    void voice(double start,
               double dur,
               double f0,
               double f1,
               const std::function<double(double)>& wave,
               const std::function<double(double, double)>& envelope,
               double amp,
               double vibratoDepth = 0,
               double vibratoRate = 0) {
        double phase = 0;
        const size_t first = index(start);
        const size_t count = static_cast<size_t>(dur * kSampleRate);
        for (size_t i = 0; i < count && first + i < buf_.size(); ++i) {
            const double t = static_cast<double>(i) / kSampleRate;
            double f = f0 * std::pow(f1 / f0, t / dur);
            f *= 1 + vibratoDepth * std::sin(kTwoPi * vibratoRate * t);
            phase += f / kSampleRate;
            phase -= std::floor(phase);
            buf_[first + i] += amp * envelope(t, dur) * wave(phase);
        }
    }

    // Noise through a band-pass whose centre moves from c0 to c1 (Hz).
    void noise(double start,
               double dur,
               double c0,
               double c1,
               double q,
               const std::function<double(double, double)>& envelope,
               double amp) {
        uint32_t seed = 0x2545f491u ^ static_cast<uint32_t>(start * 1000 + dur * 7919);
        double low = 0, band = 0;
        const size_t first = index(start);
        const size_t count = static_cast<size_t>(dur * kSampleRate);
        for (size_t i = 0; i < count && first + i < buf_.size(); ++i) {
            const double t = static_cast<double>(i) / kSampleRate;
            seed = seed * 1664525u + 1013904223u;
            const double white = static_cast<double>(seed >> 8) / (1u << 24) * 2 - 1;
            const double centre = c0 * std::pow(c1 / c0, t / dur);
            const double f = 2 * std::sin(M_PI * std::min(centre, kSampleRate / 6.0) / kSampleRate);
            const double high = white - low - q * band;
            band += f * high;
            low += f * band;
            buf_[first + i] += amp * envelope(t, dur) * band;
        }
    }

    // A feedback echo over the whole track.
    void echo(double delay, double feedback) {
        const size_t d = static_cast<size_t>(delay * kSampleRate);
        for (size_t i = d; i < buf_.size(); ++i)
            buf_[i] += feedback * buf_[i - d];
    }

    std::vector<int16_t> render(double peak = 0.85) const {
        double max = 1e-9;
        for (double v : buf_)
            max = std::max(max, std::abs(v));
        std::vector<int16_t> out(buf_.size());
        // Short fades keep the ends free of clicks.
        const size_t fade = std::min<size_t>(64, buf_.size() / 4);
        for (size_t i = 0; i < buf_.size(); ++i) {
            double v = buf_[i] / max * peak;
            if (i < fade) v *= static_cast<double>(i) / fade;
            if (i + fade > buf_.size()) v *= static_cast<double>(buf_.size() - i) / fade;
            out[i] = static_cast<int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
        }
        return out;
    }

  private:
    size_t index(double t) const { return static_cast<size_t>(t * kSampleRate); }
    std::vector<double> buf_;
};

// Wave shapes over one period.
double sine(double p) {
    return std::sin(kTwoPi * p);
}
double square(double p) {
    return p < 0.5 ? 0.8 : -0.8;
}
double triangle(double p) {
    return p < 0.5 ? 4 * p - 1 : 3 - 4 * p;
}
// A brass-like tone: the first harmonics of a sawtooth.
double brass(double p) {
    double v = 0;
    for (int n = 1; n <= 7; ++n)
        v += std::sin(kTwoPi * n * p) / n;
    return v * 0.6;
}
// A bell: inharmonic partials that the sample rate can carry.
std::function<double(double)> partials(std::vector<std::pair<double, double>> ratioGain) {
    return [ratioGain](double p) {
        double v = 0;
        for (auto [ratio, gain] : ratioGain)
            v += gain * std::sin(kTwoPi * ratio * p);
        return v;
    };
}

// Envelopes: (t, duration) -> gain.
std::function<double(double, double)> pluck(double attack, double tau) {
    return [attack, tau](double t, double) {
        return t < attack ? t / attack : std::exp(-(t - attack) / tau);
    };
}
std::function<double(double, double)> held(double attack, double release) {
    return [attack, release](double t, double dur) {
        if (t < attack) return t / attack;
        if (t > dur - release) return std::max(0.0, (dur - t) / release);
        return 1.0;
    };
}
std::function<double(double, double)> swell() {
    return [](double t, double dur) { return std::pow(std::sin(M_PI * t / dur), 2); };
}

Sound button() {
    Track t(0.08);
    t.voice(0, 0.06, 1900, 1300, sine, pluck(0.002, 0.012), 1.0);
    t.voice(0, 0.02, 3800, 3000, square, pluck(0.001, 0.004), 0.25);
    t.noise(0, 0.015, 3000, 3000, 0.6, pluck(0.001, 0.003), 0.6);
    return {"button", t.render(0.7)};
}

Sound selgoods() {
    // A woody two-note "pick".
    Track t(0.22);
    auto marimba = partials({{1, 1}, {4, 0.3}, {10, 0.08}});
    t.voice(0, 0.12, 660, 660, marimba, pluck(0.002, 0.035), 1.0);
    t.voice(0.07, 0.15, 990, 990, marimba, pluck(0.002, 0.045), 0.9);
    return {"selgoods", t.render(0.75)};
}

Sound inccash() {
    Track t(0.11);
    t.voice(0, 0.1, 520, 1150, triangle, held(0.004, 0.04), 1.0);
    t.voice(0, 0.1, 1040, 2300, sine, held(0.004, 0.04), 0.2);
    return {"inccash", t.render(0.7)};
}

Sound money() {
    // A drawer rattle and two coin rings.
    Track t(0.7);
    t.noise(0, 0.09, 1800, 5000, 0.4, pluck(0.002, 0.03), 0.7);
    auto coin = partials({{1, 1}, {2.76, 0.55}, {5.4, 0.3}, {8.93, 0.12}});
    t.voice(0.05, 0.5, 1320, 1320, coin, pluck(0.001, 0.11), 0.8);
    t.voice(0.16, 0.54, 1760, 1760, coin, pluck(0.001, 0.16), 0.9);
    return {"money", t.render()};
}

Sound changeplace() {
    // A whoosh that rises and falls, with a low glide under it.
    Track t(0.55);
    t.noise(0, 0.5, 350, 2600, 0.35, swell(), 1.0);
    t.noise(0.1, 0.42, 2200, 500, 0.5, swell(), 0.5);
    t.voice(0, 0.5, 160, 330, sine, swell(), 0.25);
    return {"changeplace", t.render(0.8)};
}

Sound error() {
    // Two flat buzzes, slightly detuned against each other.
    Track t(0.38);
    for (double start : {0.0, 0.19}) {
        t.voice(start, 0.14, 140, 140, square, held(0.004, 0.02), 0.6);
        t.voice(start, 0.14, 148, 148, square, held(0.004, 0.02), 0.5);
    }
    return {"error", t.render(0.7)};
}

Sound timeup() {
    // An alarm clock: bursts of fast rings.
    Track t(1.2);
    auto bell = partials({{1, 1}, {2.4, 0.4}, {3.9, 0.2}});
    for (int burst = 0; burst < 3; ++burst)
        for (int ring = 0; ring < 4; ++ring)
            t.voice(burst * 0.38 + ring * 0.06, 0.055, 1400, 1400, bell, held(0.002, 0.02), 0.8);
    return {"timeup", t.render()};
}

Sound eventgood() {
    // A rising major chime: E, G sharp, B, E.
    Track t(1.0);
    auto chime = partials({{1, 1}, {2, 0.35}, {3.01, 0.15}});
    const double notes[] = {659.3, 830.6, 987.8, 1318.5};
    for (int i = 0; i < 4; ++i)
        t.voice(i * 0.09, i == 3 ? 0.7 : 0.4, notes[i], notes[i], chime,
                pluck(0.003, i == 3 ? 0.25 : 0.12), 0.8);
    return {"eventgood", t.render()};
}

Sound eventbad() {
    // "Dun, dun, duuun": low brass falling a fourth.
    Track t(1.25);
    t.voice(0, 0.2, 220, 220, brass, held(0.01, 0.06), 0.9);
    t.voice(0.25, 0.2, 220, 220, brass, held(0.01, 0.06), 0.9);
    t.voice(0.5, 0.72, 165, 160, brass, held(0.02, 0.3), 1.0, 0.012, 5.5);
    t.voice(0.5, 0.72, 82.5, 80, sine, held(0.02, 0.3), 0.6);
    return {"eventbad", t.render()};
}

Sound eventhealth() {
    // A heartbeat under a queasy wobbling tone.
    Track t(1.3);
    for (double beat : {0.0, 0.62}) {
        t.voice(beat, 0.16, 95, 45, sine, pluck(0.005, 0.05), 1.0);
        t.voice(beat + 0.2, 0.16, 85, 40, sine, pluck(0.005, 0.05), 0.8);
    }
    t.voice(0.05, 1.2, 440, 300, triangle, swell(), 0.22, 0.03, 6);
    return {"eventhealth", t.render()};
}

Sound dead() {
    // The sad trombone: three falling steps and a long wavering last note.
    Track t(2.1);
    const double notes[] = {311.1, 293.7, 277.2};
    for (int i = 0; i < 3; ++i)
        t.voice(i * 0.34, 0.32, notes[i], notes[i], brass, held(0.02, 0.08), 0.9);
    t.voice(1.02, 1.05, 261.6, 246.9, brass, held(0.02, 0.35), 1.0, 0.018, 6);
    return {"dead", t.render()};
}

Sound success() {
    // A fanfare: three short G, then a held C major chord.
    Track t(1.7);
    for (int i = 0; i < 3; ++i)
        t.voice(i * 0.13, 0.11, 392, 392, brass, held(0.01, 0.03), 1.6);
    const double chord[] = {523.3, 659.3, 784.0, 1046.5};
    for (double f : chord)
        t.voice(0.42, 1.2, f, f, brass, held(0.02, 0.5), 0.5, 0.006, 5);
    t.voice(0.42, 1.2, 261.6, 261.6, sine, held(0.02, 0.5), 0.5);
    return {"success", t.render()};
}

Sound success_mars() {
    // A spacey rising arpeggio over a gliding pad, with echoes.
    Track t(2.6);
    const double arpeggio[] = {523.3, 659.3, 784.0, 987.8, 1174.7, 1568.0};
    for (int i = 0; i < 6; ++i)
        t.voice(i * 0.12, 0.35, arpeggio[i], arpeggio[i], sine, pluck(0.005, 0.12), 0.6);
    t.voice(0, 2.0, 130.8, 196.0, triangle, swell(), 0.35, 0.01, 0.7);
    t.voice(0, 2.0, 131.8, 197.5, triangle, swell(), 0.35, 0.01, 0.9);
    t.voice(0.7, 1.4, 2093, 1046.5, sine, swell(), 0.12, 0.02, 7);
    t.echo(0.19, 0.45);
    return {"success_mars", t.render()};
}

void put16(std::ofstream& out, uint16_t v) {
    const char b[2] = {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
    out.write(b, 2);
}
void put32(std::ofstream& out, uint32_t v) {
    put16(out, static_cast<uint16_t>(v & 0xffff));
    put16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace

std::vector<Sound> makeSounds() {
    return {button(),    changeplace(), dead(),         error(),  inccash(),
            money(),     success(),     success_mars(), timeup(), eventbad(),
            eventgood(), eventhealth(), selgoods()};
}

bool writeWav(const std::filesystem::path& file, const std::vector<int16_t>& samples, int rate) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(out, 36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(out, 16);  // fmt chunk size
    put16(out, 1);   // PCM
    put16(out, 1);   // mono
    put32(out, static_cast<uint32_t>(rate));
    put32(out, static_cast<uint32_t>(rate) * 2);  // byte rate
    put16(out, 2);                                // block align
    put16(out, 16);                               // bits per sample
    out.write("data", 4);
    put32(out, dataBytes);
    for (int16_t s : samples)
        put16(out, static_cast<uint16_t>(s));
    out.close();
    if (!out) {
        std::fprintf(stderr, "qen_resgen: cannot write %s\n", file.c_str());
        return false;
    }
    return true;
}

}  // namespace resgen
