// Every command of tavokrn-tool, as its own --help lists them, answers --help and -h with its
// usage line and exit 0, before it does any work (a simulator would otherwise start listening).
#include "tests/support/TestMain.h"
#include "tests/support/ToolRun.h"

#include <QRegularExpression>
#include <QTest>

class ToolHelpTest : public QObject
{
    Q_OBJECT
private slots:
    void everyCommandAnswersHelp_data();
    void everyCommandAnswersHelp();
};

void ToolHelpTest::everyCommandAnswersHelp_data()
{
    QTest::addColumn<QString>("usage");
    QTest::addColumn<QString>("option");
    const ToolRun list = runTool({"--help"}, 20000);
    QCOMPARE(list.exitCode, 0);
    const QStringList usages = list.out.split('\n').filter(QRegularExpression("^  tavokrn-tool "));
    QCOMPARE(usages.size(), 12);
    for (const QString &line : usages) {
        const QString usage = line.trimmed().mid(QStringLiteral("tavokrn-tool ").size());
        for (const char *option : {"--help", "-h"})
            QTest::newRow(qPrintable(usage.section(' ', 0, 0) + " " + option)) << usage << option;
    }
}

void ToolHelpTest::everyCommandAnswersHelp()
{
    QFETCH(QString, usage);
    QFETCH(QString, option);
    const ToolRun run = runTool({usage.section(' ', 0, 0), option}, 20000);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, "usage: tavokrn-tool " + usage + "\n");
}

KRN_TEST_GUILESS_MAIN(ToolHelpTest)
#include "tst_toolhelp.moc"
