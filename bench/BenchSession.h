#pragma once

// The 24-hour synthetic session the review benchmarks share: the card and its decoded session
// are made once under $TMPDIR/tavokrn-bench (card-24h, session-24h) and reused; each folder gets
// its "complete" marker last, so a folder whose making was cut short is made again.

#include <QString>
#include <QtGlobal>

QString benchRoot();
// The decoded session folder (with the oximeter's Puls.txt), or empty with *error set.
QString session24h(QString *error);
// The synthetic recording's start, seconds since the epoch (the session's recording start).
qint64 benchRecordingStart();
// Resident set size now, MiB (file-backed pages of the maps included).
double residentMiB();
