#pragma once

// The summaries of the single-lead window: SpO2 and pulse means and the share of each body
// position, and the reader of the analysis tool's position file they come from. Widget-free.

#include <QPair>
#include <QString>
#include <QVector>
#include <QtGlobal>

// What a summary shows when there is nothing to sum up.
inline constexpr char NotAvailable[] = "ND";

// Means above these are not measurements and show "ND".
inline constexpr double Spo2MeanLimit = 100.0;
inline constexpr double PulseMeanLimit = 300.0;

// Mean of the values with from < t < from + length, as number + suffix, or "ND" when there is
// none or the mean is above the limit. The series is in time order.
QString oximetryMeanText(const QVector<QPair<int, int>> &series, double from, double length, double limit,
                         const QString &suffix);

struct PositionEntry {
    double timeMs; // from the recording start
    QString label;
};

// positions.txt: lines "HHMMSS;LABEL" on the day of the recording start, one more day each time
// the hour goes back. Lines that are not two fields are skipped. False when the file cannot be
// read.
bool readPositionsFile(const QString &path, qint64 recordingStartSeconds, QVector<PositionEntry> *out);

// The position label: "<b>STD</b> %1 <b>SIT</b> %2 ..." with the shares of the entries in the
// window, or "ND" in every place when no entry falls in it.
QString positionSummaryText(const QVector<PositionEntry> &positions, double from, double length);
QString emptyPositionSummary();
