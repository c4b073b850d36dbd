#pragma once

// The pulse oximeter's export (Puls.txt), line by line: a header line holding "VERSION", then
// lines of exactly 9 comma-separated fields: not used, year, month, day, hour, minute, second
// (local time), pulse, SpO2. The SpO2 conversion and the review read it through this one reader,
// so that both keep the same lines at the same times.

#include <QDate>
#include <QtGlobal>

#include <limits>

struct OximeterSample {
    qint64 msecsSinceEpoch = 0;
    // Field 7, or NaN when it is not a number.
    double pulse = 0;
    // Field 8, surrounding white space removed; always a finite float32 value.
    double spo2 = 0;
};

class OximeterExportReader
{
public:
    // One line, its line end removed. False when the line gives no sample: not exactly 9
    // fields, a NUL byte in it, a date and time that is not valid or does not exist in local time
    // (the hour skipped by the change to summer time), a SpO2 field that is not a finite number
    // (text, an overflow), or a time before the previous sample's. The hour that the change to
    // winter time repeats is read the second time round as its later occurrence.
    bool read(const char *from, const char *to, OximeterSample *sample);

private:
    // Converts the start of a new local hour; false when that hour does not exist.
    bool placeHour(const QDate &date, int hour);

    // The local hour of the latest line (its year, month, day and hour), converted once: within
    // it the seconds add up.
    int m_hourDay[3] = {};
    int m_hour = -1;
    bool m_hourExists = false;
    bool m_hourRepeats = false;
    bool m_laterReading = false;
    qint64 m_hourMs = 0;
    qint64 m_previousMs = std::numeric_limits<qint64>::min();
};
