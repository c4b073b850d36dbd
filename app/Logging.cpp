#include "app/Logging.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

void writeLine(QtMsgType, const QMessageLogContext &, const QString &message)
{
    const QByteArray line = message.toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
#ifdef _WIN32
    OutputDebugStringW(reinterpret_cast<const wchar_t *>((message + '\n').utf16()));
#endif
}

} // namespace

void Logging::install()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    qInstallMessageHandler(writeLine);
}
