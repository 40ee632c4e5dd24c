#include "VaConfigDialog.h"

#include "ComPorts.h"
#include "VaComm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QFileInfo>
#include <QVBoxLayout>

std::function<bool(TVaConfigDialog&)> TVaConfigDialog::ExecuteHook;

TVaConfigDialog::TVaConfigDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("COM port configuration"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Devices of the COM port map:"), this));
    DeviceList = new QListWidget(this);
    // Only looked at, never opened: a device that is not a serial port (on
    // some machines /dev/ttyS0 is the console) is not disturbed.
    for (int n = 1; n <= ComPorts::MaxPortNumber; ++n) {
        const QString path = ComPorts::devicePath(n);
        if (path.isEmpty() || !QFileInfo::exists(path))
            continue;
        auto* item = new QListWidgetItem(QStringLiteral("COM%1: %2").arg(n).arg(path), DeviceList);
        item->setData(Qt::UserRole, path);
    }
    layout->addWidget(DeviceList);
    layout->addWidget(new QLabel(QStringLiteral("Device:"), this));
    DevicePathEdit = new QLineEdit(this);
    layout->addWidget(DevicePathEdit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(DeviceList, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (item)
            DevicePathEdit->setText(item->data(Qt::UserRole).toString());
    });
}

bool TVaConfigDialog::Execute()
{
    const bool ok = ExecuteHook ? ExecuteHook(*this) : exec() == QDialog::Accepted;
    const QString path = ComPorts::deviceFromText(DevicePathEdit->text());
    if (!ok || path.isEmpty())
        return false;
    if (Comm)
        Comm->DeviceName = path;
    return true;
}
