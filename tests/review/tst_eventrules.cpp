// The rules of the events review without a database: code and type tables, review states, the
// beat file reader and its conversion into rows, the event list and its cursors.

#include "tests/support/TestMain.h"
#include "review/data/AnalysisFolder.h"
#include "review/data/BeatFile.h"
#include "review/data/ReviewEvents.h"

#include <QTest>

namespace {

// One row as a compact text: type start-end index channel [max time value].
QString describe(const AnnotationRecord &r)
{
    QString text = QStringLiteral("%1 %2-%3 #%4 %5")
                       .arg(QString::fromStdString(r.m_type))
                       .arg(r.m_dateStart)
                       .arg(r.m_dateEnd)
                       .arg(r.m_index)
                       .arg(QString::fromStdString(r.m_channel));
    if (r.m_dateMax != 0 || r.m_valueMax != 0)
        text += QStringLiteral(" max %1@%2").arg(double(r.m_valueMax)).arg(r.m_dateMax);
    return text;
}

QStringList rowsOf(const QByteArray &text)
{
    BeatFile file;
    file.parse(text);
    QStringList rows;
    for (const AnnotationRecord &r : beatFileRows(file.lines(), 7, file.sourceId())) {
        if (r.m_sessionId != 7 || r.m_sourceId != file.sourceId().toStdString() || r.m_status != "todo"
            || r.m_family != "ecg" || !r.m_validator.empty())
            return {QStringLiteral("row without session, source, status or family: ") + describe(r)};
        rows << describe(r);
    }
    return rows;
}

std::unique_ptr<Event> makeEvent(const QString &code, double start = 1.0)
{
    auto e = std::make_unique<Event>();
    e->type = code;
    e->start = start;
    return e;
}

} // namespace

class EventRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void codesAndTypes_data();
    void codesAndTypes();
    void statusesAndTheirScreen_data();
    void statusesAndTheirScreen();
    void conversion_data();
    void conversion();
    void beatListAndCounts();
    void timesSurviveTheRoundTrip();
    void listGroupsAndCursors();
    void textsOfAnEvent();
    void splitZones_data();
    void splitZones();
};

void EventRulesTest::codesAndTypes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("type");
    const char *pairs[][2] = {{"V", "veb"},          {"S", "sveb"},         {"P", "pause"},         {"COUPLET", "couplet"},
                              {"T", "trigemia"},     {"TRIPLET", "triplet"}, {"B", "bigemia"},       {"SVT", "svt"},
                              {"SBR", "bradichardia"}, {"RONT", "ront"},    {"VT", "vt"},           {"RRLONG", "rrlong"},
                              {"AFIB", "afib"},      {"APNC", "apneacent"}, {"ST", "st"},           {"APNO", "apneaost"},
                              {"FCMAX", "maxfrequency"}, {"IPO", "ipopnea"}, {"FCMIN", "minfrequency"}, {"DESAT", "desaturation"}};
    for (const auto &pair : pairs)
        QTest::newRow(pair[0]) << pair[0] << pair[1];
}

void EventRulesTest::codesAndTypes()
{
    QFETCH(QString, code);
    QFETCH(QString, type);
    QCOMPARE(typeName(code), type);
    QCOMPARE(codeOf(type), code);
    // Keys are exact: another spelling, a type given as a code or a code given as a type is none.
    QCOMPARE(typeName(code.toLower() == code ? code.toUpper() : code.toLower()), QString());
    QCOMPARE(typeName(type), QString());
    QCOMPARE(codeOf(code), QString());
}

void EventRulesTest::statusesAndTheirScreen_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("flags"); // accepted rejected printed added
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("buttons"); // accept reject accept-and-print
    QTest::newRow("todo") << "todo" << "----" << "DA ANALIZZARE" << "yyy";
    QTest::newRow("checked") << "checked" << "a---" << "ACCETTATO" << "nyy";
    QTest::newRow("printed") << "printed" << "a-p-" << "ACCETTATO E STAMPATO" << "yyn";
    QTest::newRow("rejected") << "rejected" << "-r--" << "RIFIUTATO" << "yny";
    QTest::newRow("added") << "added" << "---d" << "AGGIUNTO E STAMPATO" << "nnn";
    QTest::newRow("addedprint") << "addedprint" << "--pd" << "AGGIUNTO E STAMPATO" << "nnn";
}

void EventRulesTest::statusesAndTheirScreen()
{
    QFETCH(QString, status);
    QFETCH(QString, flags);
    QFETCH(QString, text);
    QFETCH(QString, buttons);
    Event e;
    e.setStatus(status);
    const QString got = QString(e.accepted ? "a" : "-") + (e.rejected ? "r" : "-") + (e.printed ? "p" : "-")
                        + (e.added ? "d" : "-");
    QCOMPARE(got, flags);
    QCOMPARE(e.status(), status);
    const ReviewChoices state = reviewChoices(e);
    QCOMPARE(state.text, text);
    QCOMPARE(QString(state.accept ? "y" : "n") + (state.reject ? "y" : "n") + (state.acceptPrint ? "y" : "n"), buttons);
}

void EventRulesTest::conversion_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("ventricular beat, normal beat ignored")
        << QByteArray("0:00:01.000 500 N 0 L2 0\n0:54:00.576\t1620288\tV\t0\tL2\t0\n0:00:01.001 500 V 0 V1 0\n")
        << QStringList{"veb 3240576-3240576 #1620288 L2", "veb 1001-1001 #500 V1"};
    QTest::newRow("pause on any code, before the episode rule")
        << QByteArray("0:00:10 5000 + 0 L2 0 (B\n0:00:12.5 6250 + 0 V5 0 (P)\n0:00:20 10000 + 0 L2 0 (N\n")
        << QStringList{"pause 12500-12500 #6250 V5", "bigemia 10000-20000 #5000 L2"};
    QTest::newRow("SVT stored as vt, AFIB never")
        << QByteArray("0:01:00 30000 + 0 L2 0 (SVT\n0:01:04 32000 + 0 L2 0 (AFIB\n0:02:00 60000 + 0 L2 0 (N\n")
        << QStringList{"vt 60000-64000 #30000 L2"};
    QTest::newRow("an opening closes the open episode")
        << QByteArray("0:00:05 2500 + 0 L2 0 (SBR\n0:00:30 15000 + 0 V1 0 (T\n0:00:40 20000 + 0 L2 0 (N\n")
        << QStringList{"bradichardia 5000-30000 #2500 L2", "trigemia 30000-40000 #15000 V1"};
    QTest::newRow("open at the end: nothing")
        << QByteArray("0:00:05 2500 + 0 L2 0 (B\n0:00:06 3000 V 0 L2 0\n")
        << QStringList{"veb 6000-6000 #3000 L2"};
    QTest::newRow("(N without an episode does nothing")
        << QByteArray("0:00:05 2500 + 0 L2 0 (N\n0:00:08 4000 s 0 V5 0 (N\n") << QStringList{};
    QTest::newRow("other codes do not open") << QByteArray("0:00:05 2500 N 0 L2 0 (B\n0:00:09 4500 A 0 L2 0 (N\n")
                                             << QStringList{};
    QTest::newRow("ST extreme: the largest magnitude, AST does not close")
        << QByteArray("0:10:00 300000 s 0 V5 0 (ST\n"
                      "0:10:20 310000 s 0 V5 0 AST0-120\n"
                      "0:10:30.25 315125 s 0 V5 0 AST0-250\n"
                      "0:10:40 320000 + 0 V5 0 AST0+180\n"
                      "0:11:00 330000 s 0 V5 0 (N\n")
        << QStringList{"st 600000-660000 #300000 V5 max -250@630250"};
    QTest::newRow("AST outside an ST episode is ignored")
        << QByteArray("0:00:01 500 s 0 V5 0 AST0-300\n"
                      "0:00:05 2500 + 0 L2 0 (B\n"
                      "0:00:07 3500 s 0 V5 0 AST0-400\n"
                      "0:00:09 4500 + 0 L2 0 (N\n")
        << QStringList{"bigemia 5000-9000 #2500 L2"};
    QTest::newRow("ST without an AST value")
        << QByteArray("0:00:05 2500 s 0 V5 0 (ST\n0:00:09 4500 s 0 V5 0 (N\n")
        << QStringList{"st 5000-9000 #2500 V5"};
    QTest::newRow("blank lines and short lines")
        << QByteArray("\n   \n0:00:02 1000 V\n\r\n0:00:03\n") << QStringList{"veb 2000-2000 #1000 "};
}

void EventRulesTest::conversion()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, rows);
    QCOMPARE(rowsOf(text), rows);
}

void EventRulesTest::beatListAndCounts()
{
    BeatFile file;
    file.parse("0:00:01.000\t500\tN\t0\tL2\t0\n"
               "0:00:02.500 1250 V 0 L2 0\n"
               "\n"
               "0:00:03.000\t1500\t+\t0\tL2\t0\t(B\n"
               "1:00:00.100\t1800050\ts\t0\tV5\t0\t(ST\n");
    QCOMPARE(file.annotationCount(), 3); // not the "+" line nor the blank one
    QCOMPARE(file.normalCount(), 2);     // "N" and "s"
    const QVector<Beat> beats = file.beatList();
    QCOMPARE(beats.size(), 3);
    QCOMPARE(beats.at(1).seconds, 2.5);
    QCOMPARE(beats.at(2).seconds, 3600.1);
    QCOMPARE(beats.at(2).code, QString("s"));
    // The digest of the bytes as they are (md5sum of the same text).
    file.parse("0:00:01.000 500 V 0 L2 0\n");
    QCOMPARE(file.sourceId(), QString("39833da1454ec3b5b294ea2464381d67"));
    // More annotations than any recording holds: refused, nothing kept.
    QVERIFY(!file.parse(QByteArray("1 0 N\n").repeated(BeatFile::MaxAnnotations + 1)));
    QVERIFY(file.errorString().contains("more than 2000000 annotations") && file.lines().isEmpty());
}

void EventRulesTest::timesSurviveTheRoundTrip()
{
    // Rows read as seconds and written back keep every millisecond (a truncated product would
    // take one off 1001, 1003 and many more).
    for (qint64 ms : {qint64(3240576), qint64(1001), qint64(1003), qint64(86399999), qint64(4821123), qint64(70000007)}) {
        AnnotationRecord row;
        row.m_type = "bigemia";
        row.m_status = "todo";
        row.m_dateStart = ms;
        row.m_dateEnd = ms + 40123;
        const std::unique_ptr<Event> e = Event::fromRecord(row);
        QVERIFY(e);
        const AnnotationRecord back = e->toRecord(1, "checked");
        QCOMPARE(back.m_dateStart, ms);
        QCOMPARE(back.m_dateEnd, ms + 40123);
    }
    QCOMPARE(secondsToMs(1.001), qint64(1001));

    // An ST event keeps its extreme through a review action; beats and pauses have no duration
    // whatever the row says; rows of types outside the list are no events.
    AnnotationRecord st;
    st.m_type = "st";
    st.m_channel = "V5,V4";
    st.m_dateStart = 600000;
    st.m_dateEnd = 660000;
    st.m_dateMax = 630250;
    st.m_valueMax = -250;
    const std::unique_ptr<Event> event = Event::fromRecord(st);
    QCOMPARE(event->channels, QStringList({"V5", "V4"}));
    QCOMPARE(describe(event->toRecord(9, "checked")), describe(st));
    st.m_type = "pause";
    QCOMPARE(Event::fromRecord(st)->duration, 0.0);
    for (const char *type : {"couplet", ""}) {
        st.m_type = type;
        QVERIFY(!Event::fromRecord(st));
    }
}

void EventRulesTest::listGroupsAndCursors()
{
    EventList list;
    QVERIFY(!list.add(makeEvent("COUPLET")));
    QVERIFY(!list.add(nullptr));
    for (int i = 0; i < 3; ++i)
        QVERIFY(list.add(makeEvent("B", i)));
    QVERIFY(list.add(makeEvent("V")));
    const int b = EventList::typeIndex("B");
    QCOMPARE(b, 4);
    QCOMPARE(list.size(b), 3);
    QVERIFY(!list.previous(b)); // at the first
    QVERIFY(list.next(b) && list.next(b));
    QVERIFY(!list.next(b)); // the last keeps the cursor
    QCOMPARE(list.current(b)->start, 2.0);
    QCOMPARE(list.cursor(EventList::typeIndex("V")), 0); // each group its own

    // Clearing keeps the cursors; a group shorter than its cursor brings it onto its last event.
    list.clear();
    QCOMPARE(list.cursor(b), 2);
    QVERIFY(!list.current(b));
    QVERIFY(list.add(makeEvent("B", 5)));
    list.clampCursors();
    QCOMPARE(list.current(b)->start, 5.0);
}

void EventRulesTest::textsOfAnEvent()
{
    Event brady;
    brady.type = "SBR";
    brady.duration = 60.25;
    brady.channels = QStringList{"L2", "V1"};
    QCOMPARE(durationText(brady), QString("60.25 sec. "));
    QCOMPARE(printedEventNote(brady, {"L1", "L2", "V1"}),
             QString("<html><table border=0 width=100% cellpadding=5><tr><td> <b>Evento : </b></td><td>SBR</td></tr>"
                     "<tr><td> <b>Durata : </b></td><td>60.25 sec. </td></tr>"
                     "<tr><td> <b>Canali evento : </b></td><td>L2</td></tr>"
                     "<tr><td> <b>Canali visualizzati : </b></td><td>L1 , L2 , V1</td></tr></table></html>"));
    brady.channels = QStringList{"<!--"}; // from a damaged beat file: text, never markup
    QVERIFY(printedEventNote(brady, {}).contains("<td>&lt;!--</td>"));
    Event st;
    st.type = "ST";
    st.duration = 59.926;
    st.stMaxValue = -200;
    QCOMPARE(durationText(st), QString("59.926 sec. ( Max : -200 )"));
    QCOMPARE(durationText(*makeEvent("V")), QString());
    const QString head = "<html><table border=0 width=100% cellpadding=5><tr><td> <b>Evento : </b></td><td>";
    QCOMPARE(addedEventNote("FCMAX", 172), head + "FCMAX</td></tr><tr><td> <b>Valore : </b></td><td>172 </td></tr></table></html>");
    QCOMPARE(addedEventNote("RRLONG", 0), head + "RRLONG</td></tr></table></html>");
}

void EventRulesTest::splitZones_data()
{
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::addColumn<TimeSpans>("zones");
    // Analysable: 2-5 s, 7-20 s, 25-30 s.
    QTest::newRow("inside one segment") << 8000.0 << 18000.0 << TimeSpans{};
    QTest::newRow("before all") << 0.0 << 10000.0 << TimeSpans{{0, 2000}, {5000, 7000}};
    QTest::newRow("after all") << 40000.0 << 50000.0 << TimeSpans{{40000, 50000}};
    // A window starting where a segment starts is covered there (not shaded up to the next one).
    QTest::newRow("at a segment's start") << 7000.0 << 17000.0 << TimeSpans{};
    QTest::newRow("at a segment's end") << 5000.0 << 15000.0 << TimeSpans{{5000, 7000}};
    QTest::newRow("across three segments") << 4000.0 << 26000.0 << TimeSpans{{5000, 7000}, {20000, 25000}};
    QTest::newRow("into the next gap") << 3000.0 << 6000.0 << TimeSpans{{5000, 6000}};
    QTest::newRow("past the analysis' end") << 28000.0 << 38000.0 << TimeSpans{{30000, 38000}};
}

void EventRulesTest::splitZones()
{
    QFETCH(double, from);
    QFETCH(double, to);
    QFETCH(TimeSpans, zones);
    QCOMPARE(uncoveredSpans({{2000, 5000}, {7000, 20000}, {25000, 30000}}, from, to), zones);
}

KRN_TEST_GUILESS_MAIN(EventRulesTest)
#include "tst_eventrules.moc"
