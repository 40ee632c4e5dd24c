#include "Reference.h"

#include <algorithm>
#include <cstring>

namespace standin {

void Reference::place(uint8_t channel, double value)
{
    std::lock_guard<std::mutex> lock(mutex_);
    channels_[channel].value = value;
}

void Reference::setError(uint8_t channel, double gain, double offset)
{
    std::lock_guard<std::mutex> lock(mutex_);
    channels_[channel].gain = gain;
    channels_[channel].offset = offset;
}

void Reference::silence(uint8_t channel, bool silent)
{
    std::lock_guard<std::mutex> lock(mutex_);
    channels_[channel].silent = silent;
}

double Reference::raw(uint8_t channel) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = channels_.find(channel);
    if (it == channels_.end())
        return 0;
    return it->second.value * it->second.gain + it->second.offset;
}

bool Reference::silent(uint8_t channel) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = channels_.find(channel);
    return it != channels_.end() && it->second.silent;
}

double reportedValue(const CalibrationData& cal, uint8_t channel, double raw)
{
    if (channel >= ImageChannelCount)
        return raw;
    const CalChannelData& record = cal.Channels[channel];
    double x = raw;
    const int chain = std::min<int>(record.CompensationListCount, 5);
    for (int k = 1; k < chain; ++k) {
        const int n = record.CompensationNumbers[k];
        if (n < 1 || n > cal.CompensationCount || n > MaxCompensationNumber)
            continue;
        float c[5];
        std::memcpy(c, reinterpret_cast<const uint8_t*>(&cal.CompensationTable[n]) + offsetof(CompensationData, Coeffs),
                    sizeof c);
        x = c[0] + x * (c[1] + x * (c[2] + x * (c[3] + x * c[4])));
    }
    return x;
}

std::vector<ChannelValue> monitorValues(const SensorImages& images, const Reference& reference)
{
    std::vector<ChannelValue> values;
    const ScheduleSetupData& monitor = images.conf.Schedules[MonitorScheduleRecord];
    const int count = std::min<int>(monitor.ChannelCount, 25);
    for (int i = 0; i < count; ++i) {
        const uint8_t c = monitor.Channels[i];
        if (c >= ImageChannelCount || !images.cal.Channels[c].Enabled)
            continue;
        ChannelValue v;
        v.head[0] = c;
        v.value = reference.silent(c) ? -1e10f : static_cast<float>(reportedValue(images.cal, c, reference.raw(c)));
        v.lastLogged = -1e10f;
        values.push_back(v);
    }
    return values;
}

std::shared_ptr<Reference> followReference(Standin& standin, std::shared_ptr<SensorModel> model)
{
    auto reference = std::make_shared<Reference>();
    Standin* sensor = &standin;
    standin.onCommand(cmd::CurrentValues, [sensor, model, reference](const Frame& request) {
        const std::vector<ChannelValue> values = monitorValues(sensor->images(), *reference);
        model->update([&](SensorState& s) { s.channels = values; });
        return model->answer(request);
    });
    return reference;
}

} // namespace standin
