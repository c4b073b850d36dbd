#include "review/data/ReviewState.h"

#include <QDateTime>
#include <QRegularExpression>

#include <algorithm>

namespace {

// The window moves this many ms per unit of wheel delta over the overview, and on the lead tabs.
constexpr int OverviewWheelStep = 100;
constexpr int LeadTabWheelStep = 2;
// The arrow keys move the window by this share of its length.
constexpr int StepsPerWindow = 10;

} // namespace

const QVector<int> &ReviewState::windowLengths()
{
    static const QVector<int> lengths{10000, 30000, 60000, 300000, 600000};
    return lengths;
}

int ReviewState::windowOfTab(int tab) const
{
    switch (tab) {
    case BreathTab: return breathRange;
    case SingleTab: return singleRange;
    case EventsTab: return eventsRange;
    default: return ecgRange;
    }
}

ReviewState::SliderLimits ReviewState::sliderLimits(const QVector<quint32> &overviewTimes, int length)
{
    SliderLimits limits;
    if (overviewTimes.isEmpty())
        return limits;
    const auto [low, high] = std::minmax_element(overviewTimes.begin(), overviewTimes.end());
    limits.maximum = int(*high);
    limits.minimum = qint64(*low) + length < qint64(*high) ? int(*low) : limits.maximum;
    limits.valid = true;
    return limits;
}

int ReviewState::wheelStep(int tab, bool overOverview) const
{
    if (overOverview)
        return OverviewWheelStep;
    if (tab == BreathTab || tab == SingleTab || tab == EventsTab)
        return windowOfTab(tab) / 10000 * 2;
    return LeadTabWheelStep;
}

int ReviewState::lastWindowStart(const SliderLimits &limits, int length, qint64 lastDataMs)
{
    const qint64 start = std::min<qint64>(limits.maximum, lastDataMs - length);
    return int(std::max<qint64>(limits.minimum, start));
}

int ReviewState::movedStart(Move move, int value, int length, const SliderLimits &limits, qint64 lastDataMs)
{
    const int last = lastWindowStart(limits, length, lastDataMs);
    const auto forward = [value, last](qint64 by) {
        return value >= last ? value : int(std::min<qint64>(qint64(value) + by, last));
    };
    const auto back = [value, &limits](qint64 by) { return int(std::max<qint64>(qint64(value) - by, limits.minimum)); };
    const int step = std::max(length / StepsPerWindow, 1);
    switch (move) {
    case Move::PageForward: return forward(length);
    case Move::PageBack: return back(length);
    case Move::StepForward: return forward(step);
    case Move::StepBack: return back(step);
    case Move::First: return limits.minimum;
    case Move::Last: return last;
    }
    return value;
}

ReviewState::GoTo ReviewState::goTo(const QString &text, qint64 startSeconds, qint64 lastDataMs)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\+?)\\s*(\\d{1,2})[:.](\\d{2})(?:[:.](\\d{2}))?\\s*$"));
    GoTo target;
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return target;
    const bool elapsed = !match.captured(1).isEmpty();
    const int hours = match.captured(2).toInt();
    const int minutes = match.captured(3).toInt();
    const int seconds = match.captured(4).toInt();
    if (minutes > 59 || seconds > 59 || (!elapsed && hours > 23))
        return target;
    if (elapsed) {
        target.ms = ((qint64(hours) * 60 + minutes) * 60 + seconds) * 1000;
    } else {
        // The first time the clock shows that time from the start on (a day's recording passes
        // midnight).
        const QDateTime recordingStart = QDateTime::fromSecsSinceEpoch(startSeconds, Qt::LocalTime);
        QDateTime at(recordingStart.date(), QTime(hours, minutes, seconds), Qt::LocalTime);
        if (at < recordingStart)
            at = at.addDays(1);
        target.ms = recordingStart.msecsTo(at);
    }
    target.result = target.ms <= lastDataMs ? GoTo::Result::Moved : GoTo::Result::Outside;
    return target;
}

void ReviewState::setScale(int type)
{
    switch (type) {
    case 0: displayGain = 1.0f; break;
    case 1: displayGain = 2.0f; break;
    case 2: displayGain = 0.5f; break;
    default: break;
    }
    displayOffset = 0;
}

QString ReviewState::scaleText() const
{
    return autoscale ? QStringLiteral("Auto") : QString::number(double(displayGain) * 10.0, 'g', 6) + " mm/mV";
}

bool ReviewState::toggleBreathVisible(int channel)
{
    if (channel < 0 || channel >= BreathChannels)
        return false;
    breathVisible[channel] = !breathVisible[channel];
    return true;
}

void ReviewState::resetScaleAndLead()
{
    displayGain = 1.0f;
    displayOffset = 0;
    singleLead = leads::V1;
}
