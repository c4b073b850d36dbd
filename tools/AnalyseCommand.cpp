// Analysis commands of tavokrn-tool: the workstation's own beat analysis of a decoded session
// folder, and its scores against the ground truth of a synthetic recording.
#include "tools/Commands.h"

#include "analysis/SessionAnalysis.h"
#include "sim/SyntheticTruth.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

int tool::analyse(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("SESSION_FOLDER"), QStringLiteral("decoded session folder (ecg.txt, imu.txt, logfile.txt)"));
    const QCommandLineOption force(QStringLiteral("force"), QStringLiteral("replace an analysis folder this analysis wrote before"));
    parser.addOption(force);
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail("analyse", parser.errorText(), 2);
    if (parser.positionalArguments().size() != 1)
        return fail("analyse", QStringLiteral("SESSION_FOLDER expected"), 2);
    const QString folder = parser.positionalArguments().first();
    if (!QFileInfo(folder).isDir())
        return fail("analyse", QStringLiteral("no session folder %1").arg(folder));

    QElapsedTimer clock;
    clock.start();
    SessionAnalysis analysis;
    if (!analysis.run(folder, parser.isSet(force)))
        return fail("analyse", analysis.errorString());
    const SessionAnalysis::Counts &c = analysis.counts();
    std::printf("wrote %s: %.2f h of recording analysed in %.1f s\n", qPrintable(analysis.analysisFolder()),
                c.recordingHours, double(clock.elapsed()) / 1000.0);
    std::printf("beats %lld: N %lld, V %lld, S %lld\n", static_cast<long long>(c.beats),
                static_cast<long long>(c.normal), static_cast<long long>(c.ventricular),
                static_cast<long long>(c.supraventricular));
    std::printf("pauses %d, bigeminy %d, trigeminy %d, ventricular tachycardia %d, bradycardia %d, ST %d\n",
                c.pauses, c.episodes[int(EpisodeKind::Bigeminy)], c.episodes[int(EpisodeKind::Trigeminy)],
                c.episodes[int(EpisodeKind::VentricularTachycardia)], c.episodes[int(EpisodeKind::Bradycardia)],
                c.episodes[int(EpisodeKind::St)]);
    std::printf("analysable hours:");
    for (int lead = 0; lead < LeadCount; ++lead)
        std::printf(" %s %.2f", LeadNames[lead], c.analysableHours[lead]);
    std::printf("\n");
    return 0;
}

int tool::score(const QStringList &args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("TRUTH_FILE"), QStringLiteral("the truth file synth --truth wrote"));
    parser.addPositionalArgument(QStringLiteral("ANALYSIS_FOLDER"), QStringLiteral("the analysis folder of that recording"));
    if (!parser.parse(QStringList{QStringLiteral("tavokrn-tool")} + args))
        return fail("score", parser.errorText(), 2);
    if (parser.positionalArguments().size() != 2)
        return fail("score", QStringLiteral("TRUTH_FILE ANALYSIS_FOLDER expected"), 2);
    SynthTruth truth;
    QString error;
    TruthScore score;
    if (!SynthTruth::read(parser.positionalArguments()[0], &truth, &error)
        || !scoreAnalysis(truth, parser.positionalArguments()[1], &score, &error))
        return fail("score", error);
    std::printf("%s", qPrintable(score.report()));
    return 0;
}
