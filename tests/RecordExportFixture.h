// Shared by the graph-file and CSV tests: a small sensor's images, download
// files built from generated record streams, and the written lines.
#pragma once

#include "RecordGenerator.h"
#include "sonderecordcmd.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace exportfixture {

using standin::Bytes;

inline void setText(char* field, size_t size, const std::string& text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(size, text.size()));
}

struct Channel {
    uint8_t number;
    const char* name;
    const char* units;
    uint8_t precision;
};

// Channels 1 Level (metres, 3 decimals), 2 Temp (Celsius, 2), 3 Cond
// (uS/cm, 0), 5 pH (pH, 2) and 12 Turbidity (NTU, 1); schedules 1 "Hourly"
// and 2 "Fast"; sampler channel 2.
inline const std::vector<Channel>& channels()
{
    static const std::vector<Channel> list = {
        {1, "Level", "Metres", 3}, {2, "Temp", "Celsius", 2}, {3, "Cond", "uS/cm", 0},
        {5, "pH", "pH", 2},        {12, "Turbidity", "NTU", 1},
    };
    return list;
}

struct Images {
    CalibrationData cal{};
    ConfigurationData conf{};
    Images()
    {
        setText(cal.SensorName, sizeof cal.SensorName, "Riverside");
        setText(cal.SensorID, sizeof cal.SensorID, "SN1042");
        for (const Channel& c : channels()) {
            cal.Channels[c.number].Enabled = 1;
            setText(cal.Channels[c.number].Name, sizeof cal.Channels[c.number].Name, c.name);
            setText(cal.Channels[c.number].UnitsText, sizeof cal.Channels[c.number].UnitsText, c.units);
            conf.ChannelSetup[c.number].Precision = c.precision;
        }
        setText(conf.Schedules[1].Name, sizeof conf.Schedules[1].Name, "Hourly");
        setText(conf.Schedules[2].Name, sizeof conf.Schedules[2].Name, "Fast");
        conf.SamplerChannel = 2;
    }
};

class ExportTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Images images;

    std::string path(const std::string& name) const { return (dir.path() + "/").toStdString() + name; }

    std::string writeDownload(const Bytes& stream, const std::string& name = "data.bin") const
    {
        const Bytes bytes = standin::downloadFile(images.cal, images.conf, stream);
        return writeBytes(bytes, name);
    }
    std::string writeBytes(const Bytes& bytes, const std::string& name) const
    {
        const std::string p = path(name);
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p;
    }

    // The file's lines; every line must end in CR LF.
    static std::vector<std::string> readLines(const std::string& p)
    {
        std::ifstream in(p, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < text.size()) {
            const size_t end = text.find("\r\n", start);
            if (end == std::string::npos) {
                ADD_FAILURE() << "last line without CR LF: " << text.substr(start);
                lines.push_back(text.substr(start));
                break;
            }
            lines.push_back(text.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    std::vector<std::string> graph(const Bytes& stream)
    {
        const std::string in = writeDownload(stream);
        TSondeRecordCmd cmd(nullptr);
        EXPECT_TRUE(cmd.CreateTessaloomFile(in, path("data.dat"), nullptr, nullptr, false));
        return readLines(path("data.dat"));
    }

    std::vector<std::string> csv(const Bytes& stream)
    {
        const std::string in = writeDownload(stream);
        TSondeRecordCmd cmd(nullptr);
        EXPECT_TRUE(cmd.CreateCSVFile(in, path("data.csv"), nullptr, nullptr, false));
        return readLines(path("data.csv"));
    }
};

inline Bytes frame(uint8_t type, const Timestamp& t, const Bytes& payload)
{
    return standin::record::frame(type, t, payload);
}

inline Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace exportfixture
