#pragma once
// A serial line as a link medium: the tty opened non-blocking and set up with
// termios, exclusive to this link while it is open.

#include "LinkMedium.h"

#include <memory>

// The settings of a serial connection text "port,baud,data,stop,parity".
struct SerialSettings {
    QString portName;
    int baudRate = 0;   // 1200 ... 115200 are set; any other rate keeps the port's own
    int dataBits = 0;   // 5 ... 8 are set; other values keep the port's own
    int stopBits = 0;   // 1, 2; 3 = one and a half (two on a tty); others keep the port's own
    QString parity;     // the first of N, E, O it contains (any case, in that
                        // order) decides; none of them keeps the port's own
};

class SerialMedium : public LinkMedium
{
public:
    ~SerialMedium() override;

    // Opens and sets up the port; null when it cannot be opened (missing,
    // no permission, not a tty, in use by another link or program). Settings
    // a pseudo-terminal refuses are no failure.
    static std::unique_ptr<SerialMedium> open(const SerialSettings &settings);

    // The rate the line runs at (the port's own when the settings named none
    // it sets), for line times.
    int baudRate() const { return m_baudRate; }

    bool usable() const override;
    bool write(const QByteArray &bytes, const QDeadlineTimer &deadline) override;
    Wait waitReadable(const QDeadlineTimer &deadline) override;
    QByteArray readAvailable(int maxBytes) override;
    void dropInput() override;
    int lineTimeMs(int bytes) const override;
    bool reset(int guardMs) override;
    bool lost() const override { return m_lost; }
    int errorCode() const override { return m_error; }
    void close() override;
    QString traceAddress() const override { return QString(); }
    int tracePort() const override { return 0; }
    QString lossAddress() const override { return m_name; }
    int lossPort() const override { return 0; }

private:
    SerialMedium(int fd, const QString &name, int baudRate);
    void markLost(int error);
    // poll() shows a hang-up or an error of the line.
    bool hungUp() const;

    int m_fd = -1;
    QString m_name;
    int m_baudRate = 0;
    bool m_lost = false;
    int m_error = 0;
};
