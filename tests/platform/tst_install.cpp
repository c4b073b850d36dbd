// The install rules the Debian package is made from: `cmake --install` of the build tree into a
// temporary prefix under a lax umask, then every file with its permissions and the desktop
// integration's names read back. Nothing is built here; the icons' sizes and the programs' search
// paths are lintian's to check (scripts/package --check).
#include "tests/support/TestMain.h"

#include <QDirIterator>
#include <QProcess>
#include <QtTest>
#include <sys/stat.h>

class InstallTest : public QObject
{
    Q_OBJECT
private slots:
    void installsEveryFileWithItsPermissions()
    {
        QTemporaryDir prefix;
        QProcess install;
        const mode_t umaskBefore = umask(002); // folders stay 0755; scripts/package uses 022 against stricter ones
        install.start(qEnvironmentVariable("KRN_CMAKE"),
                      {"--install", qEnvironmentVariable("KRN_BUILD_DIR"), "--prefix", prefix.path()});
        QVERIFY(install.waitForFinished(120000) && install.exitCode() == 0);
        umask(umaskBefore);

        const QStringList sizes{"16", "22", "24", "32", "48", "64", "128", "256"};
        QStringList expected{"0755 bin/tavokrn", "0755 bin/tavokrn-tool", "0644 share/applications/tavokrn.desktop",
                             "0644 share/metainfo/example.velmor_biomedical.tavokrn.metainfo.xml",
                             "0644 share/icons/hicolor/scalable/apps/tavokrn.svg", "0644 share/doc/tavokrn/copyright",
                             "0644 share/doc/tavokrn/changelog.gz", "0644 share/man/man1/tavokrn.1.gz",
                             "0644 share/man/man1/tavokrn-tool.1.gz"};
        for (const QString &size : sizes)
            expected << QString("0644 share/icons/hicolor/%1x%1/apps/tavokrn.png").arg(size);
        QStringList installed;
        QDirIterator it(prefix.path(), QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            struct stat st {};
            ::lstat(QFile::encodeName(it.next()).constData(), &st);
            const QString relative = it.filePath().mid(prefix.path().size() + 1);
            const QString entry = QString("%1 %2").arg(st.st_mode & 07777, 4, 8, QChar('0')).arg(relative);
            if (!S_ISDIR(st.st_mode))
                installed << entry;
            else
                QVERIFY2(entry.startsWith("0755"), qPrintable(entry));
        }
        QCOMPARE(installed.size(), expected.size());
        for (const QString &file : expected)
            QVERIFY2(installed.contains(file), qPrintable(file + " in " + installed.join(", ")));

        // What the desktop finds the program and its icon by.
        QFile entry(prefix.filePath("share/applications/tavokrn.desktop"));
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QByteArray desktop = entry.readAll();
        QVERIFY(desktop.contains("\nExec=tavokrn\n") && desktop.contains("\nIcon=tavokrn\n")
                && desktop.contains("MedicalSoftware;") && QFile::exists(prefix.filePath("bin/tavokrn")));
    }
};

KRN_TEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
