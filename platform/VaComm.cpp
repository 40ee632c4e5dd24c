#include "VaComm.h"

#include "ComPorts.h"

#include <QFileInfo>

#include <sys/ioctl.h>

TVaComm::TVaComm(QObject* owner) : QObject(owner)
{
    connect(&port_, &QSerialPort::errorOccurred, this, &TVaComm::onError);
}

TVaComm::~TVaComm()
{
    Close();
}

QString TVaComm::DevicePath() const
{
    if (!DeviceName.isEmpty())
        return DeviceName;
    return ComPorts::devicePath(PortNum);
}

void TVaComm::Open()
{
    Close();
    lostReason_.clear();
    const QString portLabel = DeviceName.isEmpty() ? QStringLiteral("COM%1").arg(PortNum) : DeviceName;
    const QString path = DevicePath();
    if (path.isEmpty())
        throw EVaCommError(QStringLiteral("%1 does not exist").arg(portLabel).toStdString());

    port_.setPortName(path);
    port_.setBaudRate(Baudrate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        QString reason = port_.errorString();
        if (port_.error() == QSerialPort::PermissionError)
            reason += QStringLiteral(" (the user must be allowed to use the device, for example as a member of "
                                     "the group that owns %1)").arg(path);
        port_.clearError();
        throw EVaCommError(QStringLiteral("Cannot open %1 (%2): %3").arg(portLabel, path, reason).toStdString());
    }
    // DTR and RTS held inactive. Pseudo-terminals and some adapters have no
    // modem lines and refuse this; that is not an error for us.
    port_.setDataTerminalReady(false);
    port_.setRequestToSend(false);
    port_.clearError();
}

void TVaComm::Close()
{
    if (port_.isOpen())
        port_.close();
}

int TVaComm::ReadBuf(void* buffer, int count)
{
    if (!port_.isOpen() || count <= 0)
        return 0;
    // Qt takes bytes in from the device only when its notifier runs in an
    // event pump. Bytes the driver already holds are taken in here, so a read
    // returns everything that has arrived, pumped or not.
    if (port_.bytesAvailable() < count && driverQueued(FIONREAD) > 0) {
        port_.waitForReadyRead(0);
        if (!port_.isOpen())
            return 0;
    }
    const qint64 n = port_.read(static_cast<char*>(buffer), count);
    return n > 0 ? static_cast<int>(n) : 0;
}

int TVaComm::driverQueued(unsigned long request) const
{
    int queued = 0;
    if (::ioctl(port_.handle(), request, &queued) != 0)
        queued = 0;
    return queued;
}

int TVaComm::WriteBuf(const void* buffer, int count)
{
    if (!port_.isOpen() || count <= 0)
        return 0;
    const qint64 n = port_.write(static_cast<const char*>(buffer), count);
    // Push the bytes to the device now rather than at the next event pump.
    if (port_.isOpen())
        port_.flush();
    return n > 0 ? static_cast<int>(n) : 0;
}

bool TVaComm::WriteChar(char c)
{
    return WriteBuf(&c, 1) == 1;
}

// Bytes still in the driver count as well as those Qt has already taken in:
// a late reply waiting in the driver must be purged before the next request.
int TVaComm::ReadBufUsed() const
{
    if (!port_.isOpen())
        return 0;
    return static_cast<int>(port_.bytesAvailable()) + driverQueued(FIONREAD);
}

int TVaComm::WriteBufUsed() const
{
    if (!port_.isOpen())
        return 0;
    return static_cast<int>(port_.bytesToWrite()) + driverQueued(TIOCOUTQ);
}

void TVaComm::PurgeRead()
{
    if (port_.isOpen())
        port_.clear(QSerialPort::Input);
}

void TVaComm::PurgeWrite()
{
    if (port_.isOpen())
        port_.clear(QSerialPort::Output);
}

void TVaComm::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        if (port_.isOpen()) {
            lostReason_ = port_.errorString();
            port_.clearError();
            port_.close();
            emit PortLost(lostReason_);
        }
        break;
    default:
        break;
    }
}
