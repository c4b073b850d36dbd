#include "tests/importflow/ImportFixture.h"

#include <QDir>
#include <QFile>
#include <QtTest>

namespace importtest {

UsbTiming fastTiming()
{
    UsbTiming timing;
    timing.identifyWaitMs = 1500;
    timing.replyRestMs = 200;
    timing.logWaitMs = 300;
    timing.logIdleWaits = 4;
    timing.firstDataMs = 3000;
    timing.betweenChunksMs = 3000;
    timing.eraseWaitMs = 1500;
    return timing;
}

Fixture::Fixture()
{
    if (!m_db.isValid()) {
        m_error = m_db.error();
        return;
    }
    m_user = m_db.addUser("clinico", "segreto");
    m_patient = m_db.addPatient(FiscalCode);
    m_patient.status = "OPEN";
    // The recording started at the synthetic card's acquisition start.
    const qint64 start = SynthOptions().start.toSecsSinceEpoch();
    m_session = m_db.addSession(FiscalCode, "OPEN", start);
    m_session.calibration = CalibrationText.toStdString();
    if (!m_db.db().updateSession(m_session) || !m_db.db().updatePatient(m_patient))
        m_error = "cannot store the session's calibration";
    if (!m_scratch.isValid())
        m_error = "no scratch folder";
}

ImportTarget Fixture::target() const
{
    ImportTarget t;
    t.sessionIndex = 0;
    t.session = m_session;
    t.patient = m_patient;
    t.userId = m_user.id;
    t.dataFolder = m_db.dataDir();
    return t;
}

SessionRecord Fixture::storedSession()
{
    std::vector<SessionRecord> sessions;
    m_db.db().listSessions(FiscalCode, sessions);
    for (const SessionRecord &s : sessions) {
        if (s.id == m_session.id)
            return s;
    }
    return SessionRecord();
}

PatientRecord Fixture::storedPatient()
{
    std::vector<PatientRecord> patients;
    m_db.db().listPatients(std::string(), patients);
    for (const PatientRecord &p : patients) {
        if (p.fiscalCode == FiscalCode)
            return p;
    }
    return PatientRecord();
}

QString Fixture::makeCard(const QString &name, double hours, double fileMinutes, quint64 seed, SynthSummary *summary,
                          const QString &sessionId)
{
    SynthOptions options;
    options.hours = hours;
    options.fileMinutes = fileMinutes;
    options.seed = seed;
    options.calibration = calibration();
    options.sessionId = sessionId.isEmpty() ? expectedSessionId() : sessionId;
    SynthSummary ignored;
    QString error;
    const QString folder = scratch(name);
    if (!writeSyntheticRecording(folder, options, summary ? summary : &ignored, &error)) {
        QTest::qFail(qPrintable("synthetic card: " + error), __FILE__, __LINE__);
        return QString();
    }
    return folder;
}

QString copyFolder(const QString &from, const QString &to)
{
    QDir().mkpath(to);
    for (const QString &name : QDir(from).entryList(QDir::Files))
        QFile::copy(from + "/" + name, to + "/" + name);
    return to;
}

Calibration calibration()
{
    Calibration c;
    QString error;
    if (!Calibration::fromText(CalibrationText, &c, &error))
        QTest::qFail(qPrintable(error), __FILE__, __LINE__);
    return c;
}

bool editLog(const QString &card, const std::function<QByteArray(const QByteArray &)> &edit)
{
    QByteArray log;
    for (const QByteArray &line : readFile(card + "/log.txt").split('\n')) {
        const QByteArray edited = edit(line);
        if (!edited.isEmpty())
            log += edited + '\n';
    }
    return writeFile(card + "/log.txt", log);
}

SimulatedRecorder::SimulatedRecorder(const QStringList &arguments)
{
    const QString tool = qEnvironmentVariable("KRN_TOOL");
    if (tool.isEmpty()) {
        m_error = "KRN_TOOL is not set";
        return;
    }
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(tool, QStringList{"recorder-usb"} + arguments);
    if (!m_process.waitForStarted(5000)) {
        m_error = "cannot start " + tool + ": " + m_process.errorString();
        return;
    }
    QByteArray line;
    while (!line.contains('\n') && m_process.waitForReadyRead(5000))
        line += m_process.readLine();
    m_device = QString::fromLocal8Bit(line).trimmed();
    if (!m_device.startsWith('/')) {
        m_error = "recorder-usb printed no device path: " + m_device;
        m_device.clear();
        return;
    }
    qputenv("TAVOKRN_SERIAL_PORTS", m_device.toLocal8Bit());
}

SimulatedRecorder::~SimulatedRecorder()
{
    qunsetenv("TAVOKRN_SERIAL_PORTS");
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
}

} // namespace importtest
