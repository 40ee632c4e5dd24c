// A link on a pseudo-terminal whose other end is the stand-in with its file
// transfers, and a temporary folder for the files.
#pragma once

#include "FileTransfer.h"
#include "PSQuarnComms.h"
#include "Standin.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>
#include <string>
#include <vector>

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::mapComPort(1, sensor.slavePath());
        link.OnDebugText = [this](QObject*, const std::string& t) { debug.push_back(t); };
        ASSERT_TRUE(link.OpenPort("Com1", 19200)) << (debug.empty() ? "" : debug.back());
    }
    void TearDown() override { testsupport::clearComPortMap(); }

    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }

    static void write(const std::string& name, const standin::Bytes& b)
    {
        std::ofstream(name, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    }
    static standin::Bytes read(const std::string& name)
    {
        std::ifstream in(name, std::ios::binary);
        return standin::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static bool exists(const std::string& name) { return std::ifstream(name).good(); }

    // Content codes of the frames the PC sent, in order.
    std::vector<uint8_t> requestContents() const
    {
        std::vector<uint8_t> out;
        for (const auto& r : sensor.requests())
            out.push_back(r.frame.content);
        return out;
    }
    std::string requestHex() const
    {
        const auto c = requestContents();
        return standin::hex(c.data(), c.size());
    }
    bool debugHas(const std::string& text) const
    {
        for (const auto& d : debug)
            if (d.find(text) != std::string::npos)
                return true;
        return false;
    }

    standin::Standin sensor;
    standin::FileTransfer transfer{sensor};
    TQuarnComms link{nullptr};
    std::vector<std::string> debug;
    QTemporaryDir dir;
};
