// Writes interleaved PCM samples to a WAV file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // False (with the reason in Error()) when the file cannot be created.
    bool Open(const std::string& path, int channels, int sampleRate, int sampleBytes);
    bool Write(const void* frames, std::size_t bytes);
    // Fills in the sizes; false when the file could not be completed.
    bool Close();
    const std::string& Error() const { return m_error; }

private:
    std::FILE* m_file = nullptr;
    std::uint32_t m_dataBytes = 0;
    std::string m_error;
};
