// LZHUF unpacking speed in MB/s of unpacked output, on 4 MB inputs of three kinds: bitmap-like
// (long runs, the shape of skin images), text-like (an INI description repeated with
// variations) and random bytes (nearly every symbol a literal, the slow path). UnpackC runs the
// plain C yardstick (LzhufPlainC.c) on the same input, after checking that it gives the same bytes.

#include "LzhufPlainC.h"
#include "skin/format/Lzhuf.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kSize = 4u * 1024u * 1024u;

Bytes BitmapLike() {
    Bytes out;
    std::mt19937 gen(1);
    while (out.size() < kSize) {
        std::uint8_t colour[3] = {std::uint8_t(gen()), std::uint8_t(gen()), std::uint8_t(gen())};
        std::size_t run = 4 + gen() % 200;
        for (std::size_t i = 0; i < run; ++i)
            out.insert(out.end(), colour, colour + 3);
    }
    out.resize(kSize);
    return out;
}

Bytes TextLike() {
    Bytes out;
    std::mt19937 gen(2);
    while (out.size() < kSize) {
        std::string line = "[Button" + std::to_string(gen() % 500) +
                           "]\r\nAction=" + std::to_string(gen() % 12) + "\r\nButtonImage=button" +
                           std::to_string(gen() % 50) +
                           ".bmp\r\nXcoord=" + std::to_string(gen() % 100) + "\r\n";
        out.insert(out.end(), line.begin(), line.end());
    }
    out.resize(kSize);
    return out;
}

Bytes Random() {
    Bytes out(kSize);
    std::mt19937 gen(3);
    for (auto& b : out)
        b = static_cast<std::uint8_t>(gen());
    return out;
}

void Unpack(benchmark::State& state, Bytes (*make)()) {
    const Bytes packed = LzhufPack(make());
    for (auto _ : state) {
        Bytes out = LzhufUnpack(packed);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
    state.counters["ratio"] = double(packed.size()) / double(kSize);
}

void UnpackC(benchmark::State& state, Bytes (*make)()) {
    const Bytes data = make();
    const Bytes packed = LzhufPack(data);
    Bytes out(kSize);
    lzhuf_plain_c_decode(packed.data() + 4, packed.size() - 4, out.data(), out.size());
    if (out != data) {
        std::fprintf(stderr, "the C yardstick does not unpack what LzhufPack packed\n");
        std::abort();
    }
    for (auto _ : state) {
        lzhuf_plain_c_decode(packed.data() + 4, packed.size() - 4, out.data(), out.size());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

void Pack(benchmark::State& state, Bytes (*make)()) {
    const Bytes data = make();
    for (auto _ : state) {
        Bytes out = LzhufPack(data);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kSize));
}

BENCHMARK_CAPTURE(Unpack, bitmap, BitmapLike)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Unpack, text, TextLike)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Unpack, random, Random)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(UnpackC, bitmap, BitmapLike)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(UnpackC, text, TextLike)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(UnpackC, random, Random)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pack, bitmap, BitmapLike)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
