#pragma once

#include <cstdint>

// The description of an audio stream and the buffer lists handed between the
// renderer, the processing taps and the units.
struct AudioStreamFormat {
    static constexpr uint32_t LinearPCM = 0x6c70636d;  // 'lpcm'

    enum Flags : uint32_t {
        IsFloat = 1u << 0,
        IsBigEndian = 1u << 1,
        IsSignedInteger = 1u << 2,
        IsPacked = 1u << 3,
        IsNonInterleaved = 1u << 5,
    };

    double sampleRate = 0;
    uint32_t formatID = 0;
    uint32_t formatFlags = 0;
    uint32_t bytesPerPacket = 0;
    uint32_t framesPerPacket = 0;
    uint32_t bytesPerFrame = 0;
    uint32_t channelsPerFrame = 0;
    uint32_t bitsPerChannel = 0;

    // 32-bit float, one buffer per channel: the renderer's own format.
    static AudioStreamFormat floatNonInterleaved(double rate, uint32_t channels) {
        AudioStreamFormat f;
        f.sampleRate = rate;
        f.formatID = LinearPCM;
        f.formatFlags = IsFloat | IsPacked | IsNonInterleaved;
        f.bytesPerPacket = 4;
        f.framesPerPacket = 1;
        f.bytesPerFrame = 4;
        f.channelsPerFrame = channels;
        f.bitsPerChannel = 32;
        return f;
    }
    bool isFloatPCM() const { return formatID == LinearPCM && (formatFlags & IsFloat); }
    bool isNonInterleaved() const { return (formatFlags & IsNonInterleaved) != 0; }
};

struct AudioBuffer {
    uint32_t numberChannels = 0;
    uint32_t dataByteSize = 0;
    void* data = nullptr;
};

// A fixed-capacity list, so that lists live on the stack of a render thread.
struct AudioBufferList {
    static constexpr uint32_t MaxBuffers = 8;
    uint32_t numberBuffers = 0;
    AudioBuffer buffers[MaxBuffers];
};
