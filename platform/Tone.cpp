#include "platform/Tone.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <numbers>
#include <thread>

namespace {

std::mutex serviceLock;
ToneService installedService;

// alsa-lib prints to stderr when there is no device; the monitor runs fine without one.
void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(SilentAlsaError); });
}

// Writes every sample; false when the device gave up.
bool WriteAll(snd_pcm_t* pcm, const std::vector<std::int16_t>& samples) {
    std::size_t done = 0;
    while (done < samples.size()) {
        snd_pcm_sframes_t written =
            snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
        if (written < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0)
                return false;
            continue;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

std::vector<std::int16_t> ToneSamples(int frequencyHz, int durationMs, int sampleRate) {
    if (durationMs < 1 || sampleRate < 1)
        return {};
    const std::size_t count =
        static_cast<std::size_t>(static_cast<std::int64_t>(durationMs) * sampleRate / 1000);
    std::vector<std::int16_t> samples(count, 0);
    if (frequencyHz < 1 || frequencyHz > sampleRate / 2)
        return samples;

    const double amplitude = 0.5 * 32767.0;
    const double step = 2.0 * std::numbers::pi * frequencyHz / sampleRate;
    const std::size_t ramp = std::min<std::size_t>(count / 2, sampleRate / 200);
    for (std::size_t i = 0; i < count; ++i) {
        double gain = 1.0;
        if (i < ramp)
            gain = static_cast<double>(i) / ramp;
        else if (count - i <= ramp)
            gain = static_cast<double>(count - 1 - i) / ramp;
        // The phase is reduced per sample so long tones keep their accuracy.
        const double phase = std::fmod(step * static_cast<double>(i), 2.0 * std::numbers::pi);
        samples[i] = static_cast<std::int16_t>(std::lround(amplitude * gain * std::sin(phase)));
    }
    return samples;
}

void PlayTone(int frequencyHz, int durationMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(durationMs);
    SilenceAlsa();

    snd_pcm_t* pcm = nullptr;
    if (durationMs > 0 && snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) == 0) {
        // Soft resampling on, 100 ms of latency: plenty for a beep, small enough to end on time.
        if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                               kToneSampleRate, 1, 100000) == 0 &&
            WriteAll(pcm, ToneSamples(frequencyHz, durationMs, kToneSampleRate)))
            snd_pcm_drain(pcm);
        snd_pcm_close(pcm);
    }
    std::this_thread::sleep_until(end);
}

void Beep(int frequencyHz, int durationMs) {
    ToneService service;
    {
        std::lock_guard lock(serviceLock);
        service = installedService;
    }
    if (service)
        service(frequencyHz, durationMs);
    else
        PlayTone(frequencyHz, durationMs);
}

ToneService SetToneService(ToneService service) {
    std::lock_guard lock(serviceLock);
    ToneService previous = std::move(installedService);
    installedService = std::move(service);
    return previous;
}
