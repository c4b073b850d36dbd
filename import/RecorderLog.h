#pragma once

// The recorder's log (log.txt on its card, logfile.txt in a session folder): lines of a key, a
// colon and a value. A line is split at every ':'; a key counts when one of the parts equals it,
// and its value is always the second part. Other lines are ignored here.

#include "import/RecordingFormat.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QVector>

class RecorderLog
{
public:
    static RecorderLog parse(const QByteArray &text);
    // False, with the reason in *error, when the file cannot be read.
    static bool read(const QString &path, RecorderLog *log, QString *error);

    // A yyyyMMddhhmmss value as local time; invalid when it does not make a date and time.
    static QDateTime parseTime(const QString &value);

    // ID_SESSIONE values, trimmed, in log order.
    QStringList sessionIds() const { return m_sessionIds; }
    // START_ACQ (the last one when repeated); invalid when the log has none.
    QDateTime acquisitionStart() const { return m_acquisitionStart; }

    // The missing periods of this log (pairMissingMarks on its marks). Both import roads decode
    // with these and the review shows these, so that a filled gap is shown where it was filled.
    QVector<MissingInterval> missingIntervals() const;

    // Each start mark with the stop mark at the same position, as milliseconds from the
    // acquisition start (unsigned 32 bits). A start without a stop is dropped, so is a pair with a
    // mark that is not a valid time, and so are all of them without a valid acquisition start. A
    // pair that cannot be a period of the recording (before the acquisition start, a stop before
    // its start, past 32 bits of milliseconds: what a reset recorder clock writes) is ignored with
    // a warning: filled, it would run the time base off by weeks.
    static QVector<MissingInterval> pairMissingMarks(const QDateTime &acquisitionStart,
                                                     const QVector<QDateTime> &starts,
                                                     const QVector<QDateTime> &stops);

private:
    QStringList m_sessionIds;
    QDateTime m_acquisitionStart;
    QVector<QDateTime> m_missingStarts;
    QVector<QDateTime> m_missingStops;
};

QString describeIntervals(const QVector<MissingInterval> &intervals);
