#pragma once

// Shared by the import tests: a real database with a user, a patient and an "OPEN" session, a
// synthetic copy of the recorder's card made for that session, the simulated recorder on a
// pseudo-terminal (the real tavokrn-tool), and file helpers.

#include "db/Records.h"
#include "import/ImportWorkflow.h"
#include "import/StreamWriter.h"
#include "sim/SyntheticRecorder.h"
#include "import/UsbDownload.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/SessionFiles.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace importtest {

inline const std::string FiscalCode = "RSSMRA80A01H501U";
// Gain 6 and factors that are not all 1, so that scaling mistakes show.
inline const QString CalibrationText = QStringLiteral("6,1.02,0.98,1.1,0.95,1.05,1,0.9,1.2");

// Waits short enough for a fast suite, long enough for a loaded machine.
UsbTiming fastTiming();

class Fixture
{
public:
    Fixture();

    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    TestDatabase &database() { return m_db; }
    QString dataFolder() const { return m_db.dataDir(); }
    const UserRecord &user() const { return m_user; }
    ImportTarget target() const;
    QString sessionFolder() const { return ImportWorkflow::sessionFolder(target()); }
    QString expectedSessionId() const { return ImportWorkflow::expectedSessionId(target()); }
    // The session and patient as stored now.
    SessionRecord storedSession();
    PatientRecord storedPatient();

    // A card for this session in a new folder under the fixture's scratch folder.
    QString makeCard(const QString &name, double hours, double fileMinutes, quint64 seed = 1,
                     SynthSummary *summary = nullptr, const QString &sessionId = QString());
    QString scratch(const QString &name) const { return m_scratch.filePath(name); }

private:
    TestDatabase m_db;
    QTemporaryDir m_scratch;
    UserRecord m_user;
    PatientRecord m_patient;
    SessionRecord m_session;
    QString m_error;
};

// Copies the files of a folder into another (created when missing); returns the copy's path.
QString copyFolder(const QString &from, const QString &to);
Calibration calibration();
// Rewrites the card's log with each line passed through `edit` (an empty result drops the line).
bool editLog(const QString &card, const std::function<QByteArray(const QByteArray &)> &edit);

// tavokrn-tool recorder-usb on a pseudo-terminal; the device path is put in TAVOKRN_SERIAL_PORTS.
class SimulatedRecorder
{
public:
    explicit SimulatedRecorder(const QStringList &arguments);
    ~SimulatedRecorder();
    bool isRunning() const { return !m_device.isEmpty(); }
    QString device() const { return m_device; }
    QString error() const { return m_error; }

private:
    QProcess m_process;
    QString m_device;
    QString m_error;
};

} // namespace importtest
