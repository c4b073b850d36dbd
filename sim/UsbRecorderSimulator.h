#pragma once

// The recorder as the workstation meets it on a USB port, played on a pseudo-terminal from a copy
// of its card, so that the USB import can be run without hardware. It answers identify with the
// session identifier of the card's log, sends the log, the ECG/respiration files and the IMU files
// each followed by its end frame, and acknowledges the erase. The behaviour makes it misbehave the
// ways a real recorder can.

#include <QByteArray>
#include <QString>

#include <memory>

struct UsbRecorderBehaviour {
    QString card;
    QByteArray sessionId; // empty: the card log's
    bool erase = false;   // really remove the card's files on erase
    QString silentAfter;  // request answered with silence: identify, log, ecg, imu or erase
    bool logWithoutEnd = false;
    int refusedErases = 0;
    bool splitEnd = false; // end frames of the data transfers in two pieces
};

class PtyRecorder;

class UsbRecorderSimulator
{
public:
    explicit UsbRecorderSimulator(const UsbRecorderBehaviour &behaviour);
    ~UsbRecorderSimulator();

    // Opens the pseudo-terminal; device receives the path the workstation is to open.
    bool open(QByteArray *device, QString *error);
    // Answers until the pseudo-terminal fails, with what it notes on standard error; returns the
    // exit code of the command.
    int run();

private:
    std::unique_ptr<PtyRecorder> m_pty;
};
