// The install rules, as the Debian package uses them: `cmake --install` of the build tree into a
// temporary prefix under a lax umask, then every file, its permissions and the desktop
// integration's names read back. Nothing is built here.
#include "tests/support/TestMain.h"

#include <QDirIterator>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

int mode(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

const QStringList iconSizes{"16", "22", "24", "32", "48", "64", "128", "256"};

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT
private slots:
    void installsEveryFileWithItsPermissions();
};

void InstallTest::installsEveryFileWithItsPermissions()
{
    QTemporaryDir prefix;
    QProcess install;
    // A umask that lets the group write: the package's folders stay 0755 all the same
    // (scripts/package builds under umask 022, against stricter ones).
    const mode_t previous = umask(002);
    install.start(qEnvironmentVariable("KRN_CMAKE"),
                  {"--install", qEnvironmentVariable("KRN_BUILD_DIR"), "--prefix", prefix.path()});
    const bool finished = install.waitForFinished(120000);
    umask(previous);
    QVERIFY2(finished && install.exitCode() == 0, install.readAllStandardError().constData());

    QMap<QString, int> expected{
        {"bin/tavokrn", 0755},
        {"bin/tavokrn-tool", 0755},
        {"share/applications/tavokrn.desktop", 0644},
        {"share/metainfo/example.velmor_biomedical.tavokrn.metainfo.xml", 0644},
        {"share/icons/hicolor/scalable/apps/tavokrn.svg", 0644},
        {"share/doc/tavokrn/copyright", 0644},
        {"share/doc/tavokrn/changelog.gz", 0644},
        {"share/man/man1/tavokrn.1.gz", 0644},
        {"share/man/man1/tavokrn-tool.1.gz", 0644},
    };
    for (const QString &size : iconSizes)
        expected.insert(QString("share/icons/hicolor/%1x%1/apps/tavokrn.png").arg(size), 0644);
    QMap<QString, int> installed;
    for (QDirIterator it(prefix.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        const QString relative = QDir(prefix.path()).relativeFilePath(path);
        if (it.fileInfo().isDir())
            QVERIFY2(mode(path) == 0755, qPrintable(relative));
        else
            installed.insert(relative, mode(path));
    }
    QCOMPARE(installed, expected);

    // The names the desktop finds things by.
    QFile entry(prefix.filePath("share/applications/tavokrn.desktop"));
    QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    QMap<QString, QString> desktop;
    for (const QString &line : QString::fromUtf8(entry.readAll()).split('\n'))
        desktop.insert(line.section('=', 0, 0), line.section('=', 1));
    QVERIFY(QFile::exists(prefix.filePath("bin/" + desktop.value("Exec"))));
    QCOMPARE(desktop.value("Icon"), QString("tavokrn"));
    QVERIFY(desktop.value("Categories").split(';').contains("MedicalSoftware"));
    QFile metainfo(prefix.filePath("share/metainfo/example.velmor_biomedical.tavokrn.metainfo.xml"));
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    QVERIFY(metainfo.readAll().contains("<launchable type=\"desktop-id\">tavokrn.desktop</launchable>"));
    for (const QString &size : iconSizes) {
        const QImageReader icon(prefix.filePath(QString("share/icons/hicolor/%1x%1/apps/tavokrn.png").arg(size)));
        QCOMPARE(icon.size(), QSize(size.toInt(), size.toInt()));
    }
    // No search path into the build tree is left in the programs.
    QProcess dynamic;
    dynamic.start("readelf", {"-d", prefix.filePath("bin/tavokrn"), prefix.filePath("bin/tavokrn-tool")});
    QVERIFY(dynamic.waitForFinished(30000) && dynamic.exitCode() == 0);
    const QByteArray section = dynamic.readAllStandardOutput();
    QVERIFY2(section.contains("(NEEDED)") && !section.contains("RPATH") && !section.contains("RUNPATH"),
             section.constData());
}

KRN_TEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
