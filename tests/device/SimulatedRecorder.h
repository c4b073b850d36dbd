#pragma once

#include "device/RecorderLink.h"
#include "device/SimulatorLink.h"
#include "sim/BluetoothRecorderSimulator.h"

#include <QString>

#include <memory>
#include <thread>

// The simulated Bluetooth recorder serving on a thread of the test for as long as the fixture
// lives, and a link to it with short waits.
class SimulatedRecorder
{
public:
    explicit SimulatedRecorder(const BluetoothRecorderBehaviour &behaviour = BluetoothRecorderBehaviour())
        : m_simulator(behaviour)
    {
        QString error;
        m_listening = m_simulator.listen(&error);
        if (m_listening)
            m_thread = std::thread([this] { m_simulator.run(); });
        else
            qWarning("simulator: %s", qPrintable(error));
    }
    ~SimulatedRecorder()
    {
        m_simulator.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    bool isListening() const { return m_listening; }
    BluetoothRecorderSimulator &simulator() { return m_simulator; }
    simulator::Endpoint endpoint() const { return {QStringLiteral("127.0.0.1"), m_simulator.port()}; }

    // Replies come at once on the loopback; silence is told in a tenth of the real wait.
    static LinkTiming fastTiming()
    {
        LinkTiming timing;
        timing.receiveTimeoutMs = 300;
        return timing;
    }

    std::unique_ptr<RecorderLink> link(Prompts &prompts, LinkTiming timing = fastTiming())
    {
        const simulator::Endpoint at = endpoint();
        return std::make_unique<RecorderLink>(prompts, [at] { return simulator::makeTransport(at); }, timing);
    }

private:
    BluetoothRecorderSimulator m_simulator;
    bool m_listening = false;
    std::thread m_thread;
};
