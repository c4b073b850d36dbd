#include "resources/Resources.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QLibraryInfo>
#include <QTranslator>

static void registerBundles()
{
    Q_INIT_RESOURCE(images);
    Q_INIT_RESOURCE(labels);
    Q_INIT_RESOURCE(schema);
}

void krn::initResources()
{
    static const bool registered = (registerBundles(), true);
    Q_UNUSED(registered);
}

QString krn::applicationStyleSheet()
{
    initResources();
    // The result of opening is not tested: a missing resource reads as an empty style sheet.
    QFile styleFile(":/tavoStyle.qss");
    styleFile.open(QIODevice::ReadOnly);
    const QByteArray bytes = styleFile.readAll();
    return QString::fromUtf8(bytes.constData(), int(qstrnlen(bytes.constData(), uint(bytes.size()))));
}

bool krn::installQtTranslation(QCoreApplication &app)
{
    // Owned by the application: it stays installed as long as the application lives.
    auto *translator = new QTranslator(&app);
    for (const QString &folder : {QLibraryInfo::location(QLibraryInfo::TranslationsPath),
                                  QCoreApplication::applicationDirPath() + "/translations"}) {
        if (translator->load(QStringLiteral("qtbase_it"), folder) && QCoreApplication::installTranslator(translator))
            return true;
    }
    qWarning().noquote() << "Qt's Italian texts (qtbase_it.qm) not found: Qt's own dialogs stay in English";
    delete translator;
    return false;
}
