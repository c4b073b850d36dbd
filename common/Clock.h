#pragma once

#include <QDateTime>

// "Now", for everything that stores or shows the time of day (import dates, session starts, report
// dates, snapshot names). One place, so that a test can stop the clock where a result depends on it.
namespace Clock {
// Seconds since the Unix epoch.
qint64 nowSeconds();
// The local date and time.
QDateTime now();
// Stops the clock at `when` (local time); an invalid date-time lets it run again.
void setFixed(const QDateTime &when);
}
