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

// The analysis folder of a busy 24-hour day (about 100 000 beats, 30 000 of them ventricular,
// 300 episodes) made by sim's busy analysis trace, under $TMPDIR/tavokrn-bench/analysis-busy-24h.
QString busyAnalysis24h(QString *error);
// A database with one patient and the session those events belong to (id 1) and no event row.
QString emptyEventsDatabase(QString *error);
