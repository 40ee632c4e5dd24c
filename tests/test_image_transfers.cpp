// The device model moves its two images to and from the stand-in logger,
// backs them up under the sensor's ID and restores them, and waits for files
// held by other programs.
#include "Dialogs.h"
#include "FileTransfer.h"
#include "Folders.h"
#include "ImageBuilder.h"
#include "SensorFixture.h"

#include <QDir>
#include <QFileInfo>

#include <cstring>
#include <fstream>
#include <unistd.h>

using standin::Bytes;
using standin::Response;
using standin::Responses;

namespace {

template <typename Image>
Bytes bytesOf(const Image& image)
{
    return standin::imageBytes(image);
}

Bytes readFile(const std::string& name)
{
    std::ifstream in(name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& name, const Bytes& b)
{
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Images of another sensor, with their CRC fields set.
standin::SensorImages otherImages()
{
    standin::SensorImages images = standin::defaultImages();
    SetImageText(images.cal.SensorName, "Other");
    images.conf.FormatVersion[0] = '3';
    images.cal.SensorID[3] ^= 0x01;
    standin::setImageCrc(images.conf);
    standin::setImageCrc(images.cal);
    return images;
}

class ImageTransfers : public SensorFixture {
protected:
    void SetUp() override
    {
        SensorFixture::SetUp();
        transfer.serveImages(sensor, model);
    }
    void TearDown() override
    {
        Dialogs::setHook(nullptr);
        for (const char* f : {"Conf.bin", "Cal.bin", "Conf.cmp", "Cal.cmp"})
            std::remove((device->DataFolder + f).c_str());
        QDir(QString::fromStdString(device->BackupFolder)).removeRecursively();
        QDir().mkpath(QString::fromStdString(device->BackupFolder));
        SensorFixture::TearDown();
    }

    // Content codes and command bytes of what the PC sent, as "00 04 8A 8B".
    std::string dialogue()
    {
        std::string out;
        for (const auto& r : sensor.requests()) {
            const uint8_t code = r.frame.content == 0x80 && !r.frame.data.empty() ? r.frame.data[0] : r.frame.content;
            out += (out.empty() ? "" : " ") + standin::hex({code});
        }
        return out;
    }
    bool noWorkingFiles() const
    {
        for (const char* f : {"Conf.bin", "Cal.bin", "Conf.cmp", "Cal.cmp", "Conf.bindup", "Cal.bindup"})
            if (FileExists(device->DataFolder + f))
                return false;
        return true;
    }
    std::vector<std::string> backupFolderFiles() const
    {
        std::vector<std::string> names;
        for (const QString& n : QDir(QString::fromStdString(device->BackupFolder))
                                    .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name))
            names.push_back(n.toStdString());
        return names;
    }

    standin::FileTransfer transfer{sensor};
};

} // namespace

TEST_F(ImageTransfers, FetchesAndSendsBothImages)
{
    const standin::SensorImages logger = sensor.images();
    EXPECT_TRUE(device->getConfigurationData());
    EXPECT_EQ(bytesOf(device->ConfData), bytesOf(logger.conf));
    EXPECT_TRUE(device->getCalibrationData());
    EXPECT_EQ(bytesOf(device->CalData), bytesOf(logger.cal));
    EXPECT_EQ(device->LastStatus, lsOk);
    EXPECT_TRUE(noWorkingFiles());
    // Null command, get command, then the transfer, one block per request.
    EXPECT_EQ(dialogue().substr(0, 11), "00 04 8A 8B");

    // Changed images go back, each with a fresh CRC.
    clear();
    SetImageText(device->CalData.SensorName, "Renamed");
    device->ConfData.FormatVersion[0] = '4';
    EXPECT_TRUE(device->sendCalibrationData());
    EXPECT_TRUE(device->sendConfigurationData());
    EXPECT_EQ(device->LastStatus, lsOk);
    const standin::SensorImages now = sensor.images();
    standin::SensorImages expected{device->ConfData, device->CalData};
    standin::setImageCrc(expected.conf);
    standin::setImageCrc(expected.cal);
    EXPECT_EQ(bytesOf(now.cal), bytesOf(expected.cal));
    EXPECT_EQ(bytesOf(now.conf), bytesOf(expected.conf));
    EXPECT_EQ(ImageText(now.cal.SensorName), "Renamed");
    EXPECT_TRUE(noWorkingFiles());
    EXPECT_EQ(dialogue().substr(0, 8), "00 07 87");
}

TEST_F(ImageTransfers, FetchesBothImagesThroughStrayBytesAheadOfEveryFrame)
{
    // At the line's rate, with a stray byte ahead of the answer to every new
    // request: each exchange goes out once more and both images arrive.
    sensor.setLineRate(19200);
    sensor.setNoise({{0x00}, {}, true, {}});
    const standin::SensorImages logger = sensor.images();
    EXPECT_TRUE(device->getConfigurationData());
    EXPECT_TRUE(device->getCalibrationData());
    EXPECT_EQ(device->LastStatus, lsOk);
    EXPECT_EQ(bytesOf(device->ConfData), bytesOf(logger.conf));
    EXPECT_EQ(bytesOf(device->CalData), bytesOf(logger.cal));
    EXPECT_TRUE(noWorkingFiles());
    // Null, get, start, then each block, every exchange twice.
    EXPECT_EQ(dialogue().substr(0, 23), "00 00 04 04 8A 8A 8B 8B");
    expectEveryExchangeRepeatedOnce();
}

TEST_F(ImageTransfers, FailedFetchLeavesTheImageAlone)
{
    const Bytes before = bytesOf(device->ConfData);
    const auto offerOnGet = [this](Bytes wrapper) {
        sensor.onCommand(4, [this, wrapper](const standin::Frame&) {
            transfer.offer(wrapper);
            return Responses{Response::reply(4, {})};
        });
    };
    struct Case {
        const char* what;
        std::function<void()> arrange;
        uint16_t status;
    };
    const Case cases[] = {
        {"the logger refuses the command",
         [this] { model->update([](standin::SensorState& s) { s.refuse[4] = 0x85; }); }, 0xFF85},
        {"an image too short", [&] { offerOnGet(standin::wrapFile(Bytes(2000, 0x01))); }, lsOk},
        {"an image too long", [&] { offerOnGet(standin::wrapFile(Bytes(2854, 0x01), true)); }, lsOk},
        {"coded data cut inside a literal", [&] { offerOnGet({0x01, 0x10, 0x00, 0x7F, 'a', 'b', 0xFF, 0xFF}); }, lsOk},
        {"the transfer broken off",
         [this] {
             sensor.script({Response::byHandler(), Response::byHandler(),
                            Response::frame(0x87, standin::wrapFile(Bytes(100, 0), false)),
                            Response::frame(0x89, {0xFE, 0x00})});
         },
         lsUnexpectedReply},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        c.arrange();
        EXPECT_FALSE(device->getConfigurationData());
        EXPECT_EQ(device->LastStatus, c.status);
        EXPECT_EQ(bytesOf(device->ConfData), before);
        EXPECT_TRUE(noWorkingFiles());
        model->update([](standin::SensorState& s) { s.refuse.clear(); });
        transfer.serveImages(sensor, model);
    }
}

TEST_F(ImageTransfers, BackupStoresBothImagesUnderTheSensorId)
{
    ASSERT_TRUE(device->getCalibrationData());
    const standin::SensorImages logger = sensor.images();
    EXPECT_TRUE(device->BackupCalConfig());
    const std::string base = device->BackupFolder + standin::SensorIdText;
    EXPECT_EQ(readFile(base + ".cal"), bytesOf(logger.cal));
    EXPECT_EQ(readFile(base + ".cfg"), bytesOf(logger.conf));
    EXPECT_EQ(bytesOf(device->ConfData), bytesOf(logger.conf)); // the images are refreshed too
    EXPECT_TRUE(noWorkingFiles());

    // A backup that fails half-way leaves the earlier backup as it was.
    sensor.setImages(otherImages());
    model->update([](standin::SensorState& s) { s.refuse[4] = 0x85; });
    EXPECT_FALSE(device->BackupCalConfig());
    EXPECT_EQ(readFile(base + ".cal"), bytesOf(logger.cal));
    EXPECT_EQ(readFile(base + ".cfg"), bytesOf(logger.conf));
    EXPECT_TRUE(noWorkingFiles());
}

TEST_F(ImageTransfers, BackupNamesStayInsideTheBackupFolder)
{
    struct Case {
        std::string id;
        std::string file; // without extension
    };
    const Case cases[] = {
        {"", ""},
        {"../../evil", ".._.._evil"},
        {"a/b", "a_b"},
        {"..\\..\\x", ".._.._x"},
        {"/etc/passwd", "_etc_passwd"},
        {"..", ".."},
    };
    const std::string outside = QFileInfo(QString::fromStdString(device->BackupFolder + "../../evil.cal"))
                                    .absoluteFilePath()
                                    .toStdString();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        standin::SensorImages images = standin::defaultImages();
        SetImageText(images.cal.SensorID, c.id);
        standin::setImageCrc(images.cal);
        sensor.setImages(images);
        ASSERT_TRUE(device->getCalibrationData()); // the ID as the sensor reports it
        EXPECT_TRUE(device->BackupCalConfig());
        std::vector<std::string> expected{c.file + ".cal", c.file + ".cfg"};
        std::sort(expected.begin(), expected.end());
        auto found = backupFolderFiles();
        EXPECT_EQ(found, expected);
        for (const std::string& f : found)
            std::remove((device->BackupFolder + f).c_str());
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(outside)));

    // An ID field without its terminating zero is read to its end only.
    standin::SensorImages images = standin::defaultImages();
    std::memset(images.cal.SensorID, 'Z', sizeof images.cal.SensorID);
    sensor.setImages(images);
    ASSERT_TRUE(device->getCalibrationData());
    EXPECT_TRUE(device->BackupCalConfig());
    EXPECT_TRUE(FileExists(device->BackupFolder + std::string(16, 'Z') + ".cal"));
}

TEST_F(ImageTransfers, RestoreSendsTheBackupsAsStored)
{
    ASSERT_TRUE(device->getCalibrationData());
    ASSERT_TRUE(device->BackupCalConfig());
    const std::string base = device->BackupFolder + standin::SensorIdText;
    const Bytes calBackup = readFile(base + ".cal");
    const Bytes confBackup = readFile(base + ".cfg");

    // The logger's images change; the restore puts the backups back.
    sensor.setImages(otherImages());
    clear();
    EXPECT_TRUE(device->RestoreCalConfig());
    EXPECT_EQ(bytesOf(sensor.images().cal), calBackup);
    EXPECT_EQ(bytesOf(sensor.images().conf), confBackup);
    EXPECT_EQ(bytesOf(device->CalData), calBackup);
    // One null command before the calibration image, none before the other.
    const std::string d = dialogue();
    EXPECT_EQ(d.substr(0, 8), "00 07 87");
    EXPECT_NE(d.find("89 05 87"), std::string::npos) << d;
    EXPECT_EQ(d.find("00", 1), std::string::npos) << d;
    EXPECT_FALSE(FileExists(base + ".cmp"));
    EXPECT_FALSE(FileExists(base + ".bindup"));
}

TEST_F(ImageTransfers, SensorIdsThatDifferAboveAsciiKeepTheirOwnBackups)
{
    // Latin-1 IDs that differ only in a byte above 127.
    struct Sensor {
        const char* id;
        const char* file; // the backup's base name, as the file system shows it (UTF-8)
        const char* name;
        standin::SensorImages images;
    };
    Sensor sensors[] = {{"QS10\xE9", "QS10\xC3\xA9", "First", standin::defaultImages()},
                        {"QS10\xE8", "QS10\xC3\xA8", "Second", standin::defaultImages()}};
    for (Sensor& s : sensors) {
        SetImageText(s.images.cal.SensorID, s.id);
        SetImageText(s.images.cal.SensorName, s.name);
        standin::setImageCrc(s.images.cal);
        sensor.setImages(s.images);
        ASSERT_TRUE(device->getCalibrationData());
        ASSERT_TRUE(device->BackupCalConfig()) << s.name;
    }
    std::vector<std::string> expected;
    for (const Sensor& s : sensors)
        for (const char* ext : {".cal", ".cfg"})
            expected.push_back(std::string(s.file) + ext);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(backupFolderFiles(), expected);

    // Each sensor gets its own images back after they were changed.
    for (const Sensor& s : sensors) {
        SCOPED_TRACE(s.name);
        standin::SensorImages changed = s.images;
        SetImageText(changed.cal.SensorName, "Changed");
        changed.conf.MemoryWrap ^= 1;
        standin::setImageCrc(changed.cal);
        standin::setImageCrc(changed.conf);
        sensor.setImages(changed);
        ASSERT_TRUE(device->getCalibrationData());
        EXPECT_TRUE(device->RestoreCalConfig());
        EXPECT_EQ(ImageText(sensor.images().cal.SensorName), s.name);
        EXPECT_TRUE(bytesOf(sensor.images().cal) == bytesOf(s.images.cal));
        EXPECT_TRUE(bytesOf(sensor.images().conf) == bytesOf(s.images.conf));
    }
}

TEST_F(ImageTransfers, RestoreWithoutAWholeBackupSendsNothingItShouldNot)
{
    ASSERT_TRUE(device->getCalibrationData());
    const std::string base = device->BackupFolder + standin::SensorIdText;
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::string sent; // dialogue prefix, empty for nothing
    };
    const Case cases[] = {
        {"no backup", [] {}, ""},
        {"calibration backup of the wrong size", [&] { writeFile(base + ".cal", Bytes(3000, 0)); }, ""},
        {"no configuration backup",
         [&] { writeFile(base + ".cal", bytesOf(device->CalData)); std::remove((base + ".cfg").c_str()); },
         "00 07 87"},
        {"configuration backup of the wrong size",
         [&] {
             writeFile(base + ".cal", bytesOf(device->CalData));
             writeFile(base + ".cfg", Bytes(100, 1));
         },
         "00 07 87"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        c.arrange();
        bool calibrationRestored = c.sent.empty(); // the opposite of what it must become
        EXPECT_FALSE(device->RestoreCalConfig(&calibrationRestored));
        EXPECT_EQ(calibrationRestored, !c.sent.empty());
        const std::string d = dialogue();
        EXPECT_EQ(d.substr(0, c.sent.size()), c.sent);
        if (c.sent.empty()) {
            EXPECT_TRUE(d.empty()) << d;
        } else {
            EXPECT_EQ(d.find(" 05"), std::string::npos) << d;
        }
    }
}

TEST_F(ImageTransfers, FileInUseIsWaitedFor)
{
    const std::string folder = device->DataFolder;
    const std::string free = folder + "free.csv";
    writeFile(free, {'x'});
    EXPECT_FALSE(device->IsFileInUse(folder + "missing.csv"));
    EXPECT_FALSE(device->IsFileInUse(free));
    EXPECT_EQ(readFile(free), Bytes{'x'}); // looking does not change it

    // A file that cannot be opened for appending (this one leads to a file
    // of the system that takes no writing) counts as in use until the user
    // does something about it.
    const std::string held = folder + "held.csv";
    ASSERT_EQ(::symlink("/proc/version", held.c_str()), 0);
    EXPECT_TRUE(device->IsFileInUse(held));
    std::vector<QString> shown;
    Dialogs::setHook([&](const ShownMessage& m) {
        shown.push_back(m.text);
        if (shown.size() == 2)
            std::remove(held.c_str());
        return int(mrOk);
    });
    EXPECT_TRUE(device->MakeFileAvailable(held));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "Unable to open/create file held.csv, Please close the file and press OK.");
    shown.clear();
    EXPECT_TRUE(device->MakeFileAvailable(free));
    EXPECT_TRUE(device->MakeFileAvailable(folder + "missing.csv"));
    EXPECT_TRUE(shown.empty());

    // A file that stays in use can be given up: Cancel ends the asking.
    ASSERT_EQ(::symlink("/proc/version", held.c_str()), 0);
    std::vector<ShownMessage> asked;
    Dialogs::setHook([&](const ShownMessage& m) {
        asked.push_back(m);
        return int(mrCancel);
    });
    EXPECT_FALSE(device->MakeFileAvailable(held));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].buttons, mbOKCancel);
    std::remove(held.c_str());
    std::remove(free.c_str());
}
