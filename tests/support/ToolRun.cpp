#include "tests/support/ToolRun.h"

#include <QProcess>

ToolRun runTool(const QStringList &args, int timeoutMs, const QByteArray &input)
{
    QProcess p;
    p.start(qEnvironmentVariable("KRN_TOOL"), args);
    p.write(input);
    p.closeWriteChannel();
    ToolRun r;
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
