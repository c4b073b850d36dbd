// The EDF+ export read back with edflib: a synthetic session decoded by the real decoder and
// exported by the real tavokrn-tool with its database (signals, header, sample windows against
// the decoded files, annotations), hand-made decoded files for the sample grid, the rules for the
// reviewed rows and the header ranges, and the refusals that must leave no file behind.
#include "tests/support/TestMain.h"
#include "tests/support/SessionFiles.h"
#include "import/RecordingDecoder.h"
#include "report/EdfExport.h"
#include "review/data/RecordingData.h"
#include "sim/SyntheticAnalysis.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/ToolRun.h"

#include <edflib.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// A file opened with edflib for reading, closed with the object.
struct EdfReader {
    edf_hdr_struct header{};
    bool open = false;
    explicit EdfReader(const QString &path)
    {
        open = edfopen_file_readonly(QFile::encodeName(path).constData(), &header, EDFLIB_READ_ALL_ANNOTATIONS) == 0;
    }
    ~EdfReader()
    {
        if (open)
            edfclose_file(header.handle);
    }
    int signal(const char *label) const
    {
        for (int s = 0; s < header.edfsignals; ++s)
            if (QByteArray(header.signalparam[s].label).trimmed() == label)
                return s;
        return -1;
    }
    // One digital step of the signal, in its physical unit.
    double step(int s) const
    {
        const edf_param_struct &p = header.signalparam[s];
        return (p.phys_max - p.phys_min) / (p.dig_max - p.dig_min);
    }
    QVector<double> samples(int s, qint64 from, int count) const
    {
        QVector<double> values(count);
        if (edfseek(header.handle, s, from, EDFSEEK_SET) != from
            || edfread_physical_samples(header.handle, s, count, values.data()) != count)
            values.clear();
        return values;
    }
    QVector<EdfAnnotation> annotations() const
    {
        QVector<EdfAnnotation> list;
        for (int i = 0; i < header.annotations_in_file; ++i) {
            edf_annotation_struct a{};
            if (edf_get_annotation(header.handle, i, &a) != 0)
                continue;
            list.append({a.onset / 10000, a.duration_l < 0 ? -1 : a.duration_l / 10000, QString::fromUtf8(a.annotation)});
        }
        return list;
    }
};

AnnotationRecord row(int sessionId, const std::string &source, const char *type, const char *status, qint64 start,
                     qint64 end)
{
    AnnotationRecord a;
    a.m_index = 7;
    a.m_type = type;
    a.m_status = status;
    a.m_family = "ecg";
    a.m_channel = "L2";
    a.m_sessionId = sessionId;
    a.m_sourceId = source;
    a.m_dateStart = start;
    a.m_dateEnd = end;
    return a;
}

// Decoded records (time, base): value k of a record is base + k.
template <int N>
QByteArray records(const QVector<QPair<quint32, float>> &list)
{
    QByteArray bytes(list.size() * (4 + 4 * N), '\0');
    for (int i = 0; i < list.size(); ++i) {
        float values[N];
        for (int k = 0; k < N; ++k)
            values[k] = list[i].second + float(k);
        putRecord(reinterpret_cast<uchar *>(bytes.data()) + i * (4 + 4 * N), list[i].first, values, N);
    }
    return bytes;
}

QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

const QStringList Labels{"ECG I",       "ECG II",      "ECG III",     "ECG aVR",     "ECG aVL",    "ECG aVF",    "ECG V1",
                         "ECG V2",      "ECG V3",      "ECG V4",      "ECG V5",      "ECG V6",     "Resp Tor Sx",
                         "Resp Tor Dx", "Resp Centro", "Resp Add Sx", "Resp Add Dx", "SpO2",       "Pulse"};

} // namespace

class EdfExportTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void toolExportsReviewedSession();
    void toolRefusals();
    void sampleGridHoldsThenFills();
    void reviewedRows_data();
    void reviewedRows();
    void headerRanges_data();
    void headerRanges();
    void headerTextIsAscii();
    void cancelAndFailureLeaveNoFile();

private:
    QString handMadeSession();

    QTemporaryDir m_tmp;
    std::unique_ptr<TestDatabase> m_data;
    PatientRecord m_patient;
    SessionRecord m_session;
    QString m_folder;
    QString m_source;
};

void EdfExportTest::initTestCase()
{
    m_data = std::make_unique<TestDatabase>();
    QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
    m_patient.fiscalCode = "VRDNCC65T71L219X";
    m_patient.surname = "Verdi";
    m_patient.name = "Niccolò";
    m_patient.isMale = false;
    m_patient.birthDate = QDateTime(QDate(1965, 12, 31), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    m_patient.status = "LOADED";
    QVERIFY(m_data->db().insertPatient(m_patient));
    SynthOptions options;
    m_session = m_data->addSession(m_patient.fiscalCode, "LOADED", options.start.toSecsSinceEpoch());
    QVERIFY(m_session.id > 0);

    // Six minutes with their drop-outs, the oximeter's export and the analysis folder.
    options.hours = 0.1;
    options.seed = 5;
    options.sessionId = QString::fromStdString(m_patient.fiscalCode) + QStringLiteral("%1").arg(m_session.id, 4, 10, QLatin1Char('0'));
    SyntheticSession synth;
    synth.options = options;
    QString error;
    m_folder = m_tmp.filePath("session");
    QVERIFY2(synth.writeCard(m_tmp.filePath("card"), true, &error), qPrintable(error));
    CardDecodeResult decoded;
    QVERIFY2(synth.decodeInto(m_folder, &error, &decoded), qPrintable(error));
    QVERIFY(decoded.missingIntervals.size() >= 2);
    QFile analysis(m_folder + "/ANALISI/annotations_fusion.pt");
    QVERIFY(analysis.open(QIODevice::ReadOnly));
    m_source = QCryptographicHash::hash(analysis.readAll(), QCryptographicHash::Md5).toHex();
}

void EdfExportTest::toolExportsReviewedSession()
{
    // Reviewed rows of this analysis go into the file; rows still to review, rejected ones and
    // rows of an earlier analysis do not.
    const int id = m_session.id;
    const std::string source = m_source.toStdString();
    std::vector<AnnotationRecord> rows{row(id, source, "veb", "checked", 12000, 12000),
                                       row(id, source, "vt", "printed", 30500, 34250),
                                       row(id, source, "bradichardia", "added", 60000, 75000),
                                       row(id, source, "maxfrequency", "addedprint", 90000, 240000),
                                       row(id, source, "pause", "todo", 100000, 100000),
                                       row(id, source, "bigemia", "rejected", 110000, 120000),
                                       row(id, "an earlier analysis", "veb", "checked", 130000, 130000),
                                       row(id, source, "vt", "checked", 40000, INT64_MAX)}; // damaged
    for (AnnotationRecord &a : rows)
        QVERIFY(m_data->db().insertAnnotation(a));

    const QString out = m_tmp.filePath("Verdi.edf");
    const ToolRun run = runTool({"export-edf", "--db", m_data->dbPath(), "--session", QString::number(id), m_folder, out});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains("19 signals, 360 s from 2024-03-04 09:30:00"), qPrintable(run.out));

    EdfReader edf(out);
    QVERIFY2(edf.open, qPrintable(QString::number(edf.header.filetype)));
    QCOMPARE(edf.header.filetype, EDFLIB_FILETYPE_EDFPLUS);
    QCOMPARE(edf.header.edfsignals, Labels.size());
    for (int s = 0; s < edf.header.edfsignals; ++s) {
        const edf_param_struct &p = edf.header.signalparam[s];
        QCOMPARE(QString::fromLatin1(p.label).trimmed(), Labels[s]);
        QCOMPARE(p.smp_in_datarecord, s < 12 ? 500 : s < 17 ? 50 : 1);
        QCOMPARE(QString::fromLatin1(p.physdimension).trimmed(), QString(s < 12 ? "mV" : s < 17 ? "" : s == 17 ? "%" : "bpm"));
        QCOMPARE(p.dig_min, -32768);
        QCOMPARE(p.dig_max, 32767);
    }
    QCOMPARE(edf.header.datarecord_duration, EDFLIB_TIME_DIMENSION);
    QCOMPARE(edf.header.datarecords_in_file, 360LL);

    // The header.
    QCOMPARE(QString(edf.header.patientcode), QString("VRDNCC65T71L219X"));
    QCOMPARE(QString(edf.header.gender), QString("Female"));
    QCOMPARE(QDate(edf.header.birthdate_year, edf.header.birthdate_month, edf.header.birthdate_day), QDate(1965, 12, 31));
    QCOMPARE(QString(edf.header.patient_name), QString("Verdi Niccolo"));
    QCOMPARE(QString(edf.header.equipment), QString("TavoKRN"));
    QCOMPARE(QString(edf.header.admincode), QString("VRDNCC65T71L219X%1").arg(id, 4, 10, QLatin1Char('0')));
    QCOMPARE(QString(edf.header.recording_additional).trimmed(), QString("Sessione %1").arg(id));
    QCOMPARE(QDateTime(QDate(edf.header.startdate_year, edf.header.startdate_month, edf.header.startdate_day),
                       QTime(edf.header.starttime_hour, edf.header.starttime_minute, edf.header.starttime_second)),
             SynthOptions().start);

    // Sample windows against the decoded files, within one digital step: at the start, just after
    // each drop-out and before the end, where every sample time has its own record.
    RecordingData data;
    QVERIFY(data.load(m_folder, SynthOptions().start.toSecsSinceEpoch()));
    // (Places where ECG and respiration both have a record at the same time.)
    const auto place = [&](quint32 near) { return data.breath()[data.breath().lowerBound(near)].time; };
    QVector<quint32> windows{0};
    for (const MissingInterval &hole : data.missingIntervals())
        windows.append(place(hole.stop + 1000));
    windows.append(place(data.ecg().back().time - 2000));
    for (const quint32 at : windows) {
        QCOMPARE(at % 20, 0u);
        const std::size_t first = data.ecg().lowerBound(at);
        QVERIFY(first + 250 <= data.ecg().size());
        QCOMPARE(data.ecg()[first].time, at);
        QCOMPARE(data.ecg()[first + 249].time, at + 498); // one record every 2 ms here
        for (const auto &[label, lead] : {std::pair<const char *, int>{"ECG I", 1}, {"ECG V6", 0}, {"ECG III", 8},
                                          {"ECG aVR", 9}, {"ECG aVL", 10}, {"ECG aVF", 11}}) {
            const int s = edf.signal(label);
            const QVector<double> got = edf.samples(s, at / 2, 250);
            QCOMPARE(got.size(), 250);
            for (int i = 0; i < 250; ++i) {
                const float *v = data.ecg()[first + std::size_t(i)].values;
                const double i1 = v[1], i2 = v[2];
                const double expected = lead == 8 ? i2 - i1 : lead == 9 ? -(i1 + i2) / 2 : lead == 10 ? i1 - i2 / 2
                                        : lead == 11 ? i2 - i1 / 2 : v[lead];
                QVERIFY2(std::fabs(got[i] - expected) <= edf.step(s),
                         qPrintable(QString("%1 at %2 ms: %3, decoded %4").arg(label).arg(at + 2 * i).arg(got[i]).arg(expected)));
            }
        }
        const std::size_t breathFirst = data.breath().lowerBound(at);
        QCOMPARE(data.breath()[breathFirst].time, at);
        const int s = edf.signal("Resp Add Dx");
        const QVector<double> got = edf.samples(s, at / 20, 25);
        QCOMPARE(got.size(), 25);
        for (int i = 0; i < 25; ++i)
            QVERIFY(std::fabs(got[i] - data.breath()[breathFirst + std::size_t(i)].values[4]) <= edf.step(s));
    }
    // The decoder's zeros inside a drop-out stay in the signal.
    const MissingInterval hole = data.missingIntervals().first();
    const QVector<double> gap = edf.samples(edf.signal("ECG II"), (hole.start + hole.stop) / 4, 10);
    for (double v : gap)
        QVERIFY(std::fabs(v) <= edf.step(edf.signal("ECG II")));

    // SpO2 and pulse every second from the oximeter's export.
    for (const auto &[label, series] : {std::pair<const char *, QVector<QPair<int, int>>>{"SpO2", data.spo2Series()},
                                        {"Pulse", data.pulseSeries()}}) {
        const int s = edf.signal(label);
        const QVector<double> got = edf.samples(s, 0, 360);
        QCOMPARE(got.size(), 360);
        int compared = 0;
        for (const auto &[ms, value] : series) {
            if (ms >= 0 && ms < 360000) {
                QCOMPARE(ms % 1000, 0);
                QVERIFY2(std::fabs(got[ms / 1000] - value) <= edf.step(s), label);
                ++compared;
            }
        }
        QVERIFY(compared > 300);
    }

    // The annotations: each missing interval, then the reviewed events.
    QVector<EdfAnnotation> expected;
    for (const MissingInterval &h : data.missingIntervals())
        expected.append({qint64(h.start), qint64(h.stop - h.start), "Dati mancanti"});
    expected.append({12000, -1, "veb"});
    expected.append({30500, 3750, "vt"});
    expected.append({60000, 15000, "bradichardia"});
    expected.append({90000, -1, "maxfrequency 150"});
    QCOMPARE(edf.annotations(), expected);
    QVERIFY(run.out.contains("4 reviewed events"));
    QVERIFY(leftovers(m_tmp.path()).filter(".part").isEmpty());
}

void EdfExportTest::toolRefusals()
{
    const QString out = m_tmp.filePath("refused.edf");
    struct Case {
        QStringList args;
        int exitCode;
        const char *reason;
    };
    const QList<Case> cases{
        {{"export-edf", m_folder}, 2, "SESSION_FOLDER OUT.edf expected"},
        {{"export-edf", "--db", m_data->dbPath(), m_folder, out}, 2, "--db and --session go together"},
        {{"export-edf", "--db", m_data->dbPath(), "--session", "x", m_folder, out}, 2, "is not a session id"},
        {{"export-edf", m_tmp.filePath("nowhere"), out}, 1, "is not a folder"},
        {{"export-edf", "--db", m_tmp.filePath("none.db"), "--session", "1", m_folder, out}, 1, "no database"},
        {{"export-edf", "--db", m_data->dbPath(), "--session", "999", m_folder, out}, 1, "La sessione 999 non è nel database"},
        {{"export-edf", m_tmp.path(), out}, 1, "non contiene dati decodificati"},
        {{"export-edf", m_folder, m_tmp.filePath("no/such/folder/x.edf")}, 1, "Impossibile creare il file"},
    };
    for (const Case &c : cases) {
        const ToolRun run = runTool(c.args);
        QVERIFY2(run.exitCode == c.exitCode, qPrintable(c.args.join(' ') + ": " + run.err));
        QVERIFY2(run.err.contains(QString::fromUtf8(c.reason)), qPrintable(run.err));
        QVERIFY(!QFile::exists(out));
    }
    // Another session's folder is not exported under this patient's name.
    SessionRecord other = m_data->addSession(m_patient.fiscalCode, "LOADED", m_session.startRecDate);
    const ToolRun run = runTool({"export-edf", "--db", m_data->dbPath(), "--session", QString::number(other.id), m_folder, out});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QString("contiene la sessione VRDNCC65T71L219X%1 del registratore, non la sessione "
                                      "VRDNCC65T71L219X%2").arg(m_session.id, 4, 10, QLatin1Char('0')).arg(other.id, 4, 10, QLatin1Char('0'))),
             qPrintable(run.err));
    QVERIFY(!QFile::exists(out));
    QVERIFY(leftovers(m_tmp.path()).filter(".part").isEmpty());
}

// Half a second of ECG with a lost record at 6 ms, a repeated time at 20 ms and a 100 ms hole;
// respiration every 20 ms; the log's acquisition start.
QString EdfExportTest::handMadeSession()
{
    const QString folder = m_tmp.filePath("handmade");
    QDir().mkpath(folder);
    QVector<QPair<quint32, float>> ecg;
    for (quint32 t = 0; t < 500; t += 2) {
        if (t == 6 || (t >= 100 && t < 200))
            continue;
        ecg.append({t, float(t) / 100.0f});
        if (t == 20)
            ecg.append({t, -50.0f}); // a repeated time: passed over
    }
    if (!writeFile(folder + "/ecg.txt", records<8>(ecg)))
        QTest::qFail("cannot write the hand-made session", __FILE__, __LINE__);
    QVector<QPair<quint32, float>> breath;
    for (quint32 t = 0; t < 500; t += 20)
        breath.append({t, float(30000 + t)});
    if (!writeFile(folder + "/breath.txt", records<5>(breath)))
        QTest::qFail("cannot write the hand-made session", __FILE__, __LINE__);
    if (!writeFile(folder + "/logfile.txt", "ID_SESSIONE:TAVO0417\r\nSTART_ACQ:20240304093000\r\n"))
        QTest::qFail("cannot write the hand-made session", __FILE__, __LINE__);
    return folder;
}

void EdfExportTest::sampleGridHoldsThenFills()
{
    const QString folder = handMadeSession();
    const QString out = folder + "/grid.edf";
    EdfExport exporter(folder);
    QVERIFY2(exporter.write(out), qPrintable(exporter.errorString()));
    QCOMPARE(exporter.signalList().size(), 17); // no oximeter, no SpO2 and pulse
    QCOMPARE(exporter.dataRecords(), 1LL);
    // The ranges hold the extremes of the decoded values and 0: channel V6 runs from the repeated
    // record's -50 (passed over, yet counted) to 4.98f, a little above 4.98, so 4.980001.
    QCOMPARE(exporter.signalList()[11].physicalMinimum, -50.0);
    QCOMPARE(EdfExport::headerNumber(exporter.signalList()[11].physicalMaximum), QString("4.980001"));
    QCOMPARE(EdfExport::headerNumber(exporter.signalList()[12].physicalMaximum), QString("30480"));

    EdfReader edf(out);
    QVERIFY(edf.open);
    QCOMPARE(QString(edf.header.admincode), QString("TAVO0417"));
    QCOMPARE(QString(edf.header.equipment), QString("TavoKRN"));
    const int v6 = edf.signal("ECG V6"), lead1 = edf.signal("ECG I");
    QCOMPARE(edf.header.signalparam[v6].phys_max, exporter.signalList()[11].physicalMaximum);
    const QVector<double> got = edf.samples(v6, 0, 500);
    QCOMPARE(got.size(), 500);
    const auto expectedAt = [](int n) -> double {
        const int t = 2 * n;
        if (t == 6)
            return 0.04;                   // the lost record repeats the one before
        if (t >= 100 && t < 110)
            return 0.98;                   // the hole's first five samples too
        if (t >= 110 && t < 200)
            return 0.0;                    // then zeros
        if (t >= 498 && t < 510)
            return 4.98;                   // the last record, held after the end
        if (t >= 510)
            return 0.0;                    // then zeros to the end of the data record
        return t / 100.0;
    };
    for (int n = 0; n < 500; ++n)
        QVERIFY2(std::fabs(got[n] - expectedAt(n)) <= edf.step(v6),
                 qPrintable(QString("sample %1: %2, expected %3").arg(n).arg(got[n]).arg(expectedAt(n))));
    // Lead I is channel 1: one more than V6.
    const QVector<double> i = edf.samples(lead1, 10, 2);
    QVERIFY(std::fabs(i[0] - 1.2) <= edf.step(lead1) && std::fabs(i[1] - 1.22) <= edf.step(lead1));
    // Respiration: 25 records, then zeros to the end of the second.
    const QVector<double> breath = edf.samples(edf.signal("Resp Tor Sx"), 0, 50);
    QCOMPARE(breath.size(), 50);
    QCOMPARE(std::lround(breath[3]), 30060L);
    QCOMPARE(std::lround(breath[24]), 30480L);
    QCOMPARE(std::lround(breath[30]), 0L);
}

void EdfExportTest::reviewedRows_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("status");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<bool>("exported");
    QTest::addColumn<qint64>("duration");
    QTest::addColumn<QString>("text");

    QTest::newRow("accepted beat") << "veb" << "checked" << 1500LL << 1500LL << true << -1LL << "veb";
    QTest::newRow("printed episode") << "vt" << "printed" << 2000LL << 9500LL << true << 7500LL << "vt";
    QTest::newRow("added episode") << "bigemia" << "added" << 0LL << 60000LL << true << 60000LL << "bigemia";
    QTest::newRow("added and printed") << "st" << "addedprint" << 5LL << 15LL << true << 10LL << "st";
    QTest::newRow("to review") << "veb" << "todo" << 1500LL << 1500LL << false << 0LL << "";
    QTest::newRow("rejected") << "vt" << "rejected" << 2000LL << 9500LL << false << 0LL << "";
    QTest::newRow("no type") << "" << "checked" << 2000LL << 9500LL << false << 0LL << "";
    QTest::newRow("maximum heart rate") << "maxfrequency" << "added" << 7000LL << 187000LL << true << -1LL << "maxfrequency 180";
    QTest::newRow("minimum heart rate") << "minfrequency" << "addedprint" << 0LL << 41000LL << true << -1LL << "minfrequency 41";
}

void EdfExportTest::reviewedRows()
{
    QFETCH(QString, type);
    QFETCH(QString, status);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(bool, exported);
    const std::optional<EdfAnnotation> a =
        EdfExport::eventAnnotation(row(1, "s", type.toLatin1().constData(), status.toLatin1().constData(), start, end));
    QCOMPARE(a.has_value(), exported);
    if (!exported)
        return;
    QFETCH(qint64, duration);
    QFETCH(QString, text);
    QCOMPARE(a->onsetMs, start);
    QCOMPARE(a->durationMs, duration);
    QCOMPARE(a->text, text);
}

void EdfExportTest::headerRanges_data()
{
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::addColumn<QString>("lowText");
    QTest::addColumn<QString>("highText");

    QTest::newRow("fits as it is") << -0.5 << 1.25 << "-0.5" << "1.25";
    QTest::newRow("six decimals below one") << 0.12345674 << 0.98765432 << "0.123456" << "0.987655";
    QTest::newRow("units and six decimals") << -1.23456789 << 1.23456789 << "-1.23457" << "1.234568";
    QTest::newRow("a sign costs a decimal") << -0.1861234 << 0.8193411 << "-0.18613" << "0.819342";
    QTest::newRow("integers") << 0.0 << 32099.0 << "0" << "32099";
    QTest::newRow("large") << -1234567.4 << 12345678.2 << "-1234568" << "12345679";
    QTest::newRow("flat") << 97.0 << 97.0 << "96" << "98";
    QTest::newRow("flat zero") << 0.0 << 0.0 << "-1" << "1";
    QTest::newRow("too large") << -99999999.0 << 0.0 << "" << "";
}

void EdfExportTest::headerRanges()
{
    QFETCH(double, low);
    QFETCH(double, high);
    QFETCH(QString, lowText);
    QFETCH(QString, highText);
    double l = 0, h = 0;
    QCOMPARE(EdfExport::headerRange(low, high, &l, &h), !lowText.isEmpty());
    if (lowText.isEmpty())
        return;
    QCOMPARE(EdfExport::headerNumber(l), lowText);
    QCOMPARE(EdfExport::headerNumber(h), highText);
    QVERIFY(l <= low && h >= high);
    QCOMPARE(lowText.toDouble(), l);
    QCOMPARE(highText.toDouble(), h);
}

void EdfExportTest::headerTextIsAscii()
{
    QCOMPARE(EdfExport::headerText(QString::fromUtf8("Niccolò D'Àlò")), QByteArray("Niccolo D'Alo"));
    QCOMPARE(EdfExport::headerText(QString::fromUtf8(" Søren 李 ")), QByteArray("Sren"));
}

void EdfExportTest::cancelAndFailureLeaveNoFile()
{
    const QString folder = m_tmp.filePath("cancel");
    QDir().mkpath(folder);
    const QString out = folder + "/kept.edf";
    QVERIFY(writeFile(out, "an earlier export"));

    // Cancelled in the second pass (the first one reports every 131072 records, the second every
    // data record): the earlier file stays as it was, nothing else is left.
    EdfExport exporter(m_folder);
    qint64 total = 0;
    QVector<qint64> seen;
    const bool written = exporter.write(out, [&](qint64 done, qint64 all) {
        seen.append(done);
        total = all;
        return done < 400;
    });
    QVERIFY(!written);
    QVERIFY(exporter.wasCanceled());
    QCOMPARE(exporter.errorString(), QString("Esportazione annullata"));
    QCOMPARE(total, 720LL);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QVERIFY(seen.first() < 360);
    QCOMPARE(seen.last(), 400LL);
    QCOMPARE(seen[seen.size() - 40], 361LL);
    QCOMPARE(leftovers(folder), QStringList{"kept.edf"});
    QFile kept(out);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("an earlier export"));

    // Without a START_ACQ and without a session there is no start time for the file.
    const QString noStart = m_tmp.filePath("nostart");
    QDir().mkpath(noStart);
    const QString source = handMadeSession();
    for (const char *name : {"ecg.txt", "breath.txt"})
        QVERIFY(QFile::copy(source + "/" + name, noStart + "/" + name));
    QVERIFY(writeFile(noStart + "/logfile.txt", "ID_SESSIONE:X\r\n"));
    EdfExport withoutStart(noStart);
    QVERIFY(!withoutStart.write(folder + "/nostart.edf"));
    QVERIFY(withoutStart.errorString().startsWith("Inizio acquisizione sconosciuto"));
    // The session's recording start serves instead.
    EdfSessionInfo info;
    info.session = SessionRecord();
    info.session->startRecDate = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)).toSecsSinceEpoch();
    EdfExport withSession(noStart, info);
    QVERIFY2(withSession.write(folder + "/nostart.edf"), qPrintable(withSession.errorString()));
    QCOMPARE(withSession.startDateTime(), QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
    QCOMPARE(leftovers(folder), QStringList({"kept.edf", "nostart.edf"}));
}

KRN_TEST_MAIN(EdfExportTest)
#include "tst_edfexport.moc"
