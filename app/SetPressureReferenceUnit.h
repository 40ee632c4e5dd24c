// The datum dialog: how a depth or pressure channel reports the water level
// ("Depth", "Surface Level" or "Top of Case"), set from a reading of the
// channel and a reference value the user types. Each apply writes the
// channel's datum coefficients into the calibration image and sends it to
// the sensor. The main window opens it for one modal use with copies of both
// images aside: "Commit changes" keeps what was sent, "Cancel" has the main
// window put the copies back and send the calibration image again.
#pragma once

#include "Forms.h"
#include "SensorImages.h"

#include <QPixmap>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class TDlProgForm;
class TMemo;
class TRadioGroup;
class TSensor_Quarn;
struct SensorStatusData;

enum enDatumMode : uint8_t {
    dmDepth = 0,        // the water column above the sensor
    dmSurfaceLevel = 1, // the water surface above a datum below it
    dmTopOfCase = 2,    // from a datum above the water down to its surface
};

class TSetPressureReferenceForm : public TForm {
    Q_OBJECT
public:
    // `owner` is the main window; the images, the status block and the
    // device model are the device model's own, edited in place.
    TSetPressureReferenceForm(QWidget* owner, ConfigurationData* conf, CalibrationData* cal, SensorStatusData* status,
                              TSensor_Quarn* sensor, const std::string& channelName);
    ~TSetPressureReferenceForm() override;

    ConfigurationData* Conf = nullptr;
    CalibrationData* Cal = nullptr;
    SensorStatusData* Status = nullptr;
    TSensor_Quarn* Sensor = nullptr;
    std::string ChannelName;
    uint16_t ChannelNumber = 0;
    double Reading = -1e10; // the last reading; -1e10 while there is none
    TDlProgForm* ProgressForm = nullptr;

    // Whether an apply was started (something was sent), and whether the
    // last one failed: the sensor refused the image or gave no reading. The
    // calibration image in memory is then back as it was when the dialog
    // opened, and the main window sends it again when the dialog ends.
    bool Applied = false;
    bool ApplyFailed = false;
    // The calibration image the sensor holds as far as the dialog knows: the
    // one it opened on, then each one the sensor took.
    CalibrationData SensorCal{};

    TRadioGroup* RadioGroup1 = nullptr;
    QLabel* Image1 = nullptr;
    std::vector<QPixmap> ImageList1; // the pictures of the three modes
    QLabel* DatumValueLabel = nullptr;
    QLineEdit* DatumValueEdit = nullptr;
    QLabel* UnitLabel1 = nullptr;
    QPushButton* UpdateBtn = nullptr;
    QLabel* GCVLabel = nullptr;
    QLineEdit* GCVEdit = nullptr;
    QLabel* UnitLabel2 = nullptr;
    QPushButton* GCV_Btn = nullptr;
    TMemo* Memo1 = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // The mode the stored coefficients show.
    static enDatumMode ModeOf(const float coeffs[5]);

public slots:
    void RadioGroup1Click();
    void GCV_BtnClick();
    void UpdateBtnClick();

public:
    // Key filter of the reference value: sets Key to 0 to drop it.
    void DatumValueEditKeyPress(QObject* Sender, QChar& Key);
    void SetAllButtonsEnabled(bool enabled);

private:
    enum ReadingResult { rrOk, rrNotMonitored, rrNoValue };
    // One reading of the channel into Reading and GCVEdit; the buttons are
    // left as they are.
    ReadingResult takeReading();
    QString noReadingText(ReadingResult result) const;
    // Where the channel's value stands among the live values; false when the
    // sensor reports none for it.
    bool monitorPosition(int& position) const;
    bool monitored() const;
    // A send refused or a reading missing inside an apply: the image goes
    // back to its state at opening.
    void applyFailed(const QString& message);
    void setProgress(const char* text, int position);

    CalibrationData calAtOpen_{};
};
