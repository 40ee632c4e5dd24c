// The Collect page: downloading the logged data, converting it into the graph
// and CSV files, and opening the files of the sensor's folder.
#include "SensorFormUnit.h"

// Filled by the data collection work.
void TSensorForm::CollectDataBtnClick() {}

// Filled by the data collection work.
void TSensorForm::DownloadLoggerData(const std::string& /*baseName*/, bool /*newData*/) {}

// Filled by the data collection work.
void TSensorForm::DlCollectionOptionsClick() {}

// Filled by the data collection work.
void TSensorForm::DlFileListBoxClick() {}

// Filled by the data collection work.
void TSensorForm::DlFileListBoxDblClick(QObject* /*Sender*/) {}

// Filled by the data collection work.
void TSensorForm::DlOpenFileBtnClick() {}

// Filled by the data collection work.
void TSensorForm::DlOpenExplorerBtnClick() {}

// Filled by the data collection work.
void TSensorForm::LaunchGraphViewer(const std::string& /*viewerName*/, const std::string& /*filePath*/) {}
