#pragma once
// A serial line as a link medium. The port is created on the thread that
// connects and has no Qt parent, so a driver may be connected and used on any
// one thread.

#include "LinkMedium.h"

#include <QSerialPort>
#include <memory>

class SerialMedium : public LinkMedium
{
public:
    SerialMedium();
    ~SerialMedium() override;

    QSerialPort *port() const { return m_port.get(); }

    // Open with the given name; the caller applies the settings.
    bool open(const QString &name);
    void close();
    void setBaudRate(int baud) { m_baudRate = baud; }

    QIODevice *device() const override;
    bool usable() const override;
    bool write(const QByteArray &bytes, const QDeadlineTimer &deadline) override;
    int lineTimeMs(int bytes) const override;
    bool reset(int guardMs) override;
    bool lost() const override { return m_lost; }
    int errorCode() const override { return m_port ? int(m_port->error()) : -1; }

private:
    bool checkLost() const;

    std::unique_ptr<QSerialPort> m_port;
    int m_baudRate = 0;
    mutable bool m_lost = false;
};
