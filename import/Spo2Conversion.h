#pragma once

// The pulse oximeter's export (Puls.txt): a header line holding "VERSION", then lines of exactly
// 9 comma-separated fields: not used, year, month, day, hour, minute, second (local time), pulse,
// SpO2. Converted into spo2.txt: little-endian records of a signed 32-bit time in ms from the
// recording start and the float32 SpO2 value, for the lines not before the start.

#include <QDateTime>
#include <QString>

// Returns true when the conversion FAILED (the source cannot be read, the destination cannot be
// written, or the header lacks "VERSION", in which case the destination is deleted), false when
// it ran to the end of the source. Lines with another field count, or whose date and time are not
// valid, are skipped; a value that is not a number reads as 0.
bool convertSpo2File(const QString &sourcePath, const QString &destinationPath,
                     const QDateTime &recordingStart);
