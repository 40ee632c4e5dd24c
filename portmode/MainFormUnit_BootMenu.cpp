// The boot-code menu dialogue: single keys out, fixed menu texts awaited
// before each next key, values read from the prompts. Every walk starts and
// ends at the main menu, so the operations can follow one another.
#include "MainFormUnit.h"

#include "Dialogs.h"
#include "ExtCtrls.h"
#include "HvSensor_Quarn.h"
#include "PortModeControls.h"
#include "SysUtils.h"
#include "VaComm.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <exception>

namespace {

constexpr int32_t BootCodeBaud = 19200;

// Keys of the menus and the texts each leads to.
const char* const CommsMenuKey = "C";
const char* const CommsMenuText = "(M)odbus address";
const char* const BaudKey = "B";
const char* const CommsModeKey = "C";
const char* const SelectionPrompt = "Current selection =";
const char* const AddressKey = "M";
const char* const AddressPrompt = "Current modbus address =";
const char* const MainMenuText = "(E)xit Boot Code";
const char* const ExitKey = "e";
const char* const ExitText = "Exiting Boot Code";

constexpr uint16_t MenuWaitMs = 3000;
constexpr uint16_t ExitWaitMs = 2000;
// Before a value (not before a menu key) the boot code gets a moment.
constexpr int32_t ValuePauseMs = 100;

// A menu selection read from a prompt; `fallback` when it is no number.
int32_t selectionFrom(const std::string& value, int32_t fallback)
{
    try {
        return StrToInt(value);
    } catch (const EConvertError&) {
        return fallback;
    }
}

std::string latin1(const QString& text)
{
    return text.toLatin1().toStdString();
}

} // namespace

std::string PromptValue(const std::string& received)
{
    const size_t equals = received.find('=');
    if (equals == std::string::npos)
        return std::string();
    const size_t start = equals + 1;
    const size_t cr = received.find('\r', start);
    std::string value = received.substr(start, cr == std::string::npos ? std::string::npos : cr - start);
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    size_t first = 0;
    while (first < value.size() && blank(value[first]))
        ++first;
    size_t last = value.size();
    while (last > first && blank(value[last - 1]))
        --last;
    return value.substr(first, last - first);
}

bool TMainForm::Await(const char* pattern, uint16_t timeout)
{
    int32_t received = 0;
    const bool found = Sensor && Sensor->WaitForString(pattern, ReceiveBuffer.data(),
                                                       static_cast<int32_t>(ReceiveBuffer.size()), received, timeout);
    Received.assign(reinterpret_cast<const char*>(ReceiveBuffer.data()), static_cast<size_t>(received));
    return found;
}

void TMainForm::SeriousError(const std::exception& error)
{
    ShowMessage(QString::fromLocal8Bit(error.what()));
    ShowMessage(QStringLiteral("Detected a serious error, closing application"));
    CloseWindow();
}

bool TMainForm::ReadOrVerifyOptions(bool verify)
{
    bool result = false;
    int verified = 0;
    ProgressBar1->setRange(0, 4);
    ProgressBar1->setValue(0);
    if (!Sensor)
        return false;
    const auto advance = [this] { ProgressBar1->setValue(ProgressBar1->value() + 1); };
    const auto send = [this](const std::string& text) { Sensor->SendString(text); };
    try {
        if (!Sensor->StartComs(PortName, BootCodeBaud))
            return false;
        // False as soon as a menu text does not come.
        const auto walk = [&]() -> bool {
            advance();
            ProgressLabel->SetCaption(QStringLiteral("Retrieving baudrate"));
            ProcessMessages();
            send(CommsMenuKey);
            if (!Await(CommsMenuText, MenuWaitMs))
                return false;
            ProcessMessages();
            send(BaudKey);
            if (!Await(SelectionPrompt, MenuWaitMs))
                return false;
            ProcessMessages();
            const int32_t baud = selectionFrom(PromptValue(Received), bs19200);
            if (verify) {
                ProcessMessages();
                if (baud == BaudRateCB->currentIndex() + 1) {
                    ++verified;
                    StatusTxt->SetCaption(QStringLiteral("Verified baud rate"));
                } else {
                    StatusTxt->SetCaption(QStringLiteral("Error baud rate"));
                }
            } else {
                // A selection outside the list leaves no item selected.
                BaudRateCB->setCurrentIndex(baud >= 1 && baud <= BaudRateCB->count() ? baud - 1 : -1);
                StatusTxt->SetCaption(QStringLiteral("Received baud rate"));
            }

            advance();
            ProgressLabel->SetCaption(QStringLiteral("Retrieving communications mode"));
            Sensor->Delay(ValuePauseMs);
            send(std::to_string(baud));
            if (!Await(MainMenuText, MenuWaitMs))
                return false;
            ProcessMessages();
            send(CommsMenuKey);
            if (!Await(CommsMenuText, MenuWaitMs))
                return false;
            ProcessMessages();
            send(CommsModeKey);
            if (!Await(SelectionPrompt, MenuWaitMs))
                return false;
            ProcessMessages();
            const int32_t mode = selectionFrom(PromptValue(Received), cmRs232Rtu + 1);
            if (verify) {
                ProcessMessages();
                if (mode == CommsModeIndex() + 1) {
                    ++verified;
                    StatusTxt->SetCaption(QStringLiteral("Verified communications mode"));
                } else {
                    StatusTxt->SetCaption(QStringLiteral("Error communications mode"));
                }
            } else {
                SetCommsModeIndex(mode - 1);
                StatusTxt->SetCaption(QStringLiteral("Received communications mode"));
            }

            advance();
            ProgressLabel->SetCaption(QStringLiteral("Retrieving modbus address"));
            Sensor->Delay(ValuePauseMs);
            send(std::to_string(mode));
            if (!Await(MainMenuText, MenuWaitMs))
                return false;
            ProcessMessages();
            send(CommsMenuKey);
            if (!Await(CommsMenuText, MenuWaitMs))
                return false;
            StatusTxt->SetCaption(QStringLiteral("Receiving modbus address"));
            ProcessMessages();
            send(AddressKey);
            if (!Await(AddressPrompt, MenuWaitMs))
                return false;
            ProcessMessages();
            const std::string address = PromptValue(Received);
            if (verify) {
                ProcessMessages();
                // Both must be numbers; a text that is none is a serious error.
                if (StrToInt(latin1(ModbusAddressEB->text())) == StrToInt(address)) {
                    ProcessMessages();
                    ++verified;
                    StatusTxt->SetCaption(QStringLiteral("Verified modbus address"));
                } else {
                    StatusTxt->SetCaption(QStringLiteral("Error modbus address"));
                }
            } else {
                ModbusAddressEB->setText(QString::fromLatin1(address.data(), static_cast<int>(address.size())));
                ModbusAddressEB->repaint();
                StatusTxt->SetCaption(QStringLiteral("Received modbus address"));
            }

            Sensor->Delay(ValuePauseMs);
            send(address + "\r");
            if (!Await(MainMenuText, MenuWaitMs))
                return false;
            ProcessMessages();
            return true;
        };
        if (walk()) {
            if (!verify) {
                result = true;
            } else if (verified == 3) {
                result = true;
                StatusTxt->SetCaption(QString());
                ShowMessage(QStringLiteral("Sensor communication options updated and verified successfully"));
            } else {
                StatusTxt->SetCaption(QString());
                ShowMessage(QStringLiteral("Sensor communication options update failed"));
            }
        }
        Sensor->CloseComs();
    } catch (const Exception& e) {
        if (Sensor)
            Sensor->CloseComs();
        SeriousError(e);
        return false;
    } catch (const EVaCommError& e) {
        if (Sensor)
            Sensor->CloseComs();
        SeriousError(e);
        return false;
    }
    return result;
}

bool TMainForm::WriteOptions()
{
    if (!Sensor)
        return false;
    const auto send = [this](const std::string& text) { Sensor->SendString(text); };
    bool result = false;
    try {
        if (!Sensor->StartComs(PortName, BootCodeBaud))
            return false;
        const auto walk = [&]() -> bool {
            ProcessMessages();
            send(CommsMenuKey);
            if (!Await(CommsMenuText, MenuWaitMs))
                return false;
            ProcessMessages();
            send(BaudKey);
            if (!Await(SelectionPrompt, MenuWaitMs))
                return false;
            // No item selected sends 0, which the boot code refuses.
            std::string value = std::to_string(BaudRateCB->currentIndex() + 1);
            StatusTxt->SetCaption(QStringLiteral("Setting baud rate"));
            Sensor->Delay(ValuePauseMs);
            send(value);
            if (!Await(MainMenuText, MenuWaitMs))
                return false;

            ProcessMessages();
            send(CommsMenuKey);
            if (!Await(CommsMenuText, MenuWaitMs))
                return false;
            ProcessMessages();
            send(CommsModeKey);
            if (!Await(SelectionPrompt, MenuWaitMs))
                return false;
            value = std::to_string(CommsModeIndex() + 1);
            StatusTxt->SetCaption(QStringLiteral("Setting communications mode"));
            Sensor->Delay(ValuePauseMs);
            send(value);
            if (!Await(MainMenuText, MenuWaitMs))
                return false;

            ProcessMessages();
            send(CommsMenuKey);
            if (!Await(CommsMenuText, MenuWaitMs))
                return false;
            StatusTxt->SetCaption(QStringLiteral("Setting modbus address"));
            ProcessMessages();
            send(AddressKey);
            if (!Await(AddressPrompt, MenuWaitMs))
                return false;
            value = latin1(ModbusAddressEB->text()) + "\r";
            StatusTxt->SetCaption(QStringLiteral("Set modbus address"));
            Sensor->Delay(ValuePauseMs);
            send(value);
            if (!Await(MainMenuText, MenuWaitMs))
                return false;
            ProcessMessages();
            return true;
        };
        result = walk();
        Sensor->CloseComs();
    } catch (const Exception& e) {
        if (Sensor)
            Sensor->CloseComs();
        SeriousError(e);
        return false;
    } catch (const EVaCommError& e) {
        if (Sensor)
            Sensor->CloseComs();
        SeriousError(e);
        return false;
    }
    return result;
}

bool TMainForm::ExitBootCode()
{
    bool result = false;
    try {
        if (Sensor && Sensor->StartComs(PortName, BootCodeBaud)) {
            Sensor->SendString(ExitKey);
            if (Await(ExitText, ExitWaitMs)) {
                inBootCode = false;
                result = true;
            }
            Sensor->CloseComs();
        }
    } catch (const Exception&) {
        // No port to open: reported below like any failed exit.
    } catch (const EVaCommError&) {
    }
    if (Sensor)
        Sensor->CloseComs();
    if (!result)
        ShowMessage(QStringLiteral("An error has occured. Please power cycle sensor and verify correct communications."));
    return result;
}

void TMainForm::UpdateSensorBtnClick()
{
    if (IsBusy())
        return;
    // An empty address would be written as an empty line and then fail the
    // verification as a serious error: ask for one first.
    if (ModbusAddressEB->text().isEmpty()) {
        ModbusAddressEBExit();
        return;
    }
    // Disables the settings page's controls and the File and About menus
    // (besides the connect page's) until the update ends, whatever happens.
    const BusyScope busy(*this);
    try {
        if (!WriteOptions())
            ShowMessage(QStringLiteral("Failed to update communictation options"));
        else if (!ReadOrVerifyOptions(true))
            ShowMessage(QStringLiteral("Failed to update verify communictation options"));
    } catch (const Exception& e) {
        SeriousError(e);
    } catch (const EVaCommError& e) {
        SeriousError(e);
    }
}

void TMainForm::RestoreDefaultsBtnClick()
{
    if (IsBusy())
        return;
    BaudRateCB->setCurrentIndex(bs19200 - 1);
    CommsModeGB->SetItemIndex(0);
    ModBusRG->SetItemIndex(0);
    ModbusAddressEB->setText(QStringLiteral("1"));
    UpdateSensorBtnClick();
}

void TMainForm::CancelBtnClick()
{
    if (IsBusy())
        return;
    // The connect page shows at once, its buttons disabled until the sensor
    // has been asked to leave its boot code.
    const BusyScope busy(*this);
    StatusTxt->SetCaption(QString());
    ShowPage(TabSheet1);
    bool left = false;
    for (int attempt = 0; attempt < 4 && !left; ++attempt)
        left = ExitBootCode();
    if (!left)
        ShowMessage(QStringLiteral("Failed to reboot sensor. Pleasae power cycle sensor and verify correct operation"));
}
