#include "review/data/AnalysisFolder.h"

#include <QDebug>
#include <QFile>
#include <QStringList>
#include <QTextStream>
#include <QTime>

#include <algorithm>

namespace {

int secondsOfDay(const QString &hhmmss, bool *ok)
{
    const QTime time = QTime::fromString(hhmmss, QStringLiteral("HHmmss"));
    *ok = hhmmss.size() == 6 && time.isValid();
    return *ok ? time.msecsSinceStartOfDay() / 1000 : 0;
}

} // namespace

bool readSplitFile(const QString &path, TimeSpans *segments)
{
    segments->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    QTextStream in(&file);
    bool ok = false;
    const QString first = in.readLine().trimmed();
    const int t0 = secondsOfDay(first, &ok);
    if (!ok) {
        qInfo().noquote() << "SPLIT WRONG FORMAT ---";
        return false;
    }
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty())
            continue;
        const QStringList fields = line.split(QLatin1Char(';'));
        bool okStart = false, okEnd = false;
        int start = fields.size() == 2 ? secondsOfDay(fields.at(0), &okStart) : 0;
        int end = fields.size() == 2 ? secondsOfDay(fields.at(1), &okEnd) : 0;
        if (!okStart || !okEnd) {
            // The segments read so far stay; a file the tool cut short still shades what it knew.
            qInfo().noquote() << "SPLIT WRONG FORMAT";
            break;
        }
        if (start < t0)
            start += 86400;
        if (end < t0)
            end += 86400;
        segments->append({double(start - t0), double(end - t0)});
    }
    return true;
}

TimeSpans uncoveredSpans(const TimeSpans &segments, double from, double to)
{
    // Pass over the segments that end before the window; stop at the one holding its start or
    // at the first one after it.
    int i = 0;
    const int n = segments.size();
    while (i < n && !(segments[i].first <= from && from < segments[i].second) && segments[i].first <= from)
        ++i;
    const bool startCovered = i < n && segments[i].first <= from && from < segments[i].second;
    TimeSpans taken;
    int j = i;
    for (; j < n && segments[j].first < to; ++j)
        taken.append(segments[j]);
    if (j < n)
        taken.append(segments[j]);

    TimeSpans zones;
    if (!startCovered) {
        if (taken.isEmpty()) {
            zones.append({from, to});
            return zones;
        }
        zones.append({from, taken.first().first});
    }
    for (int k = 0; k + 1 < taken.size(); ++k)
        zones.append({taken[k].second, taken[k + 1].first});
    // After the last segment of the analysis nothing is analysable up to the window's end.
    if (j >= n && !taken.isEmpty() && taken.last().second < to)
        zones.append({taken.last().second, to});
    // The gap up to the segment after the window reaches beyond it: only the window is shaded.
    TimeSpans shown;
    for (const auto &zone : zones) {
        const double a = std::max(zone.first, from), b = std::min(zone.second, to);
        if (a < b)
            shown.append({a, b});
    }
    return shown;
}
