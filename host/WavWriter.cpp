#include "WavWriter.h"

#include <cerrno>
#include <cstring>

namespace {

void Put32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}
void Put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

WavWriter::~WavWriter() { Close(); }

bool WavWriter::Open(const std::string& path, int channels, int sampleRate, int sampleBytes) {
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) {
        m_error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    unsigned char header[44] = {};
    std::memcpy(header, "RIFF", 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    Put32(header + 16, 16);
    Put16(header + 20, 1);  // PCM
    Put16(header + 22, static_cast<std::uint16_t>(channels));
    Put32(header + 24, static_cast<std::uint32_t>(sampleRate));
    Put32(header + 28, static_cast<std::uint32_t>(sampleRate * channels * sampleBytes));
    Put16(header + 32, static_cast<std::uint16_t>(channels * sampleBytes));
    Put16(header + 34, static_cast<std::uint16_t>(sampleBytes * 8));
    std::memcpy(header + 36, "data", 4);
    if (std::fwrite(header, sizeof(header), 1, m_file) != 1) {
        m_error = "cannot write " + path;
        return false;
    }
    return true;
}

bool WavWriter::Write(const void* frames, std::size_t bytes) {
    if (!m_file) return false;
    if (std::fwrite(frames, 1, bytes, m_file) != bytes) return false;
    m_dataBytes += static_cast<std::uint32_t>(bytes);
    return true;
}

bool WavWriter::Close() {
    if (!m_file) return true;
    unsigned char size[4];
    bool ok = true;
    Put32(size, 36 + m_dataBytes);
    ok &= std::fseek(m_file, 4, SEEK_SET) == 0 && std::fwrite(size, 4, 1, m_file) == 1;
    Put32(size, m_dataBytes);
    ok &= std::fseek(m_file, 40, SEEK_SET) == 0 && std::fwrite(size, 4, 1, m_file) == 1;
    ok &= std::fclose(m_file) == 0;
    m_file = nullptr;
    return ok;
}
