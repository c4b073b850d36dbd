#include "live/OnlineVisualizationWindow.h"

#include "common/LabelTable.h"
#include "live/LivePlots.h"

#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>

#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Object names of the ECG plots by lead index, and the two columns as they are laid out.
const char *const EcgPlotNames[EcgRefresh::PlotCount] = {"ecg12", "ecg01", "ecg02", "ecg08", "ecg09", "ecg10",
                                                        "ecg11", "ecg07", "ecg03", "ecg04", "ecg05", "ecg06"};
const int LeftColumnLeads[6] = {1, 2, 8, 9, 10, 11};  // I, II, III, aVR, aVL, aVF
const int RightColumnLeads[6] = {7, 3, 4, 5, 6, 0};   // V1 .. V6
const char *const LeftLeadLabels[6] = {"label1", "label2", "label3", "labelaVR", "labelaVL", "labelaVF"};
const char *const RightLeadLabels[6] = {"labelV1", "labelV2", "labelV3", "labelV4", "labelV5", "labelV6"};

// Vertical shares of a column: the six leads, then the respiration plot (the strips are fixed).
constexpr int EcgStretch = 10;
constexpr int BreathStretch = 30;

// The largest capture a replay makes room for at once (about an hour of ECG); longer ones grow.
constexpr qint64 ReserveEcgRecords = 2000000;
constexpr qint64 ReserveBreathRecords = 1000000;
constexpr qint64 EcgFrameBytes = 43;
constexpr qint64 BreathFrameBytes = 21;

QFrame *columnFrame(const char *name, QWidget *parent)
{
    auto *frame = new QFrame(parent);
    frame->setObjectName(name);
    auto *layout = new QVBoxLayout(frame);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    return frame;
}

QLabel *rowLabel(const char *name, QFrame *column, const LabelTable &labels)
{
    auto *label = new QLabel(column);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    labels.applyText(label);
    return label;
}

// Whatever lies left and right of the plot's canvas area: the strip's scale then spans exactly
// the canvas above it.
void alignStripTo(TimeStripPlot *strip, const QwtPlot *plot)
{
    const QWidget *canvas = plot->canvas();
    const QRect inner = canvas->contentsRect().translated(canvas->geometry().topLeft());
    const QMargins margins(inner.left(), 0, plot->width() - 1 - inner.right(), 0);
    if (strip->contentsMargins() != margins)
        strip->setContentsMargins(margins);
}

} // namespace

OnlineVisualizationWindow::OnlineVisualizationWindow(QWidget *parent, MonotonicClock now)
    : QWidget(parent), m_ecg(m_ecgRecords, now), m_breath(m_breathRecords, now), m_ecgTimer(new QTimer(this)),
      m_breathTimer(new QTimer(this)), m_now(std::move(now))
{
    // The live form has always been named with a capital I; the label table is keyed on it.
    setObjectName("OnlineVisualizationWIndow");
    m_ecgTimer->setInterval(EcgRefreshMs);
    m_breathTimer->setInterval(BreathRefreshMs);
    setEcgRefreshConnected(true);
    connect(m_breathTimer, &QTimer::timeout, this, &OnlineVisualizationWindow::realTimeDataBreath);
    buildPage();
}

void OnlineVisualizationWindow::buildPage()
{
    const LabelTable labels(objectName());
    auto *pageLayout = new QVBoxLayout(this);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    auto *central = new QWidget(this);
    central->setObjectName("centralwidget");
    pageLayout->addWidget(central);
    auto *centralLayout = new QVBoxLayout(central);
    centralLayout->setContentsMargins(2, 2, 2, 2);

    auto *graphs = new QFrame(central);
    graphs->setObjectName("frameGraphs");
    centralLayout->addWidget(graphs);
    auto *columns = new QHBoxLayout(graphs);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(2);

    QFrame *labels1 = columnFrame("labelsFrame1", graphs);
    QFrame *left = columnFrame("leftFrame", graphs);
    QFrame *labels2 = columnFrame("labelsFrame2", graphs);
    QFrame *right = columnFrame("rightFrame", graphs);
    for (QFrame *labelColumn : {labels1, labels2})
        labelColumn->setFixedWidth(64);
    columns->addWidget(labels1);
    columns->addWidget(left, 1);
    columns->addWidget(labels2);
    columns->addWidget(right, 1);

    for (int lead = 0; lead < EcgRefresh::PlotCount; ++lead) {
        auto *plot = new LiveEcgPlot(ecgWindow());
        plot->setObjectName(EcgPlotNames[lead]);
        plot->showSegments(m_ecg.segments(lead));
        m_ecgPlots[std::size_t(lead)] = plot;
    }
    std::vector<TraceSegment> channels;
    for (int c = 0; c < BreathRefresh::ChannelCount; ++c)
        channels.push_back(m_breath.channel(c));
    m_breathPlot = new LiveBreathPlot(channels, {QColor("darkred"), Qt::red, Qt::black, Qt::blue, Qt::green},
                                      m_breathWindowMs);
    m_breathPlot->setObjectName("breath");
    m_breathSumPlot = new LiveBreathPlot({m_breath.sum()}, {Qt::black}, m_breathWindowMs);
    m_breathSumPlot->setObjectName("breathSum");
    const char *const stripNames[2][2] = {{"plotEcg1Scale", "plotBreath1Scale"}, {"plotEcg2Scale", "plotBreath2Scale"}};
    for (int column = 0; column < 2; ++column) {
        m_ecgStrips[std::size_t(column)] = new LiveTimeStrip;
        m_ecgStrips[std::size_t(column)]->setObjectName(stripNames[column][0]);
        m_breathStrips[std::size_t(column)] = new LiveTimeStrip;
        m_breathStrips[std::size_t(column)]->setObjectName(stripNames[column][1]);
    }

    // Each label sits beside its plot: both columns of a pair share their rows' stretch, and a
    // strip's row is as high as the strip, with an empty label beside it.
    auto fillColumn = [&](QFrame *labelColumn, QFrame *plotColumn, const int *leads, const char *const *leadLabels,
                          int column, const char *ecgStripLabel, const char *breathLabel,
                          const char *breathStripLabel, LiveBreathPlot *breathPlot) {
        auto *labelLayout = static_cast<QVBoxLayout *>(labelColumn->layout());
        auto *plotLayout = static_cast<QVBoxLayout *>(plotColumn->layout());
        for (int row = 0; row < 6; ++row) {
            labelLayout->addWidget(rowLabel(leadLabels[row], labelColumn, labels), EcgStretch);
            LiveEcgPlot *plot = m_ecgPlots[std::size_t(leads[row])];
            plot->setParent(plotColumn);
            plotLayout->addWidget(plot, EcgStretch);
        }
        auto addStrip = [&](LiveTimeStrip *strip, const char *labelName) {
            strip->setParent(plotColumn);
            const int height = strip->sizeHint().height();
            strip->setFixedHeight(height);
            plotLayout->addWidget(strip);
            QLabel *spacer = rowLabel(labelName, labelColumn, labels);
            spacer->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
            spacer->setFixedHeight(height);
            labelLayout->addWidget(spacer);
        };
        addStrip(m_ecgStrips[std::size_t(column)], ecgStripLabel);
        labelLayout->addWidget(rowLabel(breathLabel, labelColumn, labels), BreathStretch);
        breathPlot->setParent(plotColumn);
        plotLayout->addWidget(breathPlot, BreathStretch);
        addStrip(m_breathStrips[std::size_t(column)], breathStripLabel);
    };
    fillColumn(labels1, left, LeftColumnLeads, LeftLeadLabels, 0, "label", "labelB1", "label_2", m_breathPlot);
    fillColumn(labels2, right, RightColumnLeads, RightLeadLabels, 1, "label_3", "labelB2", "label_4",
               m_breathSumPlot);
}

void OnlineVisualizationWindow::startEcgTimer() { m_ecgTimer->start(); }
void OnlineVisualizationWindow::stopEcgTimer()
{
    m_ecgTimer->stop();
    // What the last refresh took is shown, even if it came too soon after the previous redraw.
    if (m_ecgRedrawPending)
        redrawEcg();
}
void OnlineVisualizationWindow::startBreathTimer() { m_breathTimer->start(); }
void OnlineVisualizationWindow::stopBreathTimer() { m_breathTimer->stop(); }

void OnlineVisualizationWindow::setEcgRefreshConnected(bool connected)
{
    if (connected)
        connect(m_ecgTimer, &QTimer::timeout, this, &OnlineVisualizationWindow::realTimeDataEcg, Qt::UniqueConnection);
    else
        disconnect(m_ecgTimer, &QTimer::timeout, this, &OnlineVisualizationWindow::realTimeDataEcg);
    m_ecgRefreshConnected = connected;
}

void OnlineVisualizationWindow::setBreathWindow(int milliseconds)
{
    m_breathWindowMs = milliseconds;
    m_breathPlot->setWindow(milliseconds);
    m_breathSumPlot->setWindow(milliseconds);
    // Shown at once, not only when the next records are drawn (the stream may be off).
    if (m_breath.lastDrawnTime() > 0)
        setXAxisRangeBreath(m_breath.lastDrawnTime(), milliseconds);
}

void OnlineVisualizationWindow::realTimeDataEcg()
{
    if (m_ecg.step()) {
        for (int lead = 0; lead < EcgRefresh::PlotCount; ++lead)
            m_ecgPlots[std::size_t(lead)]->showSegments(m_ecg.segments(lead));
        QVector<QPointF> ticks;
        ticks.reserve(int(m_ecg.batchTimes().size()));
        for (double t : m_ecg.batchTimes())
            ticks.append(QPointF(t, 0));
        for (TimeStripPlot *strip : m_ecgStrips)
            strip->curve()->setSamples(ticks);
        setEcgAxes(m_ecg.batchTimes().back(), ecgWindow());
        m_ecgRedrawPending = true;
    }
    // Every other tick: one that fires a little early must not put the redraw off to the third.
    if (m_ecgRedrawPending && m_now() - m_ecgRedrawnAt >= EcgRedrawMs - EcgRefreshMs / 2)
        redrawEcg();
    alignTimeStrips();
}

void OnlineVisualizationWindow::realTimeDataBreath()
{
    if (!m_breath.step())
        return;
    showBreathTraces();
    QVector<QPointF> ticks;
    for (double t : m_breath.batchTimes())
        ticks.append(QPointF(t, 0));
    for (TimeStripPlot *strip : m_breathStrips)
        strip->curve()->setSamples(ticks);
    setXAxisRangeBreath(m_breath.batchTimes().back(), m_breathWindowMs);
}

void OnlineVisualizationWindow::showBreathTraces()
{
    for (int c = 0; c < BreathRefresh::ChannelCount; ++c) {
        QwtPlotCurve *curve = m_breathPlot->curves()[std::size_t(c)];
        if (curve->isVisible() != m_breath.isVisible(c))
            curve->setVisible(m_breath.isVisible(c));
    }
}

void OnlineVisualizationWindow::setXAxisRangeEcg(double position, double rangeecg)
{
    setEcgAxes(position, rangeecg);
    redrawEcg();
}

void OnlineVisualizationWindow::setEcgAxes(double position, double range)
{
    for (LiveEcgPlot *plot : m_ecgPlots) {
        plot->setAxisScale(QwtPlot::xBottom, position - range, position, 1000);
        plot->setAxisScale(QwtPlot::xTop, 0, ecgWindow(), 200);
    }
    for (TimeStripPlot *strip : m_ecgStrips)
        strip->setAxisScale(QwtPlot::xBottom, position - range, position, 1000);
}

void OnlineVisualizationWindow::redrawEcg()
{
    for (LiveEcgPlot *plot : m_ecgPlots)
        plot->replot();
    for (TimeStripPlot *strip : m_ecgStrips)
        strip->replot();
    m_ecgRedrawnAt = m_now();
    m_ecgRedrawPending = false;
}

void OnlineVisualizationWindow::setXAxisRangeBreath(double position, double rangebreath)
{
    // The respiration plots replot themselves on the new scale (automatic replot).
    for (LiveBreathPlot *plot : {m_breathPlot, m_breathSumPlot})
        plot->setAxisScale(QwtPlot::xBottom, position - rangebreath, position, 1000);
    for (TimeStripPlot *strip : m_breathStrips) {
        strip->setAxisScale(QwtPlot::xBottom, position - rangebreath, position, rangebreath / 5);
        strip->replot();
    }
}

void OnlineVisualizationWindow::breathVisibilityChanged(int channel)
{
    if (channel < 0 || channel >= BreathRefresh::ChannelCount)
        return;
    m_breath.toggleVisible(channel);
    showBreathTraces();
}

void OnlineVisualizationWindow::alignTimeStrips()
{
    // Step 6 of the ECG refresh: the value axes' widths change with their labels.
    alignStripTo(m_ecgStrips[0], m_ecgPlots[EcgRefresh::PlotCount - 1]);
    alignStripTo(m_ecgStrips[1], m_ecgPlots[0]);
    alignStripTo(m_breathStrips[0], m_breathPlot);
    alignStripTo(m_breathStrips[1], m_breathSumPlot);
}

void OnlineVisualizationWindow::reset()
{
    m_ecgRecords.clear();
    m_breathRecords.clear();
    m_ecg.reset();
    m_breath.reset();
    for (int lead = 0; lead < EcgRefresh::PlotCount; ++lead)
        m_ecgPlots[std::size_t(lead)]->showSegments(m_ecg.segments(lead));
    redrawEcg();
    for (LiveBreathPlot *plot : {m_breathPlot, m_breathSumPlot})
        plot->replot();
    for (TimeStripPlot *strip : m_ecgStrips)
        strip->clearRecordTimes();
    for (TimeStripPlot *strip : m_breathStrips)
        strip->clearRecordTimes();
}

bool OnlineVisualizationWindow::loadCapture(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    SampleList ecg;
    SampleList breath;
    // Room for what the file can hold at most, up to an hour's worth.
    ecg.reserve(std::size_t(std::min(ReserveEcgRecords, bytes.size() / EcgFrameBytes + 1)));
    breath.reserve(std::size_t(std::min(ReserveBreathRecords, bytes.size() / BreathFrameBytes + 1)));
    parseSampleChunk(bytes, ecg, breath);
    if (ecg.empty() && breath.empty()) {
        *error = QStringLiteral("%1 holds no ECG or respiration frame").arg(path);
        return false;
    }
    reset();
    m_ecgRecords.append(std::move(ecg));
    m_breathRecords.append(std::move(breath));
    return true;
}
