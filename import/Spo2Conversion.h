#pragma once

// The pulse oximeter's export (Puls.txt, read by import/OximeterExport.h) converted into spo2.txt:
// little-endian records of a signed 32-bit time in ms from the recording start and the float32
// SpO2 value, for the lines not before the start.

#include <QDateTime>
#include <QString>

// Returns true when the conversion FAILED (the source cannot be read, the destination cannot be
// written, or the header lacks "VERSION", in which case the destination is deleted), false when
// it ran to the end of the source. Lines the export reader does not use are skipped, and so are
// lines before the recording start or too far after it for 32 bits of ms. *recordsWritten, when
// given, receives the number of records written: 0 for an export without a usable line.
bool convertSpo2File(const QString &sourcePath, const QString &destinationPath,
                     const QDateTime &recordingStart, qint64 *recordsWritten = nullptr);
