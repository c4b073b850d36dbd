#include "report/ReportBuilder.h"

#include "common/Clock.h"
#include "db/Database.h"
#include "review/data/EventStore.h"

#include <QAbstractTextDocumentLayout>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFont>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>

namespace {

const std::string addedStatuses[] = {"added", "addedprint"};
const std::string acceptedStatuses[] = {"checked", "printed"};

// A summary row: its label cell and the stored event type it counts.
struct EventRow
{
    const char *labelCell;
    const char *type;
};

const EventRow bradycardiaRows[] = {{"<td> Bradicardie </td>", "bradichardia"}, {"<td> Pause </td>", "pause"}};
const EventRow ectopyRows[] = {{"<td> Battiti ectopici ventricolari </td>", "veb"},
                               {"<td> Bigeminie </td>", "bigemia"},
                               {"<td> Trigeminie </td>", "trigemia"},
                               {"<td> Tachicardie ventricolari </td>", "vt"}};
const EventRow otherRows[] = {{"<td> RR lungo</td>", "rrlong"},
                              {"<td> Tripla</td>", "triplet"},
                              {"<td> Coppia</td>", "couplet"},
                              {"<td> R su T</td>", "ront"},
                              {"<td> Tachicardia sopraventricolare</td>", "svt"},
                              {"<td> Prematuro sopraventricolare</td>", "sveb"}};
const EventRow sleepRows[] = {{"<td> Apnee centrali</td>", "apneacent"},
                              {"<td> Apnee ostruttive </td>", "apneaost"},
                              {"<td> Ipoapnee</td>", "ipopnea"},
                              {"<td> Desaturazioni </td>", "desaturation"}};
const EventRow stRow = {"", "st"};

const char *const tableOpen = "<table border=2 width=100% cellpadding=5>";
const char *const innerTableOpen = "<table border=1 width=100% cellpadding=5>";

QString cell(const QString &value) { return "<td> " + value + "</td>"; }

QString addedHeader()
{
    return "<td> <i> Aggiunti </i> </td>"
           "<td> <i> Eventi/ora </i> </td>"
           "<td> <i> Proiezione 24h</i> </td>";
}

QString acceptedHeader()
{
    return "<td> <i> Accettati </i> </td>"
           "<td> <i> Eventi/ora </i> </td>"
           "<td> <i> Proiezione 24h </i> </td>";
}

const char *const eventHeader = "<td> <i> Evento </i> </td>";

// The counts of one event type for the session's events of one source.
struct TypeCounts
{
    int added = 0;
    int accepted = 0;
};

class EventCounter
{
public:
    // Without an analysis the source is empty, which would match nothing: the events added by
    // hand are then counted whatever their source, as the review page lists them.
    EventCounter(Database &db, int sessionId, const QString &sourceId)
        : m_db(db), m_sessionId(sessionId), m_source(sourceId.isEmpty() ? "%" : sourceId.toStdString())
    {
    }

    bool failed() const { return m_failed; }

    TypeCounts counts(const char *type, bool withAccepted)
    {
        TypeCounts c;
        c.added = sum(type, addedStatuses);
        if (withAccepted)
            c.accepted = sum(type, acceptedStatuses);
        return c;
    }

private:
    int sum(const char *type, const std::string (&statuses)[2])
    {
        int total = 0;
        for (const std::string &status : statuses) {
            const int n = m_db.countAnnotations(m_sessionId, m_source, type, status);
            // A count the database could not give must not print as a figure.
            if (n < 0)
                m_failed = true;
            else
                total += n;
        }
        return total;
    }

    Database &m_db;
    int m_sessionId;
    std::string m_source;
    bool m_failed = false;
};

// The figures of the summary page, gathered before anything is drawn.
struct Summary
{
    double controlledHours = 0;
    double sleepHours = 0;
    std::map<std::string, TypeCounts> counts;
    int unreviewed = 0; // events of the analysis still "todo"
    QString maxValue = "ND", maxTime = "ND", minValue = "ND", minTime = "ND";
};

QString addedCells(const TypeCounts &c, double hours)
{
    return cell(QString::number(c.added)) + cell(ReportBuilder::perHourText(c.added, hours))
         + cell(ReportBuilder::projectionText(c.added, hours));
}

// Accepted events are put over a full day, whatever time was analysed.
QString acceptedCells(const TypeCounts &c)
{
    return cell(QString::number(c.accepted)) + cell(QString::number(c.accepted / 24.0, 'f', 2))
         + cell(QString::number(c.accepted));
}

QString box(const QString &title, const QString &rows)
{
    return "<h2> " + title + " </h2>" + innerTableOpen + rows + "</table>";
}

template <size_t N>
QString eventBox(const QString &title, const EventRow (&rows)[N], bool withAccepted, const Summary &s)
{
    QString html = "<tr>" + QString(eventHeader) + addedHeader() + (withAccepted ? acceptedHeader() : QString())
                 + "</tr>";
    for (const EventRow &row : rows) {
        const TypeCounts &c = s.counts.at(row.type);
        html += "<tr>" + QString(row.labelCell) + addedCells(c, s.controlledHours)
              + (withAccepted ? acceptedCells(c) : QString()) + "</tr>";
    }
    return box(title, html);
}

QString sleepBox(const Summary &s)
{
    QString html = "<tr>" + QString(eventHeader) + "<td> <i> Aggiunti </i> </td><td> <i> Eventi/ora </i> </td></tr>";
    for (const EventRow &row : sleepRows) {
        const int added = s.counts.at(row.type).added;
        const QString rate = s.sleepHours == 0 ? QStringLiteral("ND") : QString::number(added / s.sleepHours, 'f', 2);
        html += "<tr>" + QString(row.labelCell) + cell(QString::number(added)) + cell(rate) + "</tr>";
    }
    return box("Polisonnografia", html);
}

// An automatic rate's cells: its 10-second average, the time of day of that average (none for a
// mean) and its 1-minute average, in whole bpm; empty without a beat file.
QString dateTimeText(qint64 seconds, const QString &format);

QString autoRateCells(const RateFigure &rate, bool present, qint64 acquisitionStart)
{
    if (!present)
        return cell(QString()) + cell(QString()) + cell(QString());
    const auto bpm = [](double value) { return value > 0 ? QString::number(std::lround(value)) : QString(); };
    const QString at =
        rate.tenSecondAtMs >= 0 ? dateTimeText(acquisitionStart + rate.tenSecondAtMs / 1000, "hh:mm:ss") : QString();
    return cell(bpm(rate.tenSecondBpm)) + cell(at) + cell(bpm(rate.oneMinuteBpm));
}

QString hrvBox(const ReportInput &in, const Summary &s)
{
    QString html = "<tr>" + QString(eventHeader)
                 + "<td> <i> 10 sec avg (bpm) </i> </td><td> <i> Istante</i> </td><td> <i> 1 min avg (bpm) </i> "
                   "</td></tr>";
    html += "<tr><td> Max FC (manual)</td>" + cell(s.maxValue) + cell(s.maxTime) + cell(QString()) + "</tr>";
    html += "<tr><td> Min FC (manual)</td>" + cell(s.minValue) + cell(s.minTime) + cell(QString()) + "</tr>";
    const HeartRateSummary &rates = in.heartRates;
    const QPair<const char *, const RateFigure *> autoRows[] = {{"<td> Media FC (auto) </td>", &rates.mean},
                                                                 {"<td> Max FC (auto)</td>", &rates.highest},
                                                                 {"<td> Min FC (auto)</td>", &rates.lowest}};
    for (const auto &[label, rate] : autoRows)
        html += "<tr>" + QString(label) + autoRateCells(*rate, rates.present, in.acquisitionStartSeconds) + "</tr>";
    return box("HRV", html);
}

QString summaryHtml(const ReportInput &in, const Summary &s)
{
    const QString half = "<td align=center width=50%>";
    const QString general = box("Riassunto generale",
                                "<tr><td> Battiti analizzati </td>" + cell(QString::number(in.annotationCount))
                                    + "</tr><tr><td> Totale battiti normali </td>"
                                    + cell(QString::number(in.normalCount))
                                    + "</tr><tr><td> Durata periodo controllato </td>"
                                    + cell(in.hoursText + ":" + in.minutesText) + "</tr>");
    const QString st = box("ST", "<tr>" + addedHeader() + acceptedHeader() + "</tr><tr>"
                                     + addedCells(s.counts.at(stRow.type), s.controlledHours)
                                     + acceptedCells(s.counts.at(stRow.type)) + "</tr>");
    return "<html><h2>Riassunto analisi</h2>" + QString(tableOpen)
         + "<tr>" + half + general + "</td>" + half + eventBox("Bradicardia", bradycardiaRows, true, s) + "</td></tr>"
         + "<tr>" + half + eventBox("Ectopia ventricolare", ectopyRows, true, s) + "</td>" + half
         + eventBox("Altri eventi", otherRows, false, s) + "</td></tr>"
         + "<tr>" + half + sleepBox(s) + "</td>" + half + hrvBox(in, s) + "</td></tr>"
         + "<tr><td align=center colspan=2 width=100%> " + st + "</td></tr>" + "</table>"
         // Accepted events alone would read as none where the review is not finished.
         + (s.unreviewed > 0 ? "<p>Eventi non revisionati: " + QString::number(s.unreviewed) + "</p>" : QString())
         + "</html>";
}

QString row(const QString &label, const QString &value)
{
    return "<tr><td> <b>" + label + "</b></td> <td>" + value + "</td>";
}

QString dateTimeText(qint64 seconds, const QString &format)
{
    return QDateTime::fromSecsSinceEpoch(seconds).toString(format);
}

QString text(const std::string &value) { return QString::fromStdString(value).toHtmlEscaped(); }

QString firstPageHtml(const ReportInput &in)
{
    const PatientRecord &p = in.patient;
    QString html = "<html><h1 align=center>Report Analisi Holter ECG</h1>";
    html += "<h2>Dati anagrafici paziente</h2>" + QString(tableOpen);
    html += row("Nome", text(p.name));
    html += row("Cognome", text(p.surname));
    html += row("Codice Fiscale", text(p.fiscalCode));
    html += row("Sesso", p.isMale ? "M" : "F");
    // Birth dates are stored as midnight UTC of the day: shown in local time west of Greenwich
    // they would fall on the day before.
    html += row("Data di Nascita", QDateTime::fromSecsSinceEpoch(p.birthDate, Qt::UTC).toString("dd/MM/yyyy"));
    html += row("Altezza (cm)", QString::number(p.height));
    html += row("Peso (kg)", QString::number(p.weight));
    html += "</table>";

    html += "<h2>Dati sessione</h2>" + QString(tableOpen);
    html += row("Data di inizio", dateTimeText(in.session.startSetupDate, "dd/MM/yyyy - hh:mm"));
    html += row("Durata (h)", QString::number(in.durationMinutes / 60) + " ore " + QString::number(in.durationMinutes % 60)
                                  + " minuti ");
    html += "</table>";

    html += "<h2>Informazioni sul report</h2>" + QString(tableOpen);
    html += row("Data di creazione", Clock::now().toString("dd/MM/yyyy - hh:mm"));
    html += row("Autore", text(in.author.name) + " " + text(in.author.surname));
    html += "</table>";

    html += "<h2>Commenti</h2><table border=2 width=100% cellpadding=5><tr><td>" + in.commentHtml + "</td></table>";
    return html + "</html>";
}

QString footerHtml(const ReportInput &in, int page, int pageCount)
{
    return "<html><table border=2 width=100% cellpadding=5> <tr> <td align=left> Report - Paziente : "
         + text(in.patient.name) + " " + text(in.patient.surname) + " - Sessione : "
         + dateTimeText(in.session.startSetupDate, "dd/MM/yyyy ; hh:mm") + "</td><td align=right> Pagina : "
         + QString::number(page) + " / " + QString::number(pageCount) + "</td></table></html>";
}

QString titleBarHtml(const QString &text, const QString &rightText = QString())
{
    return "<table border=2 width=100% cellpadding=5> <tr> <td align=left> " + text + "</td>"
         + (rightText.isEmpty() ? QString() : "<td align=right> " + rightText + "</td>") + "</table>";
}

// The last manual heart rate of one kind: its value (bpm, held as the event's length in seconds)
// and the clock time of its start.
void manualRate(const std::vector<AnnotationRecord> &events, const char *type, qint64 acquisitionStart,
                QString *value, QString *time)
{
    for (const AnnotationRecord &e : events) {
        if (e.m_type != type || (e.m_status != "added" && e.m_status != "addedprint"))
            continue;
        *value = QString::number((e.m_dateEnd - e.m_dateStart) / 1000);
        *time = dateTimeText(e.m_dateStart / 1000 + acquisitionStart, "hh:mm:ss");
    }
}

// Complete when the file holds a PDF through its end-of-file marker: a write that ran out of
// space leaves it short.
bool isCompletePdf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 16)
        return false;
    if (!file.read(5).startsWith("%PDF-"))
        return false;
    file.seek(file.size() - 16);
    return file.read(16).trimmed().endsWith("%%EOF");
}

// The text sizes are the report's own, not the desktop's: the title bars must fit their 655 dots
// and the six summary boxes the page.
const double BodyPointSize = 8;
const double SummaryPointSize = 7;

// One block of rich text, laid out for the printer's page width and resolution. A block given a
// page height flows over as many pages as its text needs, no line cut between two of them.
class Block
{
public:
    // topOffset: room kept free above the text on its first page.
    Block(QPrinter &printer, const QString &html, double pointSize = BodyPointSize, double pageHeight = 0,
          double topOffset = 0)
    {
        QFont font = m_doc.defaultFont();
        font.setPointSizeF(pointSize);
        m_doc.setDefaultFont(font);
        m_doc.documentLayout()->setPaintDevice(&printer);
        const QSizeF page = printer.pageRect(QPrinter::DevicePixel).size();
        m_doc.setPageSize(pageHeight > 0 ? QSizeF(page.width(), pageHeight) : page);
        m_doc.setHtml(html);
        if (topOffset > 0) {
            // The first block is the empty one before the first table: its margin is on page 1 only.
            QTextCursor cursor(&m_doc);
            QTextBlockFormat format = cursor.blockFormat();
            format.setTopMargin(topOffset);
            cursor.setBlockFormat(format);
        }
    }

    // Draws at the painter's origin, clipped to `height` dots when given, so that nothing runs
    // over what lies below it on the page.
    void draw(QPainter &painter, double height = -1)
    {
        if (height < 0)
            m_doc.drawContents(&painter);
        else if (height > 0)
            m_doc.drawContents(&painter, QRectF(0, 0, m_doc.pageSize().width(), height));
    }

    int pageCount() const { return m_doc.pageCount(); }
    // One of the pages it flows over, at the painter's origin.
    void drawPage(QPainter &painter, int page)
    {
        const QSizeF size = m_doc.pageSize();
        painter.save();
        painter.translate(0, -page * size.height());
        m_doc.drawContents(&painter, QRectF(QPointF(0, page * size.height()), size));
        painter.restore();
    }

    QSizeF pageSize() const { return m_doc.pageSize(); }
    // Down to the end of the text; a table is always followed by one more (empty) block.
    double contentHeight() const
    {
        return m_doc.documentLayout()->blockBoundingRect(m_doc.lastBlock()).bottom() + m_doc.documentMargin();
    }

private:
    QTextDocument m_doc;
};

// The room a snapshot's note keeps beside an image reduced to fit: the note, up to a quarter of
// the page, and a millimetre for the margins the layout keeps at the foot of the page; a longer
// note goes on over the next pages.
constexpr double NoteShareOfBody = 0.25;
constexpr double NoteSlack = 64;

// A row or column of one colour, as the page behind the plots is.
bool isBlank(const QImage &image, const QRect &line, QRgb background)
{
    for (int y = line.top(); y <= line.bottom(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = line.left(); x <= line.right(); ++x) {
            if (row[x] != background)
                return false;
        }
    }
    return true;
}

// The capture without the blank margin right of its plots and below them, never narrower than
// the plot, which is plotWidth pixels wide.
QImage trimmedSnapshot(const QImage &capture, int plotWidth)
{
    const QImage image = capture.convertToFormat(QImage::Format_RGB32);
    // Only a capture wider than its plot has a margin beside it, whose colour is the page's.
    if (image.width() <= plotWidth)
        return image;
    const QRgb background = image.pixel(image.width() - 1, 0);
    int width = image.width();
    while (width > plotWidth && isBlank(image, QRect(width - 1, 0, 1, image.height()), background))
        --width;
    int height = image.height();
    while (height > 1 && isBlank(image, QRect(0, height - 1, width, 1), background))
        --height;
    return image.copy(0, 0, width, height);
}

// How a snapshot goes on its page: the printed part of the image, its size in dots, and the share
// of its true paper scale it had to be reduced to (100 when it is at scale).
struct SnapshotPlacement
{
    QImage image;
    QSizeF size;
    int percent = 100;
};

SnapshotPlacement placeSnapshot(const SnapshotPage &snapshot, double noteHeight, const QRectF &page)
{
    SnapshotPlacement place;
    const QImage capture(snapshot.imagePath);
    if (capture.isNull())
        return place;
    // The plot the ratio was measured against is 250 mm of paper, its grid 250 minor squares:
    // the capture keeps that scale as long as it is drawn in plot widths.
    const int plotWidth = std::max(int(std::lround(capture.width() / snapshot.ratio)), 1);
    place.image = trimmedSnapshot(capture, plotWidth);
    const double ratio = double(place.image.width()) / plotWidth;
    const double atScale = ReportBuilder::Resolution * ratio * ReportBuilder::PlotWidthInches;
    place.size =
        ReportBuilder::snapshotSize(place.image.size(), ratio, QSizeF(page.width(), ReportBuilder::BodyHeight));
    if (place.size.width() < atScale) {
        const double note = std::min(noteHeight, ReportBuilder::BodyHeight * NoteShareOfBody) + NoteSlack;
        place.size = ReportBuilder::snapshotSize(place.image.size(), ratio,
                                                 QSizeF(page.width(), ReportBuilder::BodyHeight - note));
        place.percent = int(100 * place.size.width() / atScale);
    }
    return place;
}

} // namespace

QString ReportBuilder::perHourText(int count, double hours)
{
    if (!(hours > 0))
        return QStringLiteral("ND");
    return QString::number(count / hours, 'f', 2);
}

QString ReportBuilder::projectionText(int count, double hours)
{
    if (!(hours > 0))
        return QStringLiteral("ND");
    return QString::number(std::round(count / hours * 24));
}

double ReportBuilder::controlledHours(const QString &hoursText, const QString &minutesText)
{
    return hoursText.toInt() + minutesText.toInt() / 60.0;
}

QSizeF ReportBuilder::snapshotSize(const QSize &pixels, double ratio, const QSizeF &room)
{
    if (pixels.isEmpty())
        return QSizeF(0, 0);
    QSizeF size(Resolution * ratio * PlotWidthInches, 0);
    size.setHeight(size.width() * pixels.height() / pixels.width());
    if (size.width() > room.width() || size.height() > room.height())
        size = size.scaled(room.expandedTo(QSizeF(0, 0)), Qt::KeepAspectRatio);
    return size;
}

QString ReportBuilder::snapshotTextName(const QString &imageName)
{
    QString stamp = imageName.mid(imageName.indexOf(QLatin1Char('_')) + 1);
    const int dot = stamp.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        stamp.truncate(dot + 1);
    return "Text_" + stamp + "txt";
}

QVector<SnapshotPage> ReportBuilder::readSnapshots(const QString &snapFolder)
{
    QVector<SnapshotPage> pages;
    const QDir dir(snapFolder);
    if (!dir.exists())
        return pages;
    for (const QString &name : dir.entryList({"Screenshot_*"}, QDir::Files)) {
        SnapshotPage page;
        page.imagePath = dir.filePath(name);
        QFile textFile(dir.filePath(snapshotTextName(name)));
        if (textFile.open(QIODevice::ReadOnly | QIODevice::Text)) {
            QTextStream in(&textFile);
            in.setCodec("UTF-8");
            page.savedAt = in.readLine();
            bool ok = false;
            const double ratio = in.readLine().trimmed().toDouble(&ok);
            page.ratio = ok && ratio >= MinRatio && ratio <= MaxRatio ? ratio : 1.0;
            page.noteHtml = in.readAll();
        }
        pages.append(page);
    }
    return pages;
}

bool ReportBuilder::write(const ReportInput &input, Database &db)
{
    m_error.clear();
    m_pdfPath = input.sessionFolder + "/Report.pdf";

    Summary summary;
    summary.controlledHours = controlledHours(input.hoursText, input.minutesText);
    summary.sleepHours = input.spo2SpanMs / 3600000.0;
    qInfo().noquote() << "SLEEP DURATION  : " + QString::number(summary.sleepHours);

    const QVector<SnapshotPage> snapshots = readSnapshots(input.sessionFolder + "/snap/");

    std::vector<AnnotationRecord> events;
    if (!listEventRows(db, input.session.id, input.sourceId, &events)) {
        m_error = "the session's events cannot be read: " + db.lastError();
        return false;
    }
    manualRate(events, "maxfrequency", input.acquisitionStartSeconds, &summary.maxValue, &summary.maxTime);
    manualRate(events, "minfrequency", input.acquisitionStartSeconds, &summary.minValue, &summary.minTime);
    summary.unreviewed = int(std::count_if(events.begin(), events.end(),
                                           [](const AnnotationRecord &e) { return e.m_status == "todo"; }));

    EventCounter counter(db, input.session.id, input.sourceId);
    for (const EventRow &r : bradycardiaRows)
        summary.counts[r.type] = counter.counts(r.type, true);
    for (const EventRow &r : ectopyRows)
        summary.counts[r.type] = counter.counts(r.type, true);
    for (const EventRow &r : otherRows)
        summary.counts[r.type] = counter.counts(r.type, false);
    for (const EventRow &r : sleepRows)
        summary.counts[r.type] = counter.counts(r.type, false);
    summary.counts[stRow.type] = counter.counts(stRow.type, true);
    if (counter.failed()) {
        m_error = "the session's events cannot be counted: " + db.lastError();
        return false;
    }

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_pdfPath);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setResolution(Resolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageMargins(QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter);
    printer.setFullPage(false);

    // Every page is laid out before the first is drawn: each footer counts them all.
    QPainter painter;
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    std::vector<std::function<void()>> pages;

    // Patient, session and report data and the comment, which goes on over further pages when long.
    const auto first = std::make_shared<Block>(printer, firstPageHtml(input), BodyPointSize, FooterTop);
    for (int i = 0; i < first->pageCount(); ++i)
        pages.push_back([&painter, first, i] { first->drawPage(painter, i); });

    // The summary of the reviewed events.
    const auto summaryTitle = std::make_shared<Block>(printer, titleBarHtml("Riassunto analisi "));
    const auto summaryBody = std::make_shared<Block>(printer, summaryHtml(input, summary), SummaryPointSize);
    pages.push_back([&painter, summaryTitle, summaryBody] {
        summaryTitle->draw(painter, TitleBarHeight);
        painter.translate(0, TitleBarHeight);
        summaryBody->draw(painter, BodyHeight);
    });

    // Each snapshot under its date: the image at its paper scale, then its note, which goes on
    // over further pages under the same date when long. The image is read again when its page is
    // drawn, so that only one is held at a time.
    for (const SnapshotPage &snapshot : snapshots) {
        const QString noteHtml =
            "<table border=2 cellpadding=5 width=100%><tr><td>" + snapshot.noteHtml + "</td></table>";
        const double noteHeight = Block(printer, noteHtml).contentHeight();
        const SnapshotPlacement place = placeSnapshot(snapshot, noteHeight, page);
        const QString reduced = place.percent < 100 ? "Immagine ridotta al " + QString::number(place.percent)
                                                          + " % per stare nella pagina: non in scala"
                                                    : QString();
        const QString date = "Data salvataggio snapshot : " + snapshot.savedAt.toHtmlEscaped();
        const auto title = std::make_shared<Block>(printer, titleBarHtml(date, reduced));
        const auto noteTitle = std::make_shared<Block>(printer, titleBarHtml(date)); // the pages after the image
        const auto note = std::make_shared<Block>(printer, noteHtml, BodyPointSize, BodyHeight, place.size.height());
        for (int i = 0; i < note->pageCount(); ++i) {
            pages.push_back([&painter, &page, snapshot, noteHeight, title, noteTitle, note, i] {
                (i == 0 ? title : noteTitle)->draw(painter, TitleBarHeight);
                painter.translate(0, TitleBarHeight);
                if (i == 0) {
                    const SnapshotPlacement image = placeSnapshot(snapshot, noteHeight, page);
                    painter.drawImage(QRectF(QPointF(0, 0), image.size), image.image);
                }
                note->drawPage(painter, i);
            });
        }
    }
    m_pageCount = int(pages.size());

    if (!painter.begin(&printer)) {
        m_error = "cannot write " + m_pdfPath;
        return false;
    }
    // Snapshots are plots: thin lines on a grid, which JPEG blurs and deflate packs smaller.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    qInfo().noquote() << "Printer width : " + QString::number(page.width());
    qInfo().noquote() << "Printer height : " + QString::number(page.height());
    qInfo().noquote() << "Doc width : " + QString::number(first->pageSize().width());
    qInfo().noquote() << "Doc height : " + QString::number(first->pageSize().height());
    for (int n = 0; n < m_pageCount; ++n) {
        if (n > 0)
            printer.newPage();
        painter.save();
        pages[size_t(n)]();
        painter.restore();
        painter.save();
        painter.translate(0, FooterTop);
        Block(printer, footerHtml(input, n + 1, m_pageCount)).draw(painter);
        painter.restore();
    }

    painter.end();
    if (!isCompletePdf(m_pdfPath)) {
        m_error = "the report could not be written completely to " + m_pdfPath + " (disk full?)";
        QFile::remove(m_pdfPath);
        return false;
    }
    return true;
}
