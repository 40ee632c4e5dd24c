// The logger's side of the file transfers: it sends a file by the
// single-frame protocol (one block per request) or the multi-frame protocol
// (bursts of frames per request), as the PC asks, and receives files by the
// sending protocol. It can spoil what it sends on purpose to test the PC's
// recovery: noise, a dropped byte, a bad CRC, a repeated block, a burst cut
// short, wait frames, silence, and hanging up mid-transfer.
//
// Written from the frames and rules of the protocols, independently of the
// program's code. Its handlers run on the stand-in's thread; the methods here
// may be called from any thread.
#pragma once

#include "CommandSet.h"
#include "Framing.h"
#include "Standin.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// The logger's run-length coder and transfer wrapper.
Bytes rleEncode(const Bytes& file);
// Empty when a literal packet is cut short.
std::optional<Bytes> rleDecode(const Bytes& coded);
Bytes wrapFile(const Bytes& file, bool compressed);
// The compressed form when it is smaller, as the logger sends its images.
Bytes wrapFile(const Bytes& file);
// The file a wrapper carries; empty when the wrapper is malformed.
std::optional<Bytes> unwrapFile(const Bytes& wrapper);

// Bytes that look like a logger's record stream: records that begin with
// 0xFE, carry a type byte, a time and values, and end with their own CRC.
Bytes recordStream(size_t size, uint32_t seed);

enum class Fault { Noise, DroppedByte, BadCrc, RepeatedBlock, CutShort, WaitFrame, Silence, HangUp };
const char* faultName(Fault fault);

struct FaultPlan {
    std::vector<Fault> kinds;  // one is picked at random for each fault
    int bytesPerFault = 2048;  // mean distance between faults in data bytes sent
    uint32_t seed = 1;
    // Share of multi-frame recovery requests answered with a wait frame or
    // silence (a logger still busy after a failed burst), besides the faults
    // the distance above brings.
    int recoveryBusyPercent = 0;
};

struct TransferStats {
    size_t requests = 0;        // file-transfer frames the PC sent
    size_t bursts = 0;          // multi-frame data requests answered
    size_t recoveries = 0;      // multi-frame requests in the recovery form
    size_t wireBytesSent = 0;   // bytes the logger put on the line for transfers
    size_t dataBytesSent = 0;   // file bytes in the blocks it sent (repeats included)
    std::map<Fault, int> faults;
    std::vector<int> wantedCounts; // frame counts of the data requests, in order
    int totalFaults() const;
};

class FileTransfer {
public:
    explicit FileTransfer(Standin& sensor);
    FileTransfer(const FileTransfer&) = delete;
    FileTransfer& operator=(const FileTransfer&) = delete;

    // Data bytes per block, 1 to 509 (what a received frame may carry).
    void setBlockSize(size_t bytes);
    // The file the next retrieval sends.
    void offer(Bytes file);
    void setFaults(const FaultPlan& plan);
    void clearFaults();
    // Hangs up in the middle of the block during which this many data bytes
    // have been sent.
    void hangUpAfter(size_t dataBytes);

    // Called with the file a completed send carried (unwrapped and expanded);
    // returning false refuses it (the logger answers the end with an abort).
    void setOnReceived(std::function<bool(const Bytes& file)> handler);
    // Wrappers of the files the PC sent completely, in order.
    std::vector<Bytes> receivedWrappers() const;

    TransferStats stats() const;
    void resetStats();

    // Lets the image commands move the stand-in's images: after a get command
    // that `commands` accepts, the next retrieval sends that image (wrapped,
    // coded when smaller); after a put command a completed send of an image of
    // the right size replaces it, and anything else is refused.
    void serveImages(Standin& sensor, std::shared_ptr<SensorModel> commands);

private:
    // Shared with the handlers registered on the stand-in, which may run a
    // little longer than this object.
    struct State;
    std::shared_ptr<State> d_;
};

} // namespace standin
