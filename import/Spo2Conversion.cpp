#include "import/Spo2Conversion.h"

#include <QDebug>
#include <QFile>
#include <QStringList>
#include <QtEndian>

#include <limits>

namespace {

bool failAndRemove(QFile &destination)
{
    destination.close();
    destination.remove();
    return true;
}

} // namespace

bool convertSpo2File(const QString &sourcePath, const QString &destinationPath,
                     const QDateTime &recordingStart)
{
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text))
        return true;
    QFile destination(destinationPath);
    if (!destination.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return true;

    const qint64 startMs = recordingStart.toMSecsSinceEpoch();
    bool firstLine = true;
    while (!source.atEnd()) {
        const QString line = QString::fromLatin1(source.readLine()).remove(QLatin1Char('\n'));
        if (firstLine) {
            firstLine = false;
            qInfo().noquote() << "HEADER" << line;
            if (!line.contains(QLatin1String("VERSION")))
                return failAndRemove(destination);
        }
        const QStringList fields = line.split(QLatin1Char(','));
        if (fields.size() != 9)
            continue;
        const float value = fields[8].trimmed().toFloat();
        const QDate date(fields[1].toInt(), fields[2].toInt(), fields[3].toInt());
        const QTime time(fields[4].toInt(), fields[5].toInt(), fields[6].toInt());
        if (!date.isValid() || !time.isValid())
            continue;
        const qint64 offset = QDateTime(date, time, Qt::LocalTime).toMSecsSinceEpoch() - startMs;
        // A time that does not fit the file's 32 bits belongs to another recording.
        if (offset < 0 || offset > std::numeric_limits<qint32>::max())
            continue;
        qInfo().noquote() << "TS" << offset;
        uchar record[8];
        qToLittleEndian<qint32>(qint32(offset), record);
        qToLittleEndian<float>(value, record + 4);
        if (destination.write(reinterpret_cast<const char *>(record), sizeof record) != qint64(sizeof record))
            return failAndRemove(destination);
    }
    if (!destination.flush())
        return failAndRemove(destination);
    destination.close();
    return false;
}
