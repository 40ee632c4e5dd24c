// The logger's side of the link framing, written independently of the
// program's own encoder and decoder so that each checks the other.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

using Bytes = std::vector<uint8_t>;

// CRC-16/KERMIT (reflected CCITT, initial 0, no final inversion).
uint16_t crc16(const uint8_t* data, size_t count, uint16_t crc = 0);
inline uint16_t crc16(const Bytes& data, uint16_t crc = 0) { return crc16(data.data(), data.size(), crc); }

// DLE STX, stuffed content/data/CRC (low byte first), DLE ETX. With badCrc
// the CRC's low byte is inverted.
Bytes encodeFrame(uint8_t content, const Bytes& data, bool badCrc = false);

struct Frame {
    uint8_t content = 0;
    Bytes data;
};

// Byte-at-a-time decoder that resynchronises on every DLE STX and drops
// anything that is not a complete frame with a good CRC.
class FrameReader {
public:
    std::optional<Frame> feed(uint8_t byte);
    int badFrames() const { return bad_; }

private:
    enum { Idle, StartDle, In, InDle } state_ = Idle;
    Bytes buf_;
    int bad_ = 0;
};

// "10 02 80 00"
std::string hex(const Bytes& bytes);
std::string hex(const uint8_t* bytes, size_t count);

} // namespace standin
