// The tone after a written card, played on a short-lived thread so that the card flow does not
// wait for it.
#include "writer/run/beeper.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>
#include <vector>

namespace quillmate {
namespace {

constexpr unsigned kSampleRate = 48000;
constexpr unsigned kLatencyUs = 100000;
constexpr double kAmplitude = 0.3 * 32767;
// A short fade in and out keeps the tone from clicking.
constexpr int kFadeFrames = kSampleRate / 200;

// ALSA prints its own diagnostics on stderr when a device cannot be opened ("cannot find card
// 0"); on a machine without sound that is the normal case and not worth a word.
void QuietAlsaErrors(const char *, int, const char *, int, const char *, ...) {}

void SilenceAlsaDiagnostics() {
  static std::once_flag once;
  std::call_once(once, [] { snd_lib_error_set_handler(&QuietAlsaErrors); });
}

std::vector<short> SineSamples(int duration_ms) {
  const int frames = static_cast<int>(static_cast<long long>(kSampleRate) * duration_ms / 1000);
  std::vector<short> samples(static_cast<size_t>(frames));
  const int fade = std::min(kFadeFrames, frames / 2);
  for (int i = 0; i < frames; ++i) {
    double gain = 1.0;
    if (fade > 0 && i < fade) gain = static_cast<double>(i) / fade;
    if (fade > 0 && frames - 1 - i < fade) gain = static_cast<double>(frames - 1 - i) / fade;
    const double phase = 2.0 * std::numbers::pi * AlsaBeeper::kFrequencyHz * i / kSampleRate;
    samples[static_cast<size_t>(i)] = static_cast<short>(kAmplitude * gain * std::sin(phase));
  }
  return samples;
}

}  // namespace

AlsaBeeper::AlsaBeeper(std::string device) : device_(std::move(device)) {}

AlsaBeeper::~AlsaBeeper() {
  if (player_.joinable()) player_.join();
}

void AlsaBeeper::Beep(int duration_ms) {
  if (duration_ms <= 0 || playing_.load()) return;
  if (player_.joinable()) player_.join();  // finished: playing_ is false
  playing_.store(true);
  player_ = std::thread([this, duration_ms] {
    PlayNow(duration_ms);
    playing_.store(false);
  });
}

bool AlsaBeeper::PlayNow(int duration_ms) const {
  if (duration_ms <= 0) return false;
  SilenceAlsaDiagnostics();
  snd_pcm_t *pcm = nullptr;
  // Opened without blocking so that a device held by another program refuses at once instead of
  // holding the tone (and the thread) back; the writes below may block again.
  if (snd_pcm_open(&pcm, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
    return false;
  }
  bool played = snd_pcm_nonblock(pcm, 0) >= 0 &&
                snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                                   kSampleRate, 1, kLatencyUs) >= 0;
  if (played) {
    const std::vector<short> samples = SineSamples(duration_ms);
    snd_pcm_uframes_t done = 0;
    while (played && done < samples.size()) {
      snd_pcm_sframes_t written = snd_pcm_writei(pcm, samples.data() + done, samples.size() - done);
      if (written < 0) written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
      if (written < 0) {
        played = false;
      } else {
        done += static_cast<snd_pcm_uframes_t>(written);
      }
    }
    if (played) snd_pcm_drain(pcm);
  }
  snd_pcm_close(pcm);
  return played;
}

}  // namespace quillmate
