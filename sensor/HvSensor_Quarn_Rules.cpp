// Schedule and trigger rules: channel lists with the channels they depend on,
// the monitor selection, and the bookkeeping of schedule records, trigger
// entries and their methods. Pure image work; nothing here talks to the
// logger.
#include "SensorImageModel.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

// Records 1 to ScheduleCount - 1 take part in the rules; the image has room
// for no more than its 7 records, whatever the count byte says.
int scheduleLimit(const ConfigurationData& conf)
{
    return std::min<int>(conf.ScheduleCount, ScheduleRecordCount);
}

int scheduleChannelCount(const ScheduleSetupData& schedule)
{
    return std::min<int>(schedule.ChannelCount, TSensorImageModel::MaxScheduleChannels);
}

// A dependency walk visits each channel once per path (a loop in the image
// ends there) and stops after this many visits in all, so a pathological
// image cannot make it run away; real chains are a few channels long.
constexpr int ExpansionBudget = 4096;

// The walk inserts near the front of a list that may grow to the budget: a
// deque does that in constant time, so a pathological image costs thousands
// of steps, not millions of moves.
void insertChannel(std::deque<std::string>& list, int channel, int position)
{
    const std::string text = std::to_string(channel);
    if (list.empty() || position < 0 || position >= static_cast<int>(list.size()))
        list.push_back(text);
    else
        list.insert(list.begin() + position, text);
}

void addDependencies(const CalibrationData& cal, std::deque<std::string>& list, int channel, int position,
                     std::vector<int>& path, int& budget)
{
    if (budget <= 0)
        return;
    --budget;
    insertChannel(list, channel, position);
    if (channel >= ImageChannelCount ||
        std::find(path.begin(), path.end(), channel) != path.end())
        return;
    path.push_back(channel);
    const CalChannelData& record = cal.Channels[channel];
    if (record.SourceChannel < NoChannel)
        addDependencies(cal, list, record.SourceChannel, 0, path, budget);
    const int chain = std::min<int>(record.CompensationListCount, 5);
    for (int k = 0; k < chain; ++k) {
        const int n = record.CompensationNumbers[k];
        // A record beyond the compensation table is never read.
        if (n > MaxCompensationNumber)
            continue;
        const CompensationData& comp = cal.CompensationTable[n];
        for (int i = 0; i < 3; ++i)
            if (comp.InputChannels[i] < NoChannel)
                addDependencies(cal, list, comp.InputChannels[i], i, path, budget);
    }
    path.pop_back();
}

// Alphabetical order ignoring case; names equal but for case by their codes.
bool alphabetically(const std::string& a, const std::string& b)
{
    auto folded = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c + ('a' - 'A'));
        return s;
    };
    const std::string fa = folded(a), fb = folded(b);
    return fa != fb ? fa < fb : a < b;
}

// Appends each of `from` that `numbers` does not hold yet, up to the limit of
// a schedule's channel list; returns the new count.
int appendUnique(const std::vector<int>& from, int numbers[], int count)
{
    for (int channel : from) {
        if (count >= TSensorImageModel::MaxScheduleChannels)
            break;
        if (std::find(numbers, numbers + count, channel) == numbers + count)
            numbers[count++] = channel;
    }
    return count;
}

} // namespace

void TSensorImageModel::zz_backupMonitorSchedule(int* count, int channels[MaxScheduleChannels])
{
    const ScheduleSetupData& monitor = ConfData.Schedules[MonitorScheduleRecord];
    *count = monitor.ChannelCount;
    for (int i = 0; i < MaxScheduleChannels; ++i)
        channels[i] = monitor.Channels[i];
}

bool TSensorImageModel::zz_setMonitorSchedule(int count, const int channels[])
{
    count = std::clamp(count, 0, static_cast<int>(MaxScheduleChannels));
    ScheduleSetupData& monitor = ConfData.Schedules[MonitorScheduleRecord];
    monitor.ChannelCount = static_cast<uint8_t>(count);
    std::memset(monitor.Channels, 0, sizeof monitor.Channels);
    for (int i = 0; i < count; ++i)
        monitor.Channels[i] = static_cast<uint8_t>(channels[i] & 0xFF);
    return true;
}

void TSensorImageModel::zz_AddChannelDependencies(std::vector<std::string>& list, uint16_t channel, int position)
{
    std::deque<std::string> walk(std::make_move_iterator(list.begin()), std::make_move_iterator(list.end()));
    std::vector<int> path;
    int budget = ExpansionBudget;
    addDependencies(CalData, walk, channel, position, path, budget);
    list.assign(std::make_move_iterator(walk.begin()), std::make_move_iterator(walk.end()));
}

bool TSensorImageModel::zz_findChannelDependencies(int* count, int channels[MaxScheduleChannels])
{
    std::vector<std::string> list;
    zz_AddChannelDependencies(list, static_cast<uint16_t>(channels[0]), 0);
    std::vector<int> numbers;
    for (const std::string& entry : list) {
        const int channel = std::stoi(entry);
        if (std::find(numbers.begin(), numbers.end(), channel) == numbers.end())
            numbers.push_back(channel);
    }
    const int n = std::min<int>(static_cast<int>(numbers.size()), MaxScheduleChannels);
    std::copy(numbers.begin(), numbers.begin() + n, channels);
    *count = n;
    return true;
}

namespace {
// Channel numbers of the names, in order; names of no channel are left out.
template <typename Find>
std::vector<int> mapNames(const std::vector<std::string>& names, Find find)
{
    std::vector<int> mapped;
    for (size_t i = 0; i < names.size() && i < static_cast<size_t>(TSensorImageModel::MaxScheduleChannels); ++i) {
        const int channel = find(names[i]);
        if (channel >= 0)
            mapped.push_back(channel);
    }
    return mapped;
}

int composeList(const std::vector<int>& combined, int numbers[])
{
    // Nothing to schedule still gives a valid list: channel 0 alone.
    if (combined.empty()) {
        numbers[0] = 0;
        return 1;
    }
    numbers[0] = combined.front();
    return appendUnique(combined, numbers, 1);
}
} // namespace

uint16_t TSensorImageModel::composeScheduleChannelsList(const std::vector<std::string>& names,
                                                    int numbers[MaxScheduleChannels])
{
    const std::vector<int> mapped = mapNames(names, [this](const std::string& n) { return findDepChannelNumber(n); });
    std::vector<int> combined;
    for (int channel : mapped) {
        int deps[MaxScheduleChannels] = {channel};
        int count = 0;
        zz_findChannelDependencies(&count, deps);
        combined.insert(combined.end(), deps, deps + count);
    }
    return static_cast<uint16_t>(composeList(combined, numbers));
}

int TSensorImageModel::composeMonitoScheduleChannelsList(const std::vector<std::string>& names,
                                                     int numbers[MaxScheduleChannels])
{
    return composeList(mapNames(names, [this](const std::string& n) { return findDepChannelNumber(n); }), numbers);
}

int TSensorImageModel::GetNextAvailableClearedSchedule()
{
    for (int s = FirstUserSchedule; s <= LastUserSchedule; ++s)
        if (ConfData.Schedules[s].InUse == 0)
            return s;
    return 0;
}

void TSensorImageModel::GetTriggerableChannels(std::vector<std::string>& list)
{
    list.clear();
    std::vector<std::string> names;
    const int limit = scheduleLimit(ConfData);
    for (int r = 1; r < limit; ++r) {
        const ScheduleSetupData& schedule = ConfData.Schedules[r];
        if (schedule.InUse != 1 || schedule.StartByTime == 0)
            continue;
        for (int i = 0; i < scheduleChannelCount(schedule); ++i) {
            const int channel = schedule.Channels[i];
            if (channel < ImageChannelCount && CalData.Channels[channel].Enabled)
                names.push_back(ImageText(CalData.Channels[channel].Name));
        }
    }
    std::sort(names.begin(), names.end(), alphabetically);
    for (const std::string& name : names)
        if (std::find(list.begin(), list.end(), name) == list.end())
            list.push_back(name);
}

int TSensorImageModel::GetNextFreeTrigger()
{
    for (int t = 1; t < TriggerEntryCount; ++t)
        if (ConfData.Triggers[t].InUse == 0)
            return t;
    return -1;
}

void TSensorImageModel::ValidateTriggers()
{
    for (int t = 0; t < TriggerEntryCount; ++t) {
        if (!ConfData.Triggers[t].InUse)
            continue;
        bool referred = false;
        for (int j = 0; j < MethodEntryCount && !referred; ++j)
            referred = ConfData.Methods[j].TriggerNumbers[0] == t;
        if (!referred)
            std::memset(&ConfData.Triggers[t], 0, sizeof(TriggerSetupData));
    }
}

bool TSensorImageModel::CheckTriggeredScheduleDependency(int record)
{
    if (record < 0 || record >= ScheduleRecordCount)
        return false;
    const ScheduleSetupData& target = ConfData.Schedules[record];
    if (target.StartByTime == 0 || target.StopByTime == 0)
        return false;

    const int limit = scheduleLimit(ConfData);
    std::vector<int> triggerChannels;
    auto takeTrigger = [&](const MethodSetupData& method) {
        const int t = method.TriggerNumbers[0];
        if (method.Enabled && t < TriggerEntryCount)
            triggerChannels.push_back(ConfData.Triggers[t].Channel);
    };
    for (int j = 1; j < limit; ++j) {
        const ScheduleSetupData& schedule = ConfData.Schedules[j];
        if (schedule.StartByTime != 0 && schedule.StopByTime != 0)
            continue;
        takeTrigger(ConfData.Methods[j]);
        takeTrigger(ConfData.Methods[j + StopMethodOffset]);
    }

    std::vector<bool> struck(triggerChannels.size(), false);
    for (int i = 1; i < limit; ++i) {
        const ScheduleSetupData& schedule = ConfData.Schedules[i];
        if (i == record || schedule.StartByTime != 1)
            continue;
        for (size_t c = 0; c < triggerChannels.size(); ++c) {
            const uint8_t* begin = schedule.Channels;
            const uint8_t* end = begin + scheduleChannelCount(schedule);
            if (std::find(begin, end, triggerChannels[c]) != end)
                struck[c] = true;
        }
    }
    return std::find(struck.begin(), struck.end(), false) != struck.end();
}
