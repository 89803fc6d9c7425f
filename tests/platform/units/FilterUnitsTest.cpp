#include "UnitRig.h"

#include "platform/core/Realtime.h"
#include "platform/units/FilterUnits.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace units;
using testsupport::sine;
using testsupport::peakDb;

namespace {

struct ResponseCase {
    const char* subtype;
    std::vector<std::pair<ParameterID, float>> settings;
    double hz;
    double expectedDb;
    double toleranceDb;
};

std::ostream& operator<<(std::ostream& os, const ResponseCase& c) {
    os << c.subtype << " at " << c.hz << " Hz:";
    for (auto [id, v] : c.settings) os << " [" << id << "]=" << v;
    return os;
}

class FilterResponse : public ::testing::TestWithParam<ResponseCase> {};

}  // namespace

TEST_P(FilterResponse, GainAtFrequency) {
    const ResponseCase& c = GetParam();
    UnitRig rig(componenttype::Effect, fourCCFromString(c.subtype));
    for (auto [id, v] : c.settings) ASSERT_EQ(rig.unit().setParameter(id, v), Status::Ok);
    const uint64_t before = realtime::violationCount();
    EXPECT_NEAR(rig.gainDb(c.hz), c.expectedDb, c.toleranceDb);
    EXPECT_EQ(realtime::violationCount(), before);
    EXPECT_EQ(rig.renderErrors, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Units, FilterResponse,
    ::testing::Values(
        // Low-pass and high-pass: flat in the pass band, -3 dB at the cutoff,
        // 12 dB per octave beyond; resonance lifts the cutoff.
        ResponseCase{"lpas", {{0, 1000}, {1, 0}}, 100, 0.0, 0.2},
        ResponseCase{"lpas", {{0, 1000}, {1, 0}}, 1000, -3.0, 0.3},
        ResponseCase{"lpas", {{0, 1000}, {1, 0}}, 4000, -24.0, 1.5},
        ResponseCase{"lpas", {{0, 1000}, {1, 0}}, 8000, -36.0, 2.0},
        ResponseCase{"lpas", {{0, 1000}, {1, 12}}, 1000, 9.0, 0.5},
        ResponseCase{"hpas", {{0, 1000}, {1, 0}}, 10000, 0.0, 0.2},
        ResponseCase{"hpas", {{0, 1000}, {1, 0}}, 1000, -3.0, 0.3},
        ResponseCase{"hpas", {{0, 1000}, {1, 0}}, 250, -24.0, 1.5},
        ResponseCase{"hpas", {{0, 1000}, {1, 12}}, 1000, 9.0, 0.5},
        // Band-pass, one octave (1200 cents) wide: 0 dB at the centre, -3 dB
        // at the band's edges, far down two octaves away.
        ResponseCase{"bpas", {{0, 2000}, {1, 1200}}, 2000, 0.0, 0.3},
        ResponseCase{"bpas", {{0, 2000}, {1, 1200}}, 2000 / std::sqrt(2.0), -3.0, 0.6},
        ResponseCase{"bpas", {{0, 2000}, {1, 1200}}, 2000 * std::sqrt(2.0), -3.0, 0.6},
        ResponseCase{"bpas", {{0, 2000}, {1, 1200}}, 500, -13.0, 2.0},
        ResponseCase{"bpas", {{0, 2000}, {1, 1200}}, 8000, -14.5, 2.5},
        // Low shelf: the shelf's gain at 50 Hz, nothing at 10 kHz.
        ResponseCase{"lshf", {{0, 200}, {1, 12}}, 50, 11.0, 1.0},
        ResponseCase{"lshf", {{0, 200}, {1, 12}}, 10000, 0.0, 0.1},
        ResponseCase{"lshf", {{0, 200}, {1, -20}}, 50, -18.5, 1.5},
        ResponseCase{"lshf", {{0, 200}, {1, -20}}, 10000, 0.0, 0.1},
        // Filter: flat by default; its low-pass, high-pass and peak.
        ResponseCase{"filt", {}, 100, 0.0, 0.05},
        ResponseCase{"filt", {}, 10000, 0.0, 0.05},
        ResponseCase{"filt", {{0, 2000}}, 8000, -25.5, 2.0},
        ResponseCase{"filt", {{2, 2000}}, 500, -24.0, 1.5},
        ResponseCase{"filt", {{4, 3000}, {5, -12}}, 3000, -12.0, 0.3},
        // N-band equaliser: global gain, and a band's filter type.
        ResponseCase{"nbeq", {{0, -6}}, 1000, -6.0, 0.05},
        ResponseCase{"nbeq", {{1003, 0}, {2003, 1}, {3003, 1000}}, 1000, -3.0, 0.3},
        ResponseCase{"nbeq", {{1003, 0}, {2003, 7}, {3003, 200}, {4003, 12}}, 40, 12.0, 1.0}));

TEST(NBandEQ, EachBandHasItsGainAtItsFrequency) {
    UnitRig rig(componenttype::Effect, fourCC("nbeq"));
    uint32_t bands = 0;
    ASSERT_EQ(rig.unit().numberOfBands(&bands), Status::Ok);
    ASSERT_EQ(bands, 10u);
    const double freqs[10] = {32, 64, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
    for (float gain : {6.0f, -9.0f}) {
        for (uint32_t b = 0; b < 10; ++b) {
            for (uint32_t o = 0; o < 10; ++o) rig.unit().setParameter(1000 + o, o == b ? 0.0f : 1.0f);
            rig.unit().setParameter(2000 + b, 0);
            rig.unit().setParameter(3000 + b, float(freqs[b]));
            rig.unit().setParameter(4000 + b, gain);
            EXPECT_NEAR(rig.gainDb(freqs[b]), gain, 0.5) << "band " << b;
        }
    }
}

TEST(NBandEQ, BandCountChangesTheListedParameters) {
    auto eq = ComponentRegistry::instance().instantiate(componenttype::Effect, fourCC("nbeq"));
    ASSERT_TRUE(eq);
    EXPECT_EQ(eq->parameterList().size(), 1u + 10 * 5);
    ASSERT_EQ(eq->setNumberOfBands(4), Status::Ok);
    EXPECT_EQ(eq->parameterList().size(), 1u + 4 * 5);
    EXPECT_EQ(eq->setParameter(4005, 3.0f), Status::InvalidParameter);
    ASSERT_EQ(eq->setNumberOfBands(16), Status::Ok);
    EXPECT_EQ(eq->parameterList().size(), 1u + 16 * 5);
    EXPECT_EQ(eq->setParameter(4015, 3.0f), Status::Ok);
    EXPECT_EQ(eq->setNumberOfBands(0), Status::InvalidPropertyValue);
    EXPECT_EQ(eq->setNumberOfBands(17), Status::InvalidPropertyValue);
    // The band count travels with the class information.
    auto copy = ComponentRegistry::instance().instantiate(componenttype::Effect, fourCC("nbeq"));
    ASSERT_EQ(copy->setClassInfo(eq->classInfo()), Status::Ok);
    uint32_t bands = 0;
    copy->numberOfBands(&bands);
    EXPECT_EQ(bands, 16u);
    EXPECT_FLOAT_EQ(copy->parameter(4015), 3.0f);
    ParameterInfo info;
    ASSERT_EQ(eq->parameterInfo(Scope::Global, 2000, &info), Status::Ok);
    EXPECT_EQ(info.unit, ParameterUnit::Indexed);
    EXPECT_EQ(eq->parameterValueStrings(Scope::Global, 2000).size(), 11);
}

TEST(GraphicEQ, TenAndThirtyOneBands) {
    UnitRig rig(componenttype::Effect, fourCC("greq"));
    Unit& eq = rig.unit();
    EXPECT_EQ(eq.parameterList().size(), 11u);
    EXPECT_EQ(eq.parameterValueStrings(Scope::Global, GraphicEQUnit::kNumberOfBands),
              QStringList({"10 Band", "31 Band"}));
    for (uint32_t b = 0; b < 10; ++b) {
        for (uint32_t o = 0; o < 10; ++o) eq.setParameter(o, o == b ? 6.0f : 0.0f);
        EXPECT_NEAR(rig.gainDb(GraphicEQUnit::tenBandFrequencies()[b]), 6.0, 0.5) << "band " << b;
    }
    EXPECT_EQ(eq.setParameter(20, 3.0f), Status::InvalidParameter);
    ASSERT_EQ(eq.setParameter(GraphicEQUnit::kNumberOfBands, 1), Status::Ok);
    EXPECT_EQ(eq.parameterList().size(), 32u);
    for (uint32_t b = 0; b < 31; ++b) {
        for (uint32_t o = 0; o < 31; ++o) eq.setParameter(o, o == b ? -8.0f : 0.0f);
        EXPECT_NEAR(rig.gainDb(GraphicEQUnit::thirtyOneBandFrequencies()[b]), -8.0, 0.5) << "band " << b;
    }
}

// The result does not depend on how the stream is sliced, the channel count
// or the sample rate.
TEST(FilterUnits, SliceLengthChannelsAndRates) {
    const Signal in = sine(700, 48000, int64_t(0.2 * 48000));
    UnitRig reference(componenttype::Effect, fourCC("lpas"));
    reference.unit().setParameter(0, 1000);
    const Signal expected = reference.runMono(in, 512);
    for (uint32_t slice : {1u, 7u, 333u, 4096u}) {
        UnitRig rig(componenttype::Effect, fourCC("lpas"));
        rig.unit().setParameter(0, 1000);
        const Signal out = rig.runMono(in, slice);
        double worst = 0;
        for (size_t i = 0; i < out.size(); ++i) worst = std::max(worst, double(std::fabs(out[i] - expected[i])));
        EXPECT_LT(worst, 1e-6) << "slice " << slice;
    }
    struct Case { double rate; uint32_t channels; };
    for (Case c : {Case{22050, 1}, Case{44100, 6}, Case{96000, 2}, Case{192000, 32}}) {
        UnitRig rig(componenttype::Effect, fourCC("hpas"), c.rate, c.channels);
        rig.unit().setParameter(0, 1000);
        EXPECT_NEAR(rig.gainDb(1000), -3.0, 0.3) << c.rate << " Hz, " << c.channels << " channels";
        EXPECT_NEAR(rig.gainDb(250), -24.0, 1.5) << c.rate;
    }
}

// A stage at 0 dB passes the signal through untouched, and when its gain
// moves off 0 dB again it starts afresh: nothing it held from before comes
// out (on silence, where a stale memory would ring).
TEST(FilterUnits, AStageAtZeroDecibelsPassesThroughAndComesBackQuiet) {
    struct Case {
        const char* subtype;
        std::vector<std::pair<ParameterID, float>> setup;
        ParameterID gain;
        float decibels;
    };
    const Case cases[] = {
        {"nbeq", {{1000, 0}, {3000, 200}}, 4000, 12},
        {"greq", {}, 3, 12},
        {"filt", {{4, 500}}, 5, 12},
        {"lshf", {{0, 150}}, 1, 12},
    };
    const Signal loud = noise(9600, 0.5f);
    const Signal silence(4800, 0.0f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.subtype);
        UnitRig rig(componenttype::Effect, fourCCFromString(c.subtype));
        for (auto [id, v] : c.setup) rig.unit().setParameter(id, v);
        rig.unit().setParameter(c.gain, c.decibels);
        rig.runMono(loud, 256);
        rig.unit().setParameter(c.gain, 0);
        EXPECT_EQ(rig.runMono(loud, 256), loud);
        rig.unit().setParameter(c.gain, c.decibels);
        EXPECT_EQ(peakDb(rig.runMono(silence, 256)), peakDb(silence));
    }
}

// The cascades of the equalisers come out the same, to rounding, however the
// stream is sliced and whichever channel (the pairs and the odd one out run
// different code).
TEST(FilterUnits, CascadesAgreeAcrossSlicesAndChannels) {
    struct Case {
        const char* subtype;
        std::vector<std::pair<ParameterID, float>> settings;
    };
    std::vector<std::pair<ParameterID, float>> tenBands, thirtyOne{{GraphicEQUnit::kNumberOfBands, 1}};
    for (uint32_t b = 0; b < 10; ++b) {
        tenBands.push_back({1000 + b, 0});
        tenBands.push_back({4000 + b, b % 2 ? 6.0f : -6.0f});
    }
    for (uint32_t b = 0; b < 31; ++b) thirtyOne.push_back({b, float(int(b % 5) - 2) * 3});
    const Case cases[] = {{"nbeq", tenBands}, {"greq", thirtyOne}, {"filt", {{0, 9000}, {2, 80}, {5, 6}}}};
    const Signal in = noise(12000, 0.25f, 7);
    for (const Case& c : cases) {
        std::vector<Signal> reference;
        for (uint32_t slice : {512u, 1u, 7u, 333u}) {
            SCOPED_TRACE(std::string(c.subtype) + " in slices of " + std::to_string(slice));
            UnitRig rig(componenttype::Effect, fourCCFromString(c.subtype), 48000, 3);
            for (auto [id, v] : c.settings) rig.unit().setParameter(id, v);
            const std::vector<Signal> out = rig.run({in}, slice);
            if (reference.empty()) reference = out;
            for (uint32_t ch = 0; ch < 3; ++ch) {
                double worst = 0;
                for (size_t i = 0; i < in.size(); ++i)
                    worst = std::max(worst, double(std::fabs(out[ch][i] - reference[2][i])));
                EXPECT_LT(worst, 1e-5) << "channel " << ch;
            }
        }
    }
}
