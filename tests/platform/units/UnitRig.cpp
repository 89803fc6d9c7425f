#include "UnitRig.h"

#include "platform/core/Realtime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace units;
using testsupport::levelDb;
using testsupport::sine;

Signal impulse(size_t frames, size_t at, float value) {
    Signal s(frames, 0.0f);
    if (at < frames) s[at] = value;
    return s;
}

Signal noise(size_t frames, float amplitude, uint32_t seed) {
    Signal s(frames);
    uint32_t x = seed * 2654435761u + 1;
    for (float& v : s) {
        x = x * 1664525u + 1013904223u;
        v = amplitude * (float(x >> 8) / float(1 << 23) - 1.0f);
    }
    return s;
}

UnitRig::UnitRig(FourCC type, FourCC subtype, double sampleRate, uint32_t channels, uint32_t maxFrames)
    : sampleRate_(sampleRate), channels_(channels) {
    unit_ = ComponentRegistry::instance().instantiate(type, subtype);
    if (!unit_) {
        ADD_FAILURE() << "no unit " << fourCCToString(subtype).toStdString();
        return;
    }
    const StreamFormat f = StreamFormat::canonical(sampleRate, channels);
    EXPECT_EQ(unit_->setStreamFormat(Scope::Input, 0, f), Status::Ok);
    EXPECT_EQ(unit_->setStreamFormat(Scope::Output, 0, f), Status::Ok);
    EXPECT_EQ(unit_->setMaximumFramesPerSlice(maxFrames), Status::Ok);
    unit_->setRenderCallback(0, {&UnitRig::feed, this});
    EXPECT_EQ(unit_->initialize(), Status::Ok);
}

Status UnitRig::feed(void* ref, RenderActionFlags*, const TimeStamp&, uint32_t, uint32_t frames,
                     BufferList* io) {
    auto* self = static_cast<UnitRig*>(ref);
    const auto& in = *self->input_;
    for (uint32_t c = 0; c < io->numberBuffers; ++c) {
        const Signal& s = in[std::min<size_t>(c, in.size() - 1)];
        float* out = io->channel(c);
        for (uint32_t i = 0; i < frames; ++i) {
            const size_t at = self->position_ + i;
            out[i] = at < s.size() ? s[at] : 0.0f;
        }
    }
    self->position_ += frames;
    return Status::Ok;
}

std::vector<Signal> UnitRig::run(const std::vector<Signal>& input, uint32_t slice, size_t frames) {
    if (!frames) frames = input[0].size();
    std::vector<Signal> out(channels_, Signal(frames, 0.0f));
    input_ = &input;
    position_ = 0;
    std::vector<float> scratch(size_t(channels_) * slice);
    std::vector<float*> ptrs(channels_);
    for (uint32_t c = 0; c < channels_; ++c) ptrs[c] = scratch.data() + size_t(c) * slice;
    for (size_t done = 0; done < frames;) {
        const uint32_t n = uint32_t(std::min<size_t>(slice, frames - done));
        BufferList list;
        list.point(channels_, n, ptrs.data());
        TimeStamp ts;
        ts.sampleTime = sampleTime_;
        RenderActionFlags flags = 0;
        Status s;
        {
            realtime::Scope rt;
            s = unit_->render(&flags, ts, 0, n, &list);
        }
        if (s != Status::Ok) ++renderErrors;
        for (uint32_t c = 0; c < channels_; ++c) std::copy_n(list.channel(c), n, out[c].begin() + long(done));
        done += n;
        sampleTime_ += n;
    }
    input_ = nullptr;
    return out;
}

double UnitRig::gainDb(double hz, double amplitude) {
    unit_->reset();
    const Signal in = sine(hz, sampleRate_, int64_t(0.5 * sampleRate_), amplitude);
    const Signal out = runMono(in);
    return levelDb(out, in.size() / 2) - levelDb(in, in.size() / 2);
}
