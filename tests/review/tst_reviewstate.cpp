// The review page's navigation rules on its plain state: scroll bar bounds, wheel steps, window
// lengths per tab, scale texts, keyboard paging, go-to times; the caliper's figures and the
// heart-rate trend of a beat list.
#include "tests/support/TestMain.h"

#include "review/data/Caliper.h"
#include "review/data/HeartRateTrend.h"
#include "review/data/ReviewState.h"

#include <QDateTime>

Q_DECLARE_METATYPE(ReviewState::Move)
Q_DECLARE_METATYPE(ReviewState::GoTo::Result)

class ReviewStateTest : public QObject
{
    Q_OBJECT
private slots:
    void sliderLimits_data();
    void sliderLimits();
    void wheelSteps_data();
    void wheelSteps();
    void tabsAndScales();
    void paging_data();
    void paging();
    void goTo_data();
    void goTo();
    void caliperAndLeads();
    void heartRateTrend();
};

void ReviewStateTest::sliderLimits_data()
{
    QTest::addColumn<QVector<quint32>>("times");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::newRow("longer than the window") << QVector<quint32>{500, 2000, 90000} << 10000 << true << 500 << 90000;
    QTest::newRow("shorter: pinned at the end") << QVector<quint32>{0, 4000, 8000} << 10000 << true << 8000 << 8000;
    QTest::newRow("exactly the window") << QVector<quint32>{0, 10000} << 10000 << true << 10000 << 10000;
    QTest::newRow("unordered times") << QVector<quint32>{70000, 100, 30000} << 10000 << true << 100 << 70000;
    QTest::newRow("past 2^31 ms") << QVector<quint32>{0, 3000000000u} << 600000 << true << 0 << int(3000000000u);
    QTest::newRow("nothing") << QVector<quint32>{} << 10000 << false << 0 << 0;
}

void ReviewStateTest::sliderLimits()
{
    QFETCH(QVector<quint32>, times);
    QFETCH(int, length);
    QFETCH(bool, valid);
    const ReviewState::SliderLimits limits = ReviewState::sliderLimits(times, length);
    QCOMPARE(limits.valid, valid);
    if (!valid)
        return;
    QTEST(limits.minimum, "minimum");
    QTEST(limits.maximum, "maximum");
}

void ReviewStateTest::wheelSteps_data()
{
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("window");
    QTest::addColumn<bool>("overOverview");
    QTest::addColumn<int>("step");
    QTest::newRow("overview, any tab") << int(ReviewState::SingleTab) << 600000 << true << 100;
    QTest::newRow("leads tab") << int(ReviewState::LeadsTab) << 10000 << false << 2;
    QTest::newRow("precordial tab") << int(ReviewState::PrecordialTab) << 10000 << false << 2;
    QTest::newRow("single, 5 min") << int(ReviewState::SingleTab) << 300000 << false << 60;
    QTest::newRow("breath, 30 s") << int(ReviewState::BreathTab) << 30000 << false << 6;
    QTest::newRow("events, 10 s") << int(ReviewState::EventsTab) << 10000 << false << 2;
}

void ReviewStateTest::wheelSteps()
{
    QFETCH(int, tab);
    QFETCH(int, window);
    QFETCH(bool, overOverview);
    ReviewState state;
    state.breathRange = state.singleRange = state.eventsRange = window;
    QTEST(state.wheelStep(tab, overOverview), "step");
}

void ReviewStateTest::tabsAndScales()
{
    ReviewState state;
    state.ecgRange = 10000;
    state.breathRange = 30000;
    state.singleRange = 300000;
    state.eventsRange = 60000;
    QCOMPARE(state.windowOfTab(ReviewState::LeadsTab), 10000);
    QCOMPARE(state.windowOfTab(ReviewState::PrecordialTab), 10000);
    QCOMPARE(state.windowOfTab(ReviewState::BreathTab), 30000);
    QCOMPARE(state.windowOfTab(ReviewState::SingleTab), 300000);
    QCOMPARE(state.windowOfTab(ReviewState::EventsTab), 60000);
    QVERIFY(ReviewState::scrollsBreath(ReviewState::BreathTab));
    QVERIFY(!ReviewState::scrollsBreath(ReviewState::SingleTab));
    QCOMPARE(ReviewState::overviewCaption(ReviewState::SingleTab), QString("Somma respiro"));
    QCOMPARE(ReviewState::overviewCaption(ReviewState::EventsTab), QString("ECG - V6"));

    QCOMPARE(state.scaleText(), QString("10 mm/mV"));
    state.setScale(1);
    QCOMPARE(state.scaleText(), QString("20 mm/mV"));
    state.setScale(2);
    QCOMPARE(state.scaleText(), QString("5 mm/mV"));
    state.setScale(7); // unknown: the gain stays
    QCOMPARE(state.displayGain, 0.5f);
    state.autoscale = true;
    QCOMPARE(state.scaleText(), QString("Auto"));

    QVERIFY(state.toggleBreathVisible(3));
    QVERIFY(!state.breathVisible[3]);
    QVERIFY(!state.toggleBreathVisible(BreathChannels)); // the sum has no switch
    state.singleLead = 2;
    state.resetScaleAndLead();
    QCOMPARE(state.displayGain, 1.0f);
    QCOMPARE(state.singleLead, int(leads::V1));
    QCOMPARE(state.singleRange, 300000); // window lengths are kept
}

void ReviewStateTest::paging_data()
{
    // A recording from 1000 to 86 401 000 ms whose scroll bar stops 20 s before its end.
    using Move = ReviewState::Move;
    QTest::addColumn<Move>("move");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("to");
    QTest::newRow("page down: one window") << Move::PageForward << 1000 << 10000 << 11000;
    QTest::newRow("page down: stops at the last window") << Move::PageForward << 86375000 << 10000 << 86381000;
    QTest::newRow("page down: last 10 min window") << Move::PageForward << 85500000 << 600000 << 85801000;
    QTest::newRow("page down past it: stays") << Move::PageForward << 86381000 << 10000 << 86381000;
    QTest::newRow("page up: one window") << Move::PageBack << 50000 << 30000 << 20000;
    QTest::newRow("page up: stops at the first") << Move::PageBack << 5000 << 10000 << 1000;
    QTest::newRow("right: a tenth") << Move::StepForward << 1000 << 10000 << 2000;
    QTest::newRow("left: a tenth of 5 min") << Move::StepBack << 400000 << 300000 << 370000;
    QTest::newRow("home") << Move::First << 500000 << 10000 << 1000;
    QTest::newRow("end") << Move::Last << 500000 << 60000 << 86341000;
    QTest::newRow("end from past the last window") << Move::Last << 86381000 << 600000 << 85801000;
}

void ReviewStateTest::paging()
{
    QFETCH(ReviewState::Move, move);
    QFETCH(int, from);
    QFETCH(int, length);
    const ReviewState::SliderLimits limits{1000, 86381000, true};
    QTEST(ReviewState::movedStart(move, from, length, limits, 86401000), "to");
    // A recording shorter than the window does not move.
    const ReviewState::SliderLimits shortOne{8000, 8000, true};
    QCOMPARE(ReviewState::movedStart(move, 8000, length, shortOne, 9000), 8000);
}

void ReviewStateTest::goTo_data()
{
    using Result = ReviewState::GoTo::Result;
    QTest::addColumn<QString>("text");
    QTest::addColumn<Result>("result");
    QTest::addColumn<qint64>("ms");
    // The recording runs from 22:30:00 for 24 hours.
    QTest::newRow("clock time") << "23:00:00" << Result::Moved << qint64(1800000);
    QTest::newRow("after midnight") << "01:15:30" << Result::Moved << qint64((2 * 3600 + 45 * 60 + 30) * 1000LL);
    QTest::newRow("the start") << "22:30" << Result::Moved << qint64(0);
    QTest::newRow("dots and blanks") << " 23.00.05 " << Result::Moved << qint64(1805000);
    QTest::newRow("before the start: the next day, past the end") << "22:29:59" << Result::Outside
                                                                  << qint64((24 * 3600 - 1) * 1000LL);
    QTest::newRow("elapsed") << "+01:30:00" << Result::Moved << qint64(5400000);
    QTest::newRow("elapsed past the end") << "+25:00:00" << Result::Outside << qint64(90000000);
    QTest::newRow("no hour 24") << "24:00:00" << Result::Invalid << qint64(0);
    QTest::newRow("no minute 60") << "+10:60:00" << Result::Invalid << qint64(0);
    QTest::newRow("words") << "dieci" << Result::Invalid << qint64(0);
}

void ReviewStateTest::goTo()
{
    QFETCH(QString, text);
    QFETCH(ReviewState::GoTo::Result, result);
    const qint64 start = QDateTime(QDate(2024, 3, 4), QTime(22, 30), Qt::LocalTime).toSecsSinceEpoch();
    const ReviewState::GoTo target = ReviewState::goTo(text, start, 24 * 3600 * 1000LL - 2000);
    QCOMPARE(target.result, result);
    if (result != ReviewState::GoTo::Result::Invalid)
        QTEST(target.ms, "ms");
}

void ReviewStateTest::caliperAndLeads()
{
    const struct {
        Caliper caliper;
        double bpm;
        QString figures;
    } calipers[] = {
        {{1000, 2000, 0.1, 0.1}, 60, QString::fromUtf8("\u0394t 1000 ms  60 bpm  \u0394mV +0.00")},
        {{5000, 4143, 0.0, 1.2}, 70.012, QString::fromUtf8("\u0394t 857 ms  70 bpm  \u0394mV +1.20")},
        {{300, 300, 0.5, -0.25}, 0, QString::fromUtf8("\u0394t 0 ms  \u0394mV -0.75")},
    };
    for (const auto &c : calipers) {
        QVERIFY(std::abs(c.caliper.rateBpm() - c.bpm) < 0.001);
        QCOMPARE(c.caliper.figures(), c.figures);
    }
    // Walked to the right, whichever way it was opened.
    const Caliper back{5000, 4143, 0, 0};
    QCOMPARE(back.marched().startMs, 5000.0);
    QCOMPARE(back.marched().marched().endMs, 6714.0);

    const QPair<QString, int> channels[] = {{"V5", 6}, {"l2", leads::II}, {"II", leads::II}, {"III", 8},
                                            {"aVF", 11}, {"ND", -1}, {"", -1}};
    for (const auto &[channel, lead] : channels)
        QCOMPARE(leads::fromChannel(channel), lead);
}

void ReviewStateTest::heartRateTrend()
{
    // Two minutes at 60 bpm, a 21-second gap in the beats, then 120 bpm after five beats at 150.
    QVector<Beat> beats;
    double t = 0;
    for (; t < 119.5; t += 1)
        beats.append({t, "N"});
    for (t = 140; t < 141.9; t += 0.4)
        beats.append({t, "V"});
    for (t = 142; t < 199.9; t += 0.5)
        beats.append({t, "N"});
    const HeartRateTrend trend(beats);
    const QVector<MinuteRate> &minutes = trend.minutes();
    QCOMPARE(minutes.size(), 3);
    QCOMPARE(minutes[0].meanBpm, 60.0);
    QCOMPARE(minutes[0].lowBpm, 60.0);
    QCOMPARE(minutes[0].highBpm, 60.0);
    QCOMPARE(minutes[2].startMs, 120000);
    QCOMPARE(minutes[2].meanBpm, 60000.0 * 80 / 39500);
    QCOMPARE(minutes[2].lowBpm, 120.0);
    QCOMPARE(minutes[2].highBpm, 60000.0 * 10 / 4500);

    const HeartRateSummary &summary = trend.summary();
    QVERIFY(summary.present);
    QCOMPARE(summary.lowest.tenSecondBpm, 60.0);
    QCOMPARE(summary.lowest.tenSecondAtMs, 0);
    QCOMPARE(summary.lowest.oneMinuteBpm, 60.0);
    QVERIFY(summary.highest.tenSecondBpm > 125);
    QCOMPARE(summary.highest.tenSecondAtMs, 140000); // the short span the gap leaves half empty is left out
    QCOMPARE(summary.mean.tenSecondAtMs, -1);
    QVERIFY(!HeartRateTrend(QVector<Beat>()).summary().present);
}

KRN_TEST_APPLESS_MAIN(ReviewStateTest)
#include "tst_reviewstate.moc"
