// The stand-in logger's memory of records and the address-range command
// (2): it maps a time range to the memory addresses of the records inside it,
// and the next file retrieval then sends exactly those bytes of the stream.
#pragma once

#include "CommandSet.h"
#include "FileTransfer.h"
#include "RecordGenerator.h"
#include "Standin.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace standin {

namespace cmd {
constexpr uint8_t RetrieveData = 2;
} // namespace cmd

class Logger {
public:
    // Memory address of the first byte of the stream.
    static constexpr uint32_t BaseAddress = 0x00010000;

    struct RangeRequest {
        Timestamp from{};
        Timestamp to{};
        uint32_t start = 0;
        uint32_t end = 0;
    };

    // Answers command 2 on `sensor` and offers the range's bytes to
    // `transfer`; keeps the bounds the model reports in step with the
    // memory. The handler holds the logger's state, so the stand-in may
    // outlive this object.
    Logger(Standin& sensor, FileTransfer& transfer, std::shared_ptr<SensorModel> model);

    // Changes the memory (records are added through the generator) and
    // brings the reported bounds and memory use up to date.
    void update(const std::function<void(RecordGenerator&)>& change);
    Bytes stream() const;
    std::vector<RecordGenerator::Entry> index() const;

    // Replies the next range request with these addresses instead, and
    // sends `sendCount` bytes of the stream from the start address on (as
    // many as exist; by default end - start). `firstByte` sends them from
    // that offset of the stream instead, for addresses outside the memory's.
    void answerNextRangeWith(uint32_t start, uint32_t end, std::optional<size_t> sendCount = std::nullopt,
                             std::optional<size_t> firstByte = std::nullopt);
    std::vector<RangeRequest> requests() const;

private:
    struct State;
    std::shared_ptr<State> d_;
};

} // namespace standin
