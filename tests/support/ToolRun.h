#pragma once

#include <QString>
#include <QStringList>

// The real tavokrn-tool binary (its path in the KRN_TOOL environment variable, set by CTest) run
// as a separate process, as a user would run it.
struct ToolRun
{
    int exitCode = -1; // -1 when it did not start, crashed or ran out of time
    QString out;
    QString err;
};

// `input` is written to its standard input, which is then closed.
ToolRun runTool(const QStringList &args, int timeoutMs = 120000, const QByteArray &input = {});
