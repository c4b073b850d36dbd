#pragma once

// A recorder checked headless with the workstation's own link, as a service technician or a
// clinic before a session would: the handshake (a low battery and a card holding a session are
// reported, not asked about; nothing is cleared unless asked), setTime, the gain, both streams for
// a while with their frame rates, frames with a bad check byte and frames missing by time stamp,
// optionally the calibration mode with the recorder's eight factors and ratios checked against the
// measured signal, and the echo of a session identifier. One line per check.
//
// The identifier it sends, "recorder-check-00000", holds characters no session identifier has,
// so a recorder that keeps it still reads as empty to the next set-up. No recording is started.

#include "device/RecorderLink.h"
#include "device/RecorderProtocol.h"
#include "device/SessionSetup.h"

#include <QString>

#include <functional>
#include <memory>

struct RecorderCheckOptions {
    int seconds = 10;       // of streaming
    bool calibrate = false; // the calibration mode, factors and ratios
    bool clear = false;     // a card that holds data is cleared
    int gainPosition = recorder::DefaultGainPosition;
    LinkTiming link;
    SetupTiming calibration; // settle, collect and values waits, as the set-up has them
};

struct CheckLine {
    bool holds = true;
    QString name;
    QString detail;
};

class RecorderCheck
{
public:
    // The identifier sent for the echo check.
    static constexpr char CheckIdentifier[] = "recorder-check-00000";
    // A stream's frame rate below this share of its nominal rate fails its check.
    static constexpr double MinimumRateShare = 0.9;

    RecorderCheck(RecorderLink::TransportFactory makeTransport, const RecorderCheckOptions &options);
    ~RecorderCheck();

    // Runs the checks against the recorder at that address, handing each line over as it is
    // decided; stops at the first failure that loses the connection. True when every check holds.
    bool run(quint64 address, const std::function<void(const CheckLine &)> &report);

private:
    class Checks;
    std::unique_ptr<Checks> m_checks;
};

// The check's lines as the tool prints them: "ok   NAME: DETAIL" or "FAIL NAME: DETAIL".
QString checkLineText(const CheckLine &line);
