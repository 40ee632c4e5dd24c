// Writes the seed corpus of fuzz_records into the folder given: record
// streams of every type made by the stand-in's record generator, a long run
// of a logging sensor, escapes in every field, and some faulty streams.
#include "FuzzSeeds.h"
#include "RecordGenerator.h"

#include <array>
#include <string>

using standin::Bytes;
namespace record = standin::record;

int main(int argc, char** argv)
{
    const std::string folder = fuzzseeds::folderFrom(argc, argv);
    const Timestamp t{24, 6, 26, 14, 30, 5};
    std::array<uint8_t, 13> tips{};
    tips[0] = 0x80;
    tips[12] = 0x01;

    standin::RecordGenerator each(t);
    each.add(record::Null, {});
    each.add(record::ScheduleData, record::scheduleData(1, {0, 1, 2}, {1.5f, -2.0f, 0.0f}));
    each.add(record::ScheduleData, record::scheduleData(2, {3}, {1, 2}, 2));
    each.startLogging("JS", "Deployed", 42);
    each.add(record::TriggerEvent, record::triggerEvent(3, {1}, {21.5f}));
    each.add(record::SamplerEvent, record::samplerEvent(2, 3.25f));
    each.add(record::SamplerEvent, record::samplerEvent(1, record::NoValue));
    each.add(record::AlarmEvent, record::alarmEvent(4, {2}, {-1.0f}));
    each.add(record::SystemLog, record::systemLog(1));
    each.add(record::DataVariation, record::dataVariation(5, 7.25f));
    each.add(record::RainEvent, record::rainEvent(1, 1, t, tips));
    each.add(record::RainMissingEvent, record::rainMissingEvent(-3));
    each.add(record::UnnamedCB, record::unnamedCB(1, 2));
    each.add(record::SboxStatus, record::sboxStatus({1, 0, 0xFF, 0x2A, 0, 0, 0, 0, 0, 0, 0, 3}));
    each.add(record::Notify, record::notify("Battery low"));
    each.visit("AB", "Sampled at bridge");
    each.stopLogging("AB", "Recovered");
    fuzzseeds::save(folder, "every-type", each.stream());

    standin::RecordGenerator escapes(t);
    escapes.add(record::Comment, record::comment("V\xFD\xFE_____\xFE\xFD"), {0xFE, 0xFD, 0xFE});
    escapes.add(record::ScheduleData, record::scheduleData(1, {2}, {-1.1754942e-38f}), {0xFD, 0, 0});
    fuzzseeds::save(folder, "escapes", escapes.stream());

    standin::RecordGenerator faults(t);
    faults.add(record::SystemLog, record::systemLog(6));
    faults.addRaw(record::frame(record::SystemLog, t, {1}, {}, true));
    faults.addRaw(record::frame(record::Null, Timestamp{24, 2, 30, 24, 0, 0}, {}));
    faults.addRaw(record::frame(0xCE, t, {}));
    const Bytes cut = record::frame(record::Comment, t, record::comment("SJS_____cut"));
    faults.addRaw(Bytes(cut.begin(), cut.begin() + 14));
    fuzzseeds::save(folder, "faults", faults.stream());

    standin::LoggerState state;
    state.start = t;
    state.schedules = {{1, {0, 1, 2, 3}, 60}, {2, {2, 5}, 300}};
    standin::RecordGenerator run(t);
    run.run(state, 4000);
    fuzzseeds::save(folder, "run", run.stream());

    Bytes shortHeader = {'H'};
    shortHeader.insert(shortHeader.end(), 100, 0xFE);
    fuzzseeds::save(folder, "short-header", shortHeader);
    return 0;
}
