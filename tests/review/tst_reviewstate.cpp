// The review page's navigation rules on its plain state: scroll bar bounds, wheel steps, window
// lengths per tab, scale texts.
#include "tests/support/TestMain.h"

#include "review/data/ReviewState.h"

class ReviewStateTest : public QObject
{
    Q_OBJECT
private slots:
    void sliderLimits_data();
    void sliderLimits();
    void wheelSteps_data();
    void wheelSteps();
    void tabsAndScales();
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

KRN_TEST_APPLESS_MAIN(ReviewStateTest)
#include "tst_reviewstate.moc"
