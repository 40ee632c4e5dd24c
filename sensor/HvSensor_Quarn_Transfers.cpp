// Moving the two images between logger and PC, backing them up and restoring
// them, and making sure a file the program is about to write is not held by
// another program.
#include "HvSensor_Quarn.h"

#include "Dialogs.h"
#include "FileHandle.h"
#include "Folders.h"

#include <QString>

#include <cstdio>

namespace {

const char* const ConfFile = "Conf.bin";
const char* const CalFile = "Cal.bin";

// What arrives from the line is taken for an image only when it is exactly
// one image long: a shorter or longer expansion is a broken transfer.
template <typename Image>
bool holdsOneImage(const std::string& name)
{
    return fileSize(name) == static_cast<long>(sizeof(Image));
}

void removeIfThere(const std::string& name)
{
    if (FileExists(name))
        DeleteFile(name);
}

std::string withoutFolder(const std::string& name)
{
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

} // namespace

// ---------------------------------------------------------------------------
// Commands with their transfers

bool TSensor_Quarn::GetConfigurationFile(const std::string& fileName)
{
    LastStatus = lsNone;
    if (!NullCommand() || !GetConfigurationFile(&LastStatus))
        return false;
    enLinkStatus status = static_cast<enLinkStatus>(LastStatus);
    const bool ok = Comms->RetrieveCCFile(fileName, status);
    LastStatus = status;
    return ok;
}

bool TSensor_Quarn::GetCalibrationFile(const std::string& fileName)
{
    LastStatus = lsNone;
    if (!NullCommand() || !GetCalibrationFile(&LastStatus))
        return false;
    enLinkStatus status = static_cast<enLinkStatus>(LastStatus);
    const bool ok = Comms->RetrieveCCFile(fileName, status);
    LastStatus = status;
    return ok;
}

bool TSensor_Quarn::PutConfigurationFile(const std::string& fileName)
{
    LastStatus = lsNone;
    if (!NullCommand() || !PutConfigurationFile(&LastStatus))
        return false;
    enLinkStatus status = static_cast<enLinkStatus>(LastStatus);
    const bool ok = Comms->SendFile(fileName, 1, status);
    LastStatus = status;
    return ok;
}

bool TSensor_Quarn::PutCalibrationFile(const std::string& fileName)
{
    LastStatus = lsNone;
    if (!NullCommand() || !PutCalibrationFile(&LastStatus))
        return false;
    enLinkStatus status = static_cast<enLinkStatus>(LastStatus);
    const bool ok = Comms->SendFile(fileName, 1, status);
    LastStatus = status;
    return ok;
}

// ---------------------------------------------------------------------------
// Images in memory

bool TSensor_Quarn::getConfigurationData()
{
    const std::string file = DataFolder + ConfFile;
    const bool ok =
        GetConfigurationFile(file) && holdsOneImage<ConfigurationData>(file) && ReadBinConf(file, &ConfData);
    removeIfThere(file);
    return ok;
}

bool TSensor_Quarn::getCalibrationData()
{
    const std::string file = DataFolder + CalFile;
    const bool ok = GetCalibrationFile(file) && holdsOneImage<CalibrationData>(file) && ReadBinCal(file, &CalData);
    removeIfThere(file);
    return ok;
}

bool TSensor_Quarn::sendConfigurationData()
{
    const std::string file = DataFolder + ConfFile;
    const bool ok = WriteBinConf(&ConfData, file) && PutConfigurationFile(file);
    removeIfThere(file);
    return ok;
}

bool TSensor_Quarn::sendCalibrationData()
{
    const std::string file = DataFolder + CalFile;
    const bool ok = WriteBinCal(&CalData, file) && PutCalibrationFile(file);
    removeIfThere(file);
    return ok;
}

// ---------------------------------------------------------------------------
// Backups

std::string TSensor_Quarn::backupFileName(const std::string& extension) const
{
    // Read no further than the field, also when it lacks its zero. Every ID
    // has a name of its own: Latin-1 maps each byte to one character.
    return BackupFolder + Latin1ToPath(ImageText(CalData.SensorID)) + extension;
}

bool TSensor_Quarn::BackupCalConfig()
{
    // Both names from the ID as it is before the fetch refreshes the images.
    const std::string calBackup = backupFileName(".cal");
    const std::string confBackup = backupFileName(".cfg");
    // The images come through the working files, so that a fetch that fails
    // half-way never replaces a good backup.
    const std::string calFile = DataFolder + CalFile;
    const std::string confFile = DataFolder + ConfFile;
    bool ok = GetCalibrationFile(calFile) && holdsOneImage<CalibrationData>(calFile) && ReadBinCal(calFile, &CalData);
    ok = ok && GetConfigurationFile(confFile) && holdsOneImage<ConfigurationData>(confFile) &&
         ReadBinConf(confFile, &ConfData);
    removeIfThere(calFile);
    removeIfThere(confFile);
    // Written from memory: exactly one image each, with a fresh CRC.
    return ok && WriteBinCal(&CalData, calBackup) && WriteBinConf(&ConfData, confBackup);
}

bool TSensor_Quarn::RestoreCalConfig(bool* calibrationRestored)
{
    if (calibrationRestored)
        *calibrationRestored = false;
    const std::string calBackup = backupFileName(".cal");
    const std::string confBackup = backupFileName(".cfg");
    // A missing or damaged backup is not sent. Each image in memory takes
    // the backup's content only once the sensor has taken it, so that memory
    // holds what the sensor holds whatever step fails.
    CalibrationData cal{};
    if (!FileExists(calBackup) || !holdsOneImage<CalibrationData>(calBackup) || !ReadBinCal(calBackup, &cal))
        return false;
    if (!NullCommand() || !PutCalibrationFile(&LastStatus))
        return false;
    enLinkStatus status = static_cast<enLinkStatus>(LastStatus);
    bool ok = Comms->SendFile(calBackup, 1, status);
    LastStatus = status;
    if (!ok)
        return false;
    CalData = cal;
    if (calibrationRestored)
        *calibrationRestored = true;

    ConfigurationData conf{};
    if (!FileExists(confBackup) || !holdsOneImage<ConfigurationData>(confBackup) || !ReadBinConf(confBackup, &conf))
        return false;
    if (!PutConfigurationFile(&LastStatus))
        return false;
    status = static_cast<enLinkStatus>(LastStatus);
    ok = Comms->SendFile(confBackup, 1, status);
    LastStatus = status;
    if (ok)
        ConfData = conf;
    return ok;
}

// ---------------------------------------------------------------------------
// Files held by other programs

bool TSensor_Quarn::IsFileInUse(const std::string& fileName)
{
    if (!FileExists(fileName))
        return false;
    std::FILE* f = std::fopen(fileName.c_str(), "ab");
    if (!f)
        return true;
    std::fclose(f);
    return false;
}

bool TSensor_Quarn::MakeFileAvailable(const std::string& fileName)
{
    // A file that stays unwritable (a read-only file, a folder the user may
    // not write) would otherwise be asked about for ever: Cancel gives up.
    while (IsFileInUse(fileName)) {
        const int answer = MessageDlg(PathText("Unable to open/create file " + withoutFolder(fileName) +
                                               ", Please close the file and press OK."),
                                      mtWarning, mbOKCancel);
        if (answer != mrOk)
            return false;
    }
    return true;
}
