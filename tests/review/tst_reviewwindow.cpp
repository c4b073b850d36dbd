// The review page's plots and navigation on real widgets (offscreen) over real session folders:
// small hand-made ones where a figure must come out exactly, a synthetic recording decoded by
// the tool for the whole page.

#include "tests/support/TestMain.h"
#include "import/RecordingFormat.h"
#include "review/data/AnalysisFolder.h"
#include "review/data/BeatFile.h"
#include "review/plots/EnvelopeCurve.h"
#include "review/plots/QwtDateScaleWithOffset.h"
#include "review/plots/ReviewPlots.h"
#include "review/data/ReviewSummaries.h"
#include "review/data/SignalTrace.h"
#include "review/VisualizationWindow.h"
#include "tests/support/SessionFiles.h"

#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_shapeitem.h>
#include <qwt_plot_zoneitem.h>
#include <qwt_scale_div.h>
#include <qwt_scale_map.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <cmath>
#include <functional>

namespace {

const QDateTime acquisitionStart(QDate(2024, 3, 4), QTime(9, 30), Qt::LocalTime);

struct Ecg {
    quint32 time;
    float values[8];
};

void writeEcg(const QString &folder, const QVector<Ecg> &records)
{
    QFile file(folder + "/ecg.txt");
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray bytes(records.size() * EcgFormat.recordSize, '\0');
    for (int i = 0; i < records.size(); ++i)
        putRecord(reinterpret_cast<uchar *>(bytes.data()) + i * EcgFormat.recordSize, records[i].time,
                  records[i].values, 8);
    file.write(bytes);
}

// Respiration records every 20 ms from `from`, channel c = base + c, skipping none.
void writeBreath(const QString &folder, quint32 from, quint32 to, float base,
                 const std::function<bool(quint32)> &keep = {})
{
    QFile file(folder + "/breath.txt");
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (quint32 t = from; t < to; t += 20) {
        if (keep && !keep(t))
            continue;
        uchar record[24];
        const float values[5] = {base, base + 1, base + 2, base + 3, base + 4};
        putRecord(record, t, values, 5);
        file.write(reinterpret_cast<const char *>(record), 24);
    }
}

void writeLog(const QString &folder, const QStringList &extra = {})
{
    QFile file(folder + "/logfile.txt");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    QTextStream out(&file);
    out << "START_ACQ:" << acquisitionStart.toString("yyyyMMddhhmmss") << "\n";
    for (const QString &line : extra)
        out << line << "\n";
}

// A steady ECG at 2 ms from `from` to `to` with the given per-channel value.
QVector<Ecg> steadyEcg(quint32 from, quint32 to, float value = 0.1f)
{
    QVector<Ecg> records;
    for (quint32 t = from; t < to; t += 2) {
        Ecg r{t, {}};
        for (float &v : r.values)
            v = value;
        records.append(r);
    }
    return records;
}

// An oximeter export with one line a second from 1 s on: (SpO2, pulse) per second.
void writePuls(const QString &folder, const QVector<QPair<int, int>> &readings)
{
    QFile puls(folder + "/Puls.txt");
    QVERIFY(puls.open(QIODevice::WriteOnly | QIODevice::Text));
    QTextStream out(&puls);
    out << "VERSION 2.1,TAVO-OX export\n";
    for (int i = 0; i < readings.size(); ++i) {
        const int s = i + 1;
        const QDateTime at = acquisitionStart.addSecs(s);
        out << s << "," << at.date().year() << "," << at.date().month() << "," << at.date().day() << ","
            << at.time().hour() << "," << at.time().minute() << "," << at.time().second() << ","
            << readings[i].second << "," << readings[i].first << "\n";
    }
}

int pointCount(const QList<QwtPlotCurve *> &curves)
{
    int n = 0;
    for (const QwtPlotCurve *curve : curves)
        n += int(curve->dataSize());
    return n;
}

} // namespace

class ReviewWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pageTreeAndTexts();
    void derivedLeadsFromTheWindowMeans();
    void gapsStartCurvesAndStaleTimesAreSkipped();
    void holesHideTheirInsideButKeepTheirEdges();
    void respirationOverviewLeavesOutTheFillerOnAHoleEdge();
    void calibrationPulseFollowsTheGain();
    void autoscaleHidesPaperAndPulse();
    void oximetryAxisAndMeans();
    void respirationAutoscaleOnRequestAndOnItsOwnTab();
    void positionSummary();
    void beatMarksAndSplitZones();
    void envelopeDrawsTheSamePixelsAsTheFullTrace();
    void emptyFolderSaysItHoldsNoData();
    void shortRecordingPinsTheWindowAtItsEnd();
    void scrollBarStaysAtItsMaximum();
    void tenMinuteWindowShowsHoursAndMinutes();
    void wheelSteps();
    void resetViewRestoresDefaults();
    void syntheticSessionOnEveryTab();
    void pagingKeysMoveTheWindow();
    void caliperMeasuresA60BpmRhythm();
    void heartRateStripUnderTheOverview();

private:
    // Loads the folder into the page the way the main window does and waits for the end.
    bool load(const QString &folder, qint64 recordingStart = 0, bool *timeCorrect = nullptr);

    QTemporaryDir m_tmp;
    QString m_synthSession;
    VisualizationWindow *m_window = nullptr;
    QString m_folder;
};

void ReviewWindowTest::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    const QString card = m_tmp.filePath("card");
    m_synthSession = m_tmp.filePath("session");
    SyntheticSession synth;
    synth.options.hours = 0.25;
    QString error;
    QVERIFY2(synth.writeCard(card, true, &error), qPrintable(error));
    QVERIFY2(synth.decodeInto(m_synthSession, &error), qPrintable(error));
}

void ReviewWindowTest::init()
{
    m_window = new VisualizationWindow(nullptr);
    m_window->resize(1400, 900);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    static int n = 0;
    m_folder = m_tmp.filePath(QString("s%1").arg(++n));
    QVERIFY(QDir().mkpath(m_folder));
}

void ReviewWindowTest::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

bool ReviewWindowTest::load(const QString &folder, qint64 recordingStart, bool *timeCorrect)
{
    QSignalSpy finished(m_window, &VisualizationWindow::loadingFinishedSignal);
    m_window->loadSessionData(folder, recordingStart);
    if (!finished.wait(10000))
        return false;
    if (timeCorrect)
        *timeCorrect = finished.first().at(0).toBool();
    m_window->jumpToFirstData();
    return m_window->loadErrorString().isEmpty();
}

void ReviewWindowTest::pageTreeAndTexts()
{
    // A fresh page starts on the single-lead tab, texts from the label table.
    QCOMPARE(m_window->tabs()->currentIndex(), int(VisualizationWindow::SingleTab));
    const QStringList tabTexts = {"Derivazioni periferiche ed aumentate", "Derivazioni precordiali", "Respiro",
                                  "Multicanale", "Eventi"};
    for (int tab = 0; tab < 5; ++tab)
        QCOMPARE(m_window->tabs()->tabText(tab), tabTexts.at(tab));
    const QList<QPair<QString, QString>> texts = {
        {"labelStart", "Start:"},       {"labelScale", "Scale:"},         {"labelBreathScale", "Scala respiro"},
        {"labelBreath1", "Tor sx"},     {"labelBreathSum", "Somma"},      {"labelEcg4", "aVR"},
        {"labelEcg12", "V6"},           {"labelSingleIMU", "SpO<sub>2</sub>"}, {"satValue", "ND"},
        {"labelScale1", "10 mm/mV"},    {"labelScaleEcgSingle", "10 mm/mV"}, {"labelTime1", "25 mm/s"}};
    for (const auto &[name, text] : texts) {
        const QLabel *l = m_window->findChild<QLabel *>(name);
        QVERIFY2(l, qPrintable(name));
        QCOMPARE(l->text(), text);
    }
    QCOMPARE(m_window->findChild<QAbstractButton *>("radiob1")->text(), QString("Tor Sx"));
    QCOMPARE(m_window->findChild<QAbstractButton *>("buttonSingle60")->text(), QString("60 s"));
    QCOMPARE(m_window->findChild<QAbstractButton *>("buttonBreath10m")->text(), QString("10 min"));
    // Window-length ids are the lengths; lead radio ids the lead-table indices.
    for (const char *group : {"selectBreathScale", "selectSingleRange", "selectEventRange"}) {
        const QButtonGroup *buttons = m_window->findChild<QButtonGroup *>(group);
        QVERIFY(buttons);
        for (int length : {10000, 30000, 60000, 300000, 600000})
            QVERIFY2(buttons->button(length), group);
    }
    const QButtonGroup *leadsGroup = m_window->findChild<QButtonGroup *>("selectECG");
    QCOMPARE(leadsGroup->id(m_window->findChild<QAbstractButton *>("radioV6")), 0);
    QCOMPARE(leadsGroup->id(m_window->findChild<QAbstractButton *>("radioaVF")), 11);
    QCOMPARE(m_window->leadPlots()[0]->objectName(), QString("PlotECG12"));
    QCOMPARE(m_window->leadPlots()[8]->canvasName(), QString("L3"));
    QCOMPARE(m_window->singleEcgPlot()->canvasName(), QString("V1"));
    QCOMPARE(m_window->breathPlots()[5]->canvasName(), QString("ND"));
}

void ReviewWindowTest::derivedLeadsFromTheWindowMeans()
{
    // First half I = +1, II = +0.5; second half the opposite: the window means are 0.
    QVector<Ecg> records;
    for (quint32 t = 0; t < 30000; t += 2) {
        const float sign = t < 5000 ? 1.0f : -1.0f;
        Ecg r{t, {0.2f, sign * 1.0f, sign * 0.5f, 0, 0, 0, 0, 0}};
        records.append(r);
    }
    writeEcg(m_folder, records);
    writeBreath(m_folder, 0, 30000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);
    QCOMPARE(m_window->position(), 0u);

    const auto firstY = [this](int lead) {
        const QList<QwtPlotCurve *> curves = m_window->leadPlots()[lead]->curves();
        return curves.isEmpty() ? qQNaN() : curves.first()->sample(0).y();
    };
    QCOMPARE(firstY(leads::I), 1.0);
    QCOMPARE(firstY(leads::II), 0.5);
    QCOMPARE(firstY(8), -0.5);   // III
    QCOMPARE(firstY(9), -0.75);  // aVR
    QCOMPARE(firstY(10), 0.75);  // aVL
    QCOMPARE(firstY(11), 0.0);   // aVF
    QCOMPARE(firstY(0), 0.0);    // V6 is constant: its mean is taken off
    // The 10 s window reads 5000 records, 2 ms apart: one curve, every record plotted.
    QCOMPARE(m_window->leadPlots()[leads::I]->curves().size(), 1);
    QCOMPARE(pointCount(m_window->leadPlots()[leads::I]->curves()), 5000);

    // The pure formulas agree.
    const EcgMeans means{};
    const float values[8] = {0, 1.0f, 0.5f, 0, 0, 0, 0, 0};
    QCOMPARE(leadValue(values, means, 9), -0.75);
}

void ReviewWindowTest::gapsStartCurvesAndStaleTimesAreSkipped()
{
    QVector<Ecg> records = steadyEcg(0, 2000);
    records.append(steadyEcg(2016, 3000)); // 2000 - 1998 ... jump of 18 ms: a new curve
    records.append(steadyEcg(3016, 4000)); // 3016 - 2998 = 18 again
    records.append(Ecg{3990, {}});          // time going back: skipped
    records.append(steadyEcg(4006, 30000)); // 4006 - 3998 = 8: same curve
    writeEcg(m_folder, records);
    writeBreath(m_folder, 0, 30000, 1000, [](quint32 t) { return t < 1000 || t >= 1220; });
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::PrecordialTab);

    const EcgPaperPlot *v1 = m_window->leadPlots()[leads::V1];
    QCOMPARE(v1->curves().size(), 3);
    QCOMPARE(pointCount(v1->curves()), 5000 - 1);
    for (const QwtPlotCurve *curve : v1->curves())
        for (size_t i = 1; i < curve->dataSize(); ++i)
            QVERIFY(curve->sample(i).x() > curve->sample(i - 1).x());

    // Respiration breaks only on jumps above 200 ms: 980 -> 1220 is one.
    m_window->tabs()->setCurrentIndex(VisualizationWindow::BreathTab);
    QCOMPARE(m_window->breathPlots()[0]->curves().size(), 2);
    QCOMPARE(m_window->breathPlots()[BreathSumChannel]->curves().size(), 2);
    QCOMPARE(m_window->breathPlots()[BreathSumChannel]->curves().first()->sample(0).y(), 5.0 * 1000 + 10);

    TraceBuilder trace(BreathSegmentGapMs);
    trace.add(0, 1);
    trace.add(200, 1);  // exactly 200: same curve
    trace.add(401, 1);  // 201: new curve
    QCOMPARE(trace.segments().size(), 2);
}

void ReviewWindowTest::holesHideTheirInsideButKeepTheirEdges()
{
    // The log marks whole seconds: missing from 2000 to 3000 ms.
    writeEcg(m_folder, steadyEcg(0, 30000));
    writeBreath(m_folder, 0, 30000, 1000);
    writeLog(m_folder, {"START_MISSING_DATA:" + acquisitionStart.addMSecs(2000).toString("yyyyMMddhhmmss"),
                        "STOP_MISSING_DATA:" + acquisitionStart.addMSecs(3000).toString("yyyyMMddhhmmss")});
    QVERIFY(load(m_folder));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);
    const QList<QwtPlotCurve *> curves = m_window->leadPlots()[leads::I]->curves();
    QCOMPARE(curves.size(), 2);
    QCOMPARE(curves.at(0)->sample(curves.at(0)->dataSize() - 1).x(), 2000.0); // the start edge is kept
    QCOMPARE(curves.at(1)->sample(0).x(), 3000.0);                             // and the stop edge
    QCOMPARE(pointCount(curves), 5000 - 499);

    // The overview shows the recorded span in green and the hole in red.
    const QList<QwtPlotZoneItem *> zones = m_window->overviewPlot()->zones();
    QCOMPARE(zones.size(), 2);
    QCOMPARE(zones.at(1)->interval().minValue(), 2000.0);
    QCOMPARE(zones.at(1)->interval().maxValue(), 3000.0);
}

void ReviewWindowTest::respirationOverviewLeavesOutTheFillerOnAHoleEdge()
{
    // As the decoder fills a hole: zero records from its start to its stop, both edges included.
    writeEcg(m_folder, steadyEcg(0, 30000));
    QFile file(m_folder + "/breath.txt");
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (quint32 t = 0; t < 30000; t += 20) {
        const float level = t >= 2000 && t <= 3000 ? 0.0f : 30000.0f;
        const float values[5] = {level, level, level, level, level};
        uchar record[24];
        putRecord(record, t, values, 5);
        file.write(reinterpret_cast<const char *>(record), 24);
    }
    file.close();
    writeLog(m_folder, {"START_MISSING_DATA:" + acquisitionStart.addMSecs(2000).toString("yyyyMMddhhmmss"),
                        "STOP_MISSING_DATA:" + acquisitionStart.addMSecs(3000).toString("yyyyMMddhhmmss")});
    QVERIFY(load(m_folder));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::BreathTab);

    // Overview points every 600 ms: 2400 lies inside the hole, 3000 on its stop edge holds a filler.
    QwtPlotCurve *curve = m_window->overviewPlot()->curve();
    QVERIFY(curve->dataSize() > 40);
    QList<double> times;
    for (size_t i = 0; i < curve->dataSize(); ++i) {
        QCOMPARE(curve->sample(int(i)).y(), 150000.0);
        times << curve->sample(int(i)).x();
    }
    QVERIFY(times.contains(1800.0));
    QVERIFY(!times.contains(2400.0));
    QVERIFY(!times.contains(3000.0));
    QVERIFY(times.contains(3600.0));
}

void ReviewWindowTest::calibrationPulseFollowsTheGain()
{
    writeEcg(m_folder, steadyEcg(130, 30000));
    writeBreath(m_folder, 0, 30000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);

    const auto pulse = [this] { return m_window->leadPlots()[leads::II]->calibrationPulse(); };
    QRectF shape = pulse()->shape().boundingRect();
    QCOMPARE(shape.left(), 200.0); // ceil(130 / 200) * 200
    QCOMPARE(shape.width(), 600.0);
    QCOMPARE(shape.height(), 1.0);
    QVERIFY(pulse()->isVisible());
    double highest = 0;
    for (const QwtPlotItem *item : m_window->leadPlots()[leads::II]->itemList())
        if (item != pulse())
            highest = std::max(highest, item->z());
    QCOMPARE(pulse()->z(), highest + 10);

    QSignalSpy chosen(m_window, &VisualizationWindow::scaleChosen);
    m_window->changeScale(1);
    QCOMPARE(chosen.size(), 1);
    QCOMPARE(chosen.first().at(0).toBool(), true);
    QCOMPARE(m_window->displayGain(), 2.0f);
    QCOMPARE(pulse()->shape().boundingRect().height(), 2.0);
    for (const char *name : {"labelScale1", "labelScale12", "labelScaleEcgSingle", "labelScaleEcgEv3"})
        QCOMPARE(m_window->findChild<QLabel *>(name)->text(), QString("20 mm/mV"));

    m_window->changeScale(2);
    QCOMPARE(m_window->findChild<QLabel *>("labelScale5")->text(), QString("5 mm/mV"));
    m_window->changeScale(7); // unknown type: the gain stays
    QCOMPARE(m_window->displayGain(), 0.5f);

    // The single-lead pulse is a fiftieth of its window wide.
    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    m_window->findChild<QAbstractButton *>("buttonSingle30")->click();
    QCOMPARE(m_window->singleRange(), 30000);
    QCOMPARE(m_window->singleEcgPlot()->calibrationPulse()->shape().boundingRect().width(), 3 * 600.0);
}

void ReviewWindowTest::autoscaleHidesPaperAndPulse()
{
    writeEcg(m_folder, steadyEcg(0, 30000));
    writeBreath(m_folder, 0, 30000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    m_window->setAutoscale(true);
    const EcgPaperPlot *plot = m_window->leadPlots()[3];
    QVERIFY(plot->axisAutoScale(QwtPlot::yLeft));
    QVERIFY(!plot->calibrationPulse()->isVisible());
    QVERIFY(!plot->majorGrid()->yEnabled());
    QCOMPARE(m_window->findChild<QLabel *>("labelScaleEcgEv1")->text(), QString("Auto"));
    m_window->setAutoscale(false);
    QVERIFY(!plot->axisAutoScale(QwtPlot::yLeft));
    QCOMPARE(plot->axisScaleDiv(QwtPlot::yLeft).lowerBound(), -1.1);
    QCOMPARE(m_window->singleEcgPlot()->axisScaleDiv(QwtPlot::yLeft).upperBound(), 3.3);
    QVERIFY(plot->calibrationPulse()->isVisible());
    QCOMPARE(m_window->findChild<QLabel *>("labelScale2")->text(), QString("10 mm/mV"));
}

void ReviewWindowTest::oximetryAxisAndMeans()
{
    writeEcg(m_folder, steadyEcg(0, 60000));
    writeBreath(m_folder, 0, 60000, 1000);
    writeLog(m_folder);
    // SpO2 97 at 1..19 s, pulse 75; from 20 s SpO2 readings above 100 and pulse above 300.
    QVector<QPair<int, int>> readings(19, {97, 75});
    readings += QVector<QPair<int, int>>(20, {120, 320});
    writePuls(m_folder, readings);
    QVERIFY(load(m_folder, acquisitionStart.toSecsSinceEpoch()));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);

    const auto axis = [this] { return m_window->oximetryPlot()->axisScaleDiv(QwtPlot::yLeft); };
    QCOMPARE(axis().lowerBound(), 95.0);
    QCOMPARE(axis().upperBound(), 99.0);
    QCOMPARE(m_window->findChild<QLabel *>("satValue")->text(), QString("97%"));
    QCOMPARE(m_window->findChild<QLabel *>("pulseValue")->text(), QString("75 bpm"));
    QVERIFY(m_window->oximetryPlot()->isEnabled());

    m_window->scrollBar()->setValue(25000);
    QCOMPARE(m_window->findChild<QLabel *>("satValue")->text(), QString("ND"));
    QCOMPARE(m_window->findChild<QLabel *>("pulseValue")->text(), QString("ND"));

    // No sample in the window (the series ends at 39 s).
    m_window->scrollBar()->setValue(m_window->scrollBar()->maximum());
    QVERIFY(m_window->position() > 40000);
    QCOMPARE(axis().lowerBound(), 70.0);
    QCOMPARE(axis().upperBound(), 100.0);
    QCOMPARE(m_window->findChild<QLabel *>("satValue")->text(), QString("ND"));

    QCOMPARE(oximetryMeanText({{100, 60}, {200, 101}, {300, 140}}, 0, 1000, Spo2MeanLimit, "%"), QString("ND"));
    QCOMPARE(oximetryMeanText({{100, 99}, {1000, 50}}, 0, 1000, Spo2MeanLimit, "%"), QString("99%"));

    // The axis counts the first reading after the window: 97 inside 5..15 s, 92 from 16 s.
    const QString second = m_folder + "-b";
    QVERIFY(QDir().mkpath(second));
    writeEcg(second, steadyEcg(0, 60000));
    writeBreath(second, 0, 60000, 1000);
    writeLog(second);
    QVector<QPair<int, int>> drop(15, {97, 75});
    drop += QVector<QPair<int, int>>(20, {92, 75});
    writePuls(second, drop);
    QVERIFY(load(second, acquisitionStart.toSecsSinceEpoch()));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    m_window->scrollBar()->setValue(5000);
    QCOMPARE(axis().lowerBound(), 92.0);
    QCOMPARE(axis().upperBound(), 97.0);
    QCOMPARE(m_window->findChild<QLabel *>("satValue")->text(), QString("97%"));

    // A session without oximetry does not keep the means of the one before, nor does a reset.
    const QString third = m_folder + "-c";
    QVERIFY(QDir().mkpath(third));
    writeEcg(third, steadyEcg(0, 60000));
    writeBreath(third, 0, 60000, 1000);
    writeLog(third);
    QVERIFY(load(third, acquisitionStart.toSecsSinceEpoch()));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    QVERIFY(!m_window->oximetryPlot()->isEnabled());
    QCOMPARE(m_window->findChild<QLabel *>("satValue")->text(), QString("ND"));
    QCOMPARE(m_window->findChild<QLabel *>("pulseValue")->text(), QString("ND"));
    QVERIFY(load(second, acquisitionStart.toSecsSinceEpoch()));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    QCOMPARE(m_window->findChild<QLabel *>("satValue")->text(), QString("97%"));
    m_window->resetView();
    QCOMPARE(m_window->findChild<QLabel *>("satValue")->text(), QString("ND"));
    QCOMPARE(m_window->findChild<QLabel *>("pulseValue")->text(), QString("ND"));
}

void ReviewWindowTest::respirationAutoscaleOnRequestAndOnItsOwnTab()
{
    writeEcg(m_folder, steadyEcg(0, 60000));
    writeBreath(m_folder, 0, 60000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);
    m_window->setBreathScaleValue(40);
    QVERIFY(!m_window->breathAutoscale());
    QSignalSpy half(m_window, &VisualizationWindow::singleBreathScaleChanged);
    QSignalSpy centre(m_window, &VisualizationWindow::singleBreathBaselineChanged);

    // Asked for on a lead tab: computed at once from the current respiration window.
    m_window->setBreathAutoscale(true);
    QCOMPARE(half.size(), 1);
    QCOMPARE(centre.size(), 1);
    QVERIFY(m_window->breathAutoscale());
    QCOMPARE(m_window->breathBaseline(), centre.first().at(0).toInt());

    // Scrolling the single-lead tab (sum shown) leaves the toolbar's sliders alone ...
    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    QCOMPARE(m_window->singleBreath(), int(BreathSumChannel));
    half.clear();
    m_window->scrollBar()->setValue(20000);
    m_window->scrollBar()->setValue(30000);
    QCOMPARE(half.size(), 0);
    // ... while each redraw of the respiration tab evaluates it again.
    m_window->tabs()->setCurrentIndex(VisualizationWindow::BreathTab);
    const int before = half.size();
    m_window->scrollBar()->setValue(10000);
    QVERIFY(half.size() > before);
}

void ReviewWindowTest::positionSummary()
{
    const QVector<PositionEntry> positions = {
        {0, "SUPINE"}, {4000, "SUPINE"}, {8000, "LEFT_SIDE"}, {12000, "SIT"}, {30000, "STAND"}};
    QCOMPARE(positionSummaryText(positions, 5000, 10000),
             QString("<b>STD</b> 0%   <b>SIT</b> 33%  <b>SUP</b> 33%  <b>PRO</b> 0%   <b>LXs</b> 33%  <b>RXs</b> 0%  "));
    QCOMPARE(positionSummaryText({}, 0, 10000), emptyPositionSummary());
    QVERIFY(emptyPositionSummary().startsWith("<b>STD</b> ND   <b>SIT</b> ND  "));

    // The file: one more day when the hour goes back; malformed lines skipped.
    const qint64 start = QDateTime(QDate(2024, 3, 4), QTime(22, 0)).toSecsSinceEpoch();
    QFile file(m_folder + "/positions.txt");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    file.write("220010;SUPINE\nbroken line\n256000;STAND\n235959;PRONE\n000001;SIT\n");
    file.close();
    QVector<PositionEntry> read;
    QVERIFY(readPositionsFile(m_folder + "/positions.txt", start, &read));
    QCOMPARE(read.size(), 3);
    QCOMPARE(read.at(0).timeMs, 10000.0);
    QCOMPARE(read.at(2).timeMs, (2 * 3600 + 1) * 1000.0);
    QCOMPARE(read.at(2).label, QString("SIT"));
    QCOMPARE(read.at(1).label, QString("PRONE")); // no time of day: skipped

    // On the page: the single-lead window's label.
    writeEcg(m_folder, steadyEcg(0, 60000));
    writeBreath(m_folder, 0, 60000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder, start));
    m_window->loadAnalysisResults(m_folder);
    QVERIFY(m_window->positionsAvailable());
    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    QCOMPARE(m_window->findChild<QLabel *>("labelSleepPosition")->text(), emptyPositionSummary()); // 0..10 s
    m_window->scrollBar()->setValue(5000);
    QVERIFY(m_window->findChild<QLabel *>("labelSleepPosition")->text().contains("<b>SUP</b> 100%"));
    m_window->loadAnalysisResults(m_tmp.filePath("nowhere"));
    QCOMPARE(m_window->findChild<QLabel *>("labelSleepPosition")->text(), emptyPositionSummary());
}

void ReviewWindowTest::beatMarksAndSplitZones()
{
    writeEcg(m_folder, steadyEcg(0, 60000));
    writeBreath(m_folder, 0, 60000, 1000);
    writeLog(m_folder);
    const QString analysis = m_folder + "/ANALISI";
    QVERIFY(QDir().mkpath(analysis));
    QFile beats(analysis + "/annotations_fusion.pt");
    QVERIFY(beats.open(QIODevice::WriteOnly | QIODevice::Text));
    beats.write("0:00:01.000\t500\tN\t0\tII\t0\n"
                "0:00:02.500 1250 V 0 II 0\n"
                "0:00:03.000\t1500\t+\t0\tII\t(N\n"
                "0:00:12.000\t6000\tN\t0\tII\t0\n");
    beats.close();
    QFile split(analysis + "/split_V1.txt");
    QVERIFY(split.open(QIODevice::WriteOnly | QIODevice::Text));
    split.write("093000\n093002;093005\n093007;093020\n");
    split.close();

    QVERIFY(load(m_folder, acquisitionStart.toSecsSinceEpoch()));
    m_window->loadAnalysisResults(analysis);
    QVERIFY(m_window->annotationsAvailable());
    QCOMPARE(m_window->annotationCount(), 3);
    QCOMPARE(m_window->normalCount(), 2);
    QVERIFY(m_window->splitAvailable(leads::V1));
    QVERIFY(!m_window->splitAvailable(leads::I)); // no split file for that lead

    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    const auto marks = [this]() -> QVector<double> {
        QVector<double> times;
        for (const QwtPlotCurve *curve : m_window->singleEcgPlot()->curves())
            if (curve->style() == QwtPlotCurve::NoCurve)
                for (size_t i = 0; i < curve->dataSize(); ++i)
                    times.append(curve->sample(i).x());
        return times;
    };
    QVERIFY(marks().isEmpty()); // the check box is off
    m_window->findChild<QCheckBox *>("visualizeBeatsCheckBox")->setChecked(true);
    QCOMPARE(marks(), QVector<double>({1000.0, 2500.0}));

    // Not analysable: before the first segment and between the two.
    QList<QwtPlotZoneItem *> zones = m_window->singleEcgPlot()->zones();
    QCOMPARE(zones.size(), 2);
    QCOMPARE(zones.at(0)->interval().minValue(), 0.0);
    QCOMPARE(zones.at(0)->interval().maxValue(), 2000.0);
    QCOMPARE(zones.at(1)->interval().minValue(), 5000.0);
    QCOMPARE(zones.at(1)->interval().maxValue(), 7000.0);
    // Another lead without split file: no zones.
    m_window->findChild<QRadioButton *>("radio1")->click();
    QVERIFY(m_window->singleEcgPlot()->zones().isEmpty());

    // The window inside a segment, after the last one, and past the analysis' end.
    const TimeSpans segments = {{2000, 5000}, {7000, 20000}};
    QVERIFY(uncoveredSpans(segments, 8000, 18000).isEmpty());
    QCOMPARE(uncoveredSpans(segments, 15000, 25000), TimeSpans({{20000, 25000}}));
    QCOMPARE(uncoveredSpans(segments, 30000, 40000), TimeSpans({{30000, 40000}}));
    QCOMPARE(uncoveredSpans(segments, 2000, 12000), TimeSpans({{5000, 7000}}));
    const char clock[] = "1:02:03.5";
    QCOMPARE(clockSeconds(clock, clock + sizeof clock - 1), 3723.5);
}

void ReviewWindowTest::envelopeDrawsTheSamePixelsAsTheFullTrace()
{
    // A 10-minute ECG-like trace: spikes one sample wide every 400 samples.
    QVector<QPointF> points;
    for (int i = 0; i < 300000; ++i) {
        const double spike = i % 400 == 0 ? 2.5 : (i % 400 == 1 ? -0.7 : 0.0);
        points.append(QPointF(i * 2.0, 0.2 * std::sin(i / 300.0) + spike));
    }
    QwtScaleMap xMap, yMap;
    xMap.setScaleInterval(0, 600000);
    xMap.setPaintInterval(0, 999);
    yMap.setScaleInterval(-3.3, 3.3);
    yMap.setPaintInterval(299, 0);
    const QRectF canvas(0, 0, 1000, 300);

    auto render = [&](QwtPlotCurve &curve) {
        QImage image(1000, 300, QImage::Format_RGB32);
        image.fill(Qt::white);
        curve.setSamples(points);
        curve.setPen(QPen(Qt::black, 1));
        QPainter painter(&image);
        curve.draw(&painter, xMap, yMap, canvas);
        return image;
    };
    QwtPlotCurve full;
    EnvelopeCurve envelope;
    const QImage expected = render(full);
    const QImage drawn = render(envelope);
    // Every column covers the same rows (spikes keep their height) to within the pixel the
    // rasteriser gives or takes where a line turns back inside one column.
    int differing = 0;
    for (int x = 0; x < 1000; ++x) {
        int top[2] = {300, 300}, bottom[2] = {-1, -1};
        for (int y = 0; y < 300; ++y) {
            const bool ink[2] = {qGray(drawn.pixel(x, y)) < 128, qGray(expected.pixel(x, y)) < 128};
            for (int i = 0; i < 2; ++i)
                if (ink[i]) {
                    top[i] = std::min(top[i], y);
                    bottom[i] = std::max(bottom[i], y);
                }
            differing += ink[0] != ink[1];
        }
        QVERIFY2(std::abs(top[0] - top[1]) <= 1, qPrintable(QString::number(x)));
        QVERIFY2(std::abs(bottom[0] - bottom[1]) <= 1, qPrintable(QString::number(x)));
    }
    QVERIFY2(differing <= 10, qPrintable(QString::number(differing)));

    QwtPointSeriesData series(points);
    const QPolygonF reduced = EnvelopeCurve::envelope(series, 0, points.size() - 1, xMap, yMap);
    QVERIFY(reduced.size() <= 4 * 1000);
    // Every spike keeps its full height.
    double top = 1e9;
    for (const QPointF &p : reduced)
        top = std::min(top, p.y());
    double highest = -1e9;
    for (const QPointF &p : points)
        highest = std::max(highest, p.y());
    QCOMPARE(top, std::round(yMap.transform(highest)));
}

void ReviewWindowTest::emptyFolderSaysItHoldsNoData()
{
    QSignalSpy finished(m_window, &VisualizationWindow::loadingFinishedSignal);
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^La sessione non contiene dati"));
    krntest::expectMessage(QtWarningMsg, QRegularExpression("^Session not loaded: La sessione non contiene dati"));
    QVERIFY(m_window->loadSessionData(m_folder, 0));
    QVERIFY(finished.wait(5000));
    QCOMPARE(finished.first().at(0).toBool(), false);
    QCOMPARE(finished.first().at(1).toInt(), 0);
    QVERIFY(!m_window->loadErrorString().isEmpty());
    QVERIFY(!m_window->hasEcgData());
    m_window->jumpToFirstData(); // nothing to jump to, nothing drawn
    m_window->updateSlider();
    QVERIFY(m_window->leadPlots()[0]->curves().isEmpty());

    // ECG without respiration opens what there is: every tab draws, the respiration ones empty.
    writeEcg(m_folder, steadyEcg(0, 20000));
    QVERIFY(load(m_folder));
    for (int tab = 0; tab < 5; ++tab) {
        m_window->tabs()->setCurrentIndex(tab);
        m_window->grab();
    }
    QVERIFY(m_window->breathPlots()[5]->curves().isEmpty());
    QVERIFY(m_window->singleBreathPlot()->curves().isEmpty());
    QVERIFY(!m_window->singleEcgPlot()->curves().isEmpty());
}

void ReviewWindowTest::shortRecordingPinsTheWindowAtItsEnd()
{
    // 8 s of ECG: shorter than the 10 s window.
    writeEcg(m_folder, steadyEcg(0, 8000));
    writeBreath(m_folder, 0, 8000, 1000);
    writeLog(m_folder);
    bool timeCorrect = true;
    QVERIFY(load(m_folder, 0, &timeCorrect));
    QVERIFY(!timeCorrect);
    QScrollBar *bar = m_window->scrollBar();
    QCOMPARE(bar->minimum(), bar->maximum());
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(int(m_window->position()), bar->maximum());
}

void ReviewWindowTest::scrollBarStaysAtItsMaximum()
{
    writeEcg(m_folder, steadyEcg(0, 200000));
    writeBreath(m_folder, 0, 190000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    QScrollBar *bar = m_window->scrollBar();
    m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);
    const int ecgMax = bar->maximum();
    QVERIFY(bar->minimum() < ecgMax);
    bar->setValue(ecgMax);
    // The respiration overview ends earlier: its maximum is the new one and the bar follows it.
    m_window->tabs()->setCurrentIndex(VisualizationWindow::BreathTab);
    QVERIFY(bar->maximum() < ecgMax);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(int(m_window->position()), bar->maximum());
    m_window->findChild<QAbstractButton *>("buttonBreath3")->click();
    QCOMPARE(bar->value(), bar->maximum());

    // Not at the maximum: the value stays where it was.
    m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);
    bar->setValue(50000);
    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    QCOMPARE(bar->value(), 50000);

    // sliderMoved carries the review start + the window start in seconds.
    m_window->setStartDateTime(1700000000);
    QSignalSpy moved(m_window, &VisualizationWindow::sliderMoved);
    bar->setValue(62000);
    QVERIFY(!moved.isEmpty());
    QCOMPARE(moved.last().at(0).toInt(), 1700000062);

    // A click on the overview moves the window there.
    m_window->getClickedTs(QPointF(71000.4, 0));
    QCOMPARE(m_window->position(), 71000u);
}

void ReviewWindowTest::tenMinuteWindowShowsHoursAndMinutes()
{
    writeEcg(m_folder, steadyEcg(0, 30000));
    writeBreath(m_folder, 0, 30000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    TimeStripPlot *breathStrip = m_window->findChild<TimeStripPlot *>("plotBreathScale");
    QVERIFY(breathStrip);
    QCOMPARE(breathStrip->clock()->offset(), acquisitionStart.toSecsSinceEpoch());
    m_window->tabs()->setCurrentIndex(VisualizationWindow::BreathTab);
    m_window->findChild<QAbstractButton *>("buttonBreath10m")->click();
    QCOMPARE(m_window->breathRange(), 600000);
    QCOMPARE(breathStrip->clock()->label(60000).text(), QString("09:31"));
    QCOMPARE(breathStrip->axisScaleDiv(QwtPlot::xBottom).range(), 600000.0);
    for (const char *other : {"buttonBreath1", "buttonBreath2", "buttonBreath3", "buttonBreath5m"}) {
        m_window->findChild<QAbstractButton *>(other)->click();
        QCOMPARE(breathStrip->clock()->label(61000).text(), QString("09:31:01"));
    }
    // The single-lead paper keeps 250 minor and 50 major boxes whatever its window.
    m_window->findChild<QAbstractButton *>("buttonSingle5m")->click();
    const QwtScaleDiv minor = m_window->singleEcgPlot()->axisScaleDiv(QwtPlot::xTop);
    QCOMPARE(minor.ticks(QwtScaleDiv::MajorTick).size(), 251);
    // ... while the lead tabs keep 1 mm = 40 ms.
    QCOMPARE(m_window->leadPlots()[1]->axisScaleDiv(QwtPlot::xTop).ticks(QwtScaleDiv::MajorTick).size(), 251);
}

void ReviewWindowTest::wheelSteps()
{
    writeEcg(m_folder, steadyEcg(0, 400000));
    writeBreath(m_folder, 0, 400000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    QScrollBar *bar = m_window->scrollBar();
    bar->setValue(20000);

    auto wheel = [this](QWidget *over, int delta) {
        const QPoint local = over->rect().center();
        const QPointF inPage = over->mapTo(m_window, local);
        QWheelEvent event(inPage, over->mapToGlobal(local), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(m_window, &event);
    };
    wheel(m_window->overviewPlot()->canvas(), 1);
    QCOMPARE(bar->value(), 20100);

    m_window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    m_window->findChild<QAbstractButton *>("buttonSingle5m")->click();
    wheel(m_window->singleEcgPlot()->canvas(), 1);
    QCOMPARE(bar->value(), 20160);
    wheel(m_window->singleEcgPlot()->canvas(), -120);
    QCOMPARE(bar->value(), 20160 - 7200);

    m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);
    wheel(m_window->leadPlots()[1]->canvas(), 120);
    QCOMPARE(bar->value(), 20160 - 7200 + 240);

    // Keys 1..5 pick the tabs.
    QTest::keyClick(m_window, Qt::Key_3);
    QCOMPARE(m_window->tabs()->currentIndex(), int(VisualizationWindow::BreathTab));
    QTest::keyClick(m_window, Qt::Key_5);
    QCOMPARE(m_window->tabs()->currentIndex(), int(VisualizationWindow::EventsTab));
}

void ReviewWindowTest::resetViewRestoresDefaults()
{
    writeEcg(m_folder, steadyEcg(0, 30000));
    writeBreath(m_folder, 0, 30000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    m_window->changeScale(1);
    m_window->findChild<QRadioButton *>("radioaVF")->click();
    QCOMPARE(m_window->singleLead(), 11);
    QCOMPARE(m_window->singleEcgPlot()->canvasName(), QString("AVF"));
    m_window->resetView();
    QCOMPARE(m_window->displayGain(), 1.0f);
    QCOMPARE(m_window->singleLead(), leads::V1);
    QVERIFY(m_window->findChild<QRadioButton *>("radioV1")->isChecked());
    QCOMPARE(m_window->singleEcgPlot()->canvasName(), QString("V1"));
    QVERIFY(m_window->overviewPlot()->zones().isEmpty());
    QVERIFY(!m_window->hasEcgData());
    QCOMPARE(m_window->breathRange(), 10000); // window lengths are kept
    m_window->updateSlider();                  // nothing loaded: nothing read, nothing drawn
    QVERIFY(m_window->leadPlots()[1]->curves().isEmpty());

    // Another session after the reset, then a third straight over it: every plot and strip
    // shows the new one (none keeps reading the files of the one before).
    const QString second = m_folder + "-b";
    QVERIFY(QDir().mkpath(second));
    writeEcg(second, steadyEcg(40000, 90000));
    writeBreath(second, 40000, 90000, 500);
    writeLog(second);
    for (int round = 0; round < 2; ++round) {
        QVERIFY(load(round == 0 ? second : m_folder));
        m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);
        const quint32 first = round == 0 ? 40000 : 0;
        QCOMPARE(m_window->position(), first);
        QCOMPARE(m_window->leadPlots()[1]->curves().first()->sample(0).x(), double(first));
        QCOMPARE(m_window->timeStrips()[0]->curve()->sample(0).x(), double(first));
        m_window->grab();
    }
}

void ReviewWindowTest::syntheticSessionOnEveryTab()
{
    QSignalSpy start(m_window, &VisualizationWindow::newStartDateTime);
    QSignalSpy extrema(m_window, &VisualizationWindow::breathExtremaEvaluated);
    QSignalSpy finished(m_window, &VisualizationWindow::loadingFinishedSignal);
    QVERIFY(m_window->loadSessionData(m_synthSession, acquisitionStart.toSecsSinceEpoch()));
    QVERIFY(finished.wait(10000));
    QVERIFY(!finished.first().at(0).toBool()); // 15 minutes, not 24 hours
    QCOMPARE(start.size(), 1);
    QCOMPARE(qint64(start.first().at(0).toInt()), acquisitionStart.toSecsSinceEpoch());
    QCOMPARE(extrema.size(), 1);
    QVERIFY(extrema.first().at(0).toInt() <= extrema.first().at(1).toInt());
    QCOMPARE(m_window->tabs()->currentIndex(), int(VisualizationWindow::LeadsTab));
    // The main window reads the analysis (and so redraws) before it jumps to the first data:
    // the window is already there, not at the end of the recording.
    m_window->loadAnalysisResults(m_synthSession + "/ANALISI");
    QCOMPARE(m_window->position(), m_window->recording()->firstEcgTime());
    // What the synthetic analysis writes is what the window looks for, lead by lead.
    for (int lead = 0; lead < leads::Count; ++lead)
        QVERIFY2(m_window->splitAvailable(lead), qPrintable(leads::name(lead)));
    m_window->jumpToFirstData();
    QCOMPARE(m_window->position(), m_window->recording()->firstEcgTime());

    const QString shots = qEnvironmentVariable("KRN_REVIEW_SHOTS");
    const QStringList tabNames = {"leads", "precordial", "breath", "single", "events"};
    for (int tab = 0; tab < 5; ++tab) {
        for (int range : {10000, 600000}) {
            m_window->tabs()->setCurrentIndex(tab);
            if (tab >= VisualizationWindow::BreathTab) {
                const char *group[] = {"selectBreathScale", "selectSingleRange", "selectEventRange"};
                QButtonGroup *buttons = m_window->findChild<QButtonGroup *>(group[tab - 2]);
                buttons->button(range)->click();
            } else if (range != 10000) {
                continue; // the lead tabs have one window length
            }
            m_window->scrollBar()->setValue(int(m_window->recording()->firstEcgTime()) + 61000);
            QCoreApplication::processEvents();
            const QImage image = m_window->grab().toImage();
            if (!shots.isEmpty())
                image.save(QString("%1/review-%2-%3.png").arg(shots, tabNames[tab], range == 10000 ? "10s" : "10min"));
        }
    }

    // On the lead tabs the paper fitting gives whole pixels per millimetre.
    m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);
    const QSize size = m_window->leadPlots()[1]->size();
    QCOMPARE(size.width() % 250, 1);
    const int pixelsPerMm = size.width() / 250;
    QVERIFY(pixelsPerMm >= 2);
    QCOMPARE(size.height(), 22 * pixelsPerMm + 1);
    QCOMPARE(m_window->leadPlots()[7]->size(), size);
    // And the grid of a lead plot sits on those pixels: 5 mm major lines every 5 (k + 1) pixels.
    const QwtScaleMap x = m_window->leadPlots()[1]->canvasMap(QwtPlot::xBottom);
    QCOMPARE(std::abs(x.transform(x.s1() + 200) - x.transform(x.s1())), 5.0 * pixelsPerMm);
    const QwtScaleMap y = m_window->leadPlots()[1]->canvasMap(QwtPlot::yLeft);
    QCOMPARE(std::abs(y.transform(0.5) - y.transform(0.0)), 5.0 * pixelsPerMm);
}

void ReviewWindowTest::pagingKeysMoveTheWindow()
{
    writeEcg(m_folder, steadyEcg(0, 200000));
    writeBreath(m_folder, 0, 200000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QScrollBar *bar = m_window->scrollBar();
    const struct {
        int tab;
        int key;
        int position;
        int pageStep;
    } steps[] = {
        {VisualizationWindow::LeadsTab, Qt::Key_PageDown, 10000, 10000},
        {VisualizationWindow::LeadsTab, Qt::Key_Right, 11000, 10000},
        {VisualizationWindow::PrecordialTab, Qt::Key_PageUp, 1000, 10000},
        {VisualizationWindow::PrecordialTab, Qt::Key_Left, 0, 10000},
        {VisualizationWindow::LeadsTab, Qt::Key_End, 199998 - 10000, 10000}, // ends on the last record
        {VisualizationWindow::LeadsTab, Qt::Key_Home, 0, 10000},
        {VisualizationWindow::SingleTab, Qt::Key_PageDown, 60000, 60000}, // a 60 s window
        {VisualizationWindow::SingleTab, Qt::Key_End, 199998 - 60000, 60000},
        {VisualizationWindow::BreathTab, Qt::Key_PageUp, 139998 - 10000, 10000},
    };
    m_window->findChild<QAbstractButton *>("buttonSingle60")->click();
    for (const auto &step : steps) {
        m_window->tabs()->setCurrentIndex(step.tab);
        QTest::keyClick(m_window, Qt::Key(step.key));
        QCOMPARE(int(m_window->position()), step.position);
        QCOMPARE(bar->pageStep(), step.pageStep);
        QCOMPARE(bar->singleStep(), 1000);
    }
}

void ReviewWindowTest::caliperMeasuresA60BpmRhythm()
{
    // Lead I: an R wave of 1 mV, 10 ms wide, every second at 480 ms past the second.
    QVector<Ecg> records = steadyEcg(0, 30000, 0.0f);
    for (Ecg &r : records)
        r.values[1] = r.time % 1000 >= 480 && r.time % 1000 < 490 ? 1.0f : 0.0f;
    writeEcg(m_folder, records);
    writeBreath(m_folder, 0, 30000, 1000);
    writeLog(m_folder);
    QVERIFY(load(m_folder));
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_window->tabs()->setCurrentIndex(VisualizationWindow::LeadsTab);
    EcgPaperPlot *plot = m_window->leadPlots()[leads::I];
    const auto at = [plot](double ms) {
        return QPoint(int(std::lround(plot->transform(QwtPlot::xBottom, ms))),
                      int(std::lround(plot->transform(QwtPlot::yLeft, 0.99))));
    };
    QTest::mousePress(plot->canvas(), Qt::LeftButton, Qt::ShiftModifier, at(1480));
    QTest::mouseRelease(plot->canvas(), Qt::LeftButton, Qt::ShiftModifier, at(2480));
    QCOMPARE(plot->calipers().size(), 1);
    QVERIFY2(plot->calipers().first().figures().startsWith(QString::fromUtf8("\u0394t 1000 ms  60 bpm")),
             qPrintable(plot->calipers().first().figures()));

    // Walked on twice; drawn in the snapshot; kept on the paper when the window moves; gone with Escape.
    QTest::keyClick(m_window, Qt::Key_M);
    QTest::keyClick(m_window, Qt::Key_M);
    QCOMPARE(plot->calipers().size(), 3);
    QVERIFY(std::abs(plot->calipers().last().endMs - 4480) < 8);
    const auto inked = [this] {
        const QImage shot = m_window->captureCurrentTab().first().image.convertToFormat(QImage::Format_RGB32);
        const QRgb *pixels = reinterpret_cast<const QRgb *>(shot.constBits());
        return std::count(pixels, pixels + shot.width() * shot.height(), qRgb(0, 0, 200)) > 0;
    };
    QVERIFY(inked());
    QTest::keyClick(m_window, Qt::Key_PageDown);
    QVERIFY(std::abs(plot->calipers().first().startMs - 11480) < 8);
    QTest::keyClick(m_window, Qt::Key_Escape);
    QVERIFY(plot->calipers().isEmpty());
    QVERIFY(!inked());
}

void ReviewWindowTest::heartRateStripUnderTheOverview()
{
    writeEcg(m_folder, steadyEcg(0, 200000));
    writeBreath(m_folder, 0, 200000, 1000);
    writeLog(m_folder);
    const QString analysis = m_folder + "/ANALISI";
    QByteArray beats;
    for (int s = 0; s < 200; ++s)
        beats += QByteArray("0:") + QTime(0, 0).addSecs(s).toString("mm:ss").toLatin1() + ".000 0 N 0 L2 0\n";
    QVERIFY(writeFile(analysis + "/annotations_fusion.pt", beats));
    QVERIFY(load(m_folder));
    HeartRatePlot *strip = m_window->heartRatePlot();
    QVERIFY(strip->isHidden()); // no beats yet
    m_window->loadAnalysisResults(analysis);
    QVERIFY(!strip->isHidden());
    QCOMPARE(strip->rateCurves().size(), 1);
    QCOMPARE(strip->rateCurves().first()->dataSize(), size_t(3)); // the last 20 s are not a minute
    QCOMPARE(strip->rateCurves().first()->sample(0), QPointF(30000, 60));

    // On the overview's time axis: a click on it moves the window as there.
    QCoreApplication::processEvents();
    QWidget *overview = m_window->overviewPlot()->canvas();
    QCOMPARE(strip->canvas()->mapTo(m_window, QPoint()).x(), overview->mapTo(m_window, QPoint()).x());
    QCOMPARE(strip->canvas()->width(), overview->width());
    const int x = int(std::lround(strip->transform(QwtPlot::xBottom, 90000)));
    QTest::mouseClick(strip->canvas(), Qt::LeftButton, Qt::NoModifier, QPoint(x, 10));
    QVERIFY(std::abs(int(m_window->position()) - 90000) < 400);
    m_window->resetView();
    QVERIFY(strip->isHidden());
}

KRN_TEST_MAIN(ReviewWindowTest)
#include "tst_reviewwindow.moc"
