#include "review/data/Caliper.h"

#include <algorithm>
#include <cmath>

double Caliper::intervalMs() const { return std::abs(endMs - startMs); }

double Caliper::rateBpm() const
{
    const double interval = intervalMs();
    return interval > 0 ? 60000.0 / interval : 0.0;
}

QString Caliper::figures() const
{
    QString text = QString::fromUtf8("\u0394t ") + QString::number(std::lround(intervalMs())) + " ms";
    if (intervalMs() >= 1.0)
        text += "  " + QString::number(std::lround(rateBpm())) + " bpm";
    const double mv = deltaMv();
    text += QString::fromUtf8("  \u0394mV ") + (mv >= 0 ? "+" : "") + QString::number(mv, 'f', 2);
    return text;
}

Caliper Caliper::marched() const
{
    // To the right, whichever way it was opened.
    Caliper next = *this;
    next.startMs = std::max(startMs, endMs);
    next.endMs = next.startMs + intervalMs();
    return next;
}
