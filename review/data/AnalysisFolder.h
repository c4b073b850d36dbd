#pragma once

// What the review plots read from the analysis tool's folder of a session: the beat list of
// annotations_fusion.pt, the analysable segments of each lead (split_<lead>.txt) and the body
// positions. Widget-free.

#include <QPair>
#include <QString>
#include <QVector>

struct Beat {
    double seconds; // from the recording start
    QString code;
};

// Every line whose code (token 2) is not "+"; the counts of those lines and of the "N"/"s" ones.
// A line whose time is not a finite number is left out (with one warning for the file). False
// when the file cannot be read.
bool readBeatList(const QString &path, QVector<Beat> *beats, int *annotationCount, int *normalCount);
// "h:mm:ss.sss": each field a decimal number, each earlier one 60 times the next.
double annotationSeconds(const QString &token);

using TimeSpans = QVector<QPair<double, double>>;

// First line HHMMSS (the analysed start t0), then HHMMSS;HHMMSS per segment, in seconds from t0
// (a time of day before t0 is on the next day). False on a malformed file.
bool readSplitFile(const QString &path, TimeSpans *segments);

// The parts of the window [from, to) (ms) not covered by the lead's analysable segments (ms, in
// file order), to be shaded on the single-lead plot.
TimeSpans uncoveredSpans(const TimeSpans &segments, double from, double to);
