// The serial port object the link layer drives: opened at a fixed rate, 8N1,
// no flow control, DTR and RTS held inactive. Reads return at once with what
// has arrived, whether or not an event pump has run since; writes are queued
// and pushed out without blocking. While the port is open, its data wakes an
// event wait (WaitForMessages), so the link can sleep until the line speaks.
// When the device goes away (unplugged adapter, hung-up pseudo-terminal) the
// port closes itself, so callers see a closed port instead of an endless
// stream of read errors.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>

// Raised by Open with the reason the system gave.
class EVaCommError : public std::runtime_error {
public:
    explicit EVaCommError(const std::string& msg) : std::runtime_error(msg) {}
};

class TVaComm : public QObject {
    Q_OBJECT
public:
    explicit TVaComm(QObject* owner = nullptr);
    ~TVaComm() override;

    // Settings taken by Open. DeviceName, when set (the port dialog sets it),
    // wins over PortNum.
    int PortNum = 0;
    QString DeviceName;
    int32_t Baudrate = 19200;

    void Open();
    void Close();
    bool Active() const { return port_.isOpen(); }

    // The device path Open uses (or used).
    QString DevicePath() const;
    // Why the port closed itself; empty while it is open or closed on request.
    QString LostReason() const { return lostReason_; }

    int ReadBuf(void* buffer, int count);
    int WriteBuf(const void* buffer, int count);
    bool WriteChar(char c);
    int ReadBufUsed() const;
    int WriteBufUsed() const;
    void PurgeRead();
    void PurgeWrite();

signals:
    // The device went away and the port closed itself.
    void PortLost(const QString& reason);

private:
    void onError(QSerialPort::SerialPortError error);
    // Bytes in the driver's queue that Qt does not hold: FIONREAD for the
    // received ones not taken in yet, TIOCOUTQ for those not yet sent.
    int driverQueued(unsigned long request) const;

    QSerialPort port_;
    QString lostReason_;
};
