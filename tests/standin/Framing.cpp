#include "Framing.h"

#include <cstdio>

namespace standin {

uint16_t crc16(const uint8_t* data, size_t count, uint16_t crc)
{
    for (size_t i = 0; i < count; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

static void stuff(Bytes& out, uint8_t b)
{
    out.push_back(b);
    if (b == 0x10)
        out.push_back(0x90);
}

Bytes encodeFrame(uint8_t content, const Bytes& data, bool badCrc)
{
    Bytes body;
    body.reserve(data.size() + 1);
    body.push_back(content);
    body.insert(body.end(), data.begin(), data.end());
    uint16_t crc = crc16(body);
    if (badCrc)
        crc ^= 0x00FF;
    Bytes out{0x10, 0x02};
    for (uint8_t b : body)
        stuff(out, b);
    stuff(out, static_cast<uint8_t>(crc & 0xFF));
    stuff(out, static_cast<uint8_t>(crc >> 8));
    out.push_back(0x10);
    out.push_back(0x03);
    return out;
}

std::optional<Frame> FrameReader::feed(uint8_t b)
{
    switch (state_) {
    case Idle:
        if (b == 0x10)
            state_ = StartDle;
        break;
    case StartDle:
        if (b == 0x02) {
            buf_.clear();
            state_ = In;
        } else if (b != 0x10) {
            state_ = Idle;
        }
        break;
    case In:
        if (b == 0x10)
            state_ = InDle;
        else
            buf_.push_back(b);
        if (buf_.size() > 4096) {
            ++bad_;
            state_ = Idle;
        }
        break;
    case InDle:
        if (b == 0x90) {
            buf_.push_back(0x10);
            state_ = In;
        } else if (b == 0x02) {
            buf_.clear(); // a new frame start inside a frame: resynchronise
            state_ = In;
        } else if (b == 0x03) {
            state_ = Idle;
            if (buf_.size() < 3) {
                ++bad_;
                break;
            }
            const size_t n = buf_.size() - 2;
            const uint16_t sent = static_cast<uint16_t>(buf_[n] | (buf_[n + 1] << 8));
            if (crc16(buf_.data(), n) != sent) {
                ++bad_;
                break;
            }
            Frame f;
            f.content = buf_[0];
            f.data.assign(buf_.begin() + 1, buf_.begin() + static_cast<long>(n));
            return f;
        } else {
            ++bad_;
            state_ = Idle;
        }
        break;
    }
    return std::nullopt;
}

std::string hex(const uint8_t* bytes, size_t count)
{
    std::string s;
    char buf[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        if (i)
            s += ' ';
        s += buf;
    }
    return s;
}

std::string hex(const Bytes& bytes)
{
    return hex(bytes.data(), bytes.size());
}

} // namespace standin
