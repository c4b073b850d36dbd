// The session report written into a real session folder from events in a real database file,
// read back as a reader sees it: pdfinfo for pages and size, pdftotext for the text, pdftoppm for
// where the snapshot images land.

#include "tests/support/TestMain.h"
#include "common/Clock.h"
#include "report/ReportBuilder.h"
#include "tests/support/PdfReader.h"
#include "tests/support/SessionFiles.h"
#include "tests/support/TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QTextDocument>

#include <memory>

namespace {

const QString source = QStringLiteral("5d41402abc4b2a76b9719d911017c592");

struct EventSpec {
    const char *type;
    const char *status;
    int count;
};

} // namespace

Q_DECLARE_METATYPE(EventSpec)

namespace {

// A snapshot as the review page leaves it: a red image and, unless text is null, its text file.
void writeSnapshot(const QString &folder, const QString &stamp, const QSize &size, const QByteArray &text)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(folder + "/Screenshot_" + stamp + ".bmp"));
    if (!text.isNull())
        QVERIFY(writeFile(folder + "/Text_" + stamp + ".txt", text));
}

// The share of the page width covered by red on its widest row.
double redWidthShare(const QImage &page)
{
    int widest = 0;
    for (int y = 0; y < page.height(); ++y) {
        int n = 0;
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            n += c.red() > 200 && c.green() < 60 && c.blue() < 60 ? 1 : 0;
        }
        widest = qMax(widest, n);
    }
    return double(widest) / page.width();
}

} // namespace

class tst_ReportBuilder : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestDatabase> m_fixture;
    PatientRecord m_patient;
    int m_otherSession = 0;
    ReportInput m_input;

    void addEvent(const char *type, const char *status, qint64 startMs, qint64 endMs, int sessionId,
                  const QString &sourceId = source)
    {
        AnnotationRecord a;
        a.m_type = type;
        a.m_status = status;
        a.m_dateStart = startMs;
        a.m_dateEnd = endMs;
        a.m_sessionId = sessionId;
        a.m_sourceId = sourceId.toStdString();
        QVERIFY(m_fixture->db().insertAnnotation(a));
    }

    PdfFacts writeReport()
    {
        ReportBuilder builder;
        if (!builder.write(m_input, m_fixture->db()))
            return {false, 0, {}, {}, "report not written: " + builder.errorString()};
        return readPdf(builder.pdfPath());
    }

    QString snapFolder() const { return m_input.sessionFolder + "/snap"; }

private slots:
    // One database for the run; every test function reports on a session of its own.
    void initTestCase()
    {
        m_fixture = std::make_unique<TestDatabase>();
        QVERIFY2(m_fixture->isValid(), qPrintable(m_fixture->error()));
        QVERIFY(m_fixture->db().execute({"PRAGMA synchronous = OFF;"})); // events are added one by one
        m_patient = m_fixture->addPatient("RSSMRA80A01H501U", "Rossi", "Mario");
        m_patient.isMale = true;
        m_patient.height = 180;
        m_patient.weight = 75;
        m_patient.birthDate = QDateTime(QDate(1980, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
        m_otherSession = m_fixture->addSession(m_patient.fiscalCode, "LOADED").id;
    }

    void init()
    {
        Clock::setFixed(QDateTime(QDate(2024, 3, 5), QTime(16, 40), Qt::LocalTime));
        const qint64 setup = QDateTime(QDate(2024, 3, 4), QTime(9, 15), Qt::LocalTime).toSecsSinceEpoch();
        m_input = ReportInput();
        m_input.patient = m_patient;
        m_input.session = m_fixture->addSession(m_patient.fiscalCode, "LOADED", setup);
        m_input.author = {7, "Anna", "Bianchi", "anna", "", ""};
        m_input.sessionFolder = m_fixture->dataDir() + "/" + QString::number(m_input.session.id);
        QVERIFY(QDir().mkpath(snapFolder()));
        m_input.spo2SpanMs = 8 * 3600000;
        m_input.acquisitionStartSeconds = setup + 900; // 09:30
        m_input.durationMinutes = 24 * 60 + 5;
        m_input.annotationCount = 101234;
        m_input.normalCount = 100890;
        m_input.sourceId = source;
        QTextDocument comment;
        comment.setPlainText("Ritmo sinusale, rare extrasistoli.");
        m_input.commentHtml = comment.toHtml();
    }

    void cleanup() { Clock::setFixed(QDateTime()); }

    // Without snapshots: two landscape A4 pages, the patient, session and report data with the
    // comment on the first, each with its footer.
    void firstPageAndFooters()
    {
        // Birth dates are midnight UTC: west of Greenwich they must not move to the day before.
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "America/New_York");
        tzset();
        const PdfFacts west = writeReport();
        qputenv("TZ", zone);
        tzset();
        QCOMPARE(west.wordsAfter("Data di Nascita", 1), QStringList{"01/01/1980"});

        const PdfFacts pdf = writeReport();
        QVERIFY2(pdf.ok, qPrintable(pdf.error));
        QCOMPARE(pdf.pages, 2);
        QVERIFY(qAbs(pdf.pageSize.width() - 841.89) < 1 && qAbs(pdf.pageSize.height() - 595.28) < 1);
        const QStringList pages = pdf.pageTexts();
        for (const char *text : {"Report Analisi Holter ECG", "Dati anagra" /* "fi" comes back as a ligature */,
                                 "Dati sessione", "Informazioni sul report", "Ritmo sinusale, rare extrasistoli.",
                                 "Report - Paziente : Mario Rossi - Sessione : 04/03/2024 ; 09:15", "Pagina : 1 / 2"})
            QVERIFY2(pages[0].contains(text), text);
        QVERIFY(pages[1].contains("Riassunto analisi") && pages[1].contains("Pagina : 2 / 2"));
        const QVector<QPair<QString, QStringList>> rows = {
            {"Nome", {"Mario"}}, {"Cognome", {"Rossi"}}, {"Codice Fiscale", {"RSSMRA80A01H501U"}},
            {"Sesso", {"M"}}, {"Altezza (cm)", {"180"}}, {"Peso (kg)", {"75"}},
            {"Data di inizio", {"04/03/2024", "-", "09:15"}}, {"Durata (h)", {"24", "ore", "5", "minuti"}},
            {"Data di creazione", {"05/03/2024", "-", "16:40"}}, {"Autore", {"Anna", "Bianchi"}}};
        for (const auto &row : rows)
            QCOMPARE(pdf.wordsAfter(row.first, row.second.size()), row.second);
        const int height = pdf.text.indexOf("Altezza (cm)"), weight = pdf.text.indexOf("Peso (kg)"); // one column
        QCOMPARE(pdf.text.indexOf("180", height) - height, pdf.text.indexOf("75", weight) - weight);
    }

    void summaryCounts_data()
    {
        QTest::addColumn<QString>("hours");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<int>("spo2SpanMs");
        QTest::addColumn<QVector<EventSpec>>("events");
        QTest::addColumn<QString>("label"); // a pattern: long labels wrap in their cell
        QTest::addColumn<QStringList>("cells");

        const QString veb = "Battiti(?! analizzati)( ectopici)?( ventricolari)?";
        QTest::newRow("24:00, 12 added veb") << "24" << "00" << 0
                                             << QVector<EventSpec>{{"veb", "added", 7}, {"veb", "addedprint", 5}}
                                             << veb << QStringList{"12", "0.50", "12", "0", "0.00", "0"};
        QTest::newRow("24:00, 12 accepted veb, todo and rejected left out")
            << "24" << "00" << 0
            << QVector<EventSpec>{{"veb", "checked", 8}, {"veb", "printed", 4}, {"veb", "todo", 3}, {"veb", "rejected", 2}}
            << veb << QStringList{"0", "0.00", "0", "12", "0.50", "12"};
        QTest::newRow("12:30, 5 pauses") << "12" << "30" << 0 << QVector<EventSpec>{{"pause", "added", 5}} << "Pause"
                                         << QStringList{"5", "0.40", "10", "0", "0.00", "0"};
        QTest::newRow("accepted are put over 24 h") << "12" << "30" << 0
                                                    << QVector<EventSpec>{{"bradichardia", "checked", 6}}
                                                    << "Bradicardie" << QStringList{"0", "0.00", "0", "6", "0.25", "6"};
        QTest::newRow("other events: added only") << "10" << "00" << 0
                                                  << QVector<EventSpec>{{"couplet", "added", 4}, {"couplet", "checked", 9}}
                                                  << "Coppia" << QStringList{"4", "0.40", "10"};
        QTest::newRow("ST row") << "24" << "00" << 0 << QVector<EventSpec>{{"st", "added", 6}, {"st", "printed", 3}}
                                << "\\bST\\s*\\n\\s*Aggiunti[^\\n]*\\n\\s*"
                                << QStringList{"6", "0.25", "6", "3", "0.13", "3"};
        QTest::newRow("no SpO2: ND") << "24" << "00" << 0 << QVector<EventSpec>{{"apneacent", "added", 3}}
                                     << "Apnee centrali" << QStringList{"3", "ND"};
        QTest::newRow("per sleep hour") << "24" << "00" << 8 * 3600000
                                        << QVector<EventSpec>{{"desaturation", "addedprint", 4}} << "Desaturazioni"
                                        << QStringList{"4", "0.50"};
        QTest::newRow("nothing analysed: ND") << "0" << "00" << 0 << QVector<EventSpec>{{"vt", "added", 2}}
                                              << "Tachicardie( ventricolari)?"
                                              << QStringList{"2", "ND", "ND", "0", "0.00", "0"};
        QTest::newRow("events left to review") << "24" << "00" << 0 << QVector<EventSpec>{{"veb", "todo", 36}}
                                               << "Eventi non revisionati:" << QStringList{"36"};
        QTest::newRow("controlled time as typed") << "23" << "5" << 0 << QVector<EventSpec>{}
                                                  << "Durata periodo controllato" << QStringList{"23:5"};
    }

    void summaryCounts()
    {
        QFETCH(QString, hours);
        QFETCH(QString, minutes);
        QFETCH(int, spo2SpanMs);
        QFETCH(QVector<EventSpec>, events);
        QFETCH(QString, label);
        QFETCH(QStringList, cells);
        m_input.hoursText = hours;
        m_input.minutesText = minutes;
        m_input.spo2SpanMs = spo2SpanMs;
        for (const EventSpec &e : events) {
            for (int i = 0; i < e.count; ++i)
                addEvent(e.type, e.status, 1000 * i, 1000 * i, m_input.session.id);
        }
        // Events of another analysis of the session, and of another session, never count.
        addEvent("veb", "added", 0, 0, m_input.session.id, "another-source");
        addEvent("veb", "added", 0, 0, m_otherSession);

        const PdfFacts pdf = writeReport();
        QVERIFY2(pdf.ok, qPrintable(pdf.error));
        QCOMPARE(pdf.wordsAfter(QRegularExpression(label), cells.size()), cells);
        QCOMPARE(pdf.wordsAfter("Battiti analizzati", 1), QStringList{"101234"});
        QCOMPARE(pdf.wordsAfter("Totale battiti normali", 1), QStringList{"100890"});
        for (const char *row : {"Apnee centrali", "Apnee ostruttive", "Ipoapnee", "Desaturazioni"})
            QCOMPARE(pdf.wordsAfter(row, 2).value(1) == "ND", spo2SpanMs == 0);
    }

    // A 60-line comment and a note as long go on over further pages, whole, each footer right.
    void longTextsFlow()
    {
        QString lines, found;
        for (int i = 1; i <= 60; ++i)
            lines += QString("Riga %1\n").arg(i);
        m_input.commentHtml = QTextDocument(lines).toHtml();
        writeSnapshot(snapFolder(), "1", {80, 30}, "x\n1\n" + m_input.commentHtml.toUtf8());
        const PdfFacts pdf = writeReport();
        for (auto it = QRegularExpression("Riga \\d+").globalMatch(pdf.text); it.hasNext();)
            found += it.next().captured() + "\n";
        QCOMPARE(found, lines + lines);
        for (int n = 1; n <= pdf.pages; ++n)
            QVERIFY(pdf.pageTexts().value(n - 1).contains(QString("Pagina : %1 / %2").arg(n).arg(pdf.pages)));
    }

    // The last manual rate of each kind, at its clock time; "ND" without one.
    void manualHeartRates()
    {
        const PdfFacts none = writeReport();
        QCOMPARE(none.wordsAfter("Max FC (manual)", 2), (QStringList{"ND", "ND"}));
        QCOMPARE(none.wordsAfter("Min FC (manual)", 2), (QStringList{"ND", "ND"}));
        const int id = m_input.session.id;
        addEvent("maxfrequency", "added", 3600000, 3600000 + 150000, id);
        addEvent("maxfrequency", "addedprint", 7200500, 7200500 + 132000, id);
        addEvent("maxfrequency", "rejected", 9000000, 9000000 + 170000, id);
        addEvent("minfrequency", "added", 1800000, 1800000 + 41000, id);
        // A damaged row, later than the others: its times overflow, it is left out.
        addEvent("maxfrequency", "added", 9500000, INT64_MIN, id);
        krntest::expectMessage(QtWarningMsg, "1 event rows with times outside the recording left out");
        const PdfFacts pdf = writeReport();
        QCOMPARE(pdf.wordsAfter("Max FC (manual)", 2), (QStringList{"132", "11:30:00"}));
        QCOMPARE(pdf.wordsAfter("Min FC (manual)", 2), (QStringList{"41", "10:00:00"}));
        // Without an analysis (no source) the events added by hand count, as these rates show them.
        m_input.sourceId.clear();
        addEvent("pause", "added", 0, 0, id, QString());
        krntest::expectMessage(QtWarningMsg, "1 event rows with times outside the recording left out");
        const PdfFacts all = writeReport();
        QCOMPARE(all.wordsAfter("Pause", 1) + all.wordsAfter("Max FC (manual)", 1), (QStringList{"1", "132"}));
    }

    // The automatic rates of the beat file: empty cells without one; with one, the 10-second
    // average and its clock time, then the 1-minute average. Five minutes at 60 bpm, five at 120.
    void automaticHeartRates()
    {
        QVERIFY(writeReport().wordsAfter("Min FC (auto)", 3).isEmpty());
        QVector<Beat> beats;
        for (double t = 0; t < 600; t += t < 300 ? 1.0 : 0.5)
            beats.append({t, "N"});
        m_input.heartRates = HeartRateTrend(beats).summary();
        const PdfFacts pdf = writeReport();
        QCOMPARE(pdf.wordsAfter("Media FC (auto)", 2), (QStringList{"90", "90"}));
        QCOMPARE(pdf.wordsAfter("Max FC (auto)", 3), (QStringList{"120", "09:35:10", "120"}));
        QCOMPARE(pdf.wordsAfter("Min FC (auto)", 3), (QStringList{"60", "09:30:00", "60"}));
    }

    // One page per snapshot in name order (user snapshots first, event ids as text) with its date,
    // note and footer; the image as wide as its ratio of 250 mm plot widths, one without its text
    // file one plot wide, one too tall for its note made smaller.
    void snapshotPages()
    {
        writeSnapshot(snapFolder(), "evt_9", {400, 150}, "<!-- 11:00:09 \"\ninf\n<p>Nota evento 9</p>"); // damaged
        writeSnapshot(snapFolder(), "evt_10", {400, 150}, "04-03-2024 11:00:10\n0.5\n<p>Nota evento 10</p>");
        writeSnapshot(snapFolder(), "20240304101500", {800, 700}, "04-03-2024 10:15:00\n1\n<p>Nota alta</p>");
        writeSnapshot(snapFolder(), "20240304101501", {800, 300}, QByteArray());
        writeSnapshot(snapFolder(), "20240304093000", {800, 300}, "04-03-2024 09:30:00\n1\n<p>Nota utente</p>");

        const PdfFacts pdf = writeReport();
        QVERIFY2(pdf.ok, qPrintable(pdf.error));
        QCOMPARE(pdf.pages, 7);
        const QStringList pages = pdf.pageTexts();
        const QStringList expected[] = {{"04-03-2024 09:30:00", "Nota utente"}, {"04-03-2024 10:15:00", "Nota alta", "non in scala"},
                                        {}, {"04-03-2024 11:00:10", "Nota evento 10"},
                                        {"<!-- 11:00:09 \"", "Nota evento 9"}};
        for (int i = 0; i < 5; ++i) {
            for (const QString &text : expected[i] + QStringList{"Data salvataggio snapshot :",
                                                                 QString("Pagina : %1 / 7").arg(i + 3)})
                QVERIFY2(pages[i + 2].contains(text), qPrintable(QString("page %1 lacks %2").arg(i + 3).arg(text)));
        }
        QVERIFY(pdf.wordsAfter("Data salvataggio snapshot :", 1, pdf.text.indexOf(pages[4])).isEmpty());

        const QString path = m_input.sessionFolder + "/Report.pdf";
        const double onePlot = 250.0 / 297.0;
        QVERIFY(qAbs(redWidthShare(renderPdfPage(path, 3, 30)) - onePlot) < 0.02);
        QVERIFY(redWidthShare(renderPdfPage(path, 4, 30)) < onePlot - 0.1); // the tall one
        QVERIFY(qAbs(redWidthShare(renderPdfPage(path, 5, 30)) - onePlot) < 0.02); // no text file
        QVERIFY(qAbs(redWidthShare(renderPdfPage(path, 6, 30)) - onePlot / 2) < 0.02); // ratio 0.5
        QVERIFY(qAbs(redWidthShare(renderPdfPage(path, 7, 30)) - onePlot) < 0.02); // ratio "inf"
    }

    // A report that cannot be written, or only in part, says so and leaves no file behind; nor is
    // one written when the events cannot be read.
    void failures()
    {
        ReportBuilder builder;
        ReportInput input = m_input;
        input.sessionFolder = m_fixture->dbPath() + "/1"; // under a file
        krntest::expectMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        QVERIFY(!builder.write(input, m_fixture->db()));
        QVERIFY2(builder.errorString().startsWith("cannot write"), qPrintable(builder.errorString()));

        const QString pdfPath = m_input.sessionFolder + "/Report.pdf";
        QVERIFY(QFile::link("/dev/full", pdfPath)); // every write fails as on a full disk
        QVERIFY(!builder.write(m_input, m_fixture->db()));
        QVERIFY2(builder.errorString().contains("could not be written completely"), qPrintable(builder.errorString()));
        QVERIFY(!QFileInfo(pdfPath).exists() && !QFileInfo(pdfPath).isSymLink());

        TestDatabase broken;
        QVERIFY(broken.db().execute({"DROP TABLE ANNOTATIONS;"}));
        krntest::expectMessage(QtInfoMsg, QRegularExpression("^\\[DB\\] Query execution error no such table"));
        QVERIFY(!builder.write(m_input, broken.db()));
        QVERIFY2(builder.errorString().contains("events cannot be read"), qPrintable(builder.errorString()));
        QVERIFY(!QFile::exists(pdfPath));
    }

    void rules()
    {
        const struct { int count; double hours; const char *perHour, *projection; } rates[] = {
            {12, 24, "0.50", "12"}, {5, 12.5, "0.40", "10"}, {1, 48, "0.02", "1"}, {0, 24, "0.00", "0"},
            {900000, 1, "900000.00", "2.16e+07"}, {3, 0, "ND", "ND"}, {3, -1, "ND", "ND"}};
        for (const auto &r : rates) {
            QCOMPARE(ReportBuilder::perHourText(r.count, r.hours), QString(r.perHour));
            QCOMPARE(ReportBuilder::projectionText(r.count, r.hours), QString(r.projection));
        }
        QCOMPARE(ReportBuilder::controlledHours("12", "30"), 12.5);
        QCOMPARE(ReportBuilder::controlledHours("dodici", "x"), 0.0);
        QCOMPARE(ReportBuilder::snapshotTextName("Screenshot_20240304101500.bmp"), QString("Text_20240304101500.txt"));
        QCOMPARE(ReportBuilder::snapshotTextName("Screenshot_evt_12.bmp"), QString("Text_evt_12.txt"));

        // Printer dots: one plot width is 15748; smaller only to stay on the page or above the note.
        const QSizeF page(17467, 10000);
        const struct { QSize pixels; double ratio; QSizeF room, size; } sizes[] = {
            {{1000, 250}, 1.0, page, {15748, 3937}},        {{1070, 500}, 1.07, page, {16850.4, 7874}},
            {{1200, 300}, 1.2, page, {17467, 4366.75}},     {{1000, 1000}, 1.0, page, {10000, 10000}},
            {{1000, 1000}, 1.0, {17467, -50}, {0, 0}},      {QSize(), 1.0, page, {0, 0}}};
        for (const auto &s : sizes) {
            const QSizeF got = ReportBuilder::snapshotSize(s.pixels, s.ratio, s.room);
            QVERIFY2(qAbs(got.width() - s.size.width()) < 1 && qAbs(got.height() - s.size.height()) < 1,
                     qPrintable(QString("%1 x %2").arg(got.width()).arg(got.height())));
        }
    }
};

KRN_TEST_MAIN(tst_ReportBuilder)
#include "tst_reportbuilder.moc"
