#pragma once

// The recorder as the workstation meets it over Bluetooth, played over TCP on the loopback so
// that discovery, the handshake, streaming, the gain change, calibration and the start of a
// recording run without hardware (device/SimulatorLink.h describes how a connection starts).
//
// It announces a small neighbourhood: "TAVO_SIM01", the recorder; "TAVO_SIM02", a recorder
// without the serial port service (a red row, refused); and two devices the name filter drops.
// Every frame it sends follows the frame rule: start byte, group, type, length, payload and the
// XOR check byte, replies included. With shortReplies it leaves the check byte off the four
// replies that some recorders end early (clearSd, startCalibration, sessionInfo and the session
// identifier's echo), so that the workstation is tried against both.
// The recorder answers every command with the replies the workstation reads, streams ECG frames
// every 2 ms and respiration frames every 20 ms on its own clock (signals from the synthetic
// recording, ECG at the gain it was given), plays a 1 mV square wave (1 s period) on the 8 ECG
// channels in calibration mode, reports its calibration factors and ratios, echoes the session identifier
// and, on "start recording", writes the card folder of that session (log.txt, s- and i-files,
// Puls.txt) under `out`, which the folder import reads. The behaviour makes it misbehave the
// ways a real recorder can.

#include "import/RecordingFormat.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct BluetoothRecorderBehaviour {
    quint16 port = 0;             // 0: any free port
    int battery = 100;            // percent
    int cardStatus = 0;           // 0 empty, 1 holds data
    QByteArray cardSession;       // what sessionInfo reports; empty: no identifier (not letters)
    QString out;                  // where card folders are written; empty: nowhere
    double recordSeconds = 120;   // length of the recording written on "start recording"
    QString silentAfter;          // command left unanswered (see commandNames())
    int wrongClearSdAcks = 0;     // clearSd acknowledgements that are wrong before a right one
    bool wrongGainEcho = false;   // Gain is echoed with another code and not applied
    qint64 closeAfterFrames = 0;  // the connection is closed after this many stream frames
    int corruptEvery = 0;         // every Nth stream frame gets a check byte off by one bit
    // Calibration mode: the square wave's height in mV (its factors and ratios stay those of a
    // 1 mV wave, so another height fails the check) and its period; or no ECG frames at all.
    double calibrationPulseMv = 1.0;
    int calibrationPeriodMs = 1000; // at least 4 ms
    bool noCalibrationSignal = false;
    bool wrongSessionIdEcho = false; // sessionId is echoed with its last character changed
    bool shortReplies = false;       // the four replies above end without their check byte
    bool ignoreStop = false;         // the streams go on after their stop command: never silent
};

struct SimulatedDevice {
    quint64 address = 0;
    QString name;
    bool serialPort = false; // offers the service the workstation connects to
};

class BluetoothSimulatorServer;

class BluetoothRecorderSimulator
{
public:
    static constexpr quint64 RecorderAddress = 0x0080E1000001ull;
    // The recorder's calibration: 1 mV of the square wave is 1 x gain / factor in the stream.
    static constexpr float CalibrationPulseMv = 1.0f;

    static const std::vector<SimulatedDevice> &devices();
    // The names --silent-after takes.
    static QStringList commandNames();
    static std::vector<float> calibrationFactors();
    // Ratio of each channel at a gain: the square wave's amplitude over the factor.
    static std::vector<float> calibrationRatios(int gain);

    explicit BluetoothRecorderSimulator(const BluetoothRecorderBehaviour &behaviour);
    ~BluetoothRecorderSimulator();

    // Opens the listening socket on 127.0.0.1 and prepares the signals.
    bool listen(QString *error);
    quint16 port() const;
    // "127.0.0.1:PORT", the value of TAVOKRN_RECORDER_SIM.
    QString address() const;
    // Serves until stop(); notes what happens on standard error. Returns the exit code.
    int run();
    // From any thread.
    void stop();

    // Stream frames sent with a right check byte, and those corrupted on purpose.
    quint64 framesSent(Stream stream) const;
    quint64 framesCorrupted() const;
    // What the card holds now, and the last card folder written.
    QByteArray cardSession() const;
    int cardStatus() const;
    QString lastCardFolder() const;

private:
    std::unique_ptr<BluetoothSimulatorServer> m_server;
};
