// The live page on real widgets (offscreen): records through its buffers onto the curves and
// axes, the label table's texts beside their plots, channel visibility, window length, reset,
// the refresh timers, and the replay of a captured recorder stream.

#include "tests/support/TestMain.h"
#include "live/LivePlots.h"
#include "live/OnlineVisualizationWindow.h"
#include "review/plots/QwtDateScaleWithOffset.h"
#include "resources/Resources.h"
#include "review/plots/ReviewPlots.h"
#include "tests/support/ToolRun.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_scale_div.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_map.h>
#include <qwt_scale_widget.h>

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

SampleRecord ecg(quint32 time, float i, float ii)
{
    float values[8] = {6, i, ii, 12, 18, 24, 30, 36};
    return makeSampleRecord(time, values, 8);
}

SampleRecord breath(quint32 time, float base)
{
    const float values[5] = {base, base + 10, base + 20, base + 30, base + 40};
    return makeSampleRecord(time, values, 5);
}

QVector<QPointF> points(const QwtPlotCurve *curve)
{
    QVector<QPointF> result;
    for (size_t i = 0; i < curve->dataSize(); ++i)
        result.append(curve->sample(int(i)));
    return result;
}

QwtInterval bottom(const QwtPlot *plot) { return plot->axisInterval(QwtPlot::xBottom); }

} // namespace

class LivePageTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void builtAsTheFormIs();
    void recordsReachTheCurvesAndAxes();
    void respirationChannelsAndSum();
    void resetEmptiesThePlots();
    void ecgRefreshCanBeDetachedFromItsTimer();
    void replaysACapturedStream();
    void refusesAnUnreadableCapture();

private:
    qint64 m_now = 0;
    std::unique_ptr<OnlineVisualizationWindow> m_page;
};

void LivePageTest::init()
{
    m_now = 0;
    qApp->setStyleSheet(krn::applicationStyleSheet()); // as start-up applies it
    m_page = std::make_unique<OnlineVisualizationWindow>(nullptr, [this] { return m_now; });
    m_page->resize(1500, 800);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
}

void LivePageTest::cleanup() { m_page.reset(); }

void LivePageTest::builtAsTheFormIs()
{
    OnlineVisualizationWindow &page = *m_page;
    QCOMPARE(page.objectName(), QString("OnlineVisualizationWIndow"));
    const QStringList leads = {"V6", "I", "II", "V2", "V3", "V4", "V5", "V1", "III", "aVR", "aVL", "aVF"};
    const QStringList names = {"ecg12", "ecg01", "ecg02", "ecg08", "ecg09", "ecg10",
                               "ecg11", "ecg07", "ecg03", "ecg04", "ecg05", "ecg06"};
    const QStringList labels = {"labelV6", "label1", "label2", "labelV2", "labelV3", "labelV4",
                                "labelV5", "labelV1", "label3", "labelaVR", "labelaVL", "labelaVF"};
    for (int lead = 0; lead < 12; ++lead) {
        LiveEcgPlot *plot = page.ecgPlot(lead);
        QCOMPARE(plot->objectName(), names[lead]);
        QCOMPARE(plot->parentWidget()->objectName(), QString(lead == 0 || (lead >= 3 && lead <= 7) ? "rightFrame" : "leftFrame"));
        auto *label = page.findChild<QLabel *>(labels[lead]);
        QVERIFY(label);
        QCOMPARE(label->text(), leads[lead]);
        // Beside its plot.
        const int labelMiddle = label->mapTo(&page, label->rect().center()).y();
        const int plotMiddle = plot->mapTo(&page, plot->rect().center()).y();
        QVERIFY2(qAbs(labelMiddle - plotMiddle) <= 2, qPrintable(QString("%1: %2 vs %3").arg(leads[lead]).arg(labelMiddle).arg(plotMiddle)));

        QCOMPARE(plot->axisTitle(QwtPlot::yLeft).text(), QString("mV"));
        QCOMPARE(plot->axisMaxMajor(QwtPlot::yLeft), 3);
        QCOMPARE(plot->axisWidget(QwtPlot::yLeft)->font().pointSize(), 6);
        QCOMPARE(plot->axisScaleDraw(QwtPlot::yLeft)->label(0.5).text(), QString("0.50"));
        QCOMPARE(plot->canvasBackground().color(), QColor(255, 218, 185));
        QCOMPARE(plot->grid()->majorPen(), QPen(QColor(255, 192, 203), 2));
        QCOMPARE(plot->grid()->xAxis(), int(QwtPlot::xTop));
        QCOMPARE(plot->axisInterval(QwtPlot::xTop), QwtInterval(0, 5000));
        QCOMPARE(int(plot->curves().size()), 1);
    }
    const QStringList others = {"labelB1", "Canali respiro", "labelB2", "Somma canali respiro", "label", "",
                                "label_2", "", "label_3", "", "label_4", ""};
    for (int i = 0; i < others.size(); i += 2)
        QCOMPARE(page.findChild<QLabel *>(others[i])->text(), others[i + 1]);
    QCOMPARE(page.breathPlot()->objectName(), QString("breath"));
    QCOMPARE(page.breathSumPlot()->parentWidget()->objectName(), QString("rightFrame"));
    QCOMPARE(page.ecgTimeStrip(0)->objectName(), QString("plotEcg1Scale"));
    for (const LiveTimeStrip *strip : {page.ecgTimeStrip(0), page.ecgTimeStrip(1), page.breathTimeStrip(1)})
        QCOMPARE(strip->axisWidget(QwtPlot::xBottom)->font().pointSize(), 7);
    QCOMPARE(page.ecgTimeStrip(0)->clock()->labelFormat(), QString("mm:ss"));
    QCOMPARE(page.ecgTimeStrip(0)->clock()->label(83000).text(), QString("01:23"));
    QCOMPARE(page.ecgTimer()->interval(), 10);
    QCOMPARE(page.breathTimer()->interval(), 20);
    QCOMPARE(page.gain(), 6);
    QCOMPARE(page.breathWindow(), 10000);
    const QList<QColor> colours = {QColor("darkred"), Qt::red, Qt::black, Qt::blue, Qt::green};
    for (int c = 0; c < 5; ++c)
        QCOMPARE(page.breathPlot()->curves()[std::size_t(c)]->pen().color(), colours[c]);
}

void LivePageTest::recordsReachTheCurvesAndAxes()
{
    OnlineVisualizationWindow &page = *m_page;
    page.setGain(2);
    SampleList records;
    for (quint32 t = 10000; t <= 16000; t += 2)
        records.push_back(ecg(t, 2, 4));
    page.ecgRecords().append(records);
    page.realTimeDataEcg(); // the first record starts the clock
    m_now = 6000;           // play time 15500
    page.realTimeDataEcg();
    QCOMPARE(int(page.ecgRecords().size()), 250);

    // Lead I: 2 / 2; aVR: -(2 + 4) / 2 / 2; V1: 36 / 2.
    const struct { int lead; double value; } expected[] = {{1, 1.0}, {9, -1.5}, {7, 18.0}, {0, 3.0}, {8, 1.0}};
    for (const auto &e : expected) {
        LiveEcgPlot *plot = page.ecgPlot(e.lead);
        QCOMPARE(int(plot->curves().size()), 1);
        const QVector<QPointF> drawn = points(plot->curves().front());
        QCOMPARE(drawn.size(), 2500); // the whole 5 s window
        QCOMPARE(drawn.last(), QPointF(15500, e.value));
        QCOMPARE(drawn.first().x(), 15500.0 - 4998);
        QCOMPARE(bottom(plot), QwtInterval(10500, 15500));
    }
    for (int column = 0; column < 2; ++column) {
        TimeStripPlot *strip = page.ecgTimeStrip(column);
        QCOMPARE(bottom(strip), QwtInterval(10500, 15500));
        QCOMPARE(strip->axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick),
                 QList<double>({11000, 12000, 13000, 14000, 15000}));
        QCOMPARE(int(strip->curve()->dataSize()), 2750); // the batch's records
    }
    // Under each column a time sits where it sits on the plots above (after the layout has
    // settled the value axes' widths).
    QCoreApplication::processEvents();
    page.realTimeDataEcg();
    QCoreApplication::processEvents();
    for (int column = 0; column < 2; ++column) {
        const QwtScaleWidget *scale = page.ecgTimeStrip(column)->axisWidget(QwtPlot::xBottom);
        const QwtPlot *plot = page.ecgPlot(column == 0 ? 11 : 0);
        for (double t : {11000.0, 15000.0}) {
            const double onStrip = scale->scaleDraw()->scaleMap().transform(t) + scale->mapTo(&page, QPoint()).x();
            const double onPlot = plot->canvasMap(QwtPlot::xBottom).transform(t) + plot->canvas()->mapTo(&page, QPoint()).x();
            QVERIFY2(std::abs(onStrip - onPlot) <= 1.5, qPrintable(QString("%1 vs %2").arg(onStrip).arg(onPlot)));
        }
    }

    // A gap of more than a second starts a second curve on every plot.
    page.ecgRecords().clear();
    page.ecgRecords().append({ecg(17000, 2, 4), ecg(17002, 2, 4)});
    m_now = 8000;
    page.realTimeDataEcg();
    for (int lead = 0; lead < 12; ++lead)
        QCOMPARE(int(page.ecgPlot(lead)->curves().size()), 2);
    QCOMPARE(points(page.ecgPlot(2)->curves().back()), QVector<QPointF>({{17000, 2}, {17002, 2}}));
    QCOMPARE(bottom(page.ecgPlot(2)), QwtInterval(12002, 17002));
}

void LivePageTest::respirationChannelsAndSum()
{
    OnlineVisualizationWindow &page = *m_page;
    SampleList records;
    for (quint32 t = 0; t <= 3000; t += 20)
        records.push_back(breath(t, float(t)));
    page.breathRecords().append(records);
    page.realTimeDataBreath();
    m_now = 2500; // play time 2000
    page.realTimeDataBreath();

    const QVector<QPointF> sum = points(page.breathSumPlot()->curves().front());
    QCOMPARE(sum.size(), 100);
    QCOMPARE(sum.last(), QPointF(2000, 5 * 2000 + 100));
    QCOMPARE(points(page.breathPlot()->curves()[3]).last(), QPointF(2000, 2030));
    QCOMPARE(bottom(page.breathPlot()), QwtInterval(-8000, 2000));
    QCOMPARE(bottom(page.breathTimeStrip(1)), QwtInterval(-8000, 2000));
    QCOMPARE(page.breathTimeStrip(1)->axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick).size(), 6);

    // "Centro" off: its curve hidden, the sum unchanged; on again.
    page.breathVisibilityChanged(2);
    QVERIFY(!page.breathPlot()->curves()[2]->isVisible());
    m_now = 3000;
    page.realTimeDataBreath();
    QCOMPARE(points(page.breathSumPlot()->curves().front()).last(), QPointF(2500, 5 * 2500 + 100));
    QCOMPARE(points(page.breathPlot()->curves()[2]).last(), QPointF(2500, 2520));
    page.breathVisibilityChanged(2);
    QVERIFY(page.breathPlot()->curves()[2]->isVisible());

    // 30 s: the plots show the last 30 s at once, the strip in steps of 6 s.
    page.setBreathWindow(30000);
    QCOMPARE(bottom(page.breathSumPlot()), QwtInterval(-27500, 2500));
    QCOMPARE(page.breathTimeStrip(0)->axisScaleDiv(QwtPlot::xBottom).ticks(QwtScaleDiv::MajorTick).first(), -24000.0);
}

void LivePageTest::resetEmptiesThePlots()
{
    OnlineVisualizationWindow &page = *m_page;
    page.ecgRecords().append({ecg(100, 1, 1), ecg(102, 1, 1), ecg(5000, 1, 1), ecg(5002, 1, 1)});
    page.breathRecords().append({breath(100, 1), breath(120, 1)});
    page.realTimeDataEcg();
    page.realTimeDataBreath();
    m_now = 10000;
    page.realTimeDataEcg();
    page.realTimeDataBreath();
    QCOMPARE(int(page.ecgPlot(4)->curves().size()), 2);
    page.ecgRecords().append({ecg(6000, 1, 1)});

    page.reset();
    QVERIFY(page.ecgRecords().isEmpty());
    for (int lead = 0; lead < 12; ++lead) {
        QCOMPARE(int(page.ecgPlot(lead)->curves().size()), 1);
        QCOMPARE(int(page.ecgPlot(lead)->curves().front()->dataSize()), 0);
    }
    for (const QwtPlotCurve *curve : page.breathPlot()->curves())
        QCOMPARE(int(curve->dataSize()), 0);
    QCOMPARE(int(page.breathSumPlot()->curves().front()->dataSize()), 0);

    // A new stream: its first record is the new base.
    page.ecgRecords().append({ecg(300, 1, 1), ecg(302, 1, 1)});
    page.realTimeDataEcg();
    m_now = 20000;
    page.realTimeDataEcg();
    QCOMPARE(points(page.ecgPlot(4)->curves().front()), QVector<QPointF>({{302, 18.0 / 6}}));
}

void LivePageTest::ecgRefreshCanBeDetachedFromItsTimer()
{
    OnlineVisualizationWindow &page = *m_page;
    page.ecgRecords().append({ecg(100, 1, 1), ecg(102, 1, 1)});
    page.setEcgRefreshConnected(false);
    page.startEcgTimer();
    QTest::qWait(60);
    QCOMPARE(int(page.ecgRecords().size()), 2); // records keep waiting
    page.setEcgRefreshConnected(true);
    page.setEcgRefreshConnected(true);
    QVERIFY(page.isEcgRefreshConnected());
    QTRY_COMPARE(int(page.ecgRecords().size()), 1); // the first one became the clock's base
    m_now = 1000;
    QTRY_COMPARE(int(page.ecgPlot(1)->curves().front()->dataSize()), 1);
    page.stopEcgTimer();
    QVERIFY(!page.ecgTimer()->isActive());
}

void LivePageTest::replaysACapturedStream()
{
    // The capture as a user makes one: the tool's synthetic recorder at gain 6, its stream in a file.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString capture = dir.filePath("capture.bin");
    const ToolRun synth = runTool({"synth", "--hours", "0.00556", "--calibration", "6,1,1,1,1,1,1,1,1", "--capture",
                                   capture, dir.filePath("card")});
    QVERIFY2(synth.exitCode == 0, qPrintable(synth.err));
    auto frames = [&](const char *stream) {
        const QRegularExpressionMatch m =
            QRegularExpression(QString("%1 frames: (\\d+), (\\d+) with a bad check byte").arg(stream)).match(synth.out);
        return m.hasMatch() ? m.captured(1).toInt() - m.captured(2).toInt() : -1;
    };
    const int ecgFrames = frames("ECG");
    const int breathFrames = frames("respiration");
    QVERIFY2(ecgFrames > 9900 && breathFrames > 990, qPrintable(synth.out));

    OnlineVisualizationWindow &page = *m_page;
    page.ecgRecords().append({ecg(1, 1, 1)}); // left over from an earlier stream: replaced
    QString error;
    QVERIFY2(page.loadCapture(capture, &error), qPrintable(error));
    QCOMPARE(int(page.ecgRecords().size()), ecgFrames);
    QCOMPARE(int(page.breathRecords().size()), breathFrames);

    // Played 3 s in: 2.5 s of the recorder's time on the plots, the rest still waiting.
    page.realTimeDataEcg();
    page.realTimeDataBreath();
    for (m_now = 10; m_now <= 3000; m_now += 10) {
        page.realTimeDataEcg();
        if (m_now % 20 == 0)
            page.realTimeDataBreath();
    }
    // Stopping shows what the last refresh took, though it came within 20 ms of the last redraw.
    QCOMPARE(bottom(page.ecgPlot(1)).maxValue(), 2490.0);
    page.stopEcgTimer();
    QCOMPARE(bottom(page.ecgPlot(1)).maxValue(), 2500.0);
    const QVector<QPointF> leadI = points(page.ecgPlot(1)->curves().back());
    const QVector<QPointF> leadII = points(page.ecgPlot(2)->curves().back());
    const QVector<QPointF> leadIII = points(page.ecgPlot(8)->curves().back());
    QVERIFY(leadI.size() > 1200 && leadI.size() <= 1250);
    QCOMPARE(leadI.first().x(), 2.0); // the record at 0 started the clock
    QCOMPARE(leadIII.size(), leadI.size());
    double swing = 0;
    for (int k = 0; k < leadI.size(); ++k) {
        QVERIFY(std::abs(leadIII[k].y() - (leadII[k].y() - leadI[k].y())) < 1e-9);
        swing = std::max(swing, std::abs(leadII[k].y()));
    }
    // Read in mV: the synthetic QRS stands about a millivolt high in lead II.
    QVERIFY2(swing > 0.5 && swing < 3, qPrintable(QString::number(swing)));
    QCOMPARE(int(page.ecgRecords().size()), ecgFrames - 1 - leadI.size());
    QVERIFY(page.breathSumPlot()->curves().front()->dataSize() > 100);
}

void LivePageTest::refusesAnUnreadableCapture()
{
    OnlineVisualizationWindow &page = *m_page;
    page.ecgRecords().append({ecg(100, 1, 1)});
    QString error;
    QVERIFY(!page.loadCapture("/nonexistent/capture.bin", &error));
    QVERIFY(error.contains("/nonexistent/capture.bin"));

    QTemporaryDir dir;
    QFile noise(dir.filePath("noise.bin"));
    QVERIFY(noise.open(QIODevice::WriteOnly));
    noise.write(QByteArray(4096, char(0x55)));
    noise.close();
    error.clear();
    QVERIFY(!page.loadCapture(noise.fileName(), &error));
    QVERIFY(error.contains("no ECG or respiration frame"));
    QCOMPARE(int(page.ecgRecords().size()), 1); // nothing replaced
}

KRN_TEST_MAIN(LivePageTest)
#include "tst_livepage.moc"
