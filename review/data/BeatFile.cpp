#include "review/data/BeatFile.h"

#include "import/RecordingFormat.h"
#include "review/data/ReviewEvents.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QHash>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr int TokensRead = 7;
// A beat outside the recording marks nothing; far outside, its milliseconds would not even fit
// the arithmetic of the rows made from it.
constexpr double MaxSeconds = MaxRecordingMs / 1000.0;
// The file is hashed and split a chunk at a time.
constexpr qint64 ChunkBytes = 1 << 20;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

struct Token {
    const char *begin = nullptr;
    const char *end = nullptr;
};

// Splits [begin, end) at blanks into at most TokensRead tokens; missing ones stay empty.
int tokenize(const char *begin, const char *end, Token (&tokens)[TokensRead])
{
    int n = 0;
    const char *p = begin;
    while (p < end && n < TokensRead) {
        while (p < end && isBlank(*p))
            ++p;
        const char *start = p;
        while (p < end && !isBlank(*p))
            ++p;
        if (p > start)
            tokens[n++] = {start, p};
    }
    for (int i = n; i < TokensRead; ++i)
        tokens[i] = {};
    return n;
}

// A decimal number as QString::toDouble reads it: the whole text or 0.
double decimal(const char *begin, const char *end)
{
    if (begin < end && *begin == '+')
        ++begin;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end ? value : 0.0;
}

int integer(const Token &token)
{
    int value = 0;
    const auto [stop, error] = std::from_chars(token.begin, token.end, value);
    return error == std::errc() && stop == token.end ? value : 0;
}

// The tokens of a beat file repeat a handful of texts ("N", "V", "L2", "(N"...): each line shares
// them instead of holding copies.
class TokenTexts
{
public:
    QString text(const Token &token)
    {
        if (token.begin == token.end)
            return QString();
        const QByteArray key = QByteArray::fromRawData(token.begin, int(token.end - token.begin));
        const auto known = m_texts.constFind(key);
        if (known != m_texts.constEnd())
            return known.value();
        const QByteArray owned(token.begin, int(token.end - token.begin));
        return m_texts.insert(owned, QString::fromLatin1(owned)).value();
    }

private:
    QHash<QByteArray, QString> m_texts;
};

struct Episode {
    bool open = false;
    int sample = 0;
    QString channel;
    qint64 startMs = 0;
    QString label;
    bool hasExtreme = false;
    qint64 extremeMs = 0;
    double extremeValue = 0;
};

AnnotationRecord row(const QString &type, int sample, qint64 startMs, qint64 endMs, const QString &channel,
                     int sessionId, const std::string &sourceId)
{
    AnnotationRecord r;
    r.m_index = sample;
    r.m_dateStart = startMs;
    r.m_dateEnd = endMs;
    r.m_type = type.toStdString();
    r.m_status = reviewstatus::Todo.toStdString();
    r.m_family = EcgFamily;
    r.m_channel = channel.toStdString();
    r.m_sessionId = sessionId;
    r.m_sourceId = sourceId;
    return r;
}

} // namespace

double clockSeconds(const char *begin, const char *end)
{
    double seconds = 0;
    while (begin <= end) {
        const char *colon = static_cast<const char *>(std::memchr(begin, ':', size_t(end - begin)));
        const char *fieldEnd = colon ? colon : end;
        seconds = seconds * 60 + decimal(begin, fieldEnd);
        if (!colon)
            break;
        begin = colon + 1;
    }
    return seconds;
}

// Splits the bytes into lines as they arrive, keeping the annotation lines: a line cut by the end
// of a chunk waits (at most MaxLineBytes of it) for the rest.
class BeatFile::Reader
{
public:
    explicit Reader(BeatFile &file) : m_file(file)
    {
        m_file.m_error.clear();
        m_file.m_sourceId.clear();
        m_file.m_lines.clear();
        m_file.m_annotationCount = 0;
        m_file.m_normalCount = 0;
    }

    // False when the file holds more annotations than any recording.
    bool feed(const char *p, const char *end)
    {
        while (p < end) {
            const char *lineEnd = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
            if (!lineEnd) {
                keep(p, end);
                return true;
            }
            if (m_partial.isEmpty()) {
                if (!line(p, lineEnd))
                    return false;
            } else {
                keep(p, lineEnd);
                if (!line(m_partial.constData(), m_partial.constData() + m_partial.size()))
                    return false;
                m_partial.clear();
            }
            p = lineEnd + 1;
        }
        return true;
    }

    // The last line may have no line end.
    bool finish()
    {
        const bool ok = line(m_partial.constData(), m_partial.constData() + m_partial.size());
        m_partial.clear();
        if (m_withoutTime > 0)
            qWarning().noquote() << m_withoutTime << "annotations without a valid time left out";
        return ok;
    }

    bool refuse(const QString &error)
    {
        m_file.m_error = error;
        m_file.m_lines.clear();
        m_file.m_annotationCount = 0;
        m_file.m_normalCount = 0;
        return false;
    }

private:
    void keep(const char *begin, const char *end)
    {
        const int room = MaxLineBytes - m_partial.size();
        if (room > 0)
            m_partial.append(begin, int(std::min<qint64>(room, end - begin)));
    }

    bool line(const char *begin, const char *end)
    {
        end = std::min(end, begin + MaxLineBytes);
        // A blank line is no annotation: it is neither a beat nor counted.
        if (tokenize(begin, end, m_tokens) == 0)
            return true;
        BeatLine line;
        line.seconds = clockSeconds(m_tokens[0].begin, m_tokens[0].end);
        // "nan" and "inf" read as numbers, and so do a negative time and one of 10^300 s: none of
        // them has a place on the recording's time axis. Such a line is left out.
        if (!(line.seconds >= 0 && line.seconds <= MaxSeconds)) {
            ++m_withoutTime;
            return true;
        }
        if (m_file.m_lines.size() >= MaxAnnotations)
            return refuse(QStringLiteral("more than %1 annotations: no recording holds so many").arg(MaxAnnotations));
        line.ms = std::llround(line.seconds * 1000.0);
        line.sample = integer(m_tokens[1]);
        line.code = m_texts.text(m_tokens[2]);
        line.channel = m_texts.text(m_tokens[4]);
        line.aux = m_texts.text(m_tokens[6]);
        if (line.code != QLatin1String("+"))
            ++m_file.m_annotationCount;
        if (line.code == QLatin1String("N") || line.code == QLatin1String("s"))
            ++m_file.m_normalCount;
        m_file.m_lines.append(std::move(line));
        return true;
    }

    BeatFile &m_file;
    TokenTexts m_texts;
    Token m_tokens[TokensRead];
    QByteArray m_partial;
    int m_withoutTime = 0;
};

bool BeatFile::read(const QString &path)
{
    Reader reader(*this);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return reader.refuse(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    QCryptographicHash md5(QCryptographicHash::Md5);
    QByteArray chunk;
    while (!file.atEnd()) {
        chunk = file.read(ChunkBytes);
        if (file.error() != QFileDevice::NoError)
            return reader.refuse(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        md5.addData(chunk);
        if (!reader.feed(chunk.constData(), chunk.constData() + chunk.size()))
            return reader.refuse(QStringLiteral("%1 refused: %2").arg(path, m_error));
    }
    if (file.error() != QFileDevice::NoError)
        return reader.refuse(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    if (!reader.finish())
        return reader.refuse(QStringLiteral("%1 refused: %2").arg(path, m_error));
    m_sourceId = QString::fromLatin1(md5.result().toHex());
    return true;
}

bool BeatFile::parse(const QByteArray &bytes)
{
    Reader reader(*this);
    m_sourceId = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    return reader.feed(bytes.constData(), bytes.constData() + bytes.size()) && reader.finish();
}

QVector<Beat> BeatFile::beatList() const
{
    QVector<Beat> beats;
    beats.reserve(m_annotationCount);
    for (const BeatLine &line : m_lines) {
        if (line.code != QLatin1String("+"))
            beats.append({line.seconds, line.code});
    }
    return beats;
}

std::vector<AnnotationRecord> beatFileRows(const QVector<BeatLine> &lines, int sessionId, const QString &sourceId)
{
    const std::string source = sourceId.toStdString();
    std::vector<AnnotationRecord> rows;
    Episode episode;
    const auto open = [&episode](const BeatLine &line) {
        episode = Episode();
        episode.open = true;
        episode.sample = line.sample;
        episode.channel = line.channel;
        episode.startMs = line.ms;
        episode.label = line.aux.mid(1).trimmed();
        if (episode.label == QLatin1String("SVT"))
            episode.label = QStringLiteral("VT");
    };
    for (const BeatLine &line : lines) {
        if (line.code == QLatin1String("V")) {
            rows.push_back(row(typeName("V"), line.sample, line.ms, line.ms, line.channel, sessionId, source));
            continue;
        }
        if (line.aux == QLatin1String("(P)")) {
            rows.push_back(row(typeName("P"), line.sample, line.ms, line.ms, line.channel, sessionId, source));
            continue;
        }
        if (line.code != QLatin1String("+") && line.code != QLatin1String("s"))
            continue;
        const QString aux = line.aux.trimmed();
        if (aux.startsWith(QLatin1String("AST"))) {
            // An ST value inside an ST episode; it does not end the episode.
            bool ok = false;
            const double value = aux.mid(4).toDouble(&ok);
            if (ok && episode.open && episode.label == QLatin1String("ST")
                && (!episode.hasExtreme || std::abs(value) > std::abs(episode.extremeValue))) {
                episode.hasExtreme = true;
                episode.extremeMs = line.ms;
                episode.extremeValue = value;
            }
            continue;
        }
        const bool normal = line.aux == QLatin1String("(N");
        if (episode.open) {
            const QString type = typeName(episode.label);
            if (type != QLatin1String("afib")) {
                AnnotationRecord r =
                    row(type, episode.sample, episode.startMs, line.ms, episode.channel, sessionId, source);
                if (episode.label == QLatin1String("ST")) {
                    r.m_dateMax = episode.extremeMs;
                    r.m_valueMax = float(episode.extremeValue);
                }
                rows.push_back(std::move(r));
            }
            episode.open = false;
        }
        if (!normal)
            open(line);
    }
    return rows;
}
