#pragma once

// The session report "Report.pdf": patient and session data with the clinician's comment, the
// summary of the reviewed events counted in the database, and one page per snapshot of the
// session's "snap" folder. Landscape A4 at 1600 dots per inch, each block a rich-text document
// painted at a fixed height in printer dots. Widget-free: it runs on the offscreen platform.

#include "db/Records.h"
#include "review/data/HeartRateTrend.h"

#include <QSize>
#include <QSizeF>
#include <QString>
#include <QVector>
#include <QtGlobal>

class Database;

// Everything the report shows that is not read from the database or the snapshot folder.
struct ReportInput
{
    PatientRecord patient;
    SessionRecord session;
    UserRecord author; // the logged-in user
    QString sessionFolder; // the report is written here; snapshots are read from its "snap" folder

    // From the loader of the reviewed recording.
    qint64 spo2SpanMs = 0; // span of the SpO2 series, taken as the sleep duration
    qint64 acquisitionStartSeconds = 0; // origin of the event times of the manual heart rates
    int durationMinutes = 0; // recording duration

    // From the analysis folder: beats analysed, normal beats, and the source of the session's events.
    int annotationCount = 0;
    int normalCount = 0;
    QString sourceId;
    // The automatic heart rates of the HRV box, from the beat file (none without one).
    HeartRateSummary heartRates;

    // From the comment dialog: the comment as HTML and the analysed time exactly as typed.
    QString commentHtml;
    QString hoursText = QStringLiteral("24");
    QString minutesText = QStringLiteral("00");
};

// One snapshot page: the image and what its text file says.
struct SnapshotPage
{
    QString imagePath;
    QString savedAt; // text of the saving date, as stored
    double ratio = 1.0; // image width in plot widths
    QString noteHtml;
};

class ReportBuilder
{
public:
    static constexpr int Resolution = 1600; // dots per inch
    static constexpr double MarginMm = 10.0;
    // Vertical offsets, printer dots from the top of the page rectangle.
    static constexpr int FooterTop = 11655;
    static constexpr int TitleBarHeight = 655;
    static constexpr int BodyHeight = 11000; // from below the title bar to the footer
    // One plot width on paper: 250 mm.
    static constexpr double PlotWidthInches = 9.8425;
    // A capture is a few plots wide at most, and never much narrower than its plot.
    static constexpr double MinRatio = 0.05;
    static constexpr double MaxRatio = 20.0;

    // Writes sessionFolder + "/Report.pdf". False when the events cannot be counted or the file
    // cannot be written completely (errorString() says why); no partial report is left behind.
    bool write(const ReportInput &input, Database &db);
    QString errorString() const { return m_error; }
    QString pdfPath() const { return m_pdfPath; }
    int pageCount() const { return m_pageCount; }

    // The rules behind the summary cells, for tests and callers.
    // Events per hour with two decimals; "ND" when there are no hours to divide by.
    static QString perHourText(int count, double hours);
    // The events per hour over 24 hours, rounded to a whole number; "ND" without hours.
    static QString projectionText(int count, double hours);
    // Hours and minutes as typed in the comment dialog, as hours (non-numbers count as 0).
    static double controlledHours(const QString &hoursText, const QString &minutesText);
    // Printer dots of a snapshot image: ratio plot widths wide, keeping its aspect; made smaller
    // only where it would leave the page or the room its note needs above the footer.
    static QSizeF snapshotSize(const QSize &pixels, double ratio, const QSizeF &room);
    // "Text_" + what follows the first "_" of the image name up to its first "." + "txt".
    static QString snapshotTextName(const QString &imageName);
    // The "Screenshot_*" files of the snapshot folder in name order, with their text files read.
    // A missing text file, or one without a usable ratio (not a number between MinRatio and
    // MaxRatio), gives ratio 1 so the image still shows.
    static QVector<SnapshotPage> readSnapshots(const QString &snapFolder);

private:
    QString m_error;
    QString m_pdfPath;
    int m_pageCount = 0;
};
