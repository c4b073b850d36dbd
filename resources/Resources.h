#pragma once

#include <QString>

class QCoreApplication;

namespace krn {
// Registers the compiled-in resource bundles (safe to call more than once). The bundles live in
// a static library, so every executable that reads ":/..." paths calls this before using them.
void initResources();

// The application style sheet as start-up applies it: the resource ":/tavoStyle.qss" decoded as
// UTF-8 up to its first NUL byte; empty when it cannot be read (the application stays unstyled).
QString applicationStyleSheet();

// Installs Qt's own Italian texts (qtbase_it.qm: the file choosers' and input dialogs' buttons and
// labels) from Qt's translations folder or the "translations" folder beside the program. False,
// with a warning in the log, when neither holds it: Qt's dialogs then stay in English.
bool installQtTranslation(QCoreApplication &app);
}
