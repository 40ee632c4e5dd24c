// A device model connected through a pseudo-terminal to the stand-in logger,
// which answers from its own sensor state.
#pragma once

#include "CommandSet.h"
#include "HvSensor_Quarn.h"
#include "Standin.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

class SensorFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::mapComPort(1, sensor.slavePath());
        device = std::make_unique<TSensor_Quarn>(nullptr);
        ASSERT_TRUE(device->StartComs("Com1", 19200));
    }
    void TearDown() override
    {
        device.reset();
        DateTimeClock::setSource(nullptr);
        testsupport::clearComPortMap();
    }

    // Decoded request frames, once at least `count` have arrived (and a moment
    // later, so that extra ones would show).
    std::vector<standin::Frame> requests(size_t count)
    {
        sensor.waitForRequests(count, 3000);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::vector<standin::Frame> frames;
        for (const auto& r : sensor.requests())
            frames.push_back(r.frame);
        return frames;
    }
    // With noise ahead of the answer to every new request: each exchange
    // went out twice in a row, the same frame both times, and every first
    // answer carried the noise.
    void expectEveryExchangeRepeatedOnce() const
    {
        const auto all = sensor.requests();
        ASSERT_EQ(all.size() % 2, 0u);
        for (size_t i = 0; i < all.size(); i += 2) {
            SCOPED_TRACE(i);
            EXPECT_EQ(all[i].frame.content, all[i + 1].frame.content);
            EXPECT_EQ(all[i].frame.data, all[i + 1].frame.data);
        }
        EXPECT_EQ(sensor.noisyAnswers(), static_cast<int>(all.size() / 2));
    }
    void clear()
    {
        sensor.clearScript();
        sensor.clearLog();
    }

    standin::Standin sensor;
    std::shared_ptr<standin::SensorModel> model = standin::installCommandSet(sensor);
    std::unique_ptr<TSensor_Quarn> device;
};

// The wire form of a command frame, as the logger decodes it.
inline std::string commandWire(const standin::Bytes& data)
{
    return standin::hex(standin::encodeFrame(0x80, data));
}
