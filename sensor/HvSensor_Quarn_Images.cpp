// The configuration and calibration images: their files, the defaults of a
// free schedule record, the format check with the upgrade of older images,
// and the pressure datum.
#include "SensorImageModel.h"

#include "FileHandle.h"
#include "PSQuarnComms.h"
#include "SysUtils.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Datum (or user calibration) and pressure user calibration entries of a
// channel's compensation list.
constexpr int DatumRole = 3;
constexpr int PressureUserCalRole = 1;

// The image as the CRC and the files see it: raw bytes.
template <typename Image>
uint8_t* bytesOf(Image& image)
{
    return reinterpret_cast<uint8_t*>(&image);
}

template <typename Image>
bool writeImage(Image* image, size_t crcSpan, const std::string& fileName)
{
    try {
        image->CRC = TQuarnComms::blockCalcCcittCrc(bytesOf(*image), 0, crcSpan);
        const char* bytes = reinterpret_cast<const char*>(bytesOf(*image));
        const auto size = static_cast<qint64>(sizeof(Image));
        // Written beside the old file and put in its place only when whole:
        // a backup is rewritten over the last one, which a full disk must not
        // destroy. A failed write leaves no file of its own behind. Only a
        // regular file is replaced so; anything else is written as it is.
        const QFileInfo target(QString::fromLocal8Bit(fileName.c_str()));
        if (target.exists() && !target.isFile()) {
            QFile f(target.filePath());
            return f.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && f.write(bytes, size) == size;
        }
        // Unbuffered, so that a short write shows in write()'s result.
        QSaveFile f(target.filePath());
        if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        if (f.write(bytes, size) != size) {
            f.cancelWriting();
            return false;
        }
        return f.commit();
    } catch (...) {
        // Whatever stopped the write, the caller is told it failed.
        return false;
    }
}

// Up to one image's worth of bytes from the start of `data`.
template <typename Image>
void imageFromBytes(const uint8_t* data, size_t size, Image* image)
{
    if (size > 0)
        std::memcpy(bytesOf(*image), data, size < sizeof(Image) ? size : sizeof(Image));
}

template <typename Image>
bool readImage(const std::string& fileName, Image* image)
{
    try {
        const OwnedFile f = openFile(fileName, "rb");
        if (!f)
            return false;
        // Read aside first, so that a read error leaves the image as it was.
        std::vector<uint8_t> buffer(sizeof(Image));
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), f.get());
        if (std::ferror(f.get()) != 0)
            return false;
        imageFromBytes(buffer.data(), got, image);
        return true;
    } catch (...) {
        // Whatever stopped the read, the caller is told it failed and the
        // image is as it was.
        return false;
    }
}

Timestamp firstOfJanuary(int year)
{
    Timestamp t{};
    t.Year = static_cast<uint8_t>(year - 2000);
    t.Month = 1;
    t.Day = 1;
    return t;
}

Timestamp startOfThisYear()
{
    return firstOfJanuary(QDate::currentDate().year());
}

// A schedule's default run: started and stopped by time, from the start of
// this year to 2099.
void setDefaultTimes(ScheduleSetupData& s)
{
    s.StartByTime = 1;
    s.StopByTime = 1;
    s.StartTime = startOfThisYear();
    s.StopTime = firstOfJanuary(2099);
}

float formatVersionOf(const char (&field)[8])
{
    return static_cast<float>(StrToFloat(ImageText(field)));
}

void setFormatVersion3(char (&field)[8])
{
    SetImageText(field, "3.0");
}

} // namespace

bool TSensorImageModel::WriteBinConf(ConfigurationData* conf, const std::string& fileName)
{
    return writeImage(conf, ConfigurationCrcSpan, fileName);
}

bool TSensorImageModel::ReadBinConf(const std::string& fileName, ConfigurationData* conf)
{
    return readImage(fileName, conf);
}

void TSensorImageModel::ReadBinConf(const uint8_t* data, size_t size, ConfigurationData* conf)
{
    imageFromBytes(data, size, conf);
}

void TSensorImageModel::ReadBinCal(const uint8_t* data, size_t size, CalibrationData* cal)
{
    imageFromBytes(data, size, cal);
}

bool TSensorImageModel::WriteBinCal(CalibrationData* cal, const std::string& fileName)
{
    return writeImage(cal, CalibrationCrcSpan, fileName);
}

bool TSensorImageModel::ReadBinCal(const std::string& fileName, CalibrationData* cal)
{
    return readImage(fileName, cal);
}

void TSensorImageModel::ClearSchedule(int record)
{
    if (record < 0 || record >= ScheduleRecordCount)
        return;
    ScheduleSetupData& s = ConfData.Schedules[record];
    s.Enabled = 0;
    s.InUse = 0;
    std::memset(s.Name, 0, sizeof s.Name);
    setDefaultTimes(s);
    s.MaxScans = 0;
    s.ChannelCount = 0;
    std::memset(s.Channels, 0, sizeof s.Channels);
    s.AuxList1Count = 0;
    std::memset(s.AuxList1, 0, sizeof s.AuxList1);
    s.AuxList2Count = 0;
    std::memset(s.AuxList2, 0, sizeof s.AuxList2);
    s.ScanTime = 6000; // one minute
    s.AverageCount = 1;
    s.AverageInterval = 0;
    s.RecordMultiple = 1;
    for (const int m : {record, record + StopMethodOffset}) {
        MethodSetupData& method = ConfData.Methods[m];
        method.Enabled = 0;
        method.MethodType = 0;
        std::memset(method.TriggerNumbers, 0, sizeof method.TriggerNumbers);
        method.ScheduleNumber = 0;
        method.Action = 0;
    }
}

bool TSensorImageModel::verifyConfigFile()
{
    if (formatVersionOf(ConfData.FormatVersion) >= 3.0f)
        return true;

    setFormatVersion3(ConfData.FormatVersion);
    ConfData.Reserved51 = 0;

    ScheduleSetupData& first = ConfData.Schedules[FirstUserSchedule];
    first.Enabled = 1;
    first.InUse = 1;
    first.Name[sizeof first.Name - 1] = 0;
    setDefaultTimes(first);

    for (int r = FirstUserSchedule + 1; r <= SpareScheduleRecord; ++r)
        ClearSchedule(r);
    ConfData.ScheduleCount = 2;

    for (AuxTriggerSetupData& t : ConfData.AuxTriggers) {
        t.InUse = 0;
        t.Channel = 255;
        t.SetPoint = 0;
        t.ReEnableValue = 0;
        t.Condition = 255;
    }
    ConfData.AuxTriggerCount = 0;
    for (AuxMethodSetupData& m : ConfData.AuxMethods) {
        std::memset(&m, 0, sizeof m);
        m.Action = 5;
    }
    ConfData.AuxMethodCount = 0;
    std::memset(ConfData.Triggers, 0, sizeof ConfData.Triggers);
    ConfData.TriggerCount = 0;
    std::memset(ConfData.Methods, 0, sizeof ConfData.Methods);
    ConfData.MethodCount = 0;
    return false;
}

bool TSensorImageModel::verifyCalFile()
{
    if (formatVersionOf(CalData.FormatVersion) >= 3.0f)
        return true;

    setFormatVersion3(CalData.FormatVersion);

    // Older images may lack the terminating zero of their text fields.
    static const size_t terminators[] = {17,   47,   77,   85,   117,  1531, 1545, 1559, 1576,
                                         1707, 1838, 1969, 2100, 2231, 2363, 2378, 2393, 2408};
    uint8_t* bytes = bytesOf(CalData);
    for (const size_t offset : terminators)
        bytes[offset] = 0;
    for (CalChannelData& ch : CalData.Channels) {
        ch.Name[sizeof ch.Name - 1] = 0;
        ch.UnitsText[sizeof ch.UnitsText - 1] = 0;
    }

    // Older images kept the datum and the pressure user calibration in each
    // other's place.
    for (const CalChannelData& ch : CalData.Channels) {
        if (GetBaseUnitType(ch.UnitsCode) != 0)
            continue;
        const int datum = ch.CompensationNumbers[DatumRole];
        const int userCal = ch.CompensationNumbers[PressureUserCalRole];
        if (datum == userCal || !IsValidCompensation(CalData, datum) || !IsValidCompensation(CalData, userCal))
            continue;
        float kept[5];
        std::memcpy(kept, CalData.CompensationTable[datum].Coeffs, sizeof kept);
        std::memcpy(CalData.CompensationTable[datum].Coeffs, CalData.CompensationTable[userCal].Coeffs, sizeof kept);
        std::memcpy(CalData.CompensationTable[userCal].Coeffs, kept, sizeof kept);
    }
    return false;
}

bool TSensorImageModel::SetPressureChannelDatum(uint16_t channel, const float coeffs[5])
{
    if (channel >= ImageChannelCount)
        return false;
    const int number = CalData.Channels[channel].CompensationNumbers[DatumRole];
    if (!IsValidCompensation(CalData, number))
        return false;
    std::memcpy(CalData.CompensationTable[number].Coeffs, coeffs, 5 * sizeof(float));
    return true;
}

bool TSensorImageModel::GetPressureChannelDatum(uint16_t channel, float coeffs[5]) const
{
    if (channel >= ImageChannelCount)
        return false;
    const int number = CalData.Channels[channel].CompensationNumbers[DatumRole];
    if (!IsValidCompensation(CalData, number))
        return false;
    std::memcpy(coeffs, CalData.CompensationTable[number].Coeffs, 5 * sizeof(float));
    return true;
}
