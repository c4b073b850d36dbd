// The session report written into a real session folder from events in a real database file,
// read back as a reader sees it: pdfinfo for pages and size, pdftotext for the text, pdftoppm for
// where the snapshot images land.

#include "tests/support/TestMain.h"
#include "app/common/Clock.h"
#include "report/ReportBuilder.h"
#include "tests/support/PdfReader.h"
#include "tests/support/TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextDocument>
#include <QTextStream>

#include <memory>

namespace {

const QString source = QStringLiteral("5d41402abc4b2a76b9719d911017c592");
const QDateTime setupStart(QDate(2024, 3, 4), QTime(9, 15), Qt::LocalTime);
const QDateTime acquisitionStart(QDate(2024, 3, 4), QTime(9, 30), Qt::LocalTime);

struct EventSpec {
    const char *type;
    const char *status;
    int count;
};

} // namespace

Q_DECLARE_METATYPE(EventSpec)

namespace {

void writeTextFile(const QString &path, const QString &content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Text), qPrintable(path));
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << content;
}

void writeImage(const QString &path, const QSize &size, const QColor &colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "BMP"));
}

// The share of the page width covered by pure red pixels on the widest row.
double redWidthShare(const QImage &page)
{
    int widest = 0;
    for (int y = 0; y < page.height(); ++y) {
        int n = 0;
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 60 && c.blue() < 60)
                ++n;
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
    UserRecord m_author;
    ReportInput m_input;

    void addEvents(const EventSpec &spec, int sessionId = -1, const QString &sourceId = source,
                   qint64 firstStartMs = 600000)
    {
        for (int i = 0; i < spec.count; ++i) {
            AnnotationRecord a;
            a.m_type = spec.type;
            a.m_status = spec.status;
            a.m_family = "ecg";
            a.m_channel = "ND";
            a.m_dateStart = firstStartMs + i * 1000;
            a.m_dateEnd = a.m_dateStart;
            a.m_sessionId = sessionId < 0 ? m_input.session.id : sessionId;
            a.m_sourceId = sourceId.toStdString();
            QVERIFY(m_fixture->db().insertAnnotation(a));
        }
    }

    void addManualRate(const char *type, int bpm, qint64 startMs, const char *status = "added")
    {
        AnnotationRecord a;
        a.m_type = type;
        a.m_status = status;
        a.m_family = "ecg";
        a.m_channel = "ND";
        a.m_dateStart = startMs;
        a.m_dateEnd = startMs + bpm * 1000;
        a.m_sessionId = m_input.session.id;
        a.m_sourceId = source.toStdString();
        QVERIFY(m_fixture->db().insertAnnotation(a));
    }

    PdfFacts writeReport()
    {
        ReportBuilder builder;
        if (!builder.write(m_input, m_fixture->db())) {
            QTest::qFail(qPrintable("report not written: " + builder.errorString()), __FILE__, __LINE__);
            return {};
        }
        const PdfFacts pdf = readPdf(builder.pdfPath());
        if (!pdf.ok)
            QTest::qFail(qPrintable(pdf.error), __FILE__, __LINE__);
        return pdf;
    }

    QString snapFolder() const { return m_input.sessionFolder + "/snap"; }

private slots:
    // One database for the whole run; every test function reports on a session of its own.
    void initTestCase()
    {
        m_fixture = std::make_unique<TestDatabase>();
        QVERIFY2(m_fixture->isValid(), qPrintable(m_fixture->error()));
        // The events are written one statement at a time; waiting for the disk each time is not
        // what is tested here.
        QVERIFY(m_fixture->db().execute({"PRAGMA synchronous = OFF;"}));
        m_patient = m_fixture->addPatient("RSSMRA80A01H501U", "Rossi", "Mario");
        m_patient.isMale = true;
        m_patient.height = 180;
        m_patient.weight = 75;
        m_patient.birthDate = QDateTime(QDate(1980, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
        m_author = m_fixture->addUser("anna", "secret", "", "Anna", "Bianchi");
    }

    void cleanupTestCase() { m_fixture.reset(); }

    void init()
    {
        Clock::setFixed(QDateTime(QDate(2024, 3, 5), QTime(16, 40), Qt::LocalTime));
        SessionRecord session = m_fixture->addSession(m_patient.fiscalCode, "LOADED", setupStart.toSecsSinceEpoch());
        session.dataPathName = "RSSMRA80A01H501U/" + std::to_string(session.id);

        m_input = ReportInput();
        m_input.patient = m_patient;
        m_input.session = session;
        m_input.author = m_author;
        m_input.sessionFolder = m_fixture->dataDir() + "/" + QString::fromStdString(session.dataPathName);
        QVERIFY(QDir().mkpath(m_input.sessionFolder));
        m_input.spo2SpanMs = 8 * 3600000;
        m_input.acquisitionStartSeconds = acquisitionStart.toSecsSinceEpoch();
        m_input.durationMinutes = 24 * 60 + 5;
        m_input.annotationCount = 101234;
        m_input.normalCount = 100890;
        m_input.sourceId = source;
        QTextDocument comment;
        comment.setPlainText("Ritmo sinusale, rare extrasistoli.");
        m_input.commentHtml = comment.toHtml();
    }

    void cleanup() { Clock::setFixed(QDateTime()); }

    // Page 1 carries the patient, the session, the report's author and the comment; without
    // snapshots the report has the two pages, each with its footer.
    void firstPageAndFootersWithoutSnapshots()
    {
        // Birth dates must not move a day west of Greenwich.
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "America/New_York");
        tzset();
        const PdfFacts pdf = writeReport();
        qputenv("TZ", zone);
        tzset();
        QVERIFY(pdf.ok);

        QCOMPARE(pdf.pages, 2);
        QVERIFY2(qAbs(pdf.pageSize.width() - 841.89) < 1 && qAbs(pdf.pageSize.height() - 595.28) < 1,
                 "landscape A4");
        const QStringList pages = pdf.pageTexts();
        QVERIFY(pages[0].contains("Report Analisi Holter ECG"));
        // "fi" comes back as its ligature.
        for (const char *heading : {"Dati anagra", "Dati sessione", "Informazioni sul report", "Commenti"})
            QVERIFY2(pages[0].contains(heading), heading);
        QCOMPARE(pdf.wordsAfter("Nome", 1), QStringList{"Mario"});
        QCOMPARE(pdf.wordsAfter("Cognome", 1), QStringList{"Rossi"});
        QCOMPARE(pdf.wordsAfter("Codice Fiscale", 1), QStringList{"RSSMRA80A01H501U"});
        QCOMPARE(pdf.wordsAfter("Sesso", 1), QStringList{"M"});
        QCOMPARE(pdf.wordsAfter("Data di Nascita", 1), QStringList{"01/01/1980"});
        QCOMPARE(pdf.wordsAfter("Altezza (cm)", 1), QStringList{"180"});
        QCOMPARE(pdf.wordsAfter("Peso (kg)", 1), QStringList{"75"});
        QCOMPARE(pdf.wordsAfter("Durata (h)", 4), (QStringList{"24", "ore", "5", "minuti"}));
        QCOMPARE(pdf.wordsAfter("Autore", 2), (QStringList{"Anna", "Bianchi"}));
        QVERIFY(pages[0].contains("Ritmo sinusale, rare extrasistoli."));
        QVERIFY(pages[1].contains("Riassunto analisi"));

        // The dates in the session's own time zone; the footer text exactly.
        QVERIFY(pages[0].contains("Report - Paziente : Mario Rossi - Sessione : "));
        QVERIFY(pages[0].contains("Pagina : 1 / 2"));
        QVERIFY(pages[1].contains("Pagina : 2 / 2"));
        QVERIFY(!pages[0].contains("Pagina : 2 / 2"));
    }

    void datesInLocalTime()
    {
        const PdfFacts pdf = writeReport();
        QVERIFY(pdf.ok);
        QCOMPARE(pdf.wordsAfter("Data di inizio", 3), (QStringList{"04/03/2024", "-", "09:15"}));
        QCOMPARE(pdf.wordsAfter("Data di creazione", 3), (QStringList{"05/03/2024", "-", "16:40"}));
        QVERIFY(pdf.text.contains("Sessione : 04/03/2024 ; 09:15"));
    }

    void summaryCounts_data()
    {
        QTest::addColumn<QString>("hours");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<int>("spo2SpanMs");
        QTest::addColumn<QVector<EventSpec>>("events");
        QTest::addColumn<QString>("label"); // a pattern: long labels wrap in their cell
        QTest::addColumn<QStringList>("cells");

        const QVector<EventSpec> none;
        QTest::newRow("24:00, 12 added veb") << "24" << "00" << 0 << QVector<EventSpec>{{"veb", "added", 7}, {"veb", "addedprint", 5}}
                                             << "Battiti(?! analizzati)( ectopici)?( ventricolari)?"
                                             << QStringList{"12", "0.50", "12", "0", "0.00", "0"};
        QTest::newRow("24:00, 12 accepted veb") << "24" << "00" << 0
                                                << QVector<EventSpec>{{"veb", "checked", 8}, {"veb", "printed", 4}}
                                                << "Battiti(?! analizzati)( ectopici)?( ventricolari)?"
                                                << QStringList{"0", "0.00", "0", "12", "0.50", "12"};
        QTest::newRow("12:30, 5 pauses") << "12" << "30" << 0 << QVector<EventSpec>{{"pause", "added", 5}} << "Pause"
                                         << QStringList{"5", "0.40", "10", "0", "0.00", "0"};
        QTest::newRow("accepted over 24 h whatever was analysed")
            << "12" << "30" << 0 << QVector<EventSpec>{{"bradichardia", "checked", 6}} << "Bradicardie"
            << QStringList{"0", "0.00", "0", "6", "0.25", "6"};
        QTest::newRow("todo and rejected are not counted")
            << "24" << "00" << 0 << QVector<EventSpec>{{"bigemia", "todo", 3}, {"bigemia", "rejected", 2}, {"bigemia", "added", 1}}
            << "Bigeminie" << QStringList{"1", "0.04", "1", "0", "0.00", "0"};
        QTest::newRow("other events: added only") << "10" << "00" << 0
                                                  << QVector<EventSpec>{{"couplet", "added", 4}, {"couplet", "checked", 9}}
                                                  << "Coppia" << QStringList{"4", "0.40", "10"};
        QTest::newRow("no SpO2: ND") << "24" << "00" << 0 << QVector<EventSpec>{{"apneacent", "added", 3}}
                                     << "Apnee centrali" << QStringList{"3", "ND"};
        QTest::newRow("per sleep hour") << "24" << "00" << 8 * 3600000
                                        << QVector<EventSpec>{{"desaturation", "addedprint", 4}} << "Desaturazioni"
                                        << QStringList{"4", "0.50"};
        QTest::newRow("nothing analysed: ND") << "0" << "00" << 0 << QVector<EventSpec>{{"vt", "added", 2}}
                                              << "Tachicardie( ventricolari)?"
                                              << QStringList{"2", "ND", "ND", "0", "0.00", "0"};
        QTest::newRow("controlled time as typed") << "23" << "5" << 0 << none << "Durata periodo controllato"
                                                  << QStringList{"23:5"};
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
        for (const EventSpec &e : events)
            addEvents(e);
        // Events of another analysis of the same session and of another session never count.
        addEvents({"veb", "added", 3}, -1, "another-source");
        const SessionRecord other = m_fixture->addSession(m_input.patient.fiscalCode, "LOADED");
        addEvents({"veb", "added", 2}, other.id);

        const PdfFacts pdf = writeReport();
        QVERIFY(pdf.ok);
        QCOMPARE(pdf.wordsAfter(QRegularExpression(label), cells.size()), cells);
        QCOMPARE(pdf.wordsAfter("Battiti analizzati", 1), QStringList{"101234"});
        QCOMPARE(pdf.wordsAfter("Totale battiti normali", 1), QStringList{"100890"});
        if (spo2SpanMs == 0) {
            for (const char *row : {"Apnee centrali", "Apnee ostruttive", "Ipoapnee", "Desaturazioni"})
                QCOMPARE(pdf.wordsAfter(row, 2).value(1), QString("ND"));
        }
    }

    void stRow()
    {
        addEvents({"st", "added", 6});
        addEvents({"st", "printed", 3});
        const PdfFacts pdf = writeReport();
        QVERIFY(pdf.ok);
        // The ST box has no label column: its one row follows its header.
        const int header = pdf.text.lastIndexOf("Accettati");
        QVERIFY(header > 0);
        QCOMPARE(pdf.wordsAfter(QRegularExpression("Proiezione 24h\\s*"), 6, header),
                 (QStringList{"6", "0.25", "6", "3", "0.13", "3"}));
    }

    void manualHeartRates()
    {
        {
            const PdfFacts pdf = writeReport();
            QVERIFY(pdf.ok);
            QCOMPARE(pdf.wordsAfter("Max FC (manual)", 2), (QStringList{"ND", "ND"}));
            QCOMPARE(pdf.wordsAfter("Min FC (manual)", 2), (QStringList{"ND", "ND"}));
        }
        // Two maximum rates: the one later in the recording is the one shown, at its clock time.
        addManualRate("maxfrequency", 150, 3600000);
        addManualRate("maxfrequency", 132, 7200500, "addedprint");
        addManualRate("maxfrequency", 170, 9000000, "rejected");
        addManualRate("minfrequency", 41, 1800000);
        const PdfFacts pdf = writeReport();
        QVERIFY(pdf.ok);
        QCOMPARE(pdf.wordsAfter("Max FC (manual)", 2), (QStringList{"132", "11:30:00"}));
        QCOMPARE(pdf.wordsAfter("Min FC (manual)", 2), (QStringList{"41", "10:00:00"}));
    }

    // One page per snapshot in name order (user snapshots first, event ids as text), each with
    // its saving date, its note and its footer; the image is as wide as its ratio of plot widths,
    // and one without its text file is drawn one plot wide instead of not at all.
    void snapshotPages()
    {
        QVERIFY(QDir().mkpath(snapFolder()));
        const QString note = "<html><body><p>Nota %1</p></body></html>";
        writeImage(snapFolder() + "/Screenshot_evt_9.bmp", {400, 150}, Qt::red);
        writeTextFile(snapFolder() + "/Text_evt_9.txt", "04-03-2024 11:00:09\n1\n" + note.arg("evento 9"));
        writeImage(snapFolder() + "/Screenshot_evt_10.bmp", {400, 150}, Qt::red);
        writeTextFile(snapFolder() + "/Text_evt_10.txt", "04-03-2024 11:00:10\n0.5\n" + note.arg("evento 10"));
        writeImage(snapFolder() + "/Screenshot_20240304101500.bmp", {800, 300}, Qt::red);
        writeTextFile(snapFolder() + "/Text_20240304101500.txt", "04-03-2024 10:15:00\n1.07\n" + note.arg("utente A"));
        writeImage(snapFolder() + "/Screenshot_20240304101501.bmp", {800, 300}, Qt::red);
        writeImage(snapFolder() + "/Screenshot_20240304093000.bmp", {800, 300}, Qt::red);
        writeTextFile(snapFolder() + "/Text_20240304093000.txt", "04-03-2024 09:30:00\n1\n" + note.arg("utente 0"));

        const PdfFacts pdf = writeReport();
        QVERIFY(pdf.ok);
        QCOMPARE(pdf.pages, 7);
        const QStringList pages = pdf.pageTexts();
        const QStringList expected[] = {{"04-03-2024 09:30:00", "Nota utente 0"},
                                        {"04-03-2024 10:15:00", "Nota utente A"},
                                        {},
                                        {"04-03-2024 11:00:10", "Nota evento 10"},
                                        {"04-03-2024 11:00:09", "Nota evento 9"}};
        for (int i = 0; i < 5; ++i) {
            const QString &page = pages[i + 2];
            QVERIFY2(page.contains("Data salvataggio snapshot :"), qPrintable(page));
            for (const QString &text : expected[i])
                QVERIFY2(page.contains(text), qPrintable(QString("page %1 lacks %2").arg(i + 3).arg(text)));
            QVERIFY(page.contains(QString("Pagina : %1 / 7").arg(i + 3)));
        }
        QVERIFY(!pages[4].contains("Nota"));
        QCOMPARE(pdf.wordsAfter("Data salvataggio snapshot :", 1, pdf.text.indexOf(pages[4])), QStringList());

        // 250 mm per plot width on a 297 mm wide page.
        const QString path = m_input.sessionFolder + "/Report.pdf";
        const double onePlot = 250.0 / 297.0;
        QVERIFY(qAbs(redWidthShare(renderPdfPage(path, 3, 30)) - onePlot) < 0.02);
        QVERIFY(qAbs(redWidthShare(renderPdfPage(path, 5, 30)) - onePlot) < 0.02);       // no text file
        QVERIFY(qAbs(redWidthShare(renderPdfPage(path, 6, 30)) - onePlot / 2) < 0.02);   // ratio 0.5
    }

    // A capture taller than the room above the footer is drawn smaller, so its note still shows.
    void tallSnapshotKeepsItsNote()
    {
        QVERIFY(QDir().mkpath(snapFolder()));
        writeImage(snapFolder() + "/Screenshot_20240304101500.bmp", {800, 700}, Qt::red);
        writeTextFile(snapFolder() + "/Text_20240304101500.txt",
                      "04-03-2024 10:15:00\n1\n<p>Nota sotto una cattura alta</p>");
        const PdfFacts pdf = writeReport();
        QVERIFY(pdf.ok);
        QCOMPARE(pdf.pages, 3);
        QVERIFY(pdf.pageTexts().value(2).contains("Nota sotto una cattura alta"));
        QVERIFY(pdf.pageTexts().value(2).contains("Pagina : 3 / 3"));
    }

    void snapshotSizes_data()
    {
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<QSizeF>("room");
        QTest::addColumn<QSizeF>("size");
        const QSizeF page(17467, 10000);
        QTest::newRow("one plot wide") << QSize(1000, 250) << 1.0 << page << QSizeF(15748, 3937);
        QTest::newRow("frame with its labels") << QSize(1070, 500) << 1.07 << page << QSizeF(16850.36, 7874);
        QTest::newRow("wider than the page") << QSize(1200, 300) << 1.2 << page << QSizeF(17467, 4366.75);
        QTest::newRow("taller than the room") << QSize(1000, 1000) << 1.0 << page << QSizeF(10000, 10000);
        QTest::newRow("no room at all") << QSize(1000, 1000) << 1.0 << QSizeF(17467, -50) << QSizeF(0, 0);
        QTest::newRow("no image") << QSize() << 1.0 << page << QSizeF(0, 0);
    }

    void snapshotSizes()
    {
        QFETCH(QSize, pixels);
        QFETCH(double, ratio);
        QFETCH(QSizeF, room);
        QFETCH(QSizeF, size);
        const QSizeF got = ReportBuilder::snapshotSize(pixels, ratio, room);
        QVERIFY2(qAbs(got.width() - size.width()) < 1 && qAbs(got.height() - size.height()) < 1,
                 qPrintable(QString("%1 x %2").arg(got.width()).arg(got.height())));
    }

    // A report that cannot be written, or only in part, says so and leaves no file behind; nor is
    // one written when the events cannot be counted.
    void failures()
    {
        ReportBuilder builder;
        QFile blocker(m_fixture->dataDir() + "/not-a-folder");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        ReportInput input = m_input;
        input.sessionFolder = blocker.fileName() + "/1";
        krntest::expectMessage(QtWarningMsg, "QPainter::begin(): Returned false");
        QVERIFY(!builder.write(input, m_fixture->db()));
        QVERIFY2(builder.errorString().contains("cannot write"), qPrintable(builder.errorString()));

        // A full disk: every write of the file fails.
        const QString pdfPath = m_input.sessionFolder + "/Report.pdf";
        QVERIFY(QFile::link("/dev/full", pdfPath));
        QVERIFY(!builder.write(m_input, m_fixture->db()));
        QVERIFY2(builder.errorString().contains("could not be written completely"), qPrintable(builder.errorString()));
        QVERIFY(!QFileInfo(pdfPath).exists() && !QFileInfo(pdfPath).isSymLink());

        // A database of its own, where the events table is gone.
        TestDatabase broken;
        QVERIFY(broken.db().execute({"DROP TABLE ANNOTATIONS;"}));
        krntest::expectMessage(QtInfoMsg, QRegularExpression("^\\[DB\\] Query execution error no such table"));
        QVERIFY(!builder.write(m_input, broken.db()));
        QVERIFY2(builder.errorString().contains("events cannot be read"), qPrintable(builder.errorString()));
        QVERIFY(!QFile::exists(pdfPath));
    }

    void rules_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("hours");
        QTest::addColumn<QString>("perHour");
        QTest::addColumn<QString>("projection");
        QTest::newRow("12 in 24 h") << 12 << 24.0 << "0.50" << "12";
        QTest::newRow("5 in 12.5 h") << 5 << 12.5 << "0.40" << "10";
        QTest::newRow("half rounds up") << 1 << 48.0 << "0.02" << "1";
        QTest::newRow("none") << 0 << 24.0 << "0.00" << "0";
        QTest::newRow("large projections in 6 digits") << 900000 << 1.0 << "900000.00" << "2.16e+07";
        QTest::newRow("no hours") << 3 << 0.0 << "ND" << "ND";
        QTest::newRow("negative hours") << 3 << -1.0 << "ND" << "ND";
    }

    void rules()
    {
        QFETCH(int, count);
        QFETCH(double, hours);
        QFETCH(QString, perHour);
        QFETCH(QString, projection);
        QCOMPARE(ReportBuilder::perHourText(count, hours), perHour);
        QCOMPARE(ReportBuilder::projectionText(count, hours), projection);
    }

    void controlledHoursAndNames()
    {
        QCOMPARE(ReportBuilder::controlledHours("12", "30"), 12.5);
        QCOMPARE(ReportBuilder::controlledHours("24", "00"), 24.0);
        QCOMPARE(ReportBuilder::controlledHours("dodici", "x"), 0.0);
        QCOMPARE(ReportBuilder::snapshotTextName("Screenshot_20240304101500.bmp"), QString("Text_20240304101500.txt"));
        QCOMPARE(ReportBuilder::snapshotTextName("Screenshot_evt_12.bmp"), QString("Text_evt_12.txt"));
    }
};

KRN_TEST_MAIN(tst_ReportBuilder)
#include "tst_reportbuilder.moc"
