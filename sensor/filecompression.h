// The run-length file coder and the small wrapper in which the sensor's images
// travel over the link.
//
// Coded stream: packets, each led by a control byte c. c = 0x00..0x7F is
// followed by c + 1 bytes taken as they are; c = 0x80..0xFF is followed by one
// byte v that stands for (c & 0x7F) + 1 copies of v. No header, no terminator.
//
// Wrapper (base + ".cmp"): either 0x01, the coded size (16-bit little-endian),
// the coded data and 0xFF 0xFF, or 0x00 followed by the file unchanged.
//
// A base name is a path without its extension; an extension includes its dot.
#pragma once

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class TFileCompression : public QObject {
    Q_OBJECT
public:
    explicit TFileCompression(QObject* owner);

    // The coder and the wrapper on bytes in memory. The stream and file forms
    // below read their input whole and go through these, so what is tested on
    // memory is what runs on files.
    //
    // Appends the coded form of `size` bytes to `coded`.
    static void compressBytes(const uint8_t* data, size_t size, std::vector<uint8_t>& coded);
    // Appends the expansion of coded data to `plain`; false when it ends
    // inside a literal packet (`plain` then holds the packets before it). A
    // repeat packet that lacks its value byte ends the data without error.
    static bool decompressBytes(const uint8_t* data, size_t size, std::vector<uint8_t>& plain);
    // Appends the wrapper of `size` bytes: with `compressed` they are coded
    // data, otherwise the file itself.
    static void wrapBytes(const uint8_t* data, size_t size, bool compressed, std::vector<uint8_t>& wrapper);
    // What a wrapper carries: its form and the bytes [begin, end) of `data`
    // (coded data, or the file itself). False when it is shorter than its
    // form's header and trailer; nothing is set then.
    static bool unwrapBytes(const uint8_t* data, size_t size, bool& compressed, size_t& begin, size_t& end);

    // Both streams must be open in binary mode. False after a read or write
    // error (the reason goes to the standard error stream).
    bool compress(std::FILE* input, std::FILE* output);
    // Also false when the coded data ends inside a literal packet; a repeat
    // packet that lacks its value byte ends the data without error.
    bool decompress(std::FILE* input, std::FILE* output);

    // base + extension -> base + ".cmp".
    bool compressFileName(const std::string& base, const std::string& extension);
    // base + ".cmp" -> base + extension.
    bool decompressFileName(const std::string& base, const std::string& extension);

    // Length in bytes, or -1 when the file cannot be opened.
    int32_t getFileLength(const std::string& name);
    bool areFilesSame(const std::string& first, const std::string& second);

    // Writes the wrapper for `name` to base + ".cmp": with `compressed` it wraps
    // the coded file already there (made by compressFileName), otherwise the
    // file `name` itself. False when a file cannot be read or written.
    bool RLE_EncodeFile(const std::string& name, bool compressed);
    // Reads the wrapper `name` and writes what it carries (the coded data, or
    // the file unchanged) to base + ".cmp". `compressed`, when given, tells
    // which form it was. False when the file cannot be read or written, or is
    // shorter than its form's header and trailer; then nothing is written.
    bool RLE_DecodeFile(const std::string& name, bool* compressed = nullptr);

    // File-name conventions shared with the link's transfers.
    static std::string baseName(const std::string& name);
    static std::string extension(const std::string& name);
};
