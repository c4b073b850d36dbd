// The workstation's entry point: style sheet, diagnostics, main window, event loop.
#include "app/KRNMainWindow.h"
#include "app/Logging.h"
#include "app/WidgetPrompts.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QCommandLineParser>

#include <memory>

int main(int argc, char *argv[])
{
    krn::initResources();
    // A style sheet that cannot be read leaves the application unstyled; start-up goes on.
    const QString styleSheet = krn::applicationStyleSheet();

    Logging::install();

    auto app = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName("TavoKRN");
    app->setStyleSheet(styleSheet);
    // Qt's own dialogs (file choosers, input dialogs) speak Italian as the rest of the program.
    krn::installQtTranslation(*app);

    QCommandLineParser parser;
    parser.setApplicationDescription("TavoKRN clinical workstation");
    parser.addHelpOption();
    const QCommandLineOption dataDir("data-dir", "Folder holding krnDb.db and the session folders (default: the "
                                                 "DATA folder beside the program).", "DIR");
    parser.addOption(dataDir);
    parser.process(*app);

    WidgetPrompts prompts;
    auto window = std::make_unique<KRNMainWindow>(
        parser.isSet(dataDir) ? parser.value(dataDir) : KRNMainWindow::defaultDataFolder(), prompts);
    prompts.setParent(window.get());
    window->show();
    const int code = app->exec();
    window.reset();
    app.reset();
    return code;
}
