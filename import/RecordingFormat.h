#pragma once

// The decoded recording files of a session folder and the vocabulary shared by the decoder
// that writes them and the review loader that reads them back.
//
// Each file is a run of fixed-size little-endian records without header or separator: the file
// time (unsigned 32 bits, milliseconds from the first record of the recording), then the channel
// values as float32. Being sorted by file time, a file is its own time index.

#include <QtEndian>
#include <QtGlobal>

enum class Stream { Ecg, Breath, Imu };

struct DecodedFormat {
    const char *fileName;
    int valueCount;      // values after the file time
    int recordSize;      // bytes per record: 4 + 4 * valueCount
    quint32 stepMs;      // the recorder's sample period, also the step of gap fill records
};

inline constexpr DecodedFormat EcgFormat{"ecg.txt", 8, 36, 2};
inline constexpr DecodedFormat BreathFormat{"breath.txt", 5, 24, 20};
inline constexpr DecodedFormat ImuFormat{"imu.txt", 3, 16, 20};
inline constexpr int MaxStreamValues = 8;

// No recording is longer than this on its continuous time base: the decoder refuses to carry a card
// past it, and the review takes later file times for damage. Well inside the files' 32 bits.
inline constexpr quint32 MaxRecordingMs = 48u * 3600u * 1000u;

// The twelve leads in the review's order (the 8 recorded channels, then III, aVR, aVL, aVF), named
// as the review's plots and the analysis tool's files (split_<name>.txt, annotation channels) name them.
inline constexpr int LeadCount = 12;
inline constexpr const char *LeadNames[LeadCount] = {"V6", "L1", "L2", "V2", "V3", "V4",
                                                     "V5", "V1", "L3", "AVR", "AVL", "AVF"};

// The copy of the recorder's log kept in a session folder.
inline constexpr char SessionLogFileName[] = "logfile.txt";

constexpr const DecodedFormat &decodedFormat(Stream stream)
{
    return stream == Stream::Ecg ? EcgFormat : stream == Stream::Breath ? BreathFormat : ImuFormat;
}

// Field access on one record in memory (a read buffer or a memory-mapped file).
inline quint32 recordFileTime(const uchar *record)
{
    return qFromLittleEndian<quint32>(record);
}

inline float recordValue(const uchar *record, int valueIndex)
{
    return qFromLittleEndian<float>(record + 4 + 4 * valueIndex);
}

inline void putRecord(uchar *record, quint32 fileTime, const float *values, int valueCount)
{
    qToLittleEndian<quint32>(fileTime, record);
    for (int i = 0; i < valueCount; ++i)
        qToLittleEndian<float>(values[i], record + 4 + 4 * i);
}

// A period the recorder's log reports as missing, in milliseconds from the acquisition start.
struct MissingInterval {
    quint32 start = 0;
    quint32 stop = 0;
    bool operator==(const MissingInterval &other) const
    {
        return start == other.start && stop == other.stop;
    }
};
