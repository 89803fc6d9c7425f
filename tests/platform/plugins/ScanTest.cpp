#include "platform/units/Lv2Plugin.h"
#include "platform/units/SoundFontSynth.h"

#include <gtest/gtest.h>
#include <cmath>

TEST(Scan, Smoke) {
    auto c = PluginCatalogue::scan("/usr/lib/lv2");
    auto* d = c->findURI("http://drobilla.net/plugins/mda/Delay");
    ASSERT_TRUE(d);
    QString err;
    auto inst = Lv2PluginInstance::create(c, *d, 44100, 1024, &err);
    ASSERT_TRUE(inst) << qPrintable(err);
    for (auto& p : inst->parameters()) printf("%u %s %g %g %g unit %u\n", p.identifier, qPrintable(p.name), p.minValue, p.maxValue, p.defaultValue, unsigned(p.unit));
    for (float pv : {0.5f, 0.25f}) {
        inst->reset();
        inst->setParameter(0, pv);
        inst->setParameter(2, 0.f);
        inst->setParameter(4, 1.f);
        std::vector<float> l(1024), r(1024);
        float* outs[2] = {l.data(), r.data()};
        const float* ins[2] = {l.data(), r.data()};
        int peakAt = -1; float peak = 0;
        for (int b = 0; b < 40; ++b) {
            std::fill(l.begin(), l.end(), 0.f); std::fill(r.begin(), r.end(), 0.f);
            if (b == 0) l[0] = r[0] = 1.f;
            inst->render(1024, ins, 2, outs, 2);
            for (int i = 0; i < 1024; ++i) if (std::fabs(l[i]) > peak) { peak = std::fabs(l[i]); peakAt = b * 1024 + i; }
        }
        printf("p=%g peak %g at %d\n", pv, peak, peakAt);
    }
    auto c2 = inst->classInfo();
    printf("%s\n", qPrintable(c2.value("state").toString()));
    d = c->findURI("http://drobilla.net/plugins/mda/EPiano");
    auto pi = Lv2PluginInstance::create(c, *d, 44100, 1024, &err);
    ASSERT_TRUE(pi) << qPrintable(err);
    for (auto& p : pi->factoryPresets()) printf("preset %d %s\n", p.number, qPrintable(p.name));
    pi->midiEvent(0x90, 60, 100);
    std::vector<float> l(1024), r(1024);
    float* outs[2] = {l.data(), r.data()};
    for (int b = 0; b < 200; ++b) {
        if (b == 40) pi->midiEvent(0x80, 60, 0);
        pi->render(1024, nullptr, 0, outs, 2);
        float e = 0; for (float s : l) e += s * s;
        if (b % 10 == 0) printf("b %d rms %g\n", b, std::sqrt(e / 1024));
    }
    SoundFontSynth synth(44100);
    ASSERT_TRUE(synth.isValid()) << qPrintable(synth.error());
    synth.midiEvent(0x90, 60, 100);
    for (int b = 0; b < 200; ++b) {
        if (b == 40) synth.midiEvent(0x80, 60, 0);
        synth.render(1024, l.data(), r.data());
        float e = 0; for (float s : l) e += s * s;
        if (b % 10 == 0) printf("sf b %d rms %g voices %d\n", b, std::sqrt(e / 1024), synth.activeVoiceCount());
    }
}
