// The run-length coder, its file-name conventions and the transfer wrapper.
// The stand-in's own coder cross-checks the program's in both directions.
#include "FileTransfer.h"
#include "filecompression.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <random>

#include <sys/stat.h>

using standin::Bytes;
using standin::hex;

namespace {

Bytes text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

// Bytes without two equal neighbours.
Bytes distinct(size_t n, uint8_t first = 0)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(first + i * 7);
    return b;
}

Bytes literalPackets(const Bytes& b)
{
    Bytes out;
    for (size_t i = 0; i < b.size(); i += 128) {
        const size_t n = std::min<size_t>(128, b.size() - i);
        out.push_back(static_cast<uint8_t>(n - 1));
        out.insert(out.end(), b.begin() + static_cast<long>(i), b.begin() + static_cast<long>(i + n));
    }
    return out;
}

class Coder : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }

    static void write(const std::string& name, const Bytes& b)
    {
        std::ofstream(name, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(b.data()),
                                                                       static_cast<std::streamsize>(b.size()));
    }
    static Bytes read(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool exists(const std::string& name) { return std::ifstream(name).good(); }

    // Codes `input` through the file streams; returns the coded bytes.
    Bytes code(const Bytes& input)
    {
        write(path("in.bin"), input);
        EXPECT_TRUE(coder.compressFileName(path("in"), ".bin"));
        return read(path("in.cmp"));
    }
    // Expands `coded`; `ok` gets the expander's result.
    Bytes expand(const Bytes& coded, bool& ok)
    {
        write(path("out.cmp"), coded);
        ok = coder.decompressFileName(path("out"), ".bin");
        return read(path("out.bin"));
    }

    QTemporaryDir dir;
    TFileCompression coder{nullptr};
};

} // namespace

TEST_F(Coder, CodesTheExamples)
{
    const Bytes d129 = distinct(129), d257 = distinct(257), d385 = distinct(385);
    struct Case {
        const char* what;
        Bytes input;
        Bytes coded;
    };
    const Case cases[] = {
        {"abc", text("abc"), {0x02, 'a', 'b', 'c'}},
        {"aab: a run of two in the middle stays literal", text("aab"), {0x02, 'a', 'a', 'b'}},
        {"baa: a run of two at the end is repeated", text("baa"), {0x00, 'b', 0x81, 'a'}},
        {"aaaaab", text("aaaaab"), {0x84, 'a', 0x00, 'b'}},
        {"empty", {}, {}},
        {"300 equal bytes", Bytes(300, 'v'), {0xFF, 'v', 0xFF, 'v', 0xAB, 'v'}},
        {"129 without a repeat", d129, literalPackets(d129)},
        {"257 without a repeat", d257, literalPackets(d257)},
        {"385 without a repeat", d385, literalPackets(d385)},
        {"a single byte", {0x10}, {0x00, 0x10}},
        {"three equal", text("ccc"), {0x82, 'c'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes coded = code(c.input);
        EXPECT_EQ(hex(coded), hex(c.coded));
        bool ok = false;
        EXPECT_EQ(hex(expand(coded, ok)), hex(c.input));
        EXPECT_TRUE(ok);
    }
    // Literal packets of 128 then the rest, as the stream's control bytes show.
    EXPECT_EQ(literalPackets(d129)[0], 0x7F);
    EXPECT_EQ(literalPackets(d129)[129], 0x00);
}

TEST_F(Coder, ExpandsOnlyWhatIsWhole)
{
    struct Case {
        const char* what;
        Bytes coded;
        bool ok;
        Bytes output;
    };
    const Case cases[] = {
        {"empty", {}, true, {}},
        {"literal then repeat", {0x01, 'x', 'y', 0x82, 'z'}, true, text("xyzzz")},
        {"last literal packet cut short", {0x00, 'b', 0x02, 'a', 'b'}, false, {}},
        {"literal control byte alone", {0x05}, false, {}},
        {"repeat packet without its value", {0x00, 'b', 0x81}, true, text("b")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        bool ok = !c.ok;
        const Bytes out = expand(c.coded, ok);
        EXPECT_EQ(ok, c.ok);
        if (c.ok) {
            EXPECT_EQ(hex(out), hex(c.output));
        }
    }
}

TEST_F(Coder, RoundTripsAdversarialAndRandomInputs)
{
    std::vector<std::pair<std::string, Bytes>> inputs;
    for (size_t run : {1u, 2u, 3u, 127u, 128u, 129u, 130u, 255u, 256u, 257u, 258u, 385u}) {
        const std::string n = std::to_string(run);
        Bytes middle = distinct(5, 1);
        middle.insert(middle.end(), run, 0xAA);
        const Bytes tail = distinct(5, 2);
        middle.insert(middle.end(), tail.begin(), tail.end());
        inputs.push_back({"run of " + n + " in the middle", middle});
        Bytes atStart(run, 0x10);
        atStart.push_back(0x11);
        inputs.push_back({"run of " + n + " at the start", atStart});
        Bytes atEnd = distinct(127, 3);
        atEnd.insert(atEnd.end(), run, 0xFF);
        inputs.push_back({"run of " + n + " after 127 literals", atEnd});
    }
    inputs.push_back({"all equal", Bytes(5000, 0x00)});
    inputs.push_back({"no repeats", distinct(5000)});
    Bytes pairs;
    for (int i = 0; i < 600; ++i)
        pairs.insert(pairs.end(), 2, static_cast<uint8_t>(i));
    inputs.push_back({"runs of two only", pairs});
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        std::mt19937 rng(seed);
        Bytes b(rng() % 4000);
        // Small alphabets make runs of every length.
        const uint32_t alphabet = 1 + seed % 5 * (seed % 3 ? 1 : 60);
        for (auto& x : b)
            x = static_cast<uint8_t>(rng() % alphabet);
        inputs.push_back({"random, seed " + std::to_string(seed), b});
    }
    for (const auto& [what, input] : inputs) {
        SCOPED_TRACE(what);
        const Bytes coded = code(input);
        bool ok = false;
        ASSERT_EQ(expand(coded, ok), input);
        EXPECT_TRUE(ok);
        // The logger's coder and expander agree with ours both ways.
        const auto theirs = standin::rleDecode(coded);
        ASSERT_TRUE(theirs.has_value());
        EXPECT_EQ(*theirs, input);
        EXPECT_EQ(expand(standin::rleEncode(input), ok), input);
        EXPECT_TRUE(ok);
    }
}

TEST_F(Coder, WritesAndReadsBothWrapperForms)
{
    const std::string image = path("Conf.bin");
    const std::string wrapper = path("Conf.cmp");

    // Raw form: a 0x00 and the file.
    const Bytes plain = distinct(2853);
    write(image, plain);
    ASSERT_TRUE(coder.RLE_EncodeFile(image, false));
    Bytes w = read(wrapper);
    ASSERT_EQ(w.size(), 2854u);
    EXPECT_EQ(w[0], 0x00);
    bool compressed = true;
    ASSERT_TRUE(coder.RLE_DecodeFile(wrapper, &compressed));
    EXPECT_FALSE(compressed);
    EXPECT_EQ(read(wrapper), plain);

    // Compressed form: 0x01, the coded size, the coded data, 0xFF 0xFF.
    Bytes sparse(2853, 0x00);
    sparse[100] = 0x10;
    write(image, sparse);
    ASSERT_TRUE(coder.compressFileName(path("Conf"), ".bin"));
    const Bytes coded = read(wrapper);
    ASSERT_TRUE(coder.RLE_EncodeFile(image, true));
    w = read(wrapper);
    ASSERT_EQ(w.size(), coded.size() + 5);
    EXPECT_EQ(hex(Bytes(w.begin(), w.begin() + 3)),
              hex({0x01, static_cast<uint8_t>(coded.size()), static_cast<uint8_t>(coded.size() >> 8)}));
    EXPECT_EQ(hex(Bytes(w.end() - 2, w.end())), "FF FF");
    ASSERT_TRUE(coder.RLE_DecodeFile(wrapper, &compressed));
    EXPECT_TRUE(compressed);
    EXPECT_EQ(read(wrapper), coded);
}

TEST_F(Coder, RefusesWrappersTooShortForTheirForm)
{
    struct Case {
        const char* what;
        Bytes wrapper;
        bool ok;
        Bytes content;
    };
    const Case cases[] = {
        {"empty", {}, false, {}},
        {"raw form without content", {0x00}, true, {}},
        {"compressed form of one byte", {0x01}, false, {}},
        {"compressed form of four bytes", {0x01, 0x00, 0x00, 0xFF}, false, {}},
        {"compressed form without data", {0x01, 0x00, 0x00, 0xFF, 0xFF}, true, {}},
        {"size field not relied on", {0x01, 0x99, 0x99, 0x81, 'a', 0xFF, 0xFF}, true, {0x81, 'a'}},
    };
    const std::string name = path("Cal.bin");
    const std::string out = path("Cal.cmp");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(out.c_str());
        write(name, c.wrapper);
        EXPECT_EQ(coder.RLE_DecodeFile(name), c.ok);
        EXPECT_EQ(exists(out), c.ok);
        if (c.ok) {
            EXPECT_EQ(hex(read(out)), hex(c.content));
        }
    }
    EXPECT_FALSE(coder.RLE_DecodeFile(path("missing.bin")));
    EXPECT_FALSE(coder.RLE_EncodeFile(path("missing.bin"), false));
}

TEST_F(Coder, ComparesAndMeasuresFiles)
{
    write(path("a"), text("hello"));
    write(path("b"), text("hello"));
    write(path("c"), text("hellO"));
    write(path("d"), text("hello!"));
    write(path("e"), {});
    write(path("f"), {});
    EXPECT_TRUE(coder.areFilesSame(path("a"), path("b")));
    EXPECT_FALSE(coder.areFilesSame(path("a"), path("c")));
    EXPECT_FALSE(coder.areFilesSame(path("a"), path("d")));
    EXPECT_TRUE(coder.areFilesSame(path("e"), path("f")));
    EXPECT_FALSE(coder.areFilesSame(path("a"), path("missing")));
    EXPECT_FALSE(coder.areFilesSame(path("missing"), path("missing2")));
    EXPECT_EQ(coder.getFileLength(path("d")), 6);
    EXPECT_EQ(coder.getFileLength(path("e")), 0);
    EXPECT_EQ(coder.getFileLength(path("missing")), -1);
}

TEST_F(Coder, NamesFollowTheLastPathComponent)
{
    struct Case {
        std::string name, base, ext;
    };
    const Case cases[] = {
        {"/data/Brindlecot/Cal.bin", "/data/Brindlecot/Cal", ".bin"},
        {"/home/u/.local/share/Brindlecot/Conf.bin", "/home/u/.local/share/Brindlecot/Conf", ".bin"},
        {"/x.y/noext", "/x.y/noext", ""},
        {"/b/Backup/.cal", "/b/Backup/", ".cal"},
        {"a.b.c", "a.b", ".c"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TFileCompression::baseName(c.name), c.base) << c.name;
        EXPECT_EQ(TFileCompression::extension(c.name), c.ext) << c.name;
    }

    // The coded file goes beside the file, also in a folder with a dot.
    const std::string folder = path("v1.2");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    write(folder + "/Cal.bin", Bytes(100, 'x'));
    ASSERT_TRUE(coder.compressFileName(folder + "/Cal", ".bin"));
    EXPECT_EQ(hex(read(folder + "/Cal.cmp")), "E3 78");
    EXPECT_FALSE(coder.compressFileName(path("missing"), ".bin"));
    EXPECT_FALSE(coder.decompressFileName(path("missing"), ".bin"));
}

TEST_F(Coder, ReportsAFullDisk)
{
    write(path("in.bin"), distinct(1000));
    std::FILE* in = std::fopen(path("in.bin").c_str(), "rb");
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_TRUE(in && full);
    std::setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(coder.compress(in, full));
    std::fclose(in);
    write(path("in.cmp"), {0x82, 'a', 0x00, 'b'});
    in = std::fopen(path("in.cmp").c_str(), "rb");
    ASSERT_TRUE(in);
    EXPECT_FALSE(coder.decompress(in, full));
    std::fclose(in);
    std::fclose(full);
}
