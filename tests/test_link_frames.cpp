// The frame writers, the decoder and the CRC, checked byte for byte.
#include "Framing.h"
#include "PSQuarnComms.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using standin::Bytes;
using standin::hex;

namespace {

Bytes parseHex(const std::string& text)
{
    Bytes out;
    std::istringstream in(text);
    std::string tok;
    while (in >> tok)
        out.push_back(static_cast<uint8_t>(std::stoul(tok, nullptr, 16)));
    return out;
}

// The whole frame as SendFrame builds it: DLE STX, dleEncode's output, DLE ETX.
Bytes sendFrameBytes(uint8_t content, const Bytes& data)
{
    const uint16_t crc = TQuarnComms::CalcCcittCrc(content, data.data(), 0, data.size());
    std::vector<uint8_t> out(2 * (data.size() + 3) + 4);
    out[0] = DLE;
    out[1] = STX;
    size_t n = 2 + static_cast<size_t>(TQuarnComms::dleEncode(content, crc, data.data(), out.data() + 2,
                                                                static_cast<uint16_t>(data.size())));
    out[n++] = DLE;
    out[n++] = ETX;
    out.resize(n);
    return out;
}

Bytes encoderBytes(uint8_t content, const Bytes& data)
{
    CommsFrame frame{};
    frame.Buffer[0] = content;
    if (!data.empty())
        std::memcpy(frame.Buffer + 1, data.data(), data.size());
    frame.Length = static_cast<int32_t>(data.size() + 1);
    uint8_t step = esStartDle;
    uint8_t index = 0;
    uint8_t out = 0;
    Bytes bytes;
    while (TQuarnComms::frameEncoder(step, frame, out, index)) {
        bytes.push_back(out);
        if (bytes.size() > 2000)
            break;
    }
    EXPECT_EQ(frame.Status, fsEncoded);
    EXPECT_EQ(step, esStartDle);
    return bytes;
}

struct Decoded {
    std::vector<uint8_t> statuses; // Status after every byte
    CommsFrame frame{};
    uint8_t state = dsIdle;
};

Decoded decode(const Bytes& bytes)
{
    Decoded d;
    TQuarnComms::resetFrame(d.frame);
    std::memset(d.frame.Buffer, 0, sizeof d.frame.Buffer);
    for (uint8_t b : bytes) {
        TQuarnComms::frameDecoder(d.state, b, d.frame);
        d.statuses.push_back(d.frame.Status);
    }
    return d;
}

// Data whose frame CRC has a 0x10 in the wanted byte (0 low, 1 high).
Bytes dataWithCrcByte10(uint8_t content, int which)
{
    for (uint32_t v = 0;; ++v) {
        Bytes data{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
        const uint16_t crc = TQuarnComms::CalcCcittCrc(content, data.data(), 0, data.size());
        if (((which == 0 ? crc : crc >> 8) & 0xFF) == 0x10 && data[0] != 0x10 && data[1] != 0x10)
            return data;
    }
}

} // namespace

TEST(Crc, KnownValues)
{
    const char* digits = "123456789";
    EXPECT_EQ(TQuarnComms::blockCalcCcittCrc(reinterpret_cast<const uint8_t*>(digits), 0, 9), 0x2189);
    EXPECT_EQ(TQuarnComms::blockCalcCcittCrc(nullptr, 0, 0), 0);
    // The null command: content 0x80, data 0x00.
    const uint8_t zero = 0;
    EXPECT_EQ(TQuarnComms::CalcCcittCrc(0x80, &zero, 0, 1), 0x8CCC);
    // Agrees with a plain bitwise CRC-16/KERMIT on random blocks, also when
    // the first byte is handed over separately.
    std::mt19937 rng(7);
    for (int i = 0; i < 200; ++i) {
        Bytes block(rng() % 300 + 1);
        for (auto& b : block)
            b = static_cast<uint8_t>(rng());
        const uint16_t expected = standin::crc16(block);
        EXPECT_EQ(TQuarnComms::blockCalcCcittCrc(block.data(), 0, block.size()), expected);
        EXPECT_EQ(TQuarnComms::CalcCcittCrc(block[0], block.data() + 1, 0, block.size() - 1), expected);
        uint16_t running = 0;
        for (uint8_t b : block)
            TQuarnComms::updateCcittCrc(running, b);
        EXPECT_EQ(running, expected);
    }
}

TEST(FrameWriters, EncodeAsOnTheWire)
{
    const Bytes crcLow10 = dataWithCrcByte10(0x80, 0);
    const Bytes crcHigh10 = dataWithCrcByte10(0x80, 1);
    struct Case {
        const char* what;
        uint8_t content;
        Bytes data;
        std::string wire; // empty: checked against the stand-in's encoder only
    };
    const Case cases[] = {
        {"null command", 0x80, {0x00}, "10 02 80 00 CC 8C 10 03"},
        {"content only", 0x8A, {}, ""},
        {"data 0x10 stuffed", 0x80, {0x10, 0x01}, ""},
        {"all DLE", 0x80, Bytes(20, 0x10), ""},
        {"CRC low byte 0x10", 0x80, crcLow10, ""},
        {"CRC high byte 0x10", 0x80, crcHigh10, ""},
        {"230-byte block", 0x88, Bytes(230, 0x55), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes sent = sendFrameBytes(c.content, c.data);
        if (!c.wire.empty()) {
            EXPECT_EQ(hex(sent), c.wire);
        }
        EXPECT_EQ(hex(sent), hex(standin::encodeFrame(c.content, c.data)));
        if (c.data.size() < 125) {
            EXPECT_EQ(hex(encoderBytes(c.content, c.data)), hex(sent));
        }
    }
    EXPECT_EQ(sendFrameBytes(0x8A, {}).size() + 0, standin::encodeFrame(0x8A, {}).size());
    const Bytes contentOnly = sendFrameBytes(0x92, {});
    const uint16_t crc = TQuarnComms::CalcCcittCrc(0x92, nullptr, 0, 0);
    const size_t stuffedCrc = ((crc & 0xFF) == 0x10) + ((crc >> 8) == 0x10);
    EXPECT_EQ(contentOnly.size(), 7 + stuffedCrc);
    // The CRC cases really did stuff a CRC byte.
    EXPECT_EQ(sendFrameBytes(0x80, crcLow10).size(), 2 + 1 + 2 + 3 + 2u);
    EXPECT_EQ(sendFrameBytes(0x80, crcHigh10).size(), 2 + 1 + 2 + 3 + 2u);
}

TEST(FrameWriters, EncoderMatchesSendFrameOnRandomFrames)
{
    std::mt19937 rng(11);
    for (int i = 0; i < 500; ++i) {
        Bytes data(rng() % 124);
        for (auto& b : data)
            b = (rng() % 4 == 0) ? 0x10 : static_cast<uint8_t>(rng());
        const uint8_t content = static_cast<uint8_t>(0x80 + rng() % 0x18);
        ASSERT_EQ(hex(encoderBytes(content, data)), hex(sendFrameBytes(content, data)));
    }
}

TEST(FrameWriters, EncoderStopsOnAnUnknownStep)
{
    CommsFrame frame{};
    uint8_t step = 0x42;
    uint8_t index = 0;
    uint8_t out = 0xAA;
    EXPECT_FALSE(TQuarnComms::frameEncoder(step, frame, out, index));
    EXPECT_EQ(step, esStartDle);
    EXPECT_EQ(out, 0xAA);
}

TEST(FrameDecoder, VerdictsOnWireBytes)
{
    struct Case {
        const char* what;
        std::string wire;
        uint8_t finalStatus;
        int length;       // Length after the last byte (-1: not checked)
        std::string data; // Buffer's first Length bytes (when good)
    };
    const Case cases[] = {
        {"null command", "10 02 80 00 CC 8C 10 03", fsGood, 2, "80 00"},
        {"stuffed data byte", hex(standin::encodeFrame(0x80, {0x10, 0x01})), fsGood, 3, "80 10 01"},
        {"content only", hex(standin::encodeFrame(0x8A, {})), fsGood, 1, "8A"},
        {"DLE DLE STX starts normally", "10 10 02 80 00 CC 8C 10 03", fsGood, 2, "80 00"},
        {"DLE ETX after one byte", "10 02 80 10 03", fsBad, -1, ""},
        {"DLE ETX at once", "10 02 10 03", fsBad, -1, ""},
        {"CRC of nothing, no content code", "10 02 00 00 10 03", fsBad, -1, ""},
        {"changed data byte", "10 02 80 01 CC 8C 10 03", fsBad, -1, ""},
        {"CRC high byte first", "10 02 80 00 8C CC 10 03", fsBad, -1, ""},
        {"stray byte before DLE STX", "00", fsBad, -1, ""},
        {"DLE then not STX", "10 05", fsBad, -1, ""},
        {"DLE followed by another byte inside a frame", "10 02 80 10 41", fsReceiving, 1, ""},
        {"cut short then a stray byte", "10 02 80 10 41 00", fsBad, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Decoded d = decode(parseHex(c.wire));
        EXPECT_EQ(d.frame.Status, c.finalStatus);
        if (c.length >= 0) {
            EXPECT_EQ(d.frame.Length, c.length);
        }
        if (c.finalStatus == fsGood) {
            EXPECT_EQ(hex(d.frame.Buffer, static_cast<size_t>(d.frame.Length)), c.data);
        }
    }
}

TEST(FrameDecoder, StrayByteTurnsBadAtOnce)
{
    const Decoded d = decode(parseHex("00 10 02 80 00 CC 8C 10 03"));
    EXPECT_EQ(d.statuses[0], fsBad);
}

TEST(FrameDecoder, OverlongFrameNeverPassesTheLimit)
{
    // 512 bytes are kept; the 513th sends the decoder back to idle, and the
    // next non-DLE byte makes the frame bad.
    Bytes wire{0x10, 0x02};
    for (int i = 0; i < 512; ++i)
        wire.push_back(0x41);
    Decoded d = decode(wire);
    EXPECT_EQ(d.frame.Length, 512);
    EXPECT_EQ(d.state, dsInFrame);
    TQuarnComms::frameDecoder(d.state, 0x41, d.frame);
    EXPECT_EQ(d.frame.Length, 512);
    EXPECT_EQ(d.state, dsIdle);
    EXPECT_EQ(d.frame.Status, fsReceiving);
    TQuarnComms::frameDecoder(d.state, 0x41, d.frame);
    EXPECT_EQ(d.frame.Status, fsBad);

    // A stuffed DLE as the 513th byte: dropped too.
    Bytes stuffed{0x10, 0x02};
    for (int i = 0; i < 512; ++i)
        stuffed.push_back(0x41);
    stuffed.push_back(0x10);
    stuffed.push_back(0x90);
    d = decode(stuffed);
    EXPECT_EQ(d.frame.Length, 512);
    EXPECT_EQ(d.state, dsIdle);

    // A very long run of data never writes past the buffer.
    Bytes flood{0x10, 0x02};
    flood.insert(flood.end(), 5000, 0x10);
    flood.insert(flood.end(), 5000, 0x90);
    d = decode(flood);
    EXPECT_LE(d.frame.Length, 512);
}

TEST(FrameDecoder, LargestFramesDecode)
{
    // 509 data bytes fill the 512 kept bytes exactly (content, data, CRC).
    Bytes data(509);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i);
    Decoded d = decode(standin::encodeFrame(0x81, data));
    EXPECT_EQ(d.frame.Status, fsGood);
    EXPECT_EQ(d.frame.Length, 510);
    // One more data byte does not fit.
    data.push_back(0x77);
    d = decode(standin::encodeFrame(0x81, data));
    EXPECT_NE(d.frame.Status, fsGood);
}

TEST(FrameDecoder, UnknownStateGoesIdle)
{
    CommsFrame frame{};
    uint8_t state = 0x33;
    TQuarnComms::frameDecoder(state, 0x10, frame);
    EXPECT_EQ(state, dsIdle);
}

TEST(FrameDecoder, RoundTripsRandomFrames)
{
    std::mt19937 rng(3);
    for (int i = 0; i < 500; ++i) {
        Bytes data(rng() % 510);
        for (auto& b : data)
            b = (rng() % 5 == 0) ? 0x10 : static_cast<uint8_t>(rng());
        const uint8_t content = static_cast<uint8_t>(rng());
        const Decoded d = decode(sendFrameBytes(content, data));
        ASSERT_EQ(d.frame.Status, fsGood);
        ASSERT_EQ(d.frame.Length, static_cast<int>(data.size() + 1));
        ASSERT_EQ(d.frame.Buffer[0], content);
        ASSERT_EQ(hex(d.frame.Buffer + 1, data.size()), hex(data));
    }
}
