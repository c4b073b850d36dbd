#include "review/data/BeatFile.h"

#include "review/data/ReviewEvents.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QHash>

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

constexpr int TokensRead = 7;
// Beat times beyond this many seconds do not fit 64-bit milliseconds.
constexpr double MaxSeconds = 9.0e15;

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

bool BeatFile::read(const QString &path)
{
    m_error.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        parse(QByteArray());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        parse(QByteArray());
        return false;
    }
    parse(bytes);
    return true;
}

void BeatFile::parse(const QByteArray &bytes)
{
    m_sourceId = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex());
    m_lines.clear();
    m_annotationCount = 0;
    m_normalCount = 0;
    m_lines.reserve(bytes.count('\n') + 1);
    TokenTexts texts;
    const char *p = bytes.constData();
    const char *const end = p + bytes.size();
    Token tokens[TokensRead];
    int withoutTime = 0;
    while (p < end) {
        const char *lineEnd = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd)
            lineEnd = end;
        // A blank line is no annotation: it is neither a beat nor counted.
        if (tokenize(p, lineEnd, tokens) > 0) {
            BeatLine line;
            line.seconds = clockSeconds(tokens[0].begin, tokens[0].end);
            // "nan" and "inf" read as numbers, and so does a time of 10^300 s: none of them has a
            // place on the time axis (nor in 64-bit milliseconds). Such a line is left out.
            if (!(std::fabs(line.seconds) < MaxSeconds)) {
                ++withoutTime;
                p = lineEnd + 1;
                continue;
            }
            line.ms = std::llround(line.seconds * 1000.0);
            line.sample = integer(tokens[1]);
            line.code = texts.text(tokens[2]);
            line.channel = texts.text(tokens[4]);
            line.aux = texts.text(tokens[6]);
            if (line.code != QLatin1String("+"))
                ++m_annotationCount;
            if (line.code == QLatin1String("N") || line.code == QLatin1String("s"))
                ++m_normalCount;
            m_lines.append(std::move(line));
        }
        p = lineEnd + 1;
    }
    if (withoutTime > 0)
        qWarning().noquote() << withoutTime << "annotations without a valid time left out";
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
