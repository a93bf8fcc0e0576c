#pragma once

#include <cstdint>
#include <functional>
#include <vector>

// The tone service behind the alert beeps.
//
// Beep(frequencyHz, durationMs) sounds a sine tone and returns once it has been heard to the end.
// It goes through the installed service: by default PlayTone below; tests install a recorder
// with SetToneService. Safe to call from any thread; several callers may sound tones at once.
void Beep(int frequencyHz, int durationMs);

using ToneService = std::function<void(int frequencyHz, int durationMs)>;

// Installs `service` and returns the previous one; an empty service restores PlayTone.
ToneService SetToneService(ToneService service);

// Plays the tone on ALSA's "default" PCM (16-bit mono) and returns after the device has drained
// it. Never takes less than `durationMs`: when no device can be opened, or it fails midway, the
// call sleeps for the rest of the time, so callers keep their rhythm without a sound card. ALSA's
// own diagnostics are silenced; nothing is reported.
void PlayTone(int frequencyHz, int durationMs);

// The rate PlayTone generates at.
inline constexpr int kToneSampleRate = 48000;

// The samples PlayTone plays: a sine of `frequencyHz` at `sampleRate`, durationMs * sampleRate /
// 1000 samples, with 5 ms ramps at both ends so the tone starts and stops without a click.
// A frequency outside 1..sampleRate/2 gives silence; a duration below 1 gives no samples.
std::vector<std::int16_t> ToneSamples(int frequencyHz, int durationMs, int sampleRate);
