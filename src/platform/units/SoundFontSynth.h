#pragma once

#include "platform/units/MidiEventQueue.h"

#include <QString>

#include <atomic>
#include <cstdint>

typedef struct _fluid_hashtable_t fluid_settings_t;
typedef struct _fluid_synth_t fluid_synth_t;

namespace units {

// The General MIDI instrument behind the sampler and DLS units: a FluidSynth
// synthesiser with a SoundFont, rendered on the render thread.
//
// Every call into FluidSynth happens on the render thread (the synthesiser
// is created without its own locking), so nothing the main thread does can
// block a slice: MIDI goes through a lock-free queue and the settings through
// atomics, both applied at the start of the next slice (frame 0).
class SoundFontSynth {
public:
    // The General MIDI SoundFont: TimGM6mb.sf2 when it is installed, else the
    // first .sf2 in /usr/share/sounds/sf2 (TREVALUNE_SOUNDFONT overrides).
    static QString defaultSoundFontPath();

    SoundFontSynth(double sampleRate, const QString& soundFontPath = defaultSoundFontPath());
    ~SoundFontSynth();
    SoundFontSynth(const SoundFontSynth&) = delete;
    SoundFontSynth& operator=(const SoundFontSynth&) = delete;

    bool isValid() const { return synth_ && soundFont_ >= 0; }
    const QString& error() const { return error_; }
    double sampleRate() const { return sampleRate_; }

    // Any thread.
    bool midiEvent(uint8_t status, uint8_t data1, uint8_t data2);
    void setGainDecibels(float db) { gainDb_.store(db, std::memory_order_relaxed); }
    void setReverbOn(bool on) { reverbOn_.store(on, std::memory_order_relaxed); }
    void setChorusOn(bool on) { chorusOn_.store(on, std::memory_order_relaxed); }
    // Silences every note at the next slice.
    void reset() { resetPending_.store(true, std::memory_order_release); }

    // Render thread: `frames` frames into two channels.
    void render(uint32_t frames, float* left, float* right);

    int activeVoiceCount() const { return voices_.load(std::memory_order_relaxed); }

private:
    void applySettings();

    double sampleRate_;
    QString error_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
    int soundFont_ = -1;
    MidiEventQueue<1024> midi_;
    std::atomic<float> gainDb_{0.f};
    std::atomic<bool> reverbOn_{true};
    std::atomic<bool> chorusOn_{false};
    std::atomic<bool> resetPending_{false};
    std::atomic<int> voices_{0};
    float appliedGainDb_ = 1e9f;
    int appliedReverb_ = -1, appliedChorus_ = -1;
};

}  // namespace units
