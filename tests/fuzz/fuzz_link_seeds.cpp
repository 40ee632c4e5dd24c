// Writes the seed corpus of fuzz_link into the folder given: what the line
// carries in a multi-frame download (bursts of data frames, end frames, wait
// frames, a burst cut short or with a bad CRC) and in command exchanges, each
// behind the two bytes that pick the request and the frames wanted.
#include "Framing.h"
#include "FuzzSeeds.h"

#include <string>

using standin::Bytes;
using standin::encodeFrame;

namespace {

void save(const std::string& folder, const std::string& name, uint8_t request, uint8_t wanted, const Bytes& line)
{
    Bytes bytes{request, static_cast<uint8_t>(wanted - 1)};
    bytes.insert(bytes.end(), line.begin(), line.end());
    fuzzseeds::save(folder, name, bytes);
}

Bytes block(size_t size, uint8_t seed)
{
    Bytes b(size);
    for (size_t i = 0; i < size; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7); // now and then a DLE to stuff
    return b;
}

Bytes burst(uint8_t content, int frames, size_t size, int badAt = -1, uint8_t last = 0)
{
    Bytes out;
    for (int k = 0; k < frames; ++k) {
        const Bytes f = encodeFrame(content, block(size, static_cast<uint8_t>(k)), k == badAt);
        out.insert(out.end(), f.begin(), f.end());
    }
    if (last) {
        const Bytes f = encodeFrame(last, {});
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = fuzzseeds::folderFrom(argc, argv);
    // The first byte picks the request (0: start, 1: even, 2: odd), the second
    // the frames wanted less one.
    save(folder, "start", 0, 1, encodeFrame(0x87, block(256, 1)));
    save(folder, "even-burst", 1, 10, burst(0x91, 10, 256));
    save(folder, "odd-burst", 2, 10, burst(0x93, 10, 200));
    save(folder, "short-burst-then-end", 1, 10, burst(0x91, 4, 256, -1, 0x95));
    save(folder, "bad-crc-in-burst", 2, 4, burst(0x93, 4, 128, 1));
    Bytes cut = burst(0x91, 3, 256);
    cut.resize(cut.size() - 100);
    save(folder, "cut-short", 1, 10, cut);
    save(folder, "wait", 1, 10, encodeFrame(0x82, {}));
    save(folder, "wrong-parity", 1, 2, burst(0x93, 2, 64));
    // Answers to earlier requests ahead of a burst and among its frames.
    Bytes late = encodeFrame(0x87, block(64, 9));
    const Bytes reply13 = encodeFrame(0x81, {0x80, 0x13});
    late.insert(late.end(), reply13.begin(), reply13.end());
    const Bytes even = burst(0x91, 4, 128);
    late.insert(late.end(), even.begin(), even.end());
    const Bytes odd = encodeFrame(0x93, block(32, 3));
    late.insert(late.end(), odd.begin(), odd.end());
    save(folder, "late-answers-in-burst", 1, 5, late);
    save(folder, "end-odd-after-start", 0, 1, encodeFrame(0x97, {}));
    save(folder, "command-reply", 0, 1, encodeFrame(0x81, {0x80, 0x13, 0x10, 0x10, 0x03}));
    save(folder, "largest-frame", 1, 1, encodeFrame(0x91, Bytes(509, 0x10)));
    Bytes noisy{0x00, 0x10, 0x10, 0x02, 0x55};
    const Bytes reply = encodeFrame(0x81, {0x80, 0x00});
    noisy.insert(noisy.end(), reply.begin(), reply.end());
    save(folder, "noise-then-reply", 0, 1, noisy);
    return 0;
}
