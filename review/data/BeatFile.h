#pragma once

// The analysis tool's beat file, annotations_fusion.pt: one annotation per line, whitespace-
// separated tokens (0 time h:mm:ss.sss, 1 sample number, 2 code, 4 channel, 6 auxiliary text: a
// rhythm or episode label such as "(N" or "(P)", or an ST value "AST..."). The file is read once,
// in chunks: its MD5 digest identifies the rows made from it, its annotation lines (blank lines are
// not kept) give the beat marks and the event rows. Widget-free.

#include "db/Records.h"
#include "review/data/AnalysisFolder.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <vector>

struct BeatLine {
    qint64 ms = 0;      // token 0 in whole milliseconds, rounded to the nearest
    double seconds = 0; // token 0 as read
    int sample = 0;     // token 1
    QString code;       // token 2
    QString channel;    // token 4
    QString aux;        // token 6
};

// Token 0, "h:mm:ss.sss": each field a decimal number, each earlier one 60 times the next.
double clockSeconds(const char *begin, const char *end);

class BeatFile
{
public:
    // No recording holds more annotations: 48 hours at 300 beats a minute is under 900 000. A file
    // with more is refused rather than read, so that memory stays bounded whatever the file holds.
    static constexpr int MaxAnnotations = 2000000;
    // Only this much of a line is read; the analysis tool's lines are a few dozen bytes.
    static constexpr int MaxLineBytes = 4096;

    // False, with errorString() and no lines, when the file cannot be opened or read or holds
    // more than MaxAnnotations annotations.
    bool read(const QString &path);
    // The same from the file's bytes.
    bool parse(const QByteArray &bytes);
    QString errorString() const { return m_error; }

    // Lower-case hexadecimal MD5 digest of the whole file.
    QString sourceId() const { return m_sourceId; }
    // Every line with at least one token, in file order.
    const QVector<BeatLine> &lines() const { return m_lines; }

    // The lines whose code is not "+" as (seconds, code), the beat marks of every lead; their
    // number, and the number of "N" and "s" lines.
    QVector<Beat> beatList() const;
    int annotationCount() const { return m_annotationCount; }
    int normalCount() const { return m_normalCount; }

private:
    class Reader;

    QString m_error;
    QString m_sourceId;
    QVector<BeatLine> m_lines;
    int m_annotationCount = 0;
    int m_normalCount = 0;
};

// The event rows of a beat file, in file order (status "todo", family "ecg", the session and the
// source on every row):
// - a "V" line is one ventricular beat; a line whose auxiliary text is "(P)" one pause;
// - "+" and "s" lines open and close rhythm episodes: a label "(X" opens episode X at that line
//   and closes the open one, "(N" closes it; an episode is stored when it closes ("SVT" as "vt",
//   "AFIB" never), one still open at the end of the file is not;
// - a "+" or "s" line whose auxiliary text begins with "AST" carries an ST value: it neither
//   opens nor closes, and sets the extreme of the open "ST" episode (the largest magnitude wins).
std::vector<AnnotationRecord> beatFileRows(const QVector<BeatLine> &lines, int sessionId, const QString &sourceId);
