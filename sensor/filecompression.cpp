#include "filecompression.h"

#include "FileHandle.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int MaxPacket = 128;

using File = OwnedFile;

void reportError(const char* fallback)
{
    const int e = errno;
    std::fprintf(stderr, "%s\n", e ? std::strerror(e) : fallback);
}

// Appends coded packets to a buffer.
class PacketWriter {
public:
    explicit PacketWriter(std::vector<uint8_t>& out) : out_(out) {}

    void literal(const uint8_t* bytes, size_t count)
    {
        while (count > 0) {
            const size_t n = count < MaxPacket ? count : MaxPacket;
            out_.push_back(static_cast<uint8_t>(n - 1));
            out_.insert(out_.end(), bytes, bytes + n);
            bytes += n;
            count -= n;
        }
    }

    void repeat(uint8_t value, size_t count)
    {
        while (count > MaxPacket) {
            out_.push_back(0xFF);
            out_.push_back(value);
            count -= MaxPacket;
        }
        if (count > 0) {
            out_.push_back(static_cast<uint8_t>(0x80 | (count - 1)));
            out_.push_back(value);
        }
    }

private:
    std::vector<uint8_t>& out_;
};

enum class Expansion { Whole, CutLiteral, SinkFailed };

// Hands the expansion to `sink` packet by packet (bytes, count -> false to
// stop), so that a file receives it without the whole of it in memory.
template <typename Sink>
Expansion expand(const uint8_t* data, size_t size, Sink&& sink)
{
    uint8_t block[MaxPacket];
    size_t i = 0;
    while (i < size) {
        const uint8_t c = data[i++];
        const size_t n = static_cast<size_t>(c & 0x7F) + 1;
        const uint8_t* bytes = data + i;
        if (c & 0x80) {
            if (i == size)
                break;
            std::memset(block, data[i++], n);
            bytes = block;
        } else {
            if (size - i < n)
                return Expansion::CutLiteral;
            i += n;
        }
        if (!sink(bytes, n))
            return Expansion::SinkFailed;
    }
    return Expansion::Whole;
}

// The rest of an open stream; false after a read error.
bool readStream(std::FILE* f, std::vector<uint8_t>& bytes)
{
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    return !std::ferror(f);
}

bool loadFile(const std::string& name, std::vector<uint8_t>& bytes)
{
    File f = openFile(name, "rb");
    if (!f)
        return false;
    bytes.clear();
    return readStream(f.get(), bytes);
}

bool saveFile(const std::string& name, const uint8_t* bytes, size_t count)
{
    std::FILE* f = std::fopen(name.c_str(), "wb");
    if (!f)
        return false;
    bool ok = count == 0 || std::fwrite(bytes, 1, count, f) == count;
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

} // namespace

TFileCompression::TFileCompression(QObject* owner) : QObject(owner) {}

std::string TFileCompression::baseName(const std::string& name)
{
    return name.substr(0, name.size() - extension(name).size());
}

std::string TFileCompression::extension(const std::string& name)
{
    // Only a dot in the last path component starts an extension.
    const size_t dot = name.rfind('.');
    const size_t slash = name.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    return name.substr(dot);
}

void TFileCompression::compressBytes(const uint8_t* data, size_t size, std::vector<uint8_t>& coded)
{
    PacketWriter out(coded);
    size_t pending = 0; // bytes from here on are not written yet; they go as literals
    size_t i = 0;
    while (i < size) {
        const uint8_t v = data[i];
        size_t run = 1;
        while (i + run < size && data[i + run] == v)
            ++run;
        if (i + run == size && run == 2) {
            // A run of two at the very end becomes a repeat packet.
            out.literal(data + pending, i - pending);
            out.repeat(v, run);
            return;
        }
        if (run <= 2) {
            // Runs of one and two cost less as literals in the middle.
            i += run;
            if (i - pending > MaxPacket) {
                out.literal(data + pending, MaxPacket);
                pending += MaxPacket;
            }
        } else {
            out.literal(data + pending, i - pending);
            out.repeat(v, run);
            i += run;
            pending = i;
        }
    }
    out.literal(data + pending, size - pending);
}

bool TFileCompression::decompressBytes(const uint8_t* data, size_t size, std::vector<uint8_t>& plain)
{
    return expand(data, size, [&plain](const uint8_t* bytes, size_t n) {
               plain.insert(plain.end(), bytes, bytes + n);
               return true;
           }) == Expansion::Whole;
}

void TFileCompression::wrapBytes(const uint8_t* data, size_t size, bool compressed, std::vector<uint8_t>& wrapper)
{
    if (compressed) {
        // The size field is 16 bits wide; readers take the data between the
        // header and the trailer and do not rely on it.
        wrapper.push_back(0x01);
        wrapper.push_back(static_cast<uint8_t>(size & 0xFF));
        wrapper.push_back(static_cast<uint8_t>((size >> 8) & 0xFF));
        wrapper.insert(wrapper.end(), data, data + size);
        wrapper.push_back(0xFF);
        wrapper.push_back(0xFF);
    } else {
        wrapper.push_back(0x00);
        wrapper.insert(wrapper.end(), data, data + size);
    }
}

bool TFileCompression::unwrapBytes(const uint8_t* data, size_t size, bool& compressed, size_t& begin, size_t& end)
{
    if (size == 0)
        return false;
    const bool coded = data[0] != 0;
    // Header of three bytes and trailer of two; a shorter one is no wrapper.
    if (coded && size < 5)
        return false;
    compressed = coded;
    begin = coded ? 3 : 1;
    end = coded ? size - 2 : size;
    return true;
}

bool TFileCompression::compress(std::FILE* input, std::FILE* output)
{
    std::vector<uint8_t> plain;
    if (!readStream(input, plain)) {
        reportError("read error");
        return false;
    }
    std::vector<uint8_t> coded;
    compressBytes(plain.data(), plain.size(), coded);
    if (!coded.empty() && std::fwrite(coded.data(), 1, coded.size(), output) != coded.size()) {
        reportError("write error");
        return false;
    }
    return true;
}

bool TFileCompression::decompress(std::FILE* input, std::FILE* output)
{
    std::vector<uint8_t> coded;
    if (!readStream(input, coded)) {
        reportError("read error");
        return false;
    }
    const Expansion result = expand(coded.data(), coded.size(), [output](const uint8_t* bytes, size_t n) {
        return std::fwrite(bytes, 1, n, output) == n;
    });
    if (result == Expansion::CutLiteral) {
        std::fprintf(stderr, "coded data ends inside a literal packet\n");
        return false;
    }
    if (result == Expansion::SinkFailed) {
        reportError("write error");
        return false;
    }
    return true;
}

bool TFileCompression::compressFileName(const std::string& base, const std::string& extension)
{
    File in = openFile(base + extension, "rb");
    if (!in)
        return false;
    File out = openFile(base + ".cmp", "wb");
    if (!out)
        return false;
    bool ok = compress(in.get(), out.get());
    // Closed here, as the last bytes may fail to reach the disk.
    ok = std::fclose(out.release()) == 0 && ok;
    return ok;
}

bool TFileCompression::decompressFileName(const std::string& base, const std::string& extension)
{
    File in = openFile(base + ".cmp", "rb");
    if (!in)
        return false;
    File out = openFile(base + extension, "wb");
    if (!out)
        return false;
    bool ok = decompress(in.get(), out.get());
    // Closed here, as the last bytes may fail to reach the disk.
    ok = std::fclose(out.release()) == 0 && ok;
    return ok;
}

int32_t TFileCompression::getFileLength(const std::string& name)
{
    const long n = fileSize(name);
    if (n < 0 || n > INT32_MAX)
        return -1;
    return static_cast<int32_t>(n);
}

bool TFileCompression::areFilesSame(const std::string& first, const std::string& second)
{
    const int32_t length = getFileLength(first);
    if (length < 0 || length != getFileLength(second))
        return false;
    File a = openFile(first, "rb");
    if (!a)
        return false;
    File b = openFile(second, "rb");
    if (!b)
        return false;
    uint8_t bufA[4096], bufB[4096];
    for (;;) {
        const size_t na = std::fread(bufA, 1, sizeof bufA, a.get());
        const size_t nb = std::fread(bufB, 1, sizeof bufB, b.get());
        if (std::ferror(a.get()) || std::ferror(b.get()))
            return false;
        if (na != nb || std::memcmp(bufA, bufB, na) != 0)
            return false;
        if (na == 0)
            return true;
    }
}

bool TFileCompression::RLE_EncodeFile(const std::string& name, bool compressed)
{
    const std::string wrapperName = baseName(name) + ".cmp";
    std::vector<uint8_t> content;
    if (!loadFile(compressed ? wrapperName : name, content))
        return false;
    std::vector<uint8_t> wrapper;
    wrapper.reserve(content.size() + 5);
    wrapBytes(content.data(), content.size(), compressed, wrapper);
    return saveFile(wrapperName, wrapper.data(), wrapper.size());
}

bool TFileCompression::RLE_DecodeFile(const std::string& name, bool* compressed)
{
    std::vector<uint8_t> wrapper;
    bool coded = false;
    size_t begin = 0, end = 0;
    if (!loadFile(name, wrapper) || !unwrapBytes(wrapper.data(), wrapper.size(), coded, begin, end))
        return false;
    if (compressed)
        *compressed = coded;
    return saveFile(baseName(name) + ".cmp", wrapper.data() + begin, end - begin);
}
