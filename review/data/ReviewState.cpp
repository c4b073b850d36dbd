#include "review/data/ReviewState.h"

#include <algorithm>

namespace {

// The window moves this many ms per unit of wheel delta over the overview, and on the lead tabs.
constexpr int OverviewWheelStep = 100;
constexpr int LeadTabWheelStep = 2;

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
