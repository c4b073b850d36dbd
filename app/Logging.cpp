#include "app/Logging.h"

#include "app/Platform.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>

namespace {

void writeLine(QtMsgType, const QMessageLogContext &, const QString &message)
{
    const QByteArray line = message.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    Platform::debuggerLog((message + '\n').toStdString());
}

} // namespace

void Logging::install()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    qInstallMessageHandler(writeLine);
}
