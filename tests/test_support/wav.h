// A 16-bit PCM WAV file written by hand, so tests need no audio library.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace test_support {

// A tone that never repeats within its length, so any gap or shift shows.
inline std::vector<int16_t> Chirp(size_t frames) {
    std::vector<int16_t> samples(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i);
        samples[i] = static_cast<int16_t>(12000 * std::sin(t * t / 40000.0 + t / 7.0));
    }
    return samples;
}

inline void WriteWav(const std::string& path, const std::vector<int16_t>& samples, uint32_t rate,
                     uint16_t channels = 1) {
    std::ofstream out(path, std::ios::binary);
    auto put32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto put16 = [&out](uint16_t v) {
        out.put(static_cast<char>(v & 0xFF));
        out.put(static_cast<char>(v >> 8));
    };
    const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    put32(36 + bytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);  // PCM
    put16(channels);
    put32(rate);
    put32(rate * channels * 2);
    put16(static_cast<uint16_t>(channels * 2));
    put16(16);
    out.write("data", 4);
    put32(bytes);
    for (int16_t s : samples)
        put16(static_cast<uint16_t>(s));
}

}  // namespace test_support
