// Recording commands of tavokrn-tool: synthetic card data, decoding a copy of the recorder's
// card, converting the oximeter's export.
#include "Commands.h"

#include "import/RecordingDecoder.h"
#include "import/Spo2Conversion.h"
#include "sim/SyntheticAnalysis.h"
#include "sim/SyntheticRecorder.h"
#include "sim/SyntheticTruth.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

namespace {

// Parses `args` (without the command name) expecting `positional` arguments; on a usage error
// prints it and returns false.
bool parse(QCommandLineParser &parser, const char *command, const QStringList &args, int positional)
{
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args)) {
        fail(command, parser.errorText());
        return false;
    }
    if (parser.positionalArguments().size() != positional) {
        fail(command, QStringLiteral("%1 argument(s) expected, %2 given")
                          .arg(positional)
                          .arg(parser.positionalArguments().size()));
        return false;
    }
    return true;
}

QString clockText(quint64 ms)
{
    const quint64 seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool isSessionId(const QString &id)
{
    if (id.size() != 20)
        return false;
    for (const QChar c : id) {
        if (c.unicode() > 127 || !c.isLetterOrNumber())
            return false;
    }
    return true;
}

} // namespace

int tool::synth(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("OUT_FOLDER"), QStringLiteral("folder to write the card files into"));
    const QCommandLineOption hours(QStringLiteral("hours"), QStringLiteral("length of the recording (fractions allowed), default 24"), QStringLiteral("H"));
    const QCommandLineOption seed(QStringLiteral("seed"), QStringLiteral("random seed, default 1"), QStringLiteral("N"));
    const QCommandLineOption calibration(QStringLiteral("calibration"), QStringLiteral("session calibration text: gain,8 factors"), QStringLiteral("TEXT"));
    const QCommandLineOption sessionId(QStringLiteral("session-id"), QStringLiteral("20-character session identifier"), QStringLiteral("FC+NNNN"));
    const QCommandLineOption fileMinutes(QStringLiteral("file-minutes"), QStringLiteral("recording time per card file, default 60"), QStringLiteral("M"));
    const QCommandLineOption analysis(QStringLiteral("analysis"), QStringLiteral("also write the analysis results (beats with rhythm episodes, positions, split files) into this folder"), QStringLiteral("ANALISI_FOLDER"));
    const QCommandLineOption capture(QStringLiteral("capture"), QStringLiteral("a recorder without drop-outs; its ECG and respiration stream also written into this file, as the live page replays it"), QStringLiteral("FILE"));
    const QCommandLineOption truthFile(QStringLiteral("truth"), QStringLiteral("a recording to score an analysis against: ectopic beats, pauses, runs, bradycardia, ST shifts, noise and an electrode coming off, every beat and episode written into this file"), QStringLiteral("FILE"));
    parser.addOptions({hours, seed, calibration, sessionId, fileMinutes, analysis, capture, truthFile});
    if (!parse(parser, "synth", args, 1))
        return 2;

    SynthOptions options;
    bool ok = true;
    if (parser.isSet(hours))
        options.hours = parser.value(hours).toDouble(&ok);
    if (!ok)
        return fail("synth", QStringLiteral("--hours '%1' is not a number").arg(parser.value(hours)), 2);
    if (parser.isSet(seed))
        options.seed = parser.value(seed).toULongLong(&ok);
    if (!ok)
        return fail("synth", QStringLiteral("--seed '%1' is not a whole number").arg(parser.value(seed)), 2);
    if (parser.isSet(fileMinutes))
        options.fileMinutes = parser.value(fileMinutes).toDouble(&ok);
    if (!ok)
        return fail("synth", QStringLiteral("--file-minutes '%1' is not a number").arg(parser.value(fileMinutes)), 2);
    QString error;
    if (parser.isSet(calibration) && !Calibration::fromText(parser.value(calibration), &options.calibration, &error))
        return fail("synth", error, 2);
    if (parser.isSet(sessionId))
        options.sessionId = parser.value(sessionId);
    if (!isSessionId(options.sessionId))
        return fail("synth", QStringLiteral("--session-id '%1' is not 20 letters or digits (fiscal code and 4-digit session number)").arg(options.sessionId), 2);

    const QString folder = parser.positionalArguments().first();
    SynthSummary summary;
    SynthTrace trace;
    SynthTruth truth;
    if (parser.isSet(analysis) && parser.isSet(truthFile))
        return fail("synth", QStringLiteral("--analysis and --truth play different rhythms: give one of them"), 2);
    if (parser.isSet(analysis))
        options.trace = &trace;
    if (parser.isSet(truthFile))
        options.truth = &truth;
    options.dropOuts = !parser.isSet(capture);
    if (!writeSyntheticRecording(folder, options, &summary, &error))
        return fail("synth", error);
    if (parser.isSet(capture) && !writeSampleCapture(folder, parser.value(capture), &error))
        return fail("synth", error);
    if (parser.isSet(analysis) && !writeSyntheticAnalysis(parser.value(analysis), trace, &error))
        return fail("synth", error);
    if (parser.isSet(truthFile) && !truth.write(parser.value(truthFile), &error))
        return fail("synth", error);

    std::printf("wrote %s: %s of recording, %d s-files, %d i-files, %.1f MB of raw data\n",
                qPrintable(folder), qPrintable(clockText(summary.durationMs)), summary.sampleFiles,
                summary.imuFiles, double(summary.rawBytes) / 1e6);
    std::printf("session id %s, acquisition start %s (epoch seconds %lld)\n", qPrintable(options.sessionId),
                qPrintable(options.start.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))),
                static_cast<long long>(options.start.toSecsSinceEpoch()));
    static const char *const names[] = {"ECG", "respiration", "IMU"};
    for (int s = 0; s < 3; ++s)
        std::printf("%s frames: %llu, %llu with a bad check byte\n", names[s],
                    static_cast<unsigned long long>(summary.frames[s]),
                    static_cast<unsigned long long>(summary.damaged[s]));
    std::printf("stray byte runs: %llu\n", static_cast<unsigned long long>(summary.strayRuns));
    for (const SynthGap &gap : summary.gaps)
        std::printf("missing data %s - %s, clock restarted%s\n", qPrintable(clockText(gap.start)),
                    qPrintable(clockText(gap.stop)), gap.newFiles ? ", new card files" : "");
    std::printf("Puls.txt: %d lines\n", summary.oximeterLines);
    if (parser.isSet(capture))
        std::printf("capture of the ECG and respiration stream: %s\n", qPrintable(parser.value(capture)));
    if (parser.isSet(analysis))
        std::printf("analysis results in %s: %lld beats\n", qPrintable(parser.value(analysis)),
                    static_cast<long long>(trace.beats.size()));
    if (parser.isSet(truthFile)) {
        const auto count = [&truth](SynthBeatKind kind) {
            return std::count_if(truth.beats.begin(), truth.beats.end(), [kind](const SynthBeat &b) { return b.kind == kind; });
        };
        std::printf("ground truth in %s: %lld beats (%lld V, %lld S), %lld episodes, %lld noise stretches, %lld motion artefacts, %lld electrodes off\n",
                    qPrintable(parser.value(truthFile)), static_cast<long long>(truth.beats.size()),
                    static_cast<long long>(count(SynthBeatKind::Ventricular)),
                    static_cast<long long>(count(SynthBeatKind::Supraventricular)),
                    static_cast<long long>(truth.episodes.size()), static_cast<long long>(truth.muscleNoise.size()),
                    static_cast<long long>(truth.unreadable.size()), static_cast<long long>(truth.leadsOff.size()));
    }
    return 0;
}

int tool::decode(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("SD_FOLDER"), QStringLiteral("copy of the recorder's card"));
    parser.addPositionalArgument(QStringLiteral("SESSION_FOLDER"), QStringLiteral("folder for the decoded files"));
    const QCommandLineOption calibration(QStringLiteral("calibration"), QStringLiteral("session calibration text: gain,8 factors (default gain 1, factors 1)"), QStringLiteral("TEXT"));
    parser.addOption(calibration);
    if (!parse(parser, "decode", args, 2))
        return 2;
    Calibration scaling;
    QString error;
    if (parser.isSet(calibration) && !Calibration::fromText(parser.value(calibration), &scaling, &error))
        return fail("decode", error, 2);

    const QStringList folders = parser.positionalArguments();
    CardDecodeResult result;
    if (!decodeCardFolder(folders[0], folders[1], scaling, &result, &error))
        return fail("decode", error);

    std::printf("decoded %d s-files and %d i-files (%.1f MB) into %s\n", result.sampleFiles,
                result.imuFiles, double(result.bytesRead) / 1e6, qPrintable(folders[1]));
    for (Stream stream : {Stream::Ecg, Stream::Breath, Stream::Imu}) {
        const int s = int(stream);
        std::printf("%s: %llu records (%llu zero records filling missing data)\n",
                    decodedFormat(stream).fileName, static_cast<unsigned long long>(result.records[s]),
                    static_cast<unsigned long long>(result.filled[s]));
    }
    std::printf("duration: %u s (%s)\n", result.durationMs / 1000, qPrintable(clockText(result.durationMs)));
    // The decoded bytes hold no trace of what the floor rule left out: say it here.
    static const char *const names[] = {"ECG", "respiration", "IMU"};
    const auto counts = [](const quint64 (&perStream)[3], bool withTime) {
        QStringList parts;
        for (Stream stream : {Stream::Ecg, Stream::Breath, Stream::Imu}) {
            const int s = int(stream);
            QString part = QStringLiteral("%1 %2 records").arg(perStream[s]).arg(QLatin1String(names[s]));
            if (withTime)
                part += QStringLiteral(" (%1 s)").arg(double(perStream[s] * decodedFormat(stream).stepMs) / 1000.0, 0, 'f', 1);
            parts.append(part);
        }
        return parts.join(QStringLiteral(", "));
    };
    if (result.dropped[0] + result.dropped[1] + result.dropped[2] > 0)
        std::printf("dropped behind the recorder's clock: %s\n", qPrintable(counts(result.dropped, true)));
    if (result.outOfLine[0] + result.outOfLine[1] + result.outOfLine[2] > 0)
        std::printf("left out for a time stamp far from its neighbours: %s\n",
                    qPrintable(counts(result.outOfLine, false)));
    return 0;
}

int tool::spo2(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("PULS_TXT"), QStringLiteral("the oximeter's export"));
    parser.addPositionalArgument(QStringLiteral("SPO2_OUT"), QStringLiteral("converted file to write"));
    const QCommandLineOption start(QStringLiteral("start"), QStringLiteral("recording start, seconds since the epoch"), QStringLiteral("EPOCH_SECONDS"));
    parser.addOption(start);
    if (!parse(parser, "spo2", args, 2))
        return 2;
    bool ok = false;
    const qint64 seconds = parser.value(start).toLongLong(&ok);
    if (!ok)
        return fail("spo2", QStringLiteral("--start EPOCH_SECONDS is required, as a whole number"), 2);

    const QStringList files = parser.positionalArguments();
    if (convertSpo2File(files[0], files[1], QDateTime::fromSecsSinceEpoch(seconds)))
        return fail("spo2", QStringLiteral("cannot convert %1 into %2: unreadable source, unwritable output, or no VERSION in its first line")
                                .arg(files[0], files[1]));
    std::printf("%s: %lld records\n", qPrintable(files[1]), static_cast<long long>(QFileInfo(files[1]).size() / 8));
    return 0;
}
