#include "bench/BenchMain.h"

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <cstdio>

int runBenchmarks(int argc, char **argv)
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        // The offscreen platform's note on every shown window is not news either.
        if (type != QtDebugMsg && type != QtInfoMsg
            && message != QLatin1String("This plugin does not support propagateSizeHints()"))
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

void useOffscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
