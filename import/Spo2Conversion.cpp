#include "import/Spo2Conversion.h"

#include "import/OximeterExport.h"

#include <QDebug>
#include <QFile>
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
                     const QDateTime &recordingStart, qint64 *recordsWritten)
{
    if (recordsWritten)
        *recordsWritten = 0;
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return true;
    QFile destination(destinationPath);
    if (!destination.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return true;

    // The lines are cut from the bytes as they are: a NUL byte must reach the reader, not end the
    // line's text early.
    const QByteArray text = source.readAll();
    const qint64 startMs = recordingStart.toMSecsSinceEpoch();
    OximeterExportReader reader;
    qint64 written = 0;
    for (int from = 0; from < text.size();) {
        int to = text.indexOf('\n', from);
        if (to < 0)
            to = text.size();
        const int next = to + 1;
        if (to > from && text[to - 1] == '\r')
            --to;
        if (from == 0) {
            const QByteArray header = text.mid(0, to);
            qInfo().noquote() << "HEADER" << QString::fromLatin1(header);
            if (!header.contains("VERSION"))
                return failAndRemove(destination);
        }
        OximeterSample sample;
        const bool used = reader.read(text.constData() + from, text.constData() + to, &sample);
        from = next;
        if (!used)
            continue;
        const qint64 offset = sample.msecsSinceEpoch - startMs;
        // A time that does not fit the file's 32 bits belongs to another recording.
        if (offset < 0 || offset > std::numeric_limits<qint32>::max())
            continue;
        qInfo().noquote() << "TS" << offset;
        uchar record[8];
        qToLittleEndian<qint32>(qint32(offset), record);
        qToLittleEndian<float>(float(sample.spo2), record + 4);
        if (destination.write(reinterpret_cast<const char *>(record), sizeof record) != qint64(sizeof record))
            return failAndRemove(destination);
        ++written;
    }
    if (!destination.flush())
        return failAndRemove(destination);
    destination.close();
    if (recordsWritten)
        *recordsWritten = written;
    return false;
}
