// Cancelling the session set-up's progress dialog, at each of the checkpoints where the set-up
// looks at it, against the simulated recorder.
#include "tests/support/TestMain.h"
#include "tests/setup/SetupRig.h"

using setuptest::SetupRig;

class SetupCancelTest : public QObject
{
    Q_OBJECT
private slots:
    void cancelAtEachCheckpoint_data();
    void cancelAtEachCheckpoint();
};

void SetupCancelTest::cancelAtEachCheckpoint_data()
{
    QTest::addColumn<int>("check");
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<QVector<int>>("progress");
    QTest::newRow("calibration mode acknowledged") << 1 << " 1 " << QVector<int>{0};
    QTest::newRow("first seconds discarded") << 2 << " 2 " << QVector<int>{0, 1};
    QTest::newRow("signal collected") << 3 << " 3 " << QVector<int>{0, 1, 2};
    QTest::newRow("amplitudes measured") << 4 << " 4 " << QVector<int>{0, 1, 2};
    QTest::newRow("factors asked for") << 5 << QString() << QVector<int>{0, 1, 2};
}

void SetupCancelTest::cancelAtEachCheckpoint()
{
    QFETCH(int, check);
    QFETCH(QString, logLine);
    QFETCH(QVector<int>, progress);
    SetupRig rig;
    QVERIFY(rig.connectAndStream());
    rig.prompts.cancelProgressAtCheck = check;
    if (!logLine.isEmpty())
        krntest::expectMessage(QtInfoMsg, qPrintable(logLine));
    QVERIFY(rig.run());

    QCOMPARE(rig.prompts.progresses.first()->values, progress);
    QVERIFY(rig.prompts.boxes.isEmpty());
    setuptest::verifyBackOnTheLivePage(rig);
    // Nothing of the cancelled run comes back later: no factor signal, no overdue timer.
    QTest::qWait(200);
    QVERIFY(rig.prompts.boxes.isEmpty());
    QVERIFY(rig.sessions().empty());
}

KRN_TEST_MAIN(SetupCancelTest)
#include "tst_setupcancel.moc"
