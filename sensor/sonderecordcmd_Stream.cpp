#include "sonderecordcmd_Stream.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Large enough that a file is read in few system calls, small enough to
// stay in the processor's cache.
constexpr size_t InputBlockSize = 256 * 1024;
// Written bytes handed to the disk at a time.
constexpr uint64_t WritebackStep = 4 * 1024 * 1024;

} // namespace

// --- the download file ----------------------------------------------------------------

RecordInput::RecordInput(const uint8_t* data, size_t size) : memory_(data), size_(size) {}

RecordInput::RecordInput(int fd, uint64_t size, std::string fileName, std::string identity)
    : size_(size), fd_(fd), fileName_(std::move(fileName)), identity_(std::move(identity)), block_(InputBlockSize)
{
}

RecordInput::~RecordInput()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<RecordInput> RecordInput::open(const std::string& fileName)
{
    // Not blocking: a FIFO must not hang the program until a writer comes.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const std::string identity = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino) + ":"
        + std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "."
        + std::to_string(info.st_mtim.tv_nsec);
    return std::unique_ptr<RecordInput>(new RecordInput(fd, static_cast<uint64_t>(info.st_size), fileName, identity));
}

size_t RecordInput::readAt(uint64_t offset, void* out, size_t count)
{
    if (fd_ < 0) {
        if (offset >= size_)
            return 0;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
        std::memcpy(out, memory_ + offset, n);
        return n;
    }
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, static_cast<char*>(out) + done, count - done,
                                  static_cast<off_t>(offset + done));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("Cannot read file \"" + fileName_ + "\". " + std::strerror(errno));
        }
        done += static_cast<size_t>(n);
    }
    return done;
}

size_t RecordInput::piece(uint64_t offset, const uint8_t*& data)
{
    if (fd_ < 0) {
        data = memory_ + offset;
        return offset < size_ ? static_cast<size_t>(size_ - offset) : 0;
    }
    data = block_.data();
    return readAt(offset, block_.data(), block_.size());
}

// --- sinks -------------------------------------------------------------------------------

void TextSink::rewrite(uint64_t, const char*, size_t)
{
    throw std::logic_error("this text cannot be rewritten");
}

void StringSink::rewrite(uint64_t offset, const char* data, size_t size)
{
    if (!rewritable_ || offset + size > text.size())
        throw std::logic_error("this text cannot be rewritten");
    text.replace(static_cast<size_t>(offset), size, data, size);
}

FileSink::FileSink(const std::string& fileName) : fileName_(fileName)
{
    const QString name = QString::fromLocal8Bit(fileName.c_str());
    const QFileInfo target(name);
    // Unbuffered: a write the disk takes only in part shows in write()'s
    // result, where a buffered one would be committed cut short.
    if (target.exists() && !target.isFile()) {
        direct_ = std::make_unique<QFile>(name);
        if (!direct_->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw std::runtime_error("Cannot create file \"" + fileName + "\". " + direct_->errorString().toStdString());
        return;
    }
    save_ = std::make_unique<QSaveFile>(name);
    if (!save_->open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw std::runtime_error("Cannot create file \"" + fileName + "\". " + save_->errorString().toStdString());
}

FileSink::~FileSink()
{
    // A save file not committed is removed with its object; the earlier
    // file stays as it was.
    if (save_ && save_->isOpen())
        save_->cancelWriting();
}

void FileSink::fail(const std::string& reason)
{
    if (save_)
        save_->cancelWriting();
    throw std::runtime_error("Cannot write file \"" + fileName_ + "\". " + reason);
}

void FileSink::write(const char* data, size_t size)
{
    QFileDevice& file = save_ ? static_cast<QFileDevice&>(*save_) : static_cast<QFileDevice&>(*direct_);
    // A write that stops short is repeated for the rest, which then fails
    // with the reason (a full disk).
    size_t written = 0;
    while (written < size) {
        const qint64 n = file.write(data + written, static_cast<qint64>(size - written));
        if (n <= 0)
            fail(file.errorString().toStdString());
        written += static_cast<size_t>(n);
    }
    size_ += size;
    // The file is flushed to disk before it takes its place; starting the
    // disk on what is written while the rest is still being made leaves
    // little to wait for then.
    if (save_ && size_ - started_ >= WritebackStep) {
        ::sync_file_range(save_->handle(), static_cast<off_t>(started_), static_cast<off_t>(size_ - started_),
                          SYNC_FILE_RANGE_WRITE);
        started_ = size_;
    }
}

bool FileSink::canRewrite() const
{
    return save_ != nullptr;
}

void FileSink::rewrite(uint64_t offset, const char* data, size_t size)
{
    if (!save_)
        TextSink::rewrite(offset, data, size);
    const qint64 end = save_->pos();
    if (!save_->seek(static_cast<qint64>(offset)))
        fail(save_->errorString().toStdString());
    write(data, size);
    if (!save_->seek(end))
        fail(save_->errorString().toStdString());
}

void FileSink::commit()
{
    if (save_) {
        if (!save_->commit())
            throw std::runtime_error("Cannot write file \"" + fileName_ + "\". " + save_->errorString().toStdString());
        return;
    }
    direct_->close();
    if (direct_->error() != QFileDevice::NoError)
        throw std::runtime_error("Cannot write file \"" + fileName_ + "\". " + direct_->errorString().toStdString());
}

// --- lines --------------------------------------------------------------------------------

namespace {

// The buffer of the last writer, kept for the next: a conversion makes
// several passes, and the fuzz target millions.
thread_local std::unique_ptr<char[]> SpareBuffer;

std::unique_ptr<char[]> takeBuffer()
{
    if (SpareBuffer)
        return std::move(SpareBuffer);
    return std::unique_ptr<char[]>(new char[LineWriter::BufferSize]);
}

} // namespace

LineWriter::LineWriter(TextSink& sink)
    : sink_(sink), buffer_(takeBuffer()), pos_(buffer_.get()), end_(buffer_.get() + BufferSize)
{
}

LineWriter::~LineWriter()
{
    if (!SpareBuffer)
        SpareBuffer = std::move(buffer_);
}

void LineWriter::putLong(std::string_view text)
{
    while (!text.empty()) {
        const size_t n = std::min(text.size(), BufferSize);
        char* p = room(n);
        std::memcpy(p, text.data(), n);
        pos_ = p + n;
        text.remove_prefix(n);
    }
}

void LineWriter::putNumber(long long value)
{
    if (value >= 0 && value < 10) {
        put(static_cast<char>('0' + value));
        return;
    }
    if (value >= 10 && value < 100) {
        char* p = room(2);
        p[0] = static_cast<char>('0' + value / 10);
        p[1] = static_cast<char>('0' + value % 10);
        pos_ = p + 2;
        return;
    }
    char digits[24];
    int n = 0;
    unsigned long long v = value < 0 ? 0ull - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0);
    if (value < 0)
        digits[n++] = '-';
    char* p = room(static_cast<size_t>(n));
    while (n > 0)
        *p++ = digits[--n];
    pos_ = p;
}

void LineWriter::makeRoom(size_t count)
{
    if (count > BufferSize)
        throw std::logic_error("a piece of a line larger than the line buffer");
    flush();
}

void LineWriter::flush()
{
    const size_t n = static_cast<size_t>(pos_ - buffer_.get());
    if (n == 0)
        return;
    sink_.write(buffer_.get(), n);
    flushed_ += n;
    pos_ = buffer_.get();
}

void LineWriter::rewrite(uint64_t offset, std::string_view text)
{
    if (offset >= flushed_) {
        std::memcpy(buffer_.get() + (offset - flushed_), text.data(), text.size());
        return;
    }
    flush();
    sink_.rewrite(offset, text.data(), text.size());
}
