#include "report/DesktopOpener.h"

#include <QDesktopServices>
#include <QUrl>

bool SystemDesktopOpener::openFile(const QString &path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }
