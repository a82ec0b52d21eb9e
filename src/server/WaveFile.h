// Where the samples of a wave file lie, so that 16-bit PCM can be served as DLNA LPCM: the
// same samples, without the header and in network byte order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The name of the LPCM resource a song carries beside its file.
constexpr char c_LpcmResourceName[] = "lpcm";

struct WaveLayout {
    int64_t dataOffset = 0;
    int64_t dataBytes = 0;
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;

    // 16-bit integer PCM in one or two channels at a rate LPCM allows.
    bool IsLpcm() const;
    // "audio/L16;rate=44100;channels=2".
    std::string LpcmMime() const;
};

// The layout of a RIFF/WAVE file; nothing for other files, damaged headers included.
std::optional<WaveLayout> ReadWaveLayout(const std::string& path);
// The same from the first bytes of a file and its size (for tests and callers that read).
std::optional<WaveLayout> ParseWaveLayout(const unsigned char* head, size_t headBytes, int64_t fileBytes);
