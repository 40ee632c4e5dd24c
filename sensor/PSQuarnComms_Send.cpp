// Files to the logger: the images, coded when that makes them smaller, sent in
// acknowledged blocks.
#include "PSQuarnComms.h"

#include "FileHandle.h"
#include "filecompression.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <sys/stat.h>

bool TQuarnComms::SendFile(const std::string& name, uint8_t compress, enLinkStatus& status)
{
    ReplyAborted = false;
    TransferAborted = false;
    uint32_t exchange = 0;

    // Only a file can be sent: a missing name or a folder fails here, with
    // a status that says so and nothing on the line.
    struct stat info {};
    const int found = ::stat(name.c_str(), &info) == 0 ? 0 : errno;
    if (found != 0 || !S_ISREG(info.st_mode)) {
        const std::string why = found != 0 ? std::strerror(found)
                                : S_ISDIR(info.st_mode) ? std::string("it is a folder")
                                                        : std::string("it is not a file");
        Debug("Cannot read " + name + ": " + why);
        status = lsFileError;
        return false;
    }

    const std::string base = TFileCompression::baseName(name);
    const std::string wrapper = base + ".cmp";
    const std::string checkCopy = base + ".bindup";
    const auto removeTemporaries = [&] {
        for (const std::string& temp : {wrapper, checkCopy})
            if (temp != name)
                std::remove(temp.c_str());
    };

    std::string toSend = name;
    if (compress) {
        std::unique_ptr<TFileCompression> coder(new TFileCompression(this));
        // The coded form must expand back to the very file before it is used;
        // when anything here fails the temporary files stay for inspection.
        if (!coder->compressFileName(base, TFileCompression::extension(name)) ||
            !coder->decompressFileName(base, ".bindup") || !coder->areFilesSame(name, checkCopy)) {
            Debug("Cannot prepare " + name + " for sending");
            status = lsFileError;
            return false;
        }
        const bool smaller = coder->getFileLength(wrapper) < coder->getFileLength(name);
        if (!coder->RLE_EncodeFile(name, smaller)) {
            Debug("Cannot prepare " + name + " for sending");
            status = lsFileError;
            removeTemporaries();
            return false;
        }
        toSend = wrapper;
    }

    OwnedFile owned = openFile(toSend, "rb");
    std::FILE* file = owned.get();
    if (!file) {
        Debug("Cannot read " + toSend + ": " + std::strerror(errno));
        status = lsFileError;
        removeTemporaries();
        return false;
    }

    BufferFrameData out;
    std::memset(&out, 0, sizeof out);
    BufferFrameData in;
    std::memset(&in, 0, sizeof in);
    bool readFailed = false;
    const auto sendNextBlock = [&](uint8_t content) {
        const size_t n = std::fread(out.Data, 1, FileSendBlock, file);
        if (std::ferror(file)) {
            const int e = errno;
            readFailed = true;
            Debug("Cannot read " + toSend + ": " + std::strerror(e));
        }
        out.Content = static_cast<enFrameContent>(content);
        out.Length = static_cast<uint32_t>(n);
        return SendFrameAwaitReply(out, in, 1, 3);
    };
    const auto abortSend = [&] {
        out.Content = fcFileSenderAbort;
        out.Length = 0;
        const uint8_t r = SendFrameAwaitReply(out, in, 1, 3);
        if (r != lsOk)
            status = static_cast<enLinkStatus>(r);
        else
            status = in.Content == fcFileReceiverAbort ? lsTransferAborted : lsUnexpectedReply;
    };

    bool result = false;
    uint8_t r = lsOk;
    if (TransferAborted) {
        abortSend();
    } else if ((r = sendNextBlock(fcFileFirstBlock)) != lsOk) {
        status = static_cast<enLinkStatus>(r);
    } else {
        for (;;) {
            // A file that cannot be read to its end is given up like a
            // user's abort, so the logger drops what it has.
            if (TransferAborted || readFailed) {
                abortSend();
                break;
            }
            if ((in.Content == fcFileStart && exchange == 0) || (in.Content == fcFileNextEven && exchange > 0)) {
                if (std::feof(file)) {
                    out.Content = fcFileEnd;
                    out.Data[0] = 0xFE;
                    out.Data[1] = 0xFF;
                    out.Length = 2;
                    r = SendFrameAwaitReply(out, in, 1, 3);
                } else {
                    r = sendNextBlock(fcFileBlockEven);
                }
                if (r != lsOk) {
                    status = static_cast<enLinkStatus>(r);
                    break;
                }
            } else if (in.Content == fcFileDone && exchange > 0) {
                status = lsOk;
                result = true;
                break;
            } else {
                status = lsUnexpectedReply;
                break;
            }
            ++exchange;
        }
    }
    owned.reset();
    removeTemporaries();
    return result;
}
