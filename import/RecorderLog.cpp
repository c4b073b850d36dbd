#include "import/RecorderLog.h"

#include <QDebug>
#include <QFile>

#include <algorithm>
#include <limits>

RecorderLog RecorderLog::parse(const QByteArray &text)
{
    RecorderLog log;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QStringList parts = QString::fromLatin1(line).split(QLatin1Char(':'));
        const QString value = parts.size() > 1 ? parts[1] : QString();
        if (parts.contains(QLatin1String("ID_SESSIONE")))
            log.m_sessionIds.append(value.trimmed());
        if (parts.contains(QLatin1String("START_ACQ")))
            log.m_acquisitionStart = parseTime(value);
        if (parts.contains(QLatin1String("START_MISSING_DATA")))
            log.m_missingStarts.append(parseTime(value));
        if (parts.contains(QLatin1String("STOP_MISSING_DATA")))
            log.m_missingStops.append(parseTime(value));
    }
    return log;
}

bool RecorderLog::read(const QString &path, RecorderLog *log, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *log = parse(file.readAll());
    return true;
}

QDateTime RecorderLog::parseTime(const QString &value)
{
    bool valid = true;
    const auto field = [&value, &valid](int from, int length) {
        bool ok = false;
        const int number = value.midRef(from, length).toInt(&ok);
        valid = valid && ok;
        return number;
    };
    const QDate date(field(0, 4), field(4, 2), field(6, 2));
    const QTime time(field(8, 2), field(10, 2), field(12, 2));
    if (!valid || !date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::LocalTime);
}

QVector<MissingInterval> RecorderLog::missingIntervals() const
{
    return pairMissingMarks(m_acquisitionStart, m_missingStarts, m_missingStops);
}

QVector<MissingInterval> RecorderLog::pairMissingMarks(const QDateTime &acquisitionStart,
                                                       const QVector<QDateTime> &starts,
                                                       const QVector<QDateTime> &stops)
{
    QVector<MissingInterval> intervals;
    if (!acquisitionStart.isValid())
        return intervals;
    const int pairs = std::min(starts.size(), stops.size());
    for (int i = 0; i < pairs; ++i) {
        if (!starts[i].isValid() || !stops[i].isValid())
            continue;
        const qint64 start = acquisitionStart.msecsTo(starts[i]);
        const qint64 stop = acquisitionStart.msecsTo(stops[i]);
        if (start < 0 || stop < start || stop > qint64(std::numeric_limits<quint32>::max())) {
            qWarning().noquote() << "Missing data ignored:" << starts[i].toString(Qt::ISODate) << "to"
                                 << stops[i].toString(Qt::ISODate) << "with the acquisition started at"
                                 << acquisitionStart.toString(Qt::ISODate);
            continue;
        }
        intervals.append({quint32(start), quint32(stop)});
    }
    return intervals;
}

QString describeIntervals(const QVector<MissingInterval> &intervals)
{
    QStringList parts;
    for (const MissingInterval &interval : intervals)
        parts.append(QStringLiteral("(%1, %2)").arg(interval.start).arg(interval.stop));
    return parts.join(QLatin1Char(' '));
}
