// Time-outs and tries of the commands against a logger that stays silent.
// Each case waits out real time-outs, so each is its own test and CTest can
// run them side by side.
#include "SensorFixture.h"

#include <gtest/gtest.h>

using namespace testsupport;
using standin::Response;

namespace {

struct SilentCase {
    const char* name;
    standin::Bytes request;
    std::function<bool(TSensor_Quarn&, uint16_t*)> statusForm;
    int silentTries; // tries that get no answer before the logger answers (all: none)
    int timeout;     // seconds per wait
    size_t sends;
    bool ok;
};

void PrintTo(const SilentCase& c, std::ostream* os)
{
    *os << c.name;
}

class SilentLogger : public SensorFixture, public ::testing::WithParamInterface<SilentCase> {};

} // namespace

TEST_P(SilentLogger, WaitsItsTimeOutPerTryThenSendsAgain)
{
    const SilentCase& c = GetParam();
    standin::Responses answers(size_t(c.silentTries), Response::silence());
    answers.push_back(Response::byHandler());
    sensor.script(answers);
    uint16_t status = 0xABCD;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(c.statusForm(*device, &status), c.ok);
    const double seconds = secondsSince(start);
    EXPECT_EQ(status, c.ok ? lsOk : lsNoReply);
    const auto frames = requests(c.sends);
    EXPECT_EQ(frames.size(), c.sends);
    for (const auto& f : frames)
        EXPECT_EQ(commandWire(f.data), commandWire(c.request));
    const double expected = double(c.silentTries) * c.timeout;
    EXPECT_GE(seconds, expected - 0.05);
    EXPECT_LT(seconds, expected + 1.0);
}

// Sends with no answer at all: tries + 1 (one before each wait, one after
// the last). Time-outs: one silent try, then the answer on the next send.
INSTANTIATE_TEST_SUITE_P(
    Commands, SilentLogger,
    ::testing::Values(
        SilentCase{"NullCommandSevenTries", {0x00},
                   [](TSensor_Quarn& d, uint16_t* st) {
                       const bool ok = d.NullCommand();
                       *st = d.LastStatus;
                       return ok;
                   },
                   7, 1, 8, false},
        SilentCase{"LoggerStatusThreeTries", {0x13},
                   [](TSensor_Quarn& d, uint16_t* st) {
                       ReplyBuffer reply{};
                       uint16_t length = 0;
                       return d.LoggerStatus(st, reply, length);
                   },
                   3, 3, 4, false},
        SilentCase{"WipeNowOneTry", {0x1B}, [](TSensor_Quarn& d, uint16_t* st) { return d.WipeNowCommand(st); }, 1,
                   15, 2, false},
        SilentCase{"LogCommentTimeOut", {0x08, 'x', 0x00},
                   [](TSensor_Quarn& d, uint16_t* st) { return d.LogComment("x", st); }, 1, 3, 2, true},
        SilentCase{"StopSchedulerTimeOut", {0x11}, [](TSensor_Quarn& d, uint16_t* st) { return d.StopScheduler(st); },
                   1, 5, 2, true},
        SilentCase{"GetDateTimeBoundsTimeOut", {0x01},
                   [](TSensor_Quarn& d, uint16_t* st) {
                       Timestamp a{}, b{};
                       return d.GetDateTimeBounds(&a, &b, st);
                   },
                   1, 10, 2, true}),
    [](const ::testing::TestParamInfo<SilentCase>& p) { return std::string(p.param.name); });
