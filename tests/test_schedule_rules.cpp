// Schedule and trigger rules on the device model's images.
#include "HvSensor_Quarn.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

class ScheduleRules : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(&sensor.CalData, 0, sizeof sensor.CalData);
        std::memset(&sensor.ConfData, 0, sizeof sensor.ConfData);
        sensor.CalData.ChannelCount = 36;
        sensor.CalData.CompensationCount = 20;
        for (int c = 0; c < 36; ++c) {
            CalChannelData& ch = sensor.CalData.Channels[c];
            ch.Enabled = 1;
            SetImageText(ch.Name, "Ch" + std::to_string(c));
            ch.SourceChannel = NoChannel;
        }
        for (auto& comp : sensor.CalData.CompensationTable)
            std::memset(comp.InputChannels, NoChannel, sizeof comp.InputChannels);
        sensor.ConfData.ScheduleCount = 5;
    }

    CalChannelData& channel(int c) { return sensor.CalData.Channels[c]; }
    void setName(int c, const std::string& name) { SetImageText(channel(c).Name, name); }
    // Channel c reads compensation n, whose inputs are a, b, d.
    void compensate(int c, int n, uint8_t a, uint8_t b, uint8_t d)
    {
        CalChannelData& ch = channel(c);
        ch.CompensationNumbers[ch.CompensationListCount++] = static_cast<uint8_t>(n);
        uint8_t* in = sensor.CalData.CompensationTable[n].InputChannels;
        in[0] = a;
        in[1] = b;
        in[2] = d;
    }
    ScheduleSetupData& schedule(int s) { return sensor.ConfData.Schedules[s]; }
    void useSchedule(int s, bool startByTime, bool stopByTime, std::vector<uint8_t> channels)
    {
        ScheduleSetupData& r = schedule(s);
        r.InUse = 1;
        r.StartByTime = startByTime;
        r.StopByTime = stopByTime;
        r.ChannelCount = static_cast<uint8_t>(channels.size());
        std::copy(channels.begin(), channels.end(), r.Channels);
    }
    // Method entry m is trigger-driven by trigger t on channel c.
    void trigger(int m, int t, uint8_t c)
    {
        sensor.ConfData.Methods[m].Enabled = 1;
        sensor.ConfData.Methods[m].MethodType = 1;
        sensor.ConfData.Methods[m].TriggerNumbers[0] = static_cast<uint8_t>(t);
        sensor.ConfData.Triggers[t].InUse = 1;
        sensor.ConfData.Triggers[t].Channel = c;
    }

    std::vector<int> dependencies(int c)
    {
        int numbers[25] = {c};
        int count = -1;
        EXPECT_TRUE(sensor.zz_findChannelDependencies(&count, numbers));
        return std::vector<int>(numbers, numbers + count);
    }
    std::vector<int> scheduleList(const std::vector<std::string>& names)
    {
        int numbers[25] = {};
        const int count = sensor.composeScheduleChannelsList(names, numbers);
        return std::vector<int>(numbers, numbers + count);
    }
    std::vector<int> monitorList(const std::vector<std::string>& names)
    {
        int numbers[25] = {};
        const int count = sensor.composeMonitoScheduleChannelsList(names, numbers);
        return std::vector<int>(numbers, numbers + count);
    }

    TSensor_Quarn sensor{nullptr};
};

using V = std::vector<int>;

TEST_F(ScheduleRules, DependenciesComeBeforeTheChannelThatNeedsThem)
{
    channel(5).SourceChannel = 3;
    EXPECT_EQ(dependencies(5), V({3, 5}));
    EXPECT_EQ(scheduleList({"Ch5"}), V({3, 5}));

    // A chain of sources: each lands in front.
    channel(10).SourceChannel = 9;
    channel(9).SourceChannel = 8;
    EXPECT_EQ(dependencies(10), V({8, 9, 10}));

    // Compensation inputs go to the place of their input slot.
    compensate(7, 2, 4, NoChannel, 6);
    std::vector<std::string> list;
    sensor.zz_AddChannelDependencies(list, 7, 0);
    EXPECT_EQ(list, std::vector<std::string>({"4", "7", "6"}));
    // Into a list that holds something: at the position, or at the end.
    list = {"20", "21"};
    sensor.zz_AddChannelDependencies(list, 3, 1);
    EXPECT_EQ(list, std::vector<std::string>({"20", "3", "21"}));
    sensor.zz_AddChannelDependencies(list, 11, 9);
    EXPECT_EQ(list, std::vector<std::string>({"20", "3", "21", "11"}));

    // Only the first CompensationListCount numbers count.
    compensate(12, 3, 13, NoChannel, NoChannel);
    channel(12).CompensationListCount = 0;
    EXPECT_EQ(dependencies(12), V({12}));
}

TEST_F(ScheduleRules, OverlappingNamesGiveEachChannelOnceAtItsFirstPlace)
{
    channel(5).SourceChannel = 3;
    channel(6).SourceChannel = 3;
    compensate(6, 4, 2, NoChannel, NoChannel);
    // 5 -> 3 5; 6 -> 2 3 6 (input 2 at place 0, then the source 3 at place 0
    // before it was expanded: 3 6 then 2 3 6).
    EXPECT_EQ(dependencies(6), V({2, 3, 6}));
    EXPECT_EQ(scheduleList({"Ch5", "Ch6"}), V({3, 5, 2, 6}));
    EXPECT_EQ(monitorList({"Ch5", "Ch6", "Ch5"}), V({5, 6}));
}

TEST_F(ScheduleRules, NoNamesOrUnknownNamesGiveChannelZero)
{
    EXPECT_EQ(scheduleList({}), V({0}));
    EXPECT_EQ(monitorList({}), V({0}));
    EXPECT_EQ(scheduleList({"nothing"}), V({0}));
    // Names are compared exactly, and only among the channel records in use.
    EXPECT_EQ(monitorList({"ch5", "Ch5"}), V({5}));
    sensor.CalData.ChannelCount = 5;
    EXPECT_EQ(monitorList({"Ch5", "Ch4"}), V({4}));
}

TEST_F(ScheduleRules, ListsStopAtTwentyFiveChannels)
{
    std::vector<std::string> names;
    for (int c = 0; c < 30; ++c)
        names.push_back("Ch" + std::to_string(c));
    V first25;
    for (int c = 0; c < 25; ++c)
        first25.push_back(c);
    EXPECT_EQ(monitorList(names), first25);
    EXPECT_EQ(scheduleList(names), first25);

    // One channel depending on 32 others: 15 inputs, each with a source.
    for (int k = 0; k < 5; ++k)
        compensate(35, k + 1, uint8_t(3 * k), uint8_t(3 * k + 1), uint8_t(3 * k + 2));
    for (int c = 0; c < 15; ++c)
        channel(c).SourceChannel = uint8_t(c + 15);
    channel(35).SourceChannel = 30;
    channel(30).SourceChannel = 31;
    channel(31).SourceChannel = 32;
    const V deps = dependencies(35);
    EXPECT_EQ(deps.size(), 25u);
    EXPECT_EQ(scheduleList({"Ch35"}).size(), 25u);
}

TEST_F(ScheduleRules, LoopsAndBrokenReferencesEnd)
{
    channel(1).SourceChannel = 2;
    channel(2).SourceChannel = 1;
    EXPECT_EQ(dependencies(1), V({1, 2}));
    channel(4).SourceChannel = 4;
    EXPECT_EQ(dependencies(4), V({4}));
    // A compensation number beyond the table is never read.
    channel(8).CompensationListCount = 1;
    channel(8).CompensationNumbers[0] = 200;
    channel(8).CompensationListCount = 9; // more than the five places
    EXPECT_EQ(dependencies(8), V({8}));

    // Every channel computed from all channels below it: the walk ends soon.
    for (int c = 1; c < 36; ++c) {
        channel(c).SourceChannel = uint8_t(c - 1);
        for (int k = 0; k < 5; ++k) {
            channel(c).CompensationNumbers[k] = uint8_t(1 + (c * 5 + k) % 90);
        }
        channel(c).CompensationListCount = 5;
    }
    for (int n = 1; n <= 90; ++n)
        for (int i = 0; i < 3; ++i)
            sensor.CalData.CompensationTable[n].InputChannels[i] = uint8_t((n + i * 7) % 36);
    const auto start = std::chrono::steady_clock::now();
    const V deps = dependencies(35);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_LE(deps.size(), 25u);
    EXPECT_FALSE(deps.empty());
}

TEST_F(ScheduleRules, MonitorSelectionInAndOut)
{
    std::memset(schedule(0).Channels, 9, 25);
    const int channels[] = {1, 258, 7};
    EXPECT_TRUE(sensor.zz_setMonitorSchedule(3, channels));
    EXPECT_EQ(schedule(0).ChannelCount, 3);
    const uint8_t expected[25] = {1, 2, 7};
    EXPECT_EQ(0, std::memcmp(schedule(0).Channels, expected, 25));

    int count = 0;
    int out[25];
    sensor.zz_backupMonitorSchedule(&count, out);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(V(out, out + 4), V({1, 2, 7, 0}));

    int many[40];
    for (int i = 0; i < 40; ++i)
        many[i] = i + 1;
    sensor.zz_setMonitorSchedule(40, many);
    EXPECT_EQ(schedule(0).ChannelCount, 25);
    EXPECT_EQ(schedule(0).Channels[24], 25);
    EXPECT_EQ(schedule(1).Enabled, 0) << "nothing written past the record's channel list";
}

TEST_F(ScheduleRules, FreeSchedulesAndTriggers)
{
    useSchedule(1, true, true, {1});
    useSchedule(2, true, true, {1});
    EXPECT_EQ(sensor.GetNextAvailableClearedSchedule(), 3);
    useSchedule(3, true, true, {1});
    useSchedule(4, true, true, {1});
    EXPECT_EQ(sensor.GetNextAvailableClearedSchedule(), 0);

    EXPECT_EQ(sensor.GetNextFreeTrigger(), 1);
    for (int t = 1; t < 32; ++t)
        sensor.ConfData.Triggers[t].InUse = 1;
    EXPECT_EQ(sensor.GetNextFreeTrigger(), -1) << "entry 0 is never handed out";
    sensor.ConfData.Triggers[17].InUse = 0;
    EXPECT_EQ(sensor.GetNextFreeTrigger(), 17);
}

TEST_F(ScheduleRules, ValidateTriggersFreesEntriesNoMethodRefersTo)
{
    trigger(1, 3, 5);   // start of schedule 1
    trigger(12, 4, 6);  // stop of schedule 2
    sensor.ConfData.Triggers[4].SetPoint = 2.5f;
    sensor.ConfData.Triggers[9].InUse = 1; // nobody's
    sensor.ConfData.Triggers[9].Channel = 7;
    // A disabled method still holds its trigger.
    sensor.ConfData.Methods[20].TriggerNumbers[0] = 11;
    sensor.ConfData.Triggers[11].InUse = 1;

    sensor.ValidateTriggers();
    EXPECT_EQ(sensor.ConfData.Triggers[3].InUse, 1);
    EXPECT_EQ(sensor.ConfData.Triggers[4].InUse, 1);
    EXPECT_EQ(sensor.ConfData.Triggers[11].InUse, 1);
    const TriggerSetupData zero{};
    EXPECT_EQ(0, std::memcmp(&sensor.ConfData.Triggers[9], &zero, sizeof zero));

    // The stop of schedule 2 switches from trigger to time.
    sensor.ConfData.Methods[12] = MethodSetupData{};
    sensor.ValidateTriggers();
    EXPECT_EQ(0, std::memcmp(&sensor.ConfData.Triggers[4], &zero, sizeof zero));
    EXPECT_EQ(sensor.ConfData.Triggers[3].InUse, 1);
}

TEST_F(ScheduleRules, TriggerableChannelsAreThoseOfTimeStartedSchedules)
{
    setName(2, "Depth");
    setName(5, "Cond");
    setName(9, "battery");
    setName(3, "Temp");
    channel(3).Enabled = 0;
    useSchedule(1, true, false, {2, 5, 3});
    useSchedule(2, false, true, {7});    // started by a trigger
    useSchedule(3, true, true, {5, 9});
    schedule(3).ChannelCount = 2;
    useSchedule(5, true, true, {11});    // beyond ScheduleCount
    std::vector<std::string> list{"old"};
    sensor.GetTriggerableChannels(list);
    EXPECT_EQ(list, std::vector<std::string>({"battery", "Cond", "Depth"}));

    schedule(3).InUse = 0;
    sensor.GetTriggerableChannels(list);
    EXPECT_EQ(list, std::vector<std::string>({"Cond", "Depth"}));
}

TEST_F(ScheduleRules, ScheduleHoldingTheOnlyTimeCopyOfATriggerChannelCannotBeDeleted)
{
    useSchedule(1, true, true, {2, 5});
    useSchedule(2, false, true, {8}); // starts when channel 5 rises
    trigger(2, 1, 5);
    EXPECT_TRUE(sensor.CheckTriggeredScheduleDependency(1));
    EXPECT_FALSE(sensor.CheckTriggeredScheduleDependency(2)) << "a triggered schedule itself may go";

    useSchedule(3, true, true, {5});
    EXPECT_FALSE(sensor.CheckTriggeredScheduleDependency(1));
    EXPECT_FALSE(sensor.CheckTriggeredScheduleDependency(3));

    // A stop trigger counts too; a schedule started by trigger does not
    // strike a channel.
    useSchedule(4, true, false, {1});
    trigger(14, 2, 2);
    EXPECT_TRUE(sensor.CheckTriggeredScheduleDependency(1));
    schedule(2).Channels[0] = 2;
    schedule(2).ChannelCount = 1;
    EXPECT_TRUE(sensor.CheckTriggeredScheduleDependency(1));
    // A trigger number past the table is ignored.
    sensor.ConfData.Methods[14].TriggerNumbers[0] = 200;
    EXPECT_FALSE(sensor.CheckTriggeredScheduleDependency(1));
}

} // namespace
