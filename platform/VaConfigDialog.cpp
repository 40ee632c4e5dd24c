#include "VaConfigDialog.h"

#include "VaComm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSerialPortInfo>
#include <QVBoxLayout>

std::function<bool(TVaConfigDialog&)> TVaConfigDialog::ExecuteHook;

TVaConfigDialog::TVaConfigDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("COM port configuration"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Serial devices found:"), this));
    DeviceList = new QListWidget(this);
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QString text = info.systemLocation();
        if (!info.description().isEmpty())
            text += QStringLiteral("  (") + info.description() + QStringLiteral(")");
        auto* item = new QListWidgetItem(text, DeviceList);
        item->setData(Qt::UserRole, info.systemLocation());
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
    const QString path = DevicePathEdit->text().trimmed();
    if (!ok || path.isEmpty())
        return false;
    if (Comm)
        Comm->DeviceName = path;
    return true;
}
