#include "platform/Tone.h"
#include "engine/Alert.h"
#include "engine/ServerTable.h"
#include "support/TempDir.h"

#include <alsa/asoundlib.h>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Positive-going zero crossings per second: the frequency of a clean sine.
double MeasuredFrequency(const std::vector<std::int16_t>& samples, int rate) {
    int crossings = 0;
    for (size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1] < 0 && samples[i] >= 0)
            ++crossings;
    return crossings * static_cast<double>(rate) / static_cast<double>(samples.size());
}

TEST(ToneSamplesTest, FrequencyAndLength) {
    struct {
        int frequency, ms, rate;
    } const cases[] = {
        {1000, 1000, 48000}, {2000, 1000, 48000}, {3000, 1000, 48000},
        {440, 250, 44100},   {3000, 500, 8000},   {37, 2000, 48000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.frequency) + " Hz, " + std::to_string(c.ms) + " ms");
        const auto samples = ToneSamples(c.frequency, c.ms, c.rate);
        ASSERT_EQ(samples.size(), static_cast<size_t>(c.ms) * c.rate / 1000);
        EXPECT_NEAR(MeasuredFrequency(samples, c.rate), c.frequency, c.frequency * 0.01 + 4);
        const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
        EXPECT_GT(*high, 15000);
        EXPECT_LT(*low, -15000);
        // The ramps: no click at either end.
        EXPECT_LT(std::abs(samples.front()), 200);
        EXPECT_LT(std::abs(samples.back()), 200);
    }
}

TEST(ToneSamplesTest, OutOfRangeGivesSilenceOrNothing) {
    EXPECT_EQ(ToneSamples(0, 100, 48000), std::vector<std::int16_t>(4800, 0));
    EXPECT_EQ(ToneSamples(-5, 100, 48000), std::vector<std::int16_t>(4800, 0));
    EXPECT_EQ(ToneSamples(24001, 100, 48000), std::vector<std::int16_t>(4800, 0));
    EXPECT_TRUE(ToneSamples(1000, 0, 48000).empty());
    EXPECT_TRUE(ToneSamples(1000, -1, 48000).empty());
}

// Runs `body` in a child whose ALSA configuration is `asoundrc` (through a private HOME); the
// child's exit status is the result. Killed after 60 s so a hang fails the test.
int InChildWithAsoundrc(const TempDir& dir, const std::string& asoundrc,
                        const std::function<int()>& body) {
    const std::string home = dir.file("home");
    std::filesystem::create_directory(home);
    dir.write("home/.asoundrc", asoundrc);
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        ::setenv("HOME", home.c_str(), 1);
        ::unsetenv("ALSA_CONFIG_PATH");
        snd_config_update_free_global();
        ::_exit(body());
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

TEST(PlayToneTest, WithoutADeviceStillTakesTheDuration) {
    TempDir dir;
    const int result = InChildWithAsoundrc(dir, "pcm.!default { type hw; card 97 }\n", [] {
        const auto start = std::chrono::steady_clock::now();
        PlayTone(1000, 300);
        const auto took = std::chrono::steady_clock::now() - start;
        return took >= std::chrono::milliseconds(300) ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
}

struct Wav {
    int channels = 0, rate = 0, bits = 0;
    std::vector<std::int16_t> samples;
};

bool ReadWav(const std::string& path, Wav& wav) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return false;
    auto u16 = [&](size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(bytes[at])) |
               static_cast<unsigned>(static_cast<unsigned char>(bytes[at + 1])) << 8;
    };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    for (size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const size_t size = u32(at + 4);
        if (id == "fmt " && at + 24 <= bytes.size()) {
            wav.channels = static_cast<int>(u16(at + 10));
            wav.rate = static_cast<int>(u32(at + 12));
            wav.bits = static_cast<int>(u16(at + 22));
        } else if (id == "data") {
            const size_t end = std::min(bytes.size(), at + 8 + size);
            for (size_t i = at + 8; i + 1 < end; i += 2)
                wav.samples.push_back(static_cast<std::int16_t>(u16(i)));
            return wav.bits == 16 && wav.channels == 1;
        }
        at += 8 + size + (size & 1);
    }
    return false;
}

// The alert worker's tones through the real tone service, captured by ALSA's file plugin. Every
// open of the PCM writes a file of its own (out.wav, out.wav.0001, ...), so each holds one tone.
TEST(PlayToneTest, AlertToneCaptureHoldsTheNineTones) {
    TempDir dir;
    const std::string out = dir.file("out.wav");
    const std::string asoundrc = "pcm.!default { type file; slave.pcm \"null\"; file \"" + out +
                                 "\"; format \"wav\"; truncate false }\n";
    const int result = InChildWithAsoundrc(dir, asoundrc, [] {
        ServerTable[0].Name = "A";
        ServerTable[0].IP = "127.0.0.1";
        ServerTable[0].SoundAlert = -1;
        ServerTable[0].SMSAlert = 0;
        TAlert alert(nullptr);
        alert.ServerIndex = 0;
        alert.Execute();
        return 0;
    });
    ASSERT_EQ(result, 0);

    const int expected[] = {1000, 2000, 3000, 1000, 2000, 3000, 1000, 2000, 3000};
    for (int i = 0; i < 9; ++i) {
        char suffix[16] = "";
        if (i > 0)
            std::snprintf(suffix, sizeof suffix, ".%04d", i);
        SCOPED_TRACE(out + suffix);
        Wav wav;
        ASSERT_TRUE(ReadWav(out + suffix, wav));
        ASSERT_GT(wav.rate, 0);
        const double seconds = static_cast<double>(wav.samples.size()) / wav.rate;
        EXPECT_GE(seconds, 0.99);
        EXPECT_LE(seconds, 1.1);
        // Only the tone itself, not any padding the plugin adds after it.
        wav.samples.resize(static_cast<size_t>(wav.rate));
        EXPECT_NEAR(MeasuredFrequency(wav.samples, wav.rate), expected[i], expected[i] * 0.01);
    }
    EXPECT_FALSE(std::filesystem::exists(out + ".0009"));
}

} // namespace
