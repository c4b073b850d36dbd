#include "import/RecorderLog.h"

#include <QFile>

#include <algorithm>

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
    QVector<MissingInterval> intervals;
    if (!m_acquisitionStart.isValid())
        return intervals;
    const int pairs = std::min(m_missingStarts.size(), m_missingStops.size());
    for (int i = 0; i < pairs; ++i) {
        if (!m_missingStarts[i].isValid() || !m_missingStops[i].isValid())
            continue;
        intervals.append({quint32(m_acquisitionStart.msecsTo(m_missingStarts[i])),
                          quint32(m_acquisitionStart.msecsTo(m_missingStops[i]))});
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
