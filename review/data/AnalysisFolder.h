#pragma once

// What the review plots read from the analysis tool's folder of a session: the beats of
// annotations_fusion.pt (review/data/BeatFile.h reads the file) and the analysable segments of each
// lead (split_<lead>.txt). Widget-free.

#include <QPair>
#include <QString>
#include <QVector>

struct Beat {
    double seconds; // from the recording start
    QString code;
};

using TimeSpans = QVector<QPair<double, double>>;

// First line HHMMSS (the analysed start t0), then HHMMSS;HHMMSS per segment, in seconds from t0
// (a time of day before t0 is on the next day). False on a malformed file.
bool readSplitFile(const QString &path, TimeSpans *segments);

// The parts of the window [from, to) (ms) not covered by the lead's analysable segments (ms, in
// file order), to be shaded on the single-lead plot.
TimeSpans uncoveredSpans(const TimeSpans &segments, double from, double to);
