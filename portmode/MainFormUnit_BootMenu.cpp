// The boot-code menu dialogue: single keys out, fixed menu texts awaited
// before each next key, values read from the prompts. Every walk starts and
// ends at the main menu, so the operations can follow one another.
#include "MainFormUnit.h"

#include "Dialogs.h"
#include "Folders.h"
#include "ExtCtrls.h"
#include "HvSensor_Quarn.h"
#include "OperationScope.h"
#include "PortModeControls.h"
#include "SysUtils.h"
#include "VaComm.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <exception>

namespace {

// Keys of the menus and the texts each leads to.
const char* const CommsMenuKey = "C";
const char* const CommsMenuText = "(M)odbus address";
const char* const BaudKey = "B";
const char* const CommsModeKey = "C";
const char* const SelectionPrompt = "Current selection =";
const char* const AddressKey = "M";
const char* const AddressPrompt = "Current modbus address =";
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

// Runs `operation`; a port error, or a runtime error such as a text that is
// no number, goes to `failed` instead.
template <typename Operation, typename Failure>
void guarded(const Operation& operation, const Failure& failed)
{
    try {
        operation();
    } catch (const Exception& error) {
        failed(error);
    } catch (const EVaCommError& error) {
        failed(error);
    }
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

bool TMainForm::SendAndAwait(const std::string& text, const char* pattern, uint16_t timeout)
{
    Sensor->SendString(text);
    return Await(pattern, timeout);
}

bool TMainForm::MenuKey(const char* key, const char* text)
{
    ProcessMessages();
    return SendAndAwait(key, text, MenuWaitMs);
}

bool TMainForm::MenuValue(const std::string& value)
{
    Sensor->Delay(ValuePauseMs);
    return SendAndAwait(value, MainMenuText, MenuWaitMs);
}

bool TMainForm::CommsPrompt(const char* key, const char* prompt)
{
    return MenuKey(CommsMenuKey, CommsMenuText) && MenuKey(key, prompt);
}

bool TMainForm::OnBootCodePort(const std::function<bool()>& walk)
{
    if (!Sensor)
        return false;
    bool result = false;
    guarded(
        [&] {
            if (!Sensor->StartComs(PortName, BootCodeBaud))
                return;
            result = walk();
            Sensor->CloseComs();
        },
        [&](const std::exception& error) {
            if (Sensor)
                Sensor->CloseComs();
            SeriousError(error);
            result = false;
        });
    return result;
}

void TMainForm::SeriousError(const std::exception& error)
{
    ShowMessage(PathText(error.what()));
    ShowMessage(QStringLiteral("Detected a serious error, closing application"));
    ClosedBySeriousError = true;
    CloseWindow();
}

bool TMainForm::ReadOrVerifyOptions(bool verify)
{
    int verified = 0;
    ProgressBar1->setRange(0, 4);
    ProgressBar1->setValue(0);
    const auto advance = [this](const QString& caption) {
        ProgressBar1->setValue(ProgressBar1->value() + 1);
        ProgressLabel->SetCaption(caption);
    };
    // Counts an option that matches the settings page, or names the one
    // that does not.
    const auto check = [&](bool same, const QString& option) {
        if (same) {
            ++verified;
            StatusTxt->SetCaption(QStringLiteral("Verified ") + option);
        } else {
            StatusTxt->SetCaption(QStringLiteral("Error ") + option);
        }
    };
    // False as soon as a menu text does not come, or when a verified option
    // differs.
    return OnBootCodePort([&]() -> bool {
        advance(QStringLiteral("Retrieving baudrate"));
        if (!CommsPrompt(BaudKey, SelectionPrompt))
            return false;
        ProcessMessages();
        const int32_t baud = selectionFrom(PromptValue(Received), bs19200);
        if (verify) {
            ProcessMessages();
            check(baud == BaudRateCB->currentIndex() + 1, QStringLiteral("baud rate"));
        } else {
            // A selection outside the list leaves no item selected.
            BaudRateCB->setCurrentIndex(baud >= 1 && baud <= BaudRateCB->count() ? baud - 1 : -1);
            StatusTxt->SetCaption(QStringLiteral("Received baud rate"));
        }

        advance(QStringLiteral("Retrieving communications mode"));
        if (!MenuValue(std::to_string(baud)) || !CommsPrompt(CommsModeKey, SelectionPrompt))
            return false;
        ProcessMessages();
        const int32_t mode = selectionFrom(PromptValue(Received), cmRs232Rtu + 1);
        if (verify) {
            ProcessMessages();
            check(mode == CommsModeIndex() + 1, QStringLiteral("communications mode"));
        } else {
            SetCommsModeIndex(mode - 1);
            StatusTxt->SetCaption(QStringLiteral("Received communications mode"));
        }

        advance(QStringLiteral("Retrieving modbus address"));
        if (!MenuValue(std::to_string(mode)) || !MenuKey(CommsMenuKey, CommsMenuText))
            return false;
        StatusTxt->SetCaption(QStringLiteral("Receiving modbus address"));
        if (!MenuKey(AddressKey, AddressPrompt))
            return false;
        ProcessMessages();
        const std::string address = PromptValue(Received);
        if (verify) {
            ProcessMessages();
            // Both must be numbers; a text that is none is a serious error.
            const bool same = StrToInt(latin1(ModbusAddressEB->text())) == StrToInt(address);
            if (same)
                ProcessMessages();
            check(same, QStringLiteral("modbus address"));
        } else {
            ModbusAddressEB->setText(QString::fromLatin1(address.data(), static_cast<int>(address.size())));
            ModbusAddressEB->repaint();
            StatusTxt->SetCaption(QStringLiteral("Received modbus address"));
        }

        if (!MenuValue(address + "\r"))
            return false;
        ProcessMessages();
        if (!verify)
            return true;
        StatusTxt->SetCaption(QString());
        if (verified == 3) {
            ShowMessage(QStringLiteral("Sensor communication options updated and verified successfully"));
            return true;
        }
        ShowMessage(QStringLiteral("Sensor communication options update failed"));
        return false;
    });
}

bool TMainForm::WriteOptions()
{
    // The caption shows before the value goes.
    const auto set = [this](const std::string& value, const QString& caption) {
        StatusTxt->SetCaption(caption);
        return MenuValue(value);
    };
    return OnBootCodePort([&]() -> bool {
        // No item selected sends 0, which the boot code refuses.
        if (!CommsPrompt(BaudKey, SelectionPrompt)
            || !set(std::to_string(BaudRateCB->currentIndex() + 1), QStringLiteral("Setting baud rate")))
            return false;
        if (!CommsPrompt(CommsModeKey, SelectionPrompt)
            || !set(std::to_string(CommsModeIndex() + 1), QStringLiteral("Setting communications mode")))
            return false;
        if (!MenuKey(CommsMenuKey, CommsMenuText))
            return false;
        StatusTxt->SetCaption(QStringLiteral("Setting modbus address"));
        if (!MenuKey(AddressKey, AddressPrompt)
            || !set(latin1(ModbusAddressEB->text()) + "\r", QStringLiteral("Set modbus address")))
            return false;
        ProcessMessages();
        return true;
    });
}

bool TMainForm::ExitBootCode()
{
    bool result = false;
    guarded(
        [&] {
            if (Sensor && Sensor->StartComs(PortName, BootCodeBaud)) {
                if (SendAndAwait(ExitKey, ExitText, ExitWaitMs)) {
                    inBootCode = false;
                    result = true;
                }
                Sensor->CloseComs();
            }
        },
        // No port to open: reported below like any failed exit.
        [](const std::exception&) {});
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
    OperationScope operation;
    BeginOperation(operation);
    guarded(
        [this] {
            const bool written = WriteOptions();
            if (ClosedBySeriousError)
                return;
            if (!written) {
                ShowMessage(QStringLiteral("Failed to update communictation options"));
                return;
            }
            const bool verified = ReadOrVerifyOptions(true);
            if (!verified && !ClosedBySeriousError)
                ShowMessage(QStringLiteral("Failed to update verify communictation options"));
        },
        [this](const std::exception& error) { SeriousError(error); });
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
    OperationScope operation;
    BeginOperation(operation);
    StatusTxt->SetCaption(QString());
    ShowPage(TabSheet1);
    bool left = false;
    for (int attempt = 0; attempt < 4 && !left; ++attempt)
        left = ExitBootCode();
    if (!left)
        ShowMessage(QStringLiteral("Failed to reboot sensor. Pleasae power cycle sensor and verify correct operation"));
}
