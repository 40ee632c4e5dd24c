// libFuzzer target: the run-length expander on arbitrary coded data, in
// memory and through its stream form (memory streams, no files), checked
// against the stand-in's expander; and the coder's round trip, on the input
// taken as a file and on its expansion.
#include "FileTransfer.h"
#include "filecompression.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_rle: %s\n", what);
        std::abort();
    }
}

// Expansions larger than this are checked by the expander alone: the other
// checks would spend the target's time on copying (a 4 KB input may expand
// to 256 KB). The coded images the link carries expand to under 4 KB.
constexpr size_t CheckedExpansion = 4096;

// A coded stream costs at most one control byte per 128 bytes above the file.
void requireRoundTrip(const uint8_t* data, size_t size)
{
    static Bytes coded, back;
    coded.clear();
    back.clear();
    TFileCompression::compressBytes(data, size, coded);
    require(coded.size() <= size + (size + 127) / 128, "coded form longer than its bound");
    require(TFileCompression::decompressBytes(coded.data(), coded.size(), back), "coded form does not expand");
    require(back.size() == size && (size == 0 || std::memcmp(back.data(), data, size) == 0),
            "coded form expands to something else");
}

// The stream form on memory streams; false when it reports a failure.
bool expandStream(const uint8_t* data, size_t size, Bytes& out)
{
    static TFileCompression coder(nullptr);
    static char buffer[CheckedExpansion + 1];
    std::FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    std::FILE* sink = fmemopen(buffer, sizeof buffer, "wb");
    require(in && sink, "memory streams");
    std::setvbuf(sink, nullptr, _IONBF, 0);
    const bool ok = coder.decompress(in, sink);
    const long length = std::ftell(sink);
    std::fclose(in);
    std::fclose(sink);
    require(length >= 0, "memory stream position");
    out.assign(buffer, buffer + length);
    return ok;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Kept between inputs, so that a large expansion costs no fresh memory.
    static Bytes plain;
    plain.clear();
    const bool whole = TFileCompression::decompressBytes(data, size, plain);
    require(plain.size() <= size * 64, "expansion beyond 128 bytes per two coded bytes");
    requireRoundTrip(data, size);
    if (plain.size() > CheckedExpansion)
        return 0;

    const auto theirs = standin::rleDecode(Bytes(data, data + size));
    require(theirs.has_value() == whole, "the stand-in's expander judges the data otherwise");
    require(!whole || *theirs == plain, "the stand-in's expander gives other bytes");

    // The stream form reports a cut literal packet on the error stream: it is
    // run on whole data only (and its core is the one checked above).
    if (whole && size > 0) {
        static Bytes streamed;
        require(expandStream(data, size, streamed), "the stream form fails on whole data");
        require(streamed == plain, "the stream form gives other bytes");
    }
    requireRoundTrip(plain.data(), plain.size());
    return 0;
}
