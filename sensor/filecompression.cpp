#include "filecompression.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int MaxPacket = 128;

struct FileCloser {
    void operator()(std::FILE* f) const
    {
        if (f)
            std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openFile(const std::string& name, const char* mode)
{
    return File(std::fopen(name.c_str(), mode));
}

void reportError(const char* fallback)
{
    const int e = errno;
    std::fprintf(stderr, "%s\n", e ? std::strerror(e) : fallback);
}

// Writes coded packets; remembers the first failure.
class PacketWriter {
public:
    explicit PacketWriter(std::FILE* out) : out_(out) {}

    void literal(const uint8_t* bytes, size_t count)
    {
        while (count > 0 && ok_) {
            const size_t n = count < MaxPacket ? count : MaxPacket;
            put(static_cast<uint8_t>(n - 1));
            write(bytes, n);
            bytes += n;
            count -= n;
        }
    }

    void repeat(uint8_t value, size_t count)
    {
        while (count > MaxPacket && ok_) {
            put(0xFF);
            put(value);
            count -= MaxPacket;
        }
        if (count > 0 && ok_) {
            put(static_cast<uint8_t>(0x80 | (count - 1)));
            put(value);
        }
    }

    bool ok() const { return ok_; }

private:
    void put(uint8_t b) { write(&b, 1); }
    void write(const uint8_t* bytes, size_t n)
    {
        if (ok_ && std::fwrite(bytes, 1, n, out_) != n)
            ok_ = false;
    }

    std::FILE* out_;
    bool ok_ = true;
};

bool loadFile(const std::string& name, std::vector<uint8_t>& bytes)
{
    File f = openFile(name, "rb");
    if (!f)
        return false;
    bytes.clear();
    uint8_t buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0)
        bytes.insert(bytes.end(), buf, buf + n);
    return !std::ferror(f.get());
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

bool TFileCompression::compress(std::FILE* input, std::FILE* output)
{
    PacketWriter out(output);
    std::vector<uint8_t> pending; // literal bytes not yet written
    pending.reserve(MaxPacket + 2);
    int previous = -1;            // none before the first byte
    size_t run = 0;               // length of the run that ends with `previous`

    int c;
    while ((c = std::getc(input)) != EOF) {
        if (c == previous) {
            ++run;
            continue;
        }
        if (previous >= 0) {
            const uint8_t v = static_cast<uint8_t>(previous);
            if (run <= 2) {
                // Runs of one and two cost less as literals in the middle.
                pending.insert(pending.end(), run, v);
            } else {
                out.literal(pending.data(), pending.size());
                pending.clear();
                out.repeat(v, run);
            }
            if (pending.size() > MaxPacket) {
                out.literal(pending.data(), MaxPacket);
                pending.erase(pending.begin(), pending.begin() + MaxPacket);
            }
        }
        if (!out.ok())
            break;
        previous = c;
        run = 1;
    }
    if (std::ferror(input)) {
        reportError("read error");
        return false;
    }
    if (out.ok() && previous >= 0) {
        const uint8_t v = static_cast<uint8_t>(previous);
        if (run == 1) {
            pending.push_back(v);
            out.literal(pending.data(), pending.size());
        } else {
            // A run of two at the very end becomes a repeat packet.
            out.literal(pending.data(), pending.size());
            out.repeat(v, run);
        }
    }
    if (!out.ok()) {
        reportError("write error");
        return false;
    }
    return true;
}

bool TFileCompression::decompress(std::FILE* input, std::FILE* output)
{
    uint8_t block[MaxPacket];
    for (;;) {
        const int c = std::getc(input);
        if (c == EOF)
            break;
        const size_t n = static_cast<size_t>(c & 0x7F) + 1;
        if (c >= 0x80) {
            const int v = std::getc(input);
            if (v == EOF)
                break;
            std::memset(block, v, n);
        } else if (std::fread(block, 1, n, input) != n) {
            if (!std::ferror(input))
                std::fprintf(stderr, "coded data ends inside a literal packet\n");
            else
                reportError("read error");
            return false;
        }
        if (std::fwrite(block, 1, n, output) != n) {
            reportError("write error");
            return false;
        }
    }
    if (std::ferror(input)) {
        reportError("read error");
        return false;
    }
    return true;
}

bool TFileCompression::compressFileName(const std::string& base, const std::string& extension)
{
    File in = openFile(base + extension, "rb");
    if (!in)
        return false;
    std::FILE* out = std::fopen((base + ".cmp").c_str(), "wb");
    if (!out)
        return false;
    bool ok = compress(in.get(), out);
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

bool TFileCompression::decompressFileName(const std::string& base, const std::string& extension)
{
    File in = openFile(base + ".cmp", "rb");
    if (!in)
        return false;
    std::FILE* out = std::fopen((base + extension).c_str(), "wb");
    if (!out)
        return false;
    bool ok = decompress(in.get(), out);
    ok = std::fclose(out) == 0 && ok;
    return ok;
}

int32_t TFileCompression::getFileLength(const std::string& name)
{
    File f = openFile(name, "rb");
    if (!f || std::fseek(f.get(), 0, SEEK_END) != 0)
        return -1;
    const long n = std::ftell(f.get());
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
    if (compressed) {
        // The size field is 16 bits wide; readers take the data between the
        // header and the trailer and do not rely on it.
        wrapper.push_back(0x01);
        wrapper.push_back(static_cast<uint8_t>(content.size() & 0xFF));
        wrapper.push_back(static_cast<uint8_t>((content.size() >> 8) & 0xFF));
        wrapper.insert(wrapper.end(), content.begin(), content.end());
        wrapper.push_back(0xFF);
        wrapper.push_back(0xFF);
    } else {
        wrapper.push_back(0x00);
        wrapper.insert(wrapper.end(), content.begin(), content.end());
    }
    return saveFile(wrapperName, wrapper.data(), wrapper.size());
}

bool TFileCompression::RLE_DecodeFile(const std::string& name, bool* compressed)
{
    std::vector<uint8_t> wrapper;
    if (!loadFile(name, wrapper) || wrapper.empty())
        return false;
    const bool coded = wrapper[0] != 0;
    size_t begin = 1, end = wrapper.size();
    if (coded) {
        // Header of three bytes and trailer of two; a shorter file is no wrapper.
        if (wrapper.size() < 5)
            return false;
        begin = 3;
        end = wrapper.size() - 2;
    }
    if (compressed)
        *compressed = coded;
    return saveFile(baseName(name) + ".cmp", wrapper.data() + begin, end - begin);
}
