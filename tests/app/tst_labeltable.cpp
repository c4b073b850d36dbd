// The label table: the compiled-in file as shipped, lookups, and applying rows to widgets.
#include "tests/support/TestMain.h"
#include "common/LabelTable.h"
#include "resources/Resources.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class LabelTableTest : public QObject
{
    Q_OBJECT
private slots:
    void shippedFileBytes();
    void rowsPerView();
    void lookups();
    void firstRowWinsAndUnknownIsEmpty();
    void applyAllSetsAndClears();
    void iconsOfTheTableLoad();
};

void LabelTableTest::shippedFileBytes()
{
    QFile file(LabelTable::defaultFile);
    LabelTable touch(QStringLiteral("none")); // registers the resources
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("View;label Name;icon;label;tooltip\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QCOMPARE(bytes.count("\r\n"), 158); // header and 157 rows
    QVERIFY(bytes.contains("all\x92immagine"));
}

void LabelTableTest::rowsPerView()
{
    const QList<QPair<QString, int>> views = {
        {"KRNMainWindow", 5}, {"VisualizationWindow", 67}, {"OnlineVisualizationWIndow", 14},
        {"viewSubmenu", 23}, {"Session", 3}, {"patientInfo", 13}, {"IntroWindow", 4},
        {"ecgchoice", 12}, {"breathFilters", 10}, {"loginwindow", 4}, {"SnapshotNotesDialog", 1},
        {"BluetoothDialog", 1}};
    int total = 0;
    for (const auto &[view, rows] : views) {
        QCOMPARE(LabelTable(view).rowCount(), rows);
        total += rows;
    }
    QCOMPARE(total, 157);
    // The live view's form is spelled with a capital I; the regular spelling has no rows.
    QCOMPARE(LabelTable("OnlineVisualizationWindow").rowCount(), 0);
    QCOMPARE(LabelTable("krnmainwindow").rowCount(), 0);
}

void LabelTableTest::lookups()
{
    const LabelTable main("KRNMainWindow");
    QCOMPARE(main.fileName(), QString(":/labels/labels_it.csv"));
    QCOMPARE(main.label("titlemain"), QString("Tavo KRN - Versione 3.0.0"));

    QCOMPARE(LabelTable("Session").tooltip("buttonView"), QString("Visualizza la sessione "));
    QCOMPARE(LabelTable("SnapshotNotesDialog").label("labelTitle"),
             QString::fromUtf8("Inserire il testo da associare all\u2019immagine del grafico, e schiacciare OK"));

    const LabelTable bar("viewSubmenu");
    QCOMPARE(bar.icon("buttonFiilters"), QString(":/img/filter.png"));
    QCOMPARE(bar.label("buttonFiilters"), QString());
    QCOMPARE(bar.tooltip("buttonFiilters"), QString());
    QCOMPARE(bar.tooltip("buttonExport"), QString("Crea il report in formato pdf e chiudi l'analisi della sessione"));

    QCOMPARE(LabelTable("loginwindow").label("labelPassword"),
             QString("<html style=\"color:#30375e\"><head/><body><p align=\"right\"><span style=\"font-weight:600\">"
                     "Password</span></p></body></html>"));
    QCOMPARE(LabelTable("VisualizationWindow").label("labelSingleIMU"), QString("SpO<sub>2</sub>"));
    // Whole-name match only: a prefix of a widget name is not that widget.
    QCOMPARE(LabelTable("VisualizationWindow").label("labelEcg"), QString());
    QCOMPARE(LabelTable("VisualizationWindow").label("labelEcg12"), QString("V6"));
}

void LabelTableTest::firstRowWinsAndUnknownIsEmpty()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("labels.csv");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("View;label Name;icon;label;tooltip\r\n"
               "page;button;;first;one;\r\n"
               "other;button;;elsewhere;;\r\n"
               "page;button;;second;two;\r\n"
               "page;caf\xe8;;Caff\xe8;;\r\n");
    file.close();

    const LabelTable table(path, "page");
    QCOMPARE(table.rowCount(), 3);
    QCOMPARE(table.label("button"), QString("first"));
    QCOMPARE(table.tooltip("button"), QString("one"));
    QCOMPARE(table.label(QString::fromUtf8("caf\u00e8")), QString::fromUtf8("Caff\u00e8"));
    QCOMPARE(table.label("missing"), QString());
    QCOMPARE(LabelTable(dir.filePath("absent.csv"), "page").rowCount(), 0);
}

void LabelTableTest::applyAllSetsAndClears()
{
    QPushButton back;
    back.setObjectName("buttonBack");
    back.setText("old");
    const LabelTable bar("viewSubmenu");
    bar.applyAll(&back);
    QCOMPARE(back.text(), QString());
    QVERIFY(!back.icon().isNull());
    QCOMPARE(back.toolTip(), QString("Ritorna alla pagina principale"));

    QPushButton save;
    save.setObjectName("buttonSave");
    save.setIcon(back.icon());
    LabelTable("patientInfo").applyAll(&save);
    QCOMPARE(save.text(), QString("Salva"));
    QVERIFY(save.icon().isNull());
    QCOMPARE(save.toolTip(), QString("Salva le informazioni del paziente"));

    QLabel label;
    label.setObjectName("labelWeight");
    LabelTable("patientInfo").applyText(&label);
    QCOMPARE(label.text(), QString("Peso (Kg)"));

    QPushButton textOnly;
    textOnly.setObjectName("buttonEdit");
    textOnly.setToolTip("kept");
    LabelTable("patientInfo").applyText(&textOnly);
    QCOMPARE(textOnly.text(), QString("Modifica"));
    QCOMPARE(textOnly.toolTip(), QString("kept"));
}

void LabelTableTest::iconsOfTheTableLoad()
{
    QFile file(LabelTable::defaultFile);
    LabelTable touch(QStringLiteral("none"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(file.readAll()).split("\r\n", Qt::SkipEmptyParts).mid(1);
    int icons = 0;
    for (const QString &line : lines) {
        const QString path = line.section(';', 2, 2);
        if (path.isEmpty())
            continue;
        ++icons;
        QVERIFY2(!QPixmap(path).isNull(), qPrintable(path));
    }
    QCOMPARE(icons, 15);
    QVERIFY(!QPixmap(":/icons/tavo.png").isNull());
    QFile style(":/tavoStyle.qss");
    QVERIFY(style.open(QIODevice::ReadOnly));
    QVERIFY(style.readAll().contains("QWidget#loginWidget"));
    // Qt's own dialogs in Italian, as start-up installs them.
    QVERIFY(krn::installQtTranslation(*QCoreApplication::instance()));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:") + QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Cerca in:Annulla"));
}

KRN_TEST_MAIN(LabelTableTest)
#include "tst_labeltable.moc"
