#include "review/data/ReviewEvents.h"

#include "import/RecordingFormat.h"

#include <QHash>

#include <cmath>
#include <limits>
#include <string>
#include <unordered_map>

namespace {

struct CodeType {
    const char *code;
    const char *type;
};

const CodeType codeTypes[] = {
    {"V", "veb"},           {"S", "sveb"},           {"P", "pause"},        {"COUPLET", "couplet"},
    {"T", "trigemia"},      {"TRIPLET", "triplet"},  {"B", "bigemia"},      {"SVT", "svt"},
    {"SBR", "bradichardia"}, {"RONT", "ront"},       {"VT", "vt"},          {"RRLONG", "rrlong"},
    {"AFIB", "afib"},       {"APNC", "apneacent"},   {"ST", "st"},          {"APNO", "apneaost"},
    {"FCMAX", "maxfrequency"}, {"IPO", "ipopnea"},   {"FCMIN", "minfrequency"}, {"DESAT", "desaturation"},
};

const QHash<QString, QString> &typeOfCode()
{
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> t;
        for (const CodeType &entry : codeTypes)
            t.insert(QLatin1String(entry.code), QLatin1String(entry.type));
        return t;
    }();
    return table;
}

const QHash<QString, QString> &codeOfType()
{
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> t;
        for (const CodeType &entry : codeTypes)
            t.insert(QLatin1String(entry.type), QLatin1String(entry.code));
        return t;
    }();
    return table;
}

bool instantaneous(const QString &code) { return code == QLatin1String("V") || code == QLatin1String("P"); }

} // namespace

QString typeName(const QString &code) { return typeOfCode().value(code); }

QString codeOf(const QString &typeName) { return codeOfType().value(typeName); }

bool addedWithoutDuration(const QString &code)
{
    static const QStringList codes = {"V", "S", "P", "COUPLET", "TRIPLET", "RONT", "RRLONG", "FCMAX", "FCMIN"};
    return codes.contains(code);
}

bool heartRateKind(const QString &code) { return code == QLatin1String("FCMAX") || code == QLatin1String("FCMIN"); }

bool rowInsideRecording(const AnnotationRecord &row)
{
    const auto inside = [](int64_t ms) { return ms >= 0 && ms <= int64_t(MaxRecordingMs); };
    if (!inside(row.m_dateStart) || !inside(row.m_dateMax))
        return false;
    if (inside(row.m_dateEnd))
        return true;
    if (!heartRateKind(codeOf(QString::fromStdString(row.m_type))))
        return false;
    constexpr int64_t largestRate = int64_t(std::numeric_limits<int>::max()) * 1000;
    return row.m_dateEnd >= row.m_dateStart - largestRate && row.m_dateEnd <= row.m_dateStart + largestRate;
}

qint64 secondsToMs(double seconds) { return std::llround(seconds * 1000.0); }

QString Event::status() const
{
    if (added)
        return printed ? reviewstatus::AddedPrint : reviewstatus::Added;
    if (rejected)
        return reviewstatus::Rejected;
    if (accepted)
        return printed ? reviewstatus::Printed : reviewstatus::Checked;
    return reviewstatus::Todo;
}

void Event::setStatus(const QString &status)
{
    accepted = status == reviewstatus::Checked || status == reviewstatus::Printed;
    rejected = status == reviewstatus::Rejected;
    printed = status == reviewstatus::Printed || status == reviewstatus::AddedPrint;
    added = status == reviewstatus::Added || status == reviewstatus::AddedPrint;
}

AnnotationRecord Event::toRecord(int sessionId, const QString &status) const
{
    AnnotationRecord row;
    row.m_id = id;
    row.m_index = index;
    row.m_dateStart = secondsToMs(start);
    row.m_dateEnd = secondsToMs(start + duration);
    // Written back on every update, so that a review action keeps an ST event's extreme.
    if (type == QLatin1String("ST")) {
        row.m_dateMax = secondsToMs(stMaxTime);
        row.m_valueMax = float(stMaxValue);
    }
    row.m_type = typeName(type).toStdString();
    row.m_status = status.toStdString();
    row.m_family = EcgFamily;
    row.m_channel = channels.join(QLatin1Char(',')).toStdString();
    row.m_sessionId = sessionId;
    row.m_sourceId = source.toStdString();
    return row;
}

namespace {

// The few texts the rows of a session repeat (types, channels, the source), converted once.
struct RowTexts {
    std::unordered_map<std::string, QString> codes;
    std::unordered_map<std::string, QStringList> channels;
    std::unordered_map<std::string, QString> sources;

    QString code(const std::string &type)
    {
        auto it = codes.find(type);
        if (it == codes.end())
            it = codes.emplace(type, codeOf(QString::fromStdString(type))).first;
        return it->second;
    }
    QStringList channelList(const std::string &text)
    {
        auto it = channels.find(text);
        if (it == channels.end())
            it = channels.emplace(text, QString::fromStdString(text).split(QLatin1Char(','))).first;
        return it->second;
    }
    QString source(const std::string &text)
    {
        auto it = sources.find(text);
        if (it == sources.end())
            it = sources.emplace(text, QString::fromStdString(text)).first;
        return it->second;
    }
};

std::unique_ptr<Event> eventOfRow(const AnnotationRecord &row, RowTexts &texts)
{
    const QString code = texts.code(row.m_type);
    if (EventList::typeIndex(code) < 0)
        return nullptr;
    auto event = std::make_unique<Event>();
    event->id = row.m_id;
    event->index = row.m_index;
    event->start = double(row.m_dateStart) / 1000.0;
    event->type = code;
    event->source = texts.source(row.m_sourceId);
    event->channels = texts.channelList(row.m_channel);
    if (!instantaneous(code))
        event->duration = double(row.m_dateEnd) / 1000.0 - double(row.m_dateStart) / 1000.0;
    if (code == QLatin1String("ST")) {
        event->stMaxTime = double(row.m_dateMax) / 1000.0;
        event->stMaxValue = double(row.m_valueMax);
    }
    event->setStatus(QString::fromStdString(row.m_status));
    return event;
}

} // namespace

std::unique_ptr<Event> Event::fromRecord(const AnnotationRecord &row)
{
    RowTexts texts;
    return eventOfRow(row, texts);
}

ReviewChoices reviewChoices(const Event &event)
{
    // Later rows win: accepted, then accepted and printed, then rejected, then added.
    ReviewChoices state{QStringLiteral("DA ANALIZZARE"), true, true, true};
    if (event.accepted)
        state = {QStringLiteral("ACCETTATO"), false, true, true};
    if (event.accepted && event.printed)
        state = {QStringLiteral("ACCETTATO E STAMPATO"), true, true, false};
    if (event.rejected)
        state = {QStringLiteral("RIFIUTATO"), true, false, true};
    if (event.added)
        state = {QStringLiteral("AGGIUNTO E STAMPATO"), false, false, false};
    return state;
}

QString durationText(const Event &event)
{
    const QString seconds = QString::number(event.duration, 'g', 6);
    if (event.type == QLatin1String("ST"))
        return seconds + " sec. ( Max : " + QString::number(event.stMaxValue, 'g', 6) + " )";
    return event.duration != 0 ? seconds + " sec. " : QString();
}

namespace {

QString noteRow(const QString &caption, const QString &value)
{
    return "<tr>" + QStringLiteral("<td> <b>") + caption + "</b></td><td>" + value;
}

} // namespace

QString printedEventNote(const Event &event, const QStringList &shownLeads)
{
    QString text = "<html>" + QStringLiteral("<table border=0 width=100% cellpadding=5>")
                   + noteRow("Evento : ", event.type) + "</td></tr>";
    if (!instantaneous(event.type))
        text += noteRow("Durata : ", QString::number(event.duration, 'g', 6)) + " sec. </td></tr>";
    text += noteRow("Canali evento : ", event.channels.value(0).toHtmlEscaped()) + "</td></tr>";
    text += noteRow("Canali visualizzati : ", shownLeads.join(" , ")) + "</td></tr>" + "</table></html>";
    return text;
}

QString addedEventNote(const QString &code, double durationOrValue)
{
    const QString value = QString::number(durationOrValue, 'g', 6);
    QString text = "<html>" + QStringLiteral("<table border=0 width=100% cellpadding=5>")
                   + noteRow("Evento : ", code) + "</td></tr>";
    if (!addedWithoutDuration(code))
        text += noteRow("Durata : ", value) + " sec. </td></tr>";
    if (heartRateKind(code))
        text += noteRow("Valore : ", value) + " </td></tr>";
    return text + "</table></html>";
}

// ---------------------------------------------------------------------------------------------

const QStringList &EventList::codes()
{
    static const QStringList list = {"V", "VT", "SBR", "P", "B", "T", "ST"};
    return list;
}

int EventList::typeIndex(const QString &code) { return codes().indexOf(code); }

bool EventList::add(std::unique_ptr<Event> event)
{
    const int type = event ? typeIndex(event->type) : -1;
    if (type < 0)
        return false;
    m_events[size_t(type)].push_back(std::move(event));
    return true;
}

void EventList::clear()
{
    for (auto &group : m_events)
        group.clear();
}

void EventList::build(const std::vector<AnnotationRecord> &rows)
{
    clear();
    RowTexts texts;
    for (const AnnotationRecord &row : rows)
        add(eventOfRow(row, texts));
}

int EventList::size(int type) const { return validType(type) ? int(m_events[size_t(type)].size()) : 0; }

Event *EventList::at(int type, int i) const
{
    if (!validType(type) || i < 0 || i >= size(type))
        return nullptr;
    return m_events[size_t(type)][size_t(i)].get();
}

int EventList::cursor(int type) const { return validType(type) ? m_cursors[size_t(type)] : 0; }

Event *EventList::current(int type) const { return at(type, cursor(type)); }

bool EventList::next(int type)
{
    if (!validType(type) || cursor(type) + 1 >= size(type))
        return false;
    ++m_cursors[size_t(type)];
    return true;
}

bool EventList::previous(int type)
{
    if (!validType(type) || cursor(type) - 1 < 0 || cursor(type) - 1 >= size(type))
        return false;
    --m_cursors[size_t(type)];
    return true;
}

void EventList::resetCursors() { m_cursors.fill(0); }

void EventList::clampCursors()
{
    for (int type = 0; type < TypeCount; ++type) {
        int &cursor = m_cursors[size_t(type)];
        if (size(type) > 0 && cursor >= size(type))
            cursor = size(type) - 1;
    }
}
