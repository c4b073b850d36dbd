// The workstation's entry point: style sheet, diagnostics, main window, event loop.
#include "app/KRNMainWindow.h"
#include "app/Logging.h"
#include "app/Platform.h"
#include "app/WidgetPrompts.h"
#include "app/data/DataFolder.h"
#include "app/data/FirstStart.h"
#include "common/PrivateFiles.h"
#include "resources/Resources.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>

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
    const QCommandLineOption dataDir("data-dir", "Folder holding krnDb.db and the session folders (default: "
                                                 "TAVOKRN_DATA_DIR, else DATA beside the program when it may "
                                                 "write there, else DATA in the user's application data folder).",
                                     "DIR");
    parser.addOption(dataDir);
    parser.process(*app);

    const DataFolder data = DataFolder::choose(DataFolder::Facts::ofThisProcess(parser.value(dataDir)));
    qInfo().noquote() << data.describe();
    Platform::keepNewFilesPrivate(PrivateFiles::groupBits(data.path));

    WidgetPrompts prompts;
    // A data folder without a database gets its archive and first user now, or the program quits.
    const FirstStart::Outcome first = FirstStart(prompts).run(data.path);
    if (first != FirstStart::Outcome::Ready)
        return first == FirstStart::Outcome::Cancelled ? 0 : 1;
    auto window = std::make_unique<KRNMainWindow>(data.path, prompts);
    prompts.setParent(window.get());
    window->show();
    const int code = app->exec();
    window.reset();
    app.reset();
    return code;
}
