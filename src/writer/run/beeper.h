// The tone after a written card: 440 Hz for the beep time, played through ALSA on a short-lived
// thread so that the card flow does not wait for it. A machine without a sound device (a CI
// runner, a headless production PC) stays silent and reports nothing.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace quillmate {

// What the card operations beep through; tests record the calls instead of playing them.
class Beeper {
 public:
  virtual ~Beeper() = default;

  // Starts a tone of `duration_ms` (0 or less: no tone) and returns without waiting for its end.
  virtual void Beep(int duration_ms) = 0;
};

// Plays the tone on an ALSA PCM device ("default" unless given).
class AlsaBeeper : public Beeper {
 public:
  static constexpr int kFrequencyHz = 440;

  explicit AlsaBeeper(std::string device = "default");
  // Waits for a tone still playing (at most the longest beep time).
  ~AlsaBeeper() override;
  AlsaBeeper(const AlsaBeeper &) = delete;
  AlsaBeeper &operator=(const AlsaBeeper &) = delete;

  // Plays on a thread of its own. A tone still playing is not cut and not queued: the new one
  // is dropped, since cards of a fast cycle would otherwise pile up tones.
  void Beep(int duration_ms) override;

  // Plays a tone and returns when it has been handed to the device. False, without any output
  // on stderr, when no tone could be played (no device, device busy, duration 0 or less).
  bool PlayNow(int duration_ms) const;

 private:
  std::string device_;
  std::thread player_;
  std::atomic<bool> playing_{false};
};

}  // namespace quillmate
