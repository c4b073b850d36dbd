// The live page's refresh rules without plots: the play clock 500 ms behind the recorder, the
// due batch, segments and skipped records, derived leads and the divisor, the point limits,
// the respiration sum. The clock is driven by hand.

#include "tests/support/TestMain.h"
#include "live/data/LiveRefresh.h"

#include <QtTest>

namespace {

SampleRecord ecg(quint32 time, float i = 0, float ii = 0, float fill = 0)
{
    float values[8] = {fill, i, ii, fill, fill, fill, fill, fill};
    return makeSampleRecord(time, values, 8);
}

SampleRecord breath(quint32 time, float base)
{
    const float values[5] = {base, base + 1, base + 2, base + 3, base + 4};
    return makeSampleRecord(time, values, 5);
}

// Records every `step` ms from `from` up to and including `to`.
SampleList ecgRun(quint32 from, quint32 to, quint32 step = 2)
{
    SampleList records;
    for (quint32 t = from; t <= to; t += step)
        records.push_back(ecg(t, 1, 2));
    return records;
}

std::vector<double> times(const TracePoints &points)
{
    std::vector<double> result;
    for (const QPointF &p : points)
        result.push_back(p.x());
    return result;
}

} // namespace

class LiveRefreshTest : public QObject
{
    Q_OBJECT
private slots:
    void firstRecordStartsTheClockAndIsNotDrawn();
    void onlyDueRecordsAreTaken_data();
    void onlyDueRecordsAreTaken();
    void gapStartsNewSegment_data();
    void gapStartsNewSegment();
    void recordNotLaterThanLastIsNotDrawn();
    void leadValues_data();
    void leadValues();
    void wholeWindowIsKept();
    void oldSegmentIsTrimmedAway();
    void hiddenChannelStillCounts_data();
    void hiddenChannelStillCounts();
    void respirationKeepsSixtyFourSeconds();

private:
    qint64 m_now = 0;
    MonotonicClock clock()
    {
        return [this] { return m_now; };
    }
};

void LiveRefreshTest::firstRecordStartsTheClockAndIsNotDrawn()
{
    RecordBuffer buffer;
    EcgRefresh refresh(buffer, clock());
    for (quint32 base : {5000u, 9000u}) { // a fresh refresh, then after a reset
        refresh.reset();
        buffer.clear();
        buffer.append(ecgRun(base, base + 1000));
        QVERIFY(!refresh.step()); // takes the base, draws nothing yet
        m_now += 600;             // play time base + 100
        QVERIFY(refresh.step());
        const std::vector<double> drawn = times(*refresh.segments(1).back());
        QCOMPARE(drawn.front(), base + 2.0);
        QCOMPARE(drawn.back(), base + 100.0);
    }
}

void LiveRefreshTest::onlyDueRecordsAreTaken_data()
{
    QTest::addColumn<quint32>("base");
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<int>("taken"); // records after the base

    QTest::newRow("500 ms in: nothing due") << 10000u << qint64(500) << 0;
    QTest::newRow("510 ms in: 5 records") << 10000u << qint64(510) << 5;
    QTest::newRow("1 s in: 250 records") << 10000u << qint64(1000) << 250;
    // A recorder clock still below the delay: the play time is negative, nothing wraps round.
    QTest::newRow("clock at 0, 100 ms in") << 0u << qint64(100) << 0;
    QTest::newRow("clock at 0, 504 ms in") << 0u << qint64(504) << 2;
}

void LiveRefreshTest::onlyDueRecordsAreTaken()
{
    QFETCH(quint32, base);
    QFETCH(qint64, elapsed);
    QFETCH(int, taken);
    RecordBuffer buffer;
    EcgRefresh refresh(buffer, clock());
    m_now = 0;
    buffer.append(ecgRun(base, base + 4000));
    const int total = int(buffer.size());
    refresh.step();
    m_now = elapsed;
    QCOMPARE(refresh.step(), taken > 0);
    QCOMPARE(int(buffer.size()), total - 1 - taken);
    QCOMPARE(int(refresh.batchTimes().size()), taken);
}

void LiveRefreshTest::gapStartsNewSegment_data()
{
    QTest::addColumn<quint32>("gap");
    QTest::addColumn<int>("segments");

    QTest::newRow("2 ms") << 2u << 1;
    QTest::newRow("exactly 1 s") << 1000u << 1;
    QTest::newRow("1002 ms") << 1002u << 2;
    QTest::newRow("30 s") << 30000u << 2;
}

void LiveRefreshTest::gapStartsNewSegment()
{
    QFETCH(quint32, gap);
    QFETCH(int, segments);
    RecordBuffer buffer;
    EcgRefresh refresh(buffer, clock());
    m_now = 0;
    // One batch holds both sides of the gap: each record is measured against the one before.
    buffer.append(ecgRun(2000, 2100));
    buffer.append(ecgRun(2100 + gap, 2200 + gap));
    refresh.step();
    m_now = 100000;
    QVERIFY(refresh.step());
    for (int plot = 0; plot < EcgRefresh::PlotCount; ++plot) {
        QCOMPARE(int(refresh.segments(plot).size()), segments);
        QCOMPARE(refresh.pointCount(plot), 50 + 51);
    }
    QCOMPARE(times(*refresh.segments(0).back()).front(), segments == 1 ? 2002.0 : 2100.0 + gap);
}

void LiveRefreshTest::recordNotLaterThanLastIsNotDrawn()
{
    RecordBuffer buffer;
    EcgRefresh refresh(buffer, clock());
    m_now = 0;
    SampleList records = ecgRun(1000, 1010);
    records.push_back(ecg(1010)); // the same time again
    records.push_back(ecg(1006)); // back in time
    records.push_back(ecg(1012));
    buffer.append(records);
    refresh.step();
    m_now = 10000;
    QVERIFY(refresh.step());
    QCOMPARE(times(*refresh.segments(2).back()), std::vector<double>({1002, 1004, 1006, 1008, 1010, 1012}));

    // A later batch that starts before the last drawn record.
    buffer.append({ecg(1011), ecg(1012), ecg(1014)});
    QVERIFY(refresh.step());
    QCOMPARE(times(*refresh.segments(2).back()).back(), 1014.0);
    QCOMPARE(refresh.pointCount(2), 7);
    QCOMPARE(refresh.lastDrawnTime(), 1014.0);
}

void LiveRefreshTest::leadValues_data()
{
    QTest::addColumn<int>("divisor");
    QTest::addColumn<QVector<double>>("expected"); // by plot index

    // Channels: V6 = 3, I = 1, II = 2, V2..V5 and V1 = 3.
    QTest::newRow("divisor 1") << 1 << QVector<double>{3, 1, 2, 3, 3, 3, 3, 3, 1, -1.5, 0, 1.5};
    QTest::newRow("divisor 6")
        << 6 << QVector<double>{0.5, 1 / 6.0, 2 / 6.0, 0.5, 0.5, 0.5, 0.5, 0.5, 1 / 6.0, -0.25, 0, 0.25};
}

void LiveRefreshTest::leadValues()
{
    QFETCH(int, divisor);
    QFETCH(QVector<double>, expected);
    RecordBuffer buffer;
    EcgRefresh refresh(buffer, clock());
    refresh.setDivisor(divisor);
    refresh.setDivisor(0); // not a gain: ignored
    QCOMPARE(refresh.divisor(), divisor);
    m_now = 0;
    buffer.append({ecg(100, 1, 2, 3), ecg(102, 1, 2, 3)});
    refresh.step();
    m_now = 1000;
    QVERIFY(refresh.step());
    for (int plot = 0; plot < EcgRefresh::PlotCount; ++plot) {
        QCOMPARE(refresh.pointCount(plot), 1);
        QCOMPARE(refresh.segments(plot).back()->front().y(), expected[plot]);
    }
}

void LiveRefreshTest::wholeWindowIsKept()
{
    RecordBuffer buffer;
    EcgRefresh refresh(buffer, clock());
    QCOMPARE(refresh.maxPoints(), 2500);
    m_now = 0;
    buffer.append(ecgRun(0, 20000));
    refresh.step();
    // Refreshes every 10 ms over 12 s of play.
    for (m_now = 10; m_now <= 12500; m_now += 10)
        refresh.step();
    for (int plot = 0; plot < EcgRefresh::PlotCount; ++plot) {
        QCOMPARE(int(refresh.segments(plot).size()), 1);
        const TracePoints &points = *refresh.segments(plot).back();
        QCOMPARE(int(points.size()), 2500);
        QCOMPARE(points.back().x(), 12000.0);
        QCOMPARE(points.front().x(), 12000.0 - 4998);
    }

    EcgRefresh longer(buffer, clock(), 8000);
    QCOMPARE(longer.maxPoints(), 4000);
}

void LiveRefreshTest::oldSegmentIsTrimmedAway()
{
    RecordBuffer buffer;
    EcgRefresh refresh(buffer, clock());
    m_now = 0;
    buffer.append(ecgRun(0, 10000));
    buffer.append(ecgRun(20000, 30000));
    refresh.step();
    m_now = 10000; // play time 9500: the first segment full
    refresh.step();
    QCOMPARE(int(refresh.segments(5).size()), 1);
    m_now = 20000 + 500 + 1000; // the new segment 1 s long; the old one trimmed by as much
    refresh.step();
    QCOMPARE(int(refresh.segments(5).size()), 2);
    QCOMPARE(refresh.pointCount(5), 2500);
    QCOMPARE(int(refresh.segments(5).back()->size()), 501);
    m_now = 20000 + 500 + 5000;
    refresh.step();
    QCOMPARE(int(refresh.segments(5).size()), 1);
    QCOMPARE(refresh.pointCount(5), 2500);
    QCOMPARE(refresh.segments(5).front()->front().x(), 25000.0 - 4998);
}

void LiveRefreshTest::hiddenChannelStillCounts_data()
{
    QTest::addColumn<int>("channel");
    for (int c = 0; c < BreathRefresh::ChannelCount; ++c)
        QTest::newRow(qPrintable(QString("channel %1").arg(c))) << c;
}

void LiveRefreshTest::hiddenChannelStillCounts()
{
    QFETCH(int, channel);
    RecordBuffer buffer;
    BreathRefresh refresh(buffer, clock());
    refresh.toggleVisible(channel);
    QVERIFY(!refresh.isVisible(channel));
    m_now = 0;
    buffer.append({breath(1000, 100), breath(1020, 200), breath(1040, 300)});
    refresh.step();
    m_now = 1000;
    QVERIFY(refresh.step());
    // 5 channels base .. base + 4: the sum is 5 * base + 10 whichever is hidden.
    const TracePoints &sum = *refresh.sum();
    QCOMPARE(int(sum.size()), 2);
    QCOMPARE(sum[0], QPointF(1020, 1010));
    QCOMPARE(sum[1], QPointF(1040, 1510));
    QCOMPARE(refresh.channel(channel)->back(), QPointF(1040, 300 + channel));
    refresh.toggleVisible(channel);
    QVERIFY(refresh.isVisible(channel));
}

void LiveRefreshTest::respirationKeepsSixtyFourSeconds()
{
    RecordBuffer buffer;
    BreathRefresh refresh(buffer, clock());
    SampleList records;
    for (quint32 t = 0; t <= 80000; t += 20)
        records.push_back(breath(t, 1));
    buffer.append(records);
    m_now = 0;
    refresh.step();
    for (m_now = 20; m_now <= 80500; m_now += 20)
        refresh.step();
    QCOMPARE(int(refresh.sum()->size()), 3200);
    QCOMPARE(int(refresh.channel(4)->size()), 3200);
    QCOMPARE(refresh.sum()->front().x(), 80000.0 - 20 * 3199);
}

KRN_TEST_GUILESS_MAIN(LiveRefreshTest)
#include "tst_liverefresh.moc"
