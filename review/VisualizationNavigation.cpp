// Moving the review window over the recording: scroll bar, window lengths, axis ranges, wheel,
// keys, overview click, paper-scale fitting and the summaries of the single-lead window.

#include "review/VisualizationWindow.h"

#include "common/LabelTable.h"
#include "review/plots/QwtDateScaleWithOffset.h"
#include "review/plots/ReviewPlots.h"

#include <qwt_scale_div.h>
#include <qwt_scale_map.h>

#include <QComboBox>
#include <QDebug>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Paper at 25 mm/s and 10 mm/mV: a 10-second lead plot is 250 mm wide and 22 mm high
// (-1.1..1.1 mV); the single-lead plot is 66 mm high (-3.3..3.3 mV).
constexpr int PaperWidthMm = 250;
constexpr int LeadHeightMm = 22;
constexpr int SingleHeightMm = 66;
constexpr double LeadRowsPerPage = 6.5;
constexpr double SingleShareOfPage = 1.4;
constexpr int TenMinutesMs = 600000;

} // namespace

void VisualizationWindow::setXAxisRange(double p, double e, double b, double s, double v)
{
    for (EcgPaperPlot *plot : m_leadPlots) {
        plot->setTimeWindow(p, e, m_state.majorStep, m_state.minorStep);
        plot->replot();
    }
    for (int strip = 0; strip < 2; ++strip) {
        m_strips[strip]->setTimeWindow(p, e, 1000);
        m_strips[strip]->replot();
    }

    for (SignalPlot *plot : m_breathPlots)
        plot->setTimeWindow(p, b, b / 10);
    m_strips[2]->setMinuteLabels(int(b) == TenMinutesMs);
    m_strips[2]->setTimeWindow(p, b, b / 10);

    // The single-lead and events paper follow their own window lengths; the steps of the lead
    // tabs stay as they are.
    m_ecgSingle->setTimeWindow(p, s, s / 50, s / 250);
    m_strips[3]->setMinuteLabels(int(s) == TenMinutesMs);
    m_strips[3]->setTimeWindow(p, s, s / 10);
    m_breathSingle->setTimeWindow(p, s, s / 10);
    m_imuSingle->setTimeWindow(p, s, s / 10);

    for (EcgPaperPlot *plot : m_eventPlots)
        plot->setTimeWindow(p, v, v / 50, v / 250);
    m_strips[4]->setMinuteLabels(int(v) == TenMinutesMs);
    m_strips[4]->setTimeWindow(p, v, v / 10);

    // Without oximetry the means say so, rather than keep those of an earlier session.
    if (m_oximetryAvailable && m_data) {
        m_satValue->setText(oximetryMeanText(m_data->spo2Series(), p, m_state.singleRange, Spo2MeanLimit, "%"));
        m_pulseValue->setText(oximetryMeanText(m_data->pulseSeries(), p, m_state.singleRange, PulseMeanLimit, " bpm"));
    } else {
        m_satValue->setText(NotAvailable);
        m_pulseValue->setText(NotAvailable);
    }
    if (m_analysis.positionsAvailable())
        m_labelSleepPosition->setText(positionSummaryText(m_analysis.positions(), p, m_state.singleRange));
}

void VisualizationWindow::updateSliderLimits()
{
    const bool breath = ReviewState::scrollsBreath(m_tabs->currentIndex());
    m_state.sliderRange = breath ? m_state.breathRange : m_state.ecgRange;
    m_scrollBar->setSingleStep(1000);
    // A click in the trough moves one window of the current tab.
    m_scrollBar->setPageStep(m_state.windowOfTab(m_tabs->currentIndex()));
    if (!m_data)
        return;
    const ReviewState::SliderLimits limits = ReviewState::sliderLimits(
        breath ? m_data->breathOverviewTimes() : m_data->ecgOverviewTimes(), m_state.sliderRange);
    if (!limits.valid)
        return;
    // The limits are set without signals: the value they clamp to is taken over below.
    const QSignalBlocker blocker(m_scrollBar);
    const bool atMaximum = m_scrollBar->value() == m_scrollBar->maximum();
    m_scrollBar->setMaximum(limits.maximum);
    m_scrollBar->setMinimum(limits.minimum);
    if (atMaximum)
        m_scrollBar->setValue(limits.maximum);
    m_state.position = unsigned(m_scrollBar->value());
}

void VisualizationWindow::updateSlider()
{
    updateSliderLimits();
    setXAxisRange(m_scrollBar->value(), m_state.ecgRange, m_state.breathRange, m_state.singleRange, m_state.eventsRange);
    const int tab = m_tabs->currentIndex();
    // The caption names what the overview shows: the ECG overview on the lead and events tabs.
    m_labelTotalPlot->setText(ReviewState::overviewCaption(tab));
    emit sliderMoved(int(m_startDateTime + m_scrollBar->value() / 1000));
    for (int i = 0; i < m_eventPlots.size(); ++i) {
        const QString name = m_eventLeadCombos[i]->currentText();
        m_eventLeadLabels[i]->setText(name);
        m_eventPlots[i]->setCanvasName(name);
    }
    showData();
}

void VisualizationWindow::onSliderMoved(int value)
{
    m_state.position = unsigned(std::max(value, 0));
    updateSlider();
}

void VisualizationWindow::jumpToFirstData()
{
    if (!hasEcgData())
        return;
    updateSliderLimits();
    {
        const QSignalBlocker blocker(m_scrollBar);
        m_scrollBar->setValue(int(m_data->firstEcgTime()));
    }
    m_state.position = unsigned(m_scrollBar->value());
    updateSlider();
}

void VisualizationWindow::tabChanged()
{
    updateSlider();
    fitPaperScale();
    if (m_tabs->currentIndex() == EventsTab)
        showEvents(0);
}

void VisualizationWindow::setRangeBreath(int range)
{
    m_state.breathRange = range;
    updateSlider();
}

void VisualizationWindow::setRangeSingle(int range)
{
    m_state.singleRange = range;
    updateSlider();
}

void VisualizationWindow::setRangeEvents(int range)
{
    m_state.eventsRange = range;
    updateSlider();
    showEvents(0);
}

void VisualizationWindow::getClickedTs(const QPointF &point) { m_scrollBar->setValue(int(std::lround(point.x()))); }

ReviewState::SliderLimits VisualizationWindow::currentLimits() const
{
    ReviewState::SliderLimits limits;
    limits.minimum = m_scrollBar->minimum();
    limits.maximum = m_scrollBar->maximum();
    limits.valid = true;
    return limits;
}

qint64 VisualizationWindow::lastDataTime(int tab) const
{
    if (ReviewState::scrollsBreath(tab) && m_data->breathPresent())
        return m_data->breath().back().time;
    return m_data->ecg().back().time;
}

void VisualizationWindow::moveWindow(ReviewState::Move move)
{
    if (!hasEcgData())
        return;
    const int tab = m_tabs->currentIndex();
    m_scrollBar->setValue(ReviewState::movedStart(move, m_scrollBar->value(), m_state.windowOfTab(tab), currentLimits(),
                                                  lastDataTime(tab)));
}

VisualizationWindow::GoToProblem VisualizationWindow::goToTime(const QString &text)
{
    const LabelTable labels(objectName());
    const auto problem = [&labels](const char *name, const QString &first, const QString &last) {
        return GoToProblem{labels.label(name), labels.tooltip(name).arg(first, last)};
    };
    if (!hasEcgData())
        return problem("goToOutside", "--:--:--", "--:--:--");
    const int tab = m_tabs->currentIndex();
    const qint64 last = lastDataTime(tab);
    const qint64 start = m_data->acquisitionStartSeconds();
    const ReviewState::GoTo target = ReviewState::goTo(text, start, last);
    switch (target.result) {
    case ReviewState::GoTo::Result::Invalid: return problem("goToInvalid", QString(), QString());
    case ReviewState::GoTo::Result::Outside:
        return problem("goToOutside", QwtDateScaleWithOffset::labelText(start, m_data->firstEcgTime()),
                       QwtDateScaleWithOffset::labelText(start, last));
    case ReviewState::GoTo::Result::Moved: break;
    }
    // The time is in the window, at its left edge where it can be.
    const ReviewState::SliderLimits limits = currentLimits();
    const int lastStart = ReviewState::lastWindowStart(limits, m_state.windowOfTab(tab), last);
    m_scrollBar->setValue(int(std::clamp<qint64>(target.ms, limits.minimum, lastStart)));
    return {};
}

void VisualizationWindow::marchCaliper()
{
    if (m_caliperPlot)
        m_caliperPlot->marchCaliper();
}

void VisualizationWindow::clearCalipers()
{
    for (EcgPaperPlot *plot : paperPlots())
        plot->clearCalipers();
    m_caliperPlot = nullptr;
}

// ---------------------------------------------------------------------------------------------

void VisualizationWindow::fitPaperScale()
{
    if (m_state.autoscale || m_fitting)
        return;
    m_fitting = true;
    const int tab = m_tabs->currentIndex();
    const double pageHeight = m_tabs->widget(LeadsTab)->height();
    // Never wider than the page leaves beside the legends and controls.
    const int sideColumns = LegendWidth + (tab == SingleTab ? SingleControlsWidth : tab == EventsTab ? EventControlsWidth : 0);
    const int widest = (m_tabs->currentWidget()->width() - sideColumns - 8 - 1) / PaperWidthMm - 1;

    // The size that puts a whole number of pixels on each millimetre of the plot's paper.
    auto fit = [pageHeight, widest](EcgPaperPlot *plot, double length, bool single) {
        const double b = plot->halfRange() / 1.1;
        const QwtScaleMap yMap = plot->canvasMap(QwtPlot::yLeft);
        const QwtScaleMap xMap = plot->canvasMap(QwtPlot::xTop);
        const double vm = plot->height() - std::abs(yMap.transform(b) - yMap.transform(-b));
        const double hm = plot->width() - std::abs(xMap.transform(length) - xMap.transform(0));
        const double target = single ? pageHeight * SingleShareOfPage : pageHeight / LeadRowsPerPage;
        const double mmRows = single ? 65.0 * b : 20.0 * b;
        const int fitted = int(std::floor(((target - vm) * PaperWidthMm / mmRows + hm - PaperWidthMm) / PaperWidthMm));
        const int k = std::max(0, std::min(fitted, widest));
        const int height = single ? SingleHeightMm * k + SingleHeightMm + 1 : LeadHeightMm * k + LeadHeightMm + 1;
        // One pixel more than the paper: the plot maps its range onto width - 1 pixels, like the
        // height of 22 (k + 1) + 1, so that every millimetre is exactly k + 1 pixels.
        const QSize size(PaperWidthMm * (k + 1) + 1, height);
        if (plot->size() != size)
            plot->setFixedSize(size);
        qDebug().noquote() << "Xdiv : " + QString::number(plot->axisScaleDiv(QwtPlot::xTop).ticks(QwtScaleDiv::MajorTick).size())
                           << "YDiv : " + QString::number(plot->axisScaleDiv(QwtPlot::yRight).ticks(QwtScaleDiv::MajorTick).size());
        qDebug().noquote() << "width " + QString::number(size.width()) << " height " + QString::number(size.height());
        return size;
    };

    QSize leadSize;
    QSize size;
    switch (tab) {
    case LeadsTab: size = leadSize = fit(m_leadPlots[leads::I], m_state.ecgRange, false); break;
    case PrecordialTab: size = leadSize = fit(m_leadPlots[0], m_state.ecgRange, false); break;
    case SingleTab: size = fit(m_ecgSingle, m_state.singleRange, true); break;
    case EventsTab:
        for (EcgPaperPlot *plot : m_eventPlots)
            size = fit(plot, m_state.eventsRange, false);
        break;
    default: break;
    }
    // The plots and clock strips sharing a time axis with the fitted plot take its width (each
    // tab its own: a wider strip on one page would widen every page of the tab widget).
    if (leadSize.isValid()) {
        for (EcgPaperPlot *plot : m_leadPlots)
            plot->setFixedSize(leadSize);
        for (SignalPlot *plot : m_breathPlots)
            plot->setFixedWidth(leadSize.width());
        for (int strip : {0, 1, 2})
            m_strips[strip]->setFixedWidth(leadSize.width());
    } else if (tab == SingleTab) {
        m_breathSingle->setFixedWidth(size.width());
        m_imuSingle->setFixedWidth(size.width());
        m_strips[3]->setFixedWidth(size.width());
    } else if (tab == EventsTab) {
        m_strips[4]->setFixedWidth(size.width());
    }
    m_fitting = false;
}

// ---------------------------------------------------------------------------------------------

bool VisualizationWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_tabs && (event->type() == QEvent::Resize || event->type() == QEvent::WindowStateChange)) {
        fitPaperScale();
        return false;
    }
    if (event->type() == QEvent::KeyPress
        && (watched == m_selectEvent || m_eventLeadCombos.contains(static_cast<QComboBox *>(watched)))) {
        keyPressEvent(static_cast<QKeyEvent *>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void VisualizationWindow::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key >= Qt::Key_1 && key <= Qt::Key_5) {
        const int tab = key - Qt::Key_1;
        if (m_tabs->currentIndex() != tab)
            m_tabs->setCurrentIndex(tab); // currentChanged runs tabChanged
        else
            tabChanged();
        event->accept();
        return;
    }
    if (key == Qt::Key_E) {
        addEventButtonClicked();
        event->accept();
        return;
    }
    if (m_tabs->currentIndex() == EventsTab) {
        switch (key) {
        case Qt::Key_A: acceptButtonClicked(); break;
        case Qt::Key_S: acceptPrintButtonClicked(); break;
        case Qt::Key_X: rejectButtonClicked(); break;
        case Qt::Key_N: nextButtonClicked(); break;
        case Qt::Key_B: previousButtonClicked(); break;
        case Qt::Key_C: showEvents(0); break;
        default: QWidget::keyPressEvent(event); return;
        }
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void VisualizationWindow::wheelEvent(QWheelEvent *event)
{
    const QWidget *under = childAt(event->position().toPoint());
    // The trend under the overview shares its time axis, and its wheel.
    const bool overOverview = under && (under->accessibleName() == QLatin1String("TotalPlot") || under == m_heartRate->canvas());
    const int step = m_state.wheelStep(m_tabs->currentIndex(), overOverview);
    m_scrollBar->setValue(m_scrollBar->value() + event->angleDelta().y() * step);
    event->accept();
}
