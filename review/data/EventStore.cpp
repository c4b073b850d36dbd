#include "review/data/EventStore.h"

#include "db/Database.h"
#include "review/data/BeatFile.h"

#include <QDebug>

#include <algorithm>
#include <string>

namespace {

void logRow(const AnnotationRecord &row)
{
    qInfo().noquote() << "Write to db";
    row.print();
}

} // namespace

bool listEventRows(Database &db, int sessionId, const QString &source, std::vector<AnnotationRecord> *rows)
{
    rows->clear();
    if (!db.listAnnotations(sessionId, source.toStdString(), *rows))
        return false;
    const auto outside = std::remove_if(rows->begin(), rows->end(),
                                        [](const AnnotationRecord &row) { return !rowInsideRecording(row); });
    if (outside != rows->end()) {
        qWarning().noquote() << int(rows->end() - outside) << "event rows with times outside the recording left out";
        rows->erase(outside, rows->end());
    }
    return true;
}

bool EventStore::fail(const QString &what)
{
    m_error = what;
    if (m_database && !m_database->lastError().isEmpty())
        m_error += ": " + m_database->lastError();
    return false;
}

bool EventStore::list(std::vector<AnnotationRecord> *rows)
{
    rows->clear();
    if (!m_database)
        return fail(QStringLiteral("no database"));
    if (!listEventRows(*m_database, m_sessionId, m_sourceId, rows))
        return fail(QStringLiteral("the events could not be read from the database"));
    return true;
}

bool EventStore::load(int sessionId, const BeatFile &file, bool readOnly)
{
    m_error.clear();
    m_sessionId = sessionId;
    m_sourceId = file.sourceId();
    m_wroteRows = false;
    m_keptOtherRows = false;
    m_rowCount = 0;
    m_list.clear();
    // A newly loaded analysis starts at the first event of each type.
    m_list.resetCursors();

    std::vector<AnnotationRecord> rows;
    if (!list(&rows))
        return false;
    qInfo().noquote() << "ANNOTATION LIST READ";
    if (!rows.empty()) {
        qInfo().noquote() << "LOADING EVENTS 1";
        m_list.build(rows);
        m_rowCount = int(rows.size());
        qInfo().noquote() << "END OF LOADING EVENTS 1";
        return true;
    }
    if (readOnly)
        return keepStoredRows();

    qInfo().noquote() << "WRITING EVENTS";
    std::vector<AnnotationRecord> converted = beatFileRows(file.lines(), sessionId, m_sourceId);
    if (!m_database->insertAnnotations(converted))
        return fail(QStringLiteral("the events of the analysis could not be stored"));
    m_wroteRows = true;
    qInfo().noquote() << "END OF WRITING EVENTS";
    if (!list(&rows))
        return false;
    qInfo().noquote() << "LOADING EVENTS";
    m_list.build(rows);
    m_rowCount = int(rows.size());
    qInfo().noquote() << "END OF LOADING EVENTS";
    return true;
}

bool EventStore::keepStoredRows()
{
    // The beat file has changed since the session was closed: its report was made from the rows
    // of the source written last, which are shown as they are.
    const QString fileSource = m_sourceId;
    m_sourceId.clear(); // every source of the session
    std::vector<AnnotationRecord> all;
    if (!list(&all))
        return false;
    std::string source = fileSource.toStdString();
    int lastId = -1;
    for (const AnnotationRecord &row : all) {
        if (row.m_id > lastId) {
            lastId = row.m_id;
            source = row.m_sourceId;
        }
    }
    m_sourceId = QString::fromStdString(source);
    std::vector<AnnotationRecord> rows;
    for (AnnotationRecord &row : all)
        if (row.m_sourceId == source)
            rows.push_back(std::move(row));
    qInfo().noquote() << "Analysed session: the rows of source " + m_sourceId + " kept, the beat file "
                             + fileSource + " not converted";
    m_list.build(rows);
    m_rowCount = int(rows.size());
    m_keptOtherRows = true;
    return true;
}

void EventStore::clear()
{
    m_list.clear();
    m_list.resetCursors();
    m_sourceId.clear();
    m_wroteRows = false;
    m_keptOtherRows = false;
    m_rowCount = 0;
}

bool EventStore::reload()
{
    std::vector<AnnotationRecord> rows;
    if (!list(&rows))
        return false;
    m_list.build(rows);
    m_list.clampCursors();
    m_rowCount = int(rows.size());
    return true;
}

bool EventStore::review(Event *event, const QString &status)
{
    m_error.clear();
    if (!event)
        return fail(QStringLiteral("no event"));
    if (!m_database)
        return fail(QStringLiteral("no database"));
    const AnnotationRecord row = event->toRecord(m_sessionId, status);
    logRow(row);
    if (!m_database->updateAnnotation(row))
        return fail(QStringLiteral("the event could not be stored"));
    event->setStatus(status);
    return true;
}

bool EventStore::addEvent(const QString &code, double start, double duration, const QStringList &channels,
                          bool print)
{
    m_error.clear();
    if (!m_database)
        return fail(QStringLiteral("no database"));
    Event added;
    added.id = 0; // a new row: the database numbers it
    added.index = AddedEventIndex;
    added.start = start;
    added.type = code;
    added.source = m_sourceId;
    added.channels = channels;
    added.duration = duration;
    AnnotationRecord row = added.toRecord(m_sessionId, print ? reviewstatus::AddedPrint : reviewstatus::Added);
    logRow(row);

    bool stored = false;
    if (heartRateKind(code)) {
        std::vector<AnnotationRecord> rows;
        if (!list(&rows))
            return false;
        for (const AnnotationRecord &earlier : rows) {
            const QString status = QString::fromStdString(earlier.m_status);
            if (earlier.m_type == row.m_type && (status == reviewstatus::Added || status == reviewstatus::AddedPrint)) {
                row.m_id = earlier.m_id;
                if (!m_database->updateAnnotation(row))
                    return fail(QStringLiteral("the event could not be stored"));
                stored = true;
                break;
            }
        }
    }
    if (!stored && !m_database->insertAnnotation(row))
        return fail(QStringLiteral("the event could not be stored"));
    return reload();
}
