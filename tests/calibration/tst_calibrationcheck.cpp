// The set-up's measurements: the calibration wave's amplitude, the ratio check, the session
// identifier.

#include "tests/support/TestMain.h"
#include "device/CalibrationCheck.h"

#include <QtTest>

#include <cmath>

namespace {

// Plateaus of `length` samples, alternately high (1) and low (0), starting high. Each sample
// sits a thousandth further out than the one before it on its plateau, so that the mean of
// the taken samples tells which sample of each plateau was taken.
std::vector<float> squareWave(int length, int plateaus, float scale = 1.0f)
{
    std::vector<float> values;
    for (int p = 0; p < plateaus; ++p)
        for (int j = 0; j < length; ++j)
            values.push_back(scale * (p % 2 == 0 ? 1.0f + 0.001f * j : -0.001f * j));
    return values;
}

} // namespace

class CalibrationCheckTest : public QObject
{
    Q_OBJECT
private slots:
    void amplitude_data();
    void amplitude();
    void amplitudesOfEveryChannel();
    void ratioCheck_data();
    void ratioCheck();
    void firstFailingChannelEndsTheCheck();
    void sessionIdentifier_data();
    void sessionIdentifier();
};

void CalibrationCheckTest::amplitude_data()
{
    QTest::addColumn<std::vector<float>>("values");
    QTest::addColumn<double>("expected");

    // The 11th sample from each edge: 1.010 on the high plateaus, -0.010 on the low ones (the
    // 10th would give 1.018, the 12th 1.022). The first plateau has no edge before it.
    QTest::newRow("40-sample plateaus") << squareWave(40, 4) << 1.020;
    QTest::newRow("40-sample plateaus, scaled") << squareWave(40, 6, 2.5f) << 2.5 * 1.020;
    // One count runs across both plateaus: from the low edge it reaches 11 on the third sample
    // of the next high plateau, and no low sample is ever taken (that side counts as 0).
    QTest::newRow("8-sample plateaus") << squareWave(8, 6) << 1.002;
    QTest::newRow("never moves") << std::vector<float>(500, 0.75f) << 0.0;
    std::vector<float> slow;
    for (int k = 0; k < 2000; ++k)
        slow.push_back(float(std::sin(k / 100.0))); // steps of at most 0.01
    QTest::newRow("moves without edges") << slow << 0.0;
    QTest::newRow("no samples") << std::vector<float>() << 0.0;
}

void CalibrationCheckTest::amplitude()
{
    QFETCH(std::vector<float>, values);
    QFETCH(double, expected);
    const float amplitude = calibration::channelAmplitude(values);
    QVERIFY2(std::fabs(amplitude - expected) < 1e-5, qPrintable(QString::number(double(amplitude), 'f', 6)));
}

void CalibrationCheckTest::amplitudesOfEveryChannel()
{
    // Channel c carries the wave scaled by c; slot 0 is the time stamp.
    SampleList records;
    const std::vector<float> wave = squareWave(40, 4);
    for (std::size_t k = 0; k < wave.size(); ++k) {
        float values[8];
        for (int c = 0; c < 8; ++c)
            values[c] = wave[k] * float(c + 1);
        records.push_back(makeSampleRecord(quint32(2 * k), values, 8));
    }
    krntest::expectMessage(QtInfoMsg, "Calibration channel 1 : size - 160");
    krntest::expectMessage(QtInfoMsg, QRegularExpression("^Calibration channel 1 : elements : 1 1\\.001 1\\.002 "));
    krntest::expectMessage(QtInfoMsg, "Calibration channel 8 : size - 160");
    krntest::expectMessage(QtInfoMsg, QRegularExpression("^Calibration channel 8 : elements : 8 8\\.008 "));
    const std::vector<float> amplitudes = calibration::measureAmplitudes(records);
    QCOMPARE(int(amplitudes.size()), 8);
    for (int c = 0; c < 8; ++c)
        QVERIFY2(std::fabs(amplitudes[std::size_t(c)] - 1.020 * (c + 1)) < 1e-4, qPrintable(QString::number(c)));
}

void CalibrationCheckTest::ratioCheck_data()
{
    QTest::addColumn<float>("amplitude");
    QTest::addColumn<float>("factor");
    QTest::addColumn<float>("ratio");
    QTest::addColumn<bool>("passes");

    QTest::newRow("1.0 at the lower limit") << 1.0f << 1.0f << 2.0f << true;
    QTest::newRow("3.0 at the upper limit") << 3.0f << 1.0f << 2.0f << true;
    QTest::newRow("0.99 below") << 0.99f << 1.0f << 2.0f << false;
    QTest::newRow("3.01 above") << 3.01f << 1.0f << 2.0f << false;
    QTest::newRow("factor divides") << 4.0f << 2.0f << 2.0f << true;
    QTest::newRow("flat channel") << 0.0f << 1.0f << 2.0f << false;
    QTest::newRow("flat channel, ratio 0") << 0.0f << 1.0f << 0.0f << true;
    // 0 / 0 is not a number: no comparison holds, so it must not pass.
    QTest::newRow("flat channel, factor 0") << 0.0f << 0.0f << 0.0f << false;
}

void CalibrationCheckTest::ratioCheck()
{
    QFETCH(float, amplitude);
    QFETCH(float, factor);
    QFETCH(float, ratio);
    QFETCH(bool, passes);
    krntest::expectMessage(QtInfoMsg, QRegularExpression("^ratio : \\S+ < \\S+ < \\S+$"));
    QString error;
    QCOMPARE(calibration::checkRatios({amplitude}, {factor}, {ratio}, &error), passes);
    QCOMPARE(error.isEmpty(), passes);
}

void CalibrationCheckTest::firstFailingChannelEndsTheCheck()
{
    const std::vector<float> factors(8, 1.0f);
    const std::vector<float> ratios(8, 2.0f);
    krntest::expectMessage(QtInfoMsg, "ratio : 1 < 1.5 < 3");
    krntest::expectMessage(QtInfoMsg, "ratio : 1 < 5 < 3");
    QString error;
    QVERIFY(!calibration::checkRatios({1.5f, 5.0f, 9.0f}, factors, ratios, &error));
    QVERIFY2(error.startsWith("channel 2:"), qPrintable(error));

    // Fewer factors than channels: nothing to compare the last one with.
    krntest::expectMessage(QtInfoMsg, "ratio : 1 < 2 < 3");
    QVERIFY(!calibration::checkRatios({2.0f, 2.0f}, {1.0f}, ratios, &error));
    QVERIFY2(error.contains("channel 2"), qPrintable(error));
}

void CalibrationCheckTest::sessionIdentifier_data()
{
    QTest::addColumn<QString>("fiscalCode");
    QTest::addColumn<qint64>("id");
    QTest::addColumn<QString>("expected"); // empty: refused

    QTest::newRow("id 7") << "RSSMRA80A01H501U" << qint64(7) << "RSSMRA80A01H501U0007";
    QTest::newRow("id 42") << "RSSMRA80A01H501U" << qint64(42) << "RSSMRA80A01H501U0042";
    QTest::newRow("id 9999") << "BNCLRA75C41F205X" << qint64(9999) << "BNCLRA75C41F205X9999";
    QTest::newRow("id 10000") << "RSSMRA80A01H501U" << qint64(10000) << "";
    QTest::newRow("negative id") << "RSSMRA80A01H501U" << qint64(-1) << "";
    QTest::newRow("15 characters") << "RSSMRA80A01H501" << qint64(7) << "";
    QTest::newRow("17 characters") << "RSSMRA80A01H501UX" << qint64(7) << "";
    QTest::newRow("blank inside") << "RSSMRA80 01H501U" << qint64(7) << "";
    QTest::newRow("accented letter") << QString::fromUtf8("RSSMRÀ80A01H501U") << qint64(7) << "";
}

void CalibrationCheckTest::sessionIdentifier()
{
    QFETCH(QString, fiscalCode);
    QFETCH(qint64, id);
    QFETCH(QString, expected);
    QString error;
    const QString identifier = calibration::sessionIdentifier(fiscalCode, id, &error);
    QCOMPARE(identifier, expected);
    if (expected.isEmpty())
        QVERIFY(!error.isEmpty());
    else
        QCOMPARE(identifier.size(), 20);
}

KRN_TEST_GUILESS_MAIN(CalibrationCheckTest)
#include "tst_calibrationcheck.moc"
