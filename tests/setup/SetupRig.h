#pragma once

// The session set-up as the main window runs it, without the window: the real live page and
// toolbar offscreen, a link to the simulated recorder over TCP, a database file, scripted
// prompts, and the steps wired to the timers and the calibration reader's signals. The waits are
// short and the recorder's calibration square wave fast, so that a whole set-up takes well under
// a second.

#include "db/Database.h"
#include "device/RecorderLink.h"
#include "device/SessionSetup.h"
#include "live/LiveSetupScreen.h"
#include "live/OnlineVisualizationWindow.h"
#include "live/viewSubmenu.h"
#include "tests/device/SimulatedRecorder.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <set>

namespace setuptest {

constexpr char FiscalCode[] = "RSSMRA80A01H501U";

inline BluetoothRecorderBehaviour fastRecorder(BluetoothRecorderBehaviour behaviour = BluetoothRecorderBehaviour())
{
    // 20 samples per plateau: room for the 11th after each edge.
    behaviour.calibrationPeriodMs = 80;
    return behaviour;
}

inline LinkTiming fastLink()
{
    LinkTiming timing;
    timing.receiveTimeoutMs = 100;
    return timing;
}

inline SetupTiming fastSetup()
{
    SetupTiming timing;
    timing.settleMs = 20;
    timing.collectMs = 200;
    timing.valuesWaitMs = 800;
    return timing;
}

class SetupRig
{
public:
    explicit SetupRig(const BluetoothRecorderBehaviour &behaviour = BluetoothRecorderBehaviour(),
                      const LinkTiming &timing = fastLink())
        : recorder(withCardFolder(fastRecorder(behaviour), cards.path())), link(recorder.link(prompts, timing)),
          screen(page, toolbar, [this] { ++startedShown; }),
          setup(*link, screen, data.db(), prompts, fastSetup())
    {
        link->setRecordBuffers(&page.ecgRecords(), &page.breathRecords());
        QObject::connect(&setup, &SessionSetup::settled, &setup, &SessionSetup::jumpFirstData);
        QObject::connect(&setup, &SessionSetup::collected, &setup, &SessionSetup::initializeNewSession);
        QObject::connect(&setup, &SessionSetup::valuesOverdue, &setup, &SessionSetup::calibrationErrorSlot);
        QObject::connect(link.get(), &RecorderLink::calibrationFactorFound, &setup, &SessionSetup::firstCalibrationStep);
        QObject::connect(link.get(), &RecorderLink::endOfCalibration, &setup, &SessionSetup::calibrationComplete);
        QObject::connect(link.get(), &RecorderLink::streamingError, &setup, [this] {
            link->streamingFailed();
            setup.streamingFailed();
        });
        // As the window does: the page's refresh timers run while their stream is on.
        QObject::connect(link.get(), &RecorderLink::streamDisplayChanged, [this](Stream stream, bool running) {
            if (stream == Stream::Ecg)
                running ? page.startEcgTimer() : page.stopEcgTimer();
        });
        patient = data.addPatient(FiscalCode);
    }

    // The handshake and the live page streaming ECG, as the user leaves it before the start button.
    bool connectAndStream()
    {
        if (link->connectToDevice(BluetoothRecorderSimulator::RecorderAddress) != RecorderLink::Handshake::Connected)
            return false;
        link->startStreamConsumer();
        prompts.boxes.clear();
        // The pair the set-up gives back at its end, as a streaming page shows it.
        toolbar.ui().buttonPlay->setEnabled(false);
        toolbar.ui().buttonStop->setEnabled(true);
        return link->startEcgStreaming();
    }

    // Runs the set-up to its end.
    bool run()
    {
        setup.createNewSession(patient);
        return QTest::qWaitFor([this] { return !setup.isRunning(); }, 10000);
    }

    std::vector<SessionRecord> sessions()
    {
        std::vector<SessionRecord> list;
        data.db().listSessions(FiscalCode, list);
        return list;
    }

    std::string patientStatus()
    {
        std::vector<PatientRecord> list;
        data.db().listPatients({}, list);
        return list.empty() ? std::string() : list.front().status;
    }

    // Lead I of what reaches the live page once ECG streams again: the patient's signal has many
    // values, the calibration square wave two.
    std::size_t distinctStreamedValues()
    {
        if (!link->isEcgStreaming())
            link->startEcgStreaming();
        page.reset();
        std::set<float> values;
        [[maybe_unused]] const bool many = QTest::qWaitFor([&] {
            values.clear();
            for (const SampleRecord &record : page.ecgRecords().copy())
                values.insert(record[2]);
            return values.size() > 2;
        }, 3000);
        return values.size();
    }

    QTemporaryDir cards;
    ScriptedPrompts prompts;
    TestDatabase data;
    SimulatedRecorder recorder;
    OnlineVisualizationWindow page;
    viewSubmenu toolbar;
    std::unique_ptr<RecorderLink> link;
    int startedShown = 0;
    LiveSetupScreen screen;
    SessionSetup setup;
    PatientRecord patient;

private:
    static BluetoothRecorderBehaviour withCardFolder(BluetoothRecorderBehaviour behaviour, const QString &out)
    {
        behaviour.out = out;
        behaviour.recordSeconds = 5;
        return behaviour;
    }
};

// After a set-up that ended short of a recording the live page is what it was before the start
// button: refresh attached, play offered, no session row, the recorder streaming the patient's ECG.
inline void verifyBackOnTheLivePage(SetupRig &rig)
{
    QVERIFY(!rig.setup.isRunning());
    QVERIFY(rig.page.isEcgRefreshConnected());
    QVERIFY(rig.toolbar.ui().buttonPlay->isEnabled());
    QVERIFY(!rig.toolbar.ui().buttonStop->isEnabled());
    QVERIFY(!rig.prompts.progresses.first()->open);
    QVERIFY(rig.link->isConnected());
    QVERIFY(!rig.link->isCalibrationRunning());
    QVERIFY(rig.sessions().empty());
    QCOMPARE(rig.patientStatus(), std::string("FREE"));
    QVERIFY(rig.distinctStreamedValues() > 2);
}

} // namespace setuptest
