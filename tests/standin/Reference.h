// What the stand-in sensor is "placed in": the true value of each channel's
// quantity, and how far the sensor's raw reading strays from it. With it the
// current-values command reports what a real sonde would: the raw reading
// carried through the channel's compensation records of the stand-in's
// calibration image, for the enabled channels of its monitor selection. A
// calibration then has readings to work with, and its result shows in the
// values reported afterwards.
#pragma once

#include "CommandSet.h"
#include "ImageBuilder.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace standin {

class Reference {
public:
    // The true value of the channel's quantity, in its family's base unit.
    void place(uint8_t channel, double value);
    // The sensor's own error: its raw reading is value * gain + offset.
    void setError(uint8_t channel, double gain, double offset);
    // No reading at all for the channel (reported as -1e10).
    void silence(uint8_t channel, bool silent = true);
    double raw(uint8_t channel) const;
    bool silent(uint8_t channel) const;

private:
    struct Channel {
        double value = 0;
        double gain = 1;
        double offset = 0;
        bool silent = false;
    };
    mutable std::mutex mutex_;
    std::map<uint8_t, Channel> channels_;
};

// The value the logger reports for a raw reading: each compensation record of
// the channel's chain after the factor (entries 1 on) applied in turn as the
// polynomial c0 + c1 x + c2 x^2 + c3 x^3 + c4 x^4; numbers outside
// 1..CompensationCount are skipped.
double reportedValue(const CalibrationData& cal, uint8_t channel, double raw);

// The current values of the monitor selection (schedule record 0): one per
// enabled channel, in its order.
std::vector<ChannelValue> monitorValues(const SensorImages& images, const Reference& reference);

// From now on the current-values command of `standin` measures `reference`
// through the stand-in's images.
std::shared_ptr<Reference> followReference(Standin& standin, std::shared_ptr<SensorModel> model);

} // namespace standin
