#include "import/OximeterExport.h"

#include <QByteArray>
#include <QDateTime>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

constexpr qint64 HourMs = 3600 * 1000;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

void trim(const char *&from, const char *&to)
{
    while (from < to && isBlank(*from))
        ++from;
    while (to > from && isBlank(to[-1]))
        --to;
}

// An integer field: blanks around it, an optional sign, up to 9 decimal digits.
bool integerField(const char *from, const char *to, int *value)
{
    trim(from, to);
    const bool negative = from < to && *from == '-';
    if (from < to && (*from == '-' || *from == '+'))
        ++from;
    if (from == to || to - from > 9)
        return false;
    int number = 0;
    for (; from < to; ++from) {
        if (*from < '0' || *from > '9')
            return false;
        number = number * 10 + (*from - '0');
    }
    *value = negative ? -number : number;
    return true;
}

// A number field, NaN when it is not one. Whole numbers, the usual case, are read directly.
double numberField(const char *from, const char *to)
{
    int whole = 0;
    if (integerField(from, to, &whole))
        return whole;
    trim(from, to);
    bool ok = false;
    const double value = QByteArray(from, int(to - from)).toDouble(&ok);
    return ok ? value : std::nan("");
}

} // namespace

bool OximeterExportReader::placeHour(const QDate &date, int hour)
{
    m_hour = hour;
    m_laterReading = false;
    const QDateTime start(date, QTime(hour, 0), Qt::LocalTime);
    m_hourExists = start.isValid();
    if (!m_hourExists)
        return false;
    m_hourMs = start.toMSecsSinceEpoch();
    // The hour comes twice when an hour later the clock shows it again.
    const QDateTime later = QDateTime::fromMSecsSinceEpoch(m_hourMs + HourMs, Qt::LocalTime);
    m_hourRepeats = later.date() == date && later.time().hour() == hour;
    return true;
}

bool OximeterExportReader::read(const char *from, const char *to, OximeterSample *sample)
{
    const char *fields[10];
    int count = 0;
    fields[count++] = from;
    for (const char *p = from; p < to; ++p) {
        if (*p == '\0')
            return false;
        if (*p != ',')
            continue;
        if (count == 9)
            return false;
        fields[count++] = p + 1;
    }
    if (count != 9)
        return false;
    fields[9] = to + 1;
    const auto end = [&fields](int i) { return fields[i + 1] - 1; };

    int clock[6];
    for (int i = 0; i < 6; ++i) {
        if (!integerField(fields[i + 1], end(i + 1), &clock[i]))
            return false;
    }
    const int hour = clock[3], minute = clock[4], second = clock[5];
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return false;
    const double spo2 = numberField(fields[8], end(8));
    // Beyond float32 it would be written as infinity.
    if (!std::isfinite(spo2) || std::fabs(spo2) > double(FLT_MAX))
        return false;
    // A day of export is some 86 000 lines of the same day or two: the date is made once per hour.
    if (hour != m_hour || clock[0] != m_hourDay[0] || clock[1] != m_hourDay[1] || clock[2] != m_hourDay[2]) {
        const QDate date(clock[0], clock[1], clock[2]);
        if (!date.isValid())
            return false;
        std::copy(clock, clock + 3, m_hourDay);
        if (!placeHour(date, hour))
            return false;
    } else if (!m_hourExists) {
        return false;
    }
    const qint64 withinHour = (minute * 60 + second) * 1000;
    qint64 ms = m_hourMs + withinHour;
    if (ms < m_previousMs && m_hourRepeats && !m_laterReading) {
        m_laterReading = true;
        m_hourMs += HourMs;
        ms += HourMs;
    }
    if (ms < m_previousMs)
        return false;
    m_previousMs = ms;
    const double pulse = numberField(fields[7], end(7));
    sample->msecsSinceEpoch = ms;
    sample->pulse = std::isfinite(pulse) ? pulse : std::nan("");
    sample->spo2 = spo2;
    return true;
}
