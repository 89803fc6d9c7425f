#include "platform/units/SoundFontSynth.h"

#include <fluidsynth.h>

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace units {

namespace {
// FluidSynth's own gain at 0 dB: loud enough for one note, with headroom for
// full chords.
constexpr float kUnityGain = 0.8f;

// FluidSynth prints to stderr by default; keep its warnings, drop its chatter.
void quietLog(int level, const char* message, void*) {
    if (level <= FLUID_WARN) fprintf(stderr, "fluidsynth: %s\n", message);
}
}  // namespace

QString SoundFontSynth::defaultSoundFontPath() {
    QByteArray env = qgetenv("TREVALUNE_SOUNDFONT");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    const QString folder = QStringLiteral("/usr/share/sounds/sf2");
    const QString preferred = folder + QStringLiteral("/TimGM6mb.sf2");
    if (QFileInfo(preferred).isFile()) return preferred;
    const QFileInfoList found = QDir(folder).entryInfoList({QStringLiteral("*.sf2")}, QDir::Files, QDir::Name);
    return found.isEmpty() ? QString() : found.first().absoluteFilePath();
}

SoundFontSynth::SoundFontSynth(double sampleRate, const QString& soundFontPath) : sampleRate_(sampleRate) {
    static bool logSet = [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
            fluid_set_log_function(level, quietLog, nullptr);
        return true;
    }();
    (void)logSet;
    settings_ = new_fluid_settings();
    fluid_settings_setnum(settings_, "synth.sample-rate", sampleRate);
    fluid_settings_setint(settings_, "synth.threadsafe-api", 0);
    fluid_settings_setint(settings_, "synth.cpu-cores", 1);
    fluid_settings_setint(settings_, "synth.polyphony", 512);
    fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 0);
    fluid_settings_setnum(settings_, "synth.gain", kUnityGain);
    synth_ = new_fluid_synth(settings_);
    if (!synth_) {
        error_ = QStringLiteral("The synthesiser could not be created.");
        return;
    }
    if (soundFontPath.isEmpty() || !QFileInfo(soundFontPath).isFile()) {
        error_ = QStringLiteral("No SoundFont was found in /usr/share/sounds/sf2.");
        return;
    }
    soundFont_ = fluid_synth_sfload(synth_, soundFontPath.toLocal8Bit().constData(), 1);
    if (soundFont_ < 0) error_ = QStringLiteral("The SoundFont \"%1\" could not be read.").arg(soundFontPath);
}

SoundFontSynth::~SoundFontSynth() {
    if (synth_) delete_fluid_synth(synth_);
    if (settings_) delete_fluid_settings(settings_);
}

bool SoundFontSynth::midiEvent(uint8_t status, uint8_t data1, uint8_t data2) {
    if (midiMessageLength(status) == 0) return false;
    return midi_.push({status, uint8_t(data1 & 0x7F), uint8_t(data2 & 0x7F)});
}

void SoundFontSynth::applySettings() {
    float db = gainDb_.load(std::memory_order_relaxed);
    if (db != appliedGainDb_) {
        fluid_synth_set_gain(synth_, kUnityGain * std::pow(10.f, db / 20.f));
        appliedGainDb_ = db;
    }
    int reverb = reverbOn_.load(std::memory_order_relaxed) ? 1 : 0;
    if (reverb != appliedReverb_) {
        fluid_synth_reverb_on(synth_, -1, reverb);
        appliedReverb_ = reverb;
    }
    int chorus = chorusOn_.load(std::memory_order_relaxed) ? 1 : 0;
    if (chorus != appliedChorus_) {
        fluid_synth_chorus_on(synth_, -1, chorus);
        appliedChorus_ = chorus;
    }
}

void SoundFontSynth::render(uint32_t frames, float* left, float* right) {
    if (!isValid()) {
        std::fill(left, left + frames, 0.f);
        std::fill(right, right + frames, 0.f);
        return;
    }
    applySettings();
    if (resetPending_.exchange(false, std::memory_order_acquire)) {
        midi_.clear();
        fluid_synth_system_reset(synth_);
        appliedGainDb_ = 1e9f;
        appliedReverb_ = appliedChorus_ = -1;
        applySettings();
    }
    MidiMessage m;
    while (midi_.pop(&m)) {
        int channel = m.status & 0x0F;
        switch (m.status & 0xF0) {
        case 0x80: fluid_synth_noteoff(synth_, channel, m.data1); break;
        case 0x90:
            if (m.data2 == 0) fluid_synth_noteoff(synth_, channel, m.data1);
            else fluid_synth_noteon(synth_, channel, m.data1, m.data2);
            break;
        case 0xA0: fluid_synth_key_pressure(synth_, channel, m.data1, m.data2); break;
        case 0xB0: fluid_synth_cc(synth_, channel, m.data1, m.data2); break;
        case 0xC0: fluid_synth_program_change(synth_, channel, m.data1); break;
        case 0xD0: fluid_synth_channel_pressure(synth_, channel, m.data1); break;
        case 0xE0: fluid_synth_pitch_bend(synth_, channel, m.data1 | (m.data2 << 7)); break;
        }
    }
    fluid_synth_write_float(synth_, int(frames), left, 0, 1, right, 0, 1);
    voices_.store(fluid_synth_get_active_voice_count(synth_), std::memory_order_relaxed);
}

}  // namespace units
