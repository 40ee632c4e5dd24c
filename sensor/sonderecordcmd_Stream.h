// What the record decoder reads and writes through: the download file, read
// in blocks from disk or taken from memory, and the text of the graph file
// or the CSV file, made line by line in a buffer and handed on in blocks to
// a file or to memory. Neither the input nor the output is ever held whole,
// so a conversion needs the same small memory for a file of any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QFile;
class QSaveFile;

// The bytes of a download file.
class RecordInput {
public:
    // Bytes in memory; they must outlive the input.
    RecordInput(const uint8_t* data, size_t size);
    ~RecordInput();
    RecordInput(const RecordInput&) = delete;
    RecordInput& operator=(const RecordInput&) = delete;

    // A regular file opened for reading; nullptr when it cannot be opened or
    // is no regular file (a folder, a device, a FIFO).
    static std::unique_ptr<RecordInput> open(const std::string& fileName);

    uint64_t size() const { return size_; }
    // What tells this file from another and from itself after a change
    // (device, inode, size, modification time); empty for bytes in memory,
    // which may change unseen.
    std::string identity() const { return identity_; }
    // Copies up to `count` bytes from `offset` to `out`; returns how many
    // there were. Throws std::runtime_error when the file cannot be read.
    size_t readAt(uint64_t offset, void* out, size_t count);
    // The bytes from `offset` on, a piece at a time: points `data` at the
    // next piece and returns its length, 0 at the end. A piece stays valid
    // until the next call. Throws std::runtime_error on a read error.
    size_t piece(uint64_t offset, const uint8_t*& data);

private:
    RecordInput(int fd, uint64_t size, std::string fileName, std::string identity);

    const uint8_t* memory_ = nullptr;
    uint64_t size_ = 0;
    int fd_ = -1;
    std::string fileName_;
    std::string identity_;
    std::vector<uint8_t> block_;
};

// Where the text goes.
class TextSink {
public:
    virtual ~TextSink() = default;
    // Throws std::runtime_error when the text cannot be written.
    virtual void write(const char* data, size_t size) = 0;
    // True when bytes already written can be replaced with rewrite().
    virtual bool canRewrite() const { return false; }
    virtual void rewrite(uint64_t offset, const char* data, size_t size);
};

// Text kept in memory.
class StringSink : public TextSink {
public:
    explicit StringSink(bool rewritable = true) : rewritable_(rewritable) {}
    void write(const char* data, size_t size) override { text.append(data, size); }
    bool canRewrite() const override { return rewritable_; }
    void rewrite(uint64_t offset, const char* data, size_t size) override;
    std::string text;

private:
    bool rewritable_;
};

// Text that is only counted.
class CountingSink : public TextSink {
public:
    void write(const char*, size_t size) override { bytes += size; }
    bool canRewrite() const override { return true; }
    void rewrite(uint64_t, const char*, size_t) override {}
    uint64_t bytes = 0;
};

// A text file. A regular file (or a new one) is written beside its place
// and put there by commit() only when it is whole, so a full disk or an
// error never leaves a cut file behind and an earlier file stays. Anything
// else at the path (a FIFO, a device node) is written into as it is.
class FileSink : public TextSink {
public:
    // Throws std::runtime_error "Cannot create file ..." when the file
    // cannot be opened for writing.
    explicit FileSink(const std::string& fileName);
    ~FileSink() override;
    void write(const char* data, size_t size) override;
    bool canRewrite() const override;
    void rewrite(uint64_t offset, const char* data, size_t size) override;
    // Throws std::runtime_error "Cannot write file ..." when the file could
    // not be completed.
    void commit();

private:
    [[noreturn]] void fail(const std::string& reason);

    std::string fileName_;
    std::unique_ptr<QSaveFile> save_;
    std::unique_ptr<QFile> direct_;
    uint64_t size_ = 0;    // bytes written
    uint64_t started_ = 0; // bytes whose writing to disk has been started
};

// Lines made in a buffer and handed to a sink in large blocks. Every line
// ends in CR LF. What is still in the buffer when the writer is destroyed
// without flush() is dropped (a conversion that failed).
class LineWriter {
public:
    static constexpr size_t BufferSize = 256 * 1024;

    explicit LineWriter(TextSink& sink);
    ~LineWriter();
    LineWriter(const LineWriter&) = delete;
    LineWriter& operator=(const LineWriter&) = delete;

    // Room for `count` more bytes (at most BufferSize): write them from the
    // pointer returned, then advance() with the end of what was written.
    char* room(size_t count)
    {
        if (static_cast<size_t>(end_ - pos_) < count)
            makeRoom(count);
        return pos_;
    }
    void advance(char* end) { pos_ = end; }

    void put(char c)
    {
        char* p = room(1);
        *p = c;
        pos_ = p + 1;
    }
    void put(std::string_view text)
    {
        // Most pieces are short and fit: copied here, where the compiler
        // knows the size of a literal.
        if (text.size() <= static_cast<size_t>(end_ - pos_)) {
            std::memcpy(pos_, text.data(), text.size());
            pos_ += text.size();
        } else {
            putLong(text);
        }
    }
    // A whole number in decimal.
    void putNumber(long long value);
    void endLine()
    {
        char* p = room(2);
        p[0] = '\r';
        p[1] = '\n';
        pos_ = p + 2;
    }
    void line(std::string_view text)
    {
        put(text);
        endLine();
    }
    // Bytes made so far.
    uint64_t offset() const { return flushed_ + static_cast<uint64_t>(pos_ - buffer_.get()); }
    // Replaces bytes made before (a fixed-width field); the sink must allow
    // it when they have been handed on already.
    void rewrite(uint64_t offset, std::string_view text);
    // Hands everything made so far to the sink.
    void flush();

private:
    void makeRoom(size_t count);
    void putLong(std::string_view text);

    TextSink& sink_;
    std::unique_ptr<char[]> buffer_;
    char* pos_;
    char* end_;
    uint64_t flushed_ = 0;
};
