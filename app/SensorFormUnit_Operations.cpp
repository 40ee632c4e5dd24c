// Operations that change the sensor or its images: starting and stopping
// logging, the set-up dialog, channel calibration and the pressure datum,
// backup and restore of both images, and the monitor file.
#include "SensorFormUnit.h"

// Filled by the operations work.
void TSensorForm::SetupSensor() {}

// Filled by the operations work.
void TSensorForm::StartStopBtn2Click() {}

// Filled by the operations work.
void TSensorForm::ChannelNameBoxChange() {}

// Filled by the operations work.
void TSensorForm::UcStartCalibrationBtnClick() {}

// Filled by the operations work.
bool TSensorForm::ConfigureDatum()
{
    return false;
}

// Filled by the operations work.
void TSensorForm::BackupBtnClick() {}

// Filled by the operations work.
void TSensorForm::RestoreBtnClick() {}

// Filled by the operations work.
void TSensorForm::ViewMonitorDataBtnClick() {}
