// Redrawing the current tab of the review page from the visible window of the mapped records.

#include "review/VisualizationWindow.h"

#include "review/plots/ReviewPlots.h"

#include <qwt_scale_div.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Sample periods of the decoded streams, ms.
constexpr double EcgPeriodMs = EcgFormat.stepMs;
constexpr double BreathPeriodMs = BreathFormat.stepMs;
// The single-lead tab reads a little more respiration than the window shows.
constexpr double SingleBreathReadFactor = 1.2;
// The calibration pulse of a tab whose window length varies is a fiftieth of the window wide.
constexpr double PulseShare = 50.0;
constexpr double LeadPulseWidthMs = 200.0;

template <class R>
std::pair<const R *, const R *> recordsFrom(const MappedRecords<R> &records, quint32 from, int count)
{
    // Positions first: an absent file has no records (and a null base that takes no offset).
    const std::size_t first = records.lowerBound(from);
    const std::size_t last = std::min(records.size(), first + std::size_t(std::max(count, 0)));
    return {records.begin() + first, records.begin() + last};
}

} // namespace

std::pair<const BreathRecord *, const BreathRecord *> VisualizationWindow::breathWindow(double length) const
{
    return recordsFrom(m_data->breath(), m_state.position, recordsForWindow(length, BreathPeriodMs));
}

void VisualizationWindow::showData()
{
    if (!m_data)
        return;
    switch (m_tabs->currentIndex()) {
    case LeadsTab:
    case PrecordialTab: showLeads(); break;
    case BreathTab: showBreath(); break;
    case SingleTab: showSingle(); break;
    case EventsTab: showEventPlots(); break;
    default: break;
    }
    showOverview();
}

WindowHoles VisualizationWindow::holesOver(quint32 lastTime) const
{
    return WindowHoles(m_data->missingIntervals(), m_state.position, std::max(lastTime, quint32(m_state.position)) + 1);
}

void VisualizationWindow::drawEcgLead(EcgPaperPlot *plot, int lead, const EcgWindow &window, double pulseWidth) const
{
    TraceBuilder trace(EcgSegmentGapMs, int(window.end - window.begin));
    const double gain = m_state.displayGain;
    const double offset = m_state.displayOffset;
    plot->setDisplayGain(gain);
    for (const EcgRecord *r = window.begin; r != window.end; ++r)
        if (!window.holes.hides(r->time, r->values))
            trace.add(r->time, leadValue(r->values, window.means, lead) * gain - offset);
    plot->setSegments(trace.segments());
    if (window.begin != window.end)
        plot->setCalibrationPulse(calibrationPulse(window.begin->time, pulseWidth, gain, offset));
    else
        plot->setCalibrationPulse({});
    plot->replot();
}

VisualizationWindow::EcgWindow VisualizationWindow::ecgWindow(double length) const
{
    const auto [begin, end] = recordsFrom(m_data->ecg(), m_state.position, recordsForWindow(length, EcgPeriodMs));
    EcgWindow window{begin, end, holesOver(begin == end ? 0 : (end - 1)->time), {}};
    window.means = channelMeans<EcgRecord, leads::Recorded>(begin, end, window.holes);
    return window;
}

void VisualizationWindow::showLeads()
{
    const EcgWindow window = ecgWindow(m_state.ecgRange);
    for (int lead = 0; lead < leads::Count; ++lead)
        drawEcgLead(m_leadPlots[lead], lead, window, LeadPulseWidthMs);
    for (int strip = 0; strip < 2; ++strip) {
        m_strips[strip]->setRecordTimes(window.begin, window.end, m_data);
        m_strips[strip]->replot();
    }
}

void VisualizationWindow::applyBreathScale(SignalPlot *plot)
{
    if (m_state.breathAutoscale)
        plot->setAxisAutoScale(QwtPlot::yLeft);
    else
        plot->setAxisScale(QwtPlot::yLeft, m_state.breathBaseline - m_state.breathHalfRange,
                           m_state.breathBaseline + m_state.breathHalfRange);
}

void VisualizationWindow::evaluateBreathAutoscale()
{
    SignalPlot *sum = m_breathPlots[BreathSumChannel];
    sum->setAxisAutoScale(QwtPlot::yLeft);
    sum->updateAxes();
    const QwtInterval range = sum->axisScaleDiv(QwtPlot::yLeft).interval().normalized();
    m_state.breathHalfRange = int(range.width()) / 2;
    m_state.breathBaseline = int(std::lround((range.minValue() + range.maxValue()) / 2.0));
    emit singleBreathScaleChanged(m_state.breathHalfRange);
    emit singleBreathBaselineChanged(m_state.breathBaseline);
}

void VisualizationWindow::showBreath()
{
    const auto [begin, end] = breathWindow(m_state.breathRange);
    const WindowHoles holes = holesOver(begin == end ? 0 : (end - 1)->time);
    std::vector<TraceBuilder> traces(BreathChannels + 1, TraceBuilder(BreathSegmentGapMs));
    for (const BreathRecord *r = begin; r != end; ++r) {
        if (holes.hides(r->time, r->values))
            continue;
        double sum = 0;
        for (int channel = 0; channel < BreathChannels; ++channel) {
            traces[std::size_t(channel)].add(r->time, r->values[channel]);
            sum += r->values[channel];
        }
        traces[BreathSumChannel].add(r->time, sum);
    }
    for (int channel = 0; channel <= BreathChannels; ++channel)
        m_breathPlots[channel]->setSegments(traces[std::size_t(channel)].segments());
    // Only the respiration tab's own redraw re-evaluates the autoscale the toolbar shows.
    if (m_state.breathAutoscale)
        evaluateBreathAutoscale();
    else
        applyBreathScale(m_breathPlots[BreathSumChannel]);
    for (SignalPlot *plot : m_breathPlots)
        plot->replot();
    m_strips[2]->setRecordTimes(begin, end, m_data);
    m_strips[2]->replot();
}

void VisualizationWindow::showSingle()
{
    const EcgWindow ecg = ecgWindow(m_state.singleRange);
    drawEcgLead(m_ecgSingle, m_state.singleLead, ecg, m_state.singleRange / PulseShare);
    showBeatsAndZones(ecg);

    const auto [begin, end] = breathWindow(m_state.singleRange * SingleBreathReadFactor);
    const WindowHoles holes = holesOver(begin == end ? 0 : (end - 1)->time);
    TraceBuilder trace(BreathSegmentGapMs);
    for (const BreathRecord *r = begin; r != end; ++r) {
        if (holes.hides(r->time, r->values))
            continue;
        double value = 0;
        if (m_state.singleBreath == BreathSumChannel)
            for (int channel = 0; channel < BreathChannels; ++channel)
                value += r->values[channel];
        else
            value = r->values[m_state.singleBreath];
        trace.add(r->time, value);
    }
    m_breathSingle->setSegments(trace.segments());
    if (m_state.singleBreath == BreathSumChannel) {
        applyBreathScale(m_breathSingle);
    } else {
        m_breathSingle->setAxisAutoScale(QwtPlot::yLeft);
    }
    m_breathSingle->replot();

    QVector<QPointF> dots;
    if (m_oximetryAvailable) {
        // The first sample after the window counts too, so the axis does not jump when the
        // window reaches it.
        const double to = double(m_state.position) + m_state.singleRange;
        for (const QPair<int, int> &sample : m_data->spo2Series()) {
            if (sample.first > double(m_state.position))
                dots.append(QPointF(sample.first, sample.second));
            if (sample.first > to)
                break;
        }
    }
    m_imuSingle->setDots(dots);
    const AxisRange range = spo2AxisRange(dots);
    m_imuSingle->setAxisScale(QwtPlot::yLeft, range.lower, range.upper, range.step);
    m_imuSingle->replot();

    m_strips[3]->setRecordTimes(ecg.begin, ecg.end, m_data);
    m_strips[3]->replot();
}

void VisualizationWindow::showBeatsAndZones(const EcgWindow &window)
{
    const double from = m_state.position;
    const double to = from + m_state.singleRange;
    const QVector<Beat> &beats = m_analysis.beats();
    if (m_analysis.annotationsAvailable() && m_visualizeBeats->isChecked()) {
        // The beat times come from the one list whatever lead is shown; the marks sit on the
        // shown lead's trace.
        const auto first = std::lower_bound(beats.begin(), beats.end(), from / 1000.0,
                                            [](const Beat &beat, double seconds) { return beat.seconds < seconds; });
        QVector<QPointF> marks;
        const MappedRecords<EcgRecord> &ecg = m_data->ecg();
        for (auto beat = first; beat != beats.end(); ++beat) {
            const double t = beat->seconds * 1000.0;
            if (t >= to)
                break;
            if (t <= from || beat->code == QLatin1String("+"))
                continue;
            const std::size_t at = ecg.lowerBound(quint32(t));
            if (at >= ecg.size())
                break;
            const double y = leadValue(ecg[at].values, window.means, m_state.singleLead) * m_state.displayGain - m_state.displayOffset;
            marks.append(QPointF(t, y));
        }
        m_ecgSingle->setBeatMarks(marks);
    }
    if (m_analysis.splitAvailable(m_state.singleLead))
        m_ecgSingle->setZones(uncoveredSpans(m_analysis.splitSegments(m_state.singleLead), from, to));
    else
        m_ecgSingle->setZones({});
    m_ecgSingle->replot();
}

void VisualizationWindow::showEventPlots()
{
    EcgWindow window = ecgWindow(m_state.eventsRange);
    // A type without events draws no trace: another type's event left there would pass for its own.
    if (!getEventList(0)->current(m_selectEvent->currentIndex()))
        window.end = window.begin;
    for (int i = 0; i < m_eventPlots.size(); ++i) {
        EcgPaperPlot *plot = m_eventPlots[i];
        // One repaint per plot, not one per curve and marker.
        const bool autoReplot = plot->autoReplot();
        plot->setAutoReplot(false);
        plot->setEventMarks(m_marks);
        drawEcgLead(plot, m_eventLeadCombos[i]->currentIndex(), window, m_state.eventsRange / PulseShare);
        plot->setAutoReplot(autoReplot);
    }
    m_strips[4]->setRecordTimes(window.begin, window.end, m_data);
    m_strips[4]->replot();
}

void VisualizationWindow::showOverview()
{
    const bool breath = ReviewState::overviewShowsBreath(m_tabs->currentIndex());
    const QVector<quint32> &times = breath ? m_data->breathOverviewTimes() : m_data->ecgOverviewTimes();
    QVector<QPointF> points;
    if (breath) {
        // A point read on a hole's edge may be the decoder's all-zero filler: far below any real
        // respiration sum, it would squash the whole curve against the top of the plot.
        const WindowHoles holes(m_data->missingIntervals(), 0, std::numeric_limits<quint32>::max());
        const QVector<float> &sums = m_data->breathOverviewSums();
        for (int i = 0; i < times.size() && i < sums.size(); ++i) {
            const float sum[1] = {sums[i]};
            if (!holes.hides(times[i], sum))
                points.append(QPointF(times[i], sums[i]));
        }
    } else {
        points = m_data->overviewCurve();
    }
    m_totalGraph->setPoints(points);
    if (!times.isEmpty())
        m_totalGraph->setAxisScale(QwtPlot::xBottom, times.first(), times.last());
    m_totalGraph->setMarkerPosition(m_state.position);
    m_totalGraph->replot();
    if (!m_heartRate->isHidden()) {
        if (!times.isEmpty())
            m_heartRate->setAxisScale(QwtPlot::xBottom, times.first(), times.last());
        m_heartRate->setMarkerPosition(m_state.position);
        m_heartRate->replot();
    }
}
