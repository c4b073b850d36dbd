// The session toolbar and its respiration options: built-in values, label-table texts, slots.
#include "tests/support/TestMain.h"
#include "app/ToolbarTable.h"
#include "live/breathFilters.h"
#include "live/viewSubmenu.h"
#include "resources/Resources.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

class ToolbarTest : public QObject
{
    Q_OBJECT
private slots:
    void builtInValues();
    void labelTableTexts();
    void baselineRangeFollowsBreathExtrema();
    void eventModeTexts();
    void breathOptions();
    void pageTable_data();
    void pageTable();
    void reviewControlsWrapWhole();
};

void ToolbarTest::builtInValues()
{
    viewSubmenu bar;
    const auto &u = bar.ui();

    QCOMPARE(u.gainchoice->count(), 7);
    QStringList gains;
    for (int i = 0; i < u.gainchoice->count(); ++i)
        gains << u.gainchoice->itemText(i);
    QCOMPARE(gains, QStringList({"1", "2", "3", "4", "6", "8", "12"}));
    QCOMPARE(u.gainchoice->currentIndex(), 4);
    QCOMPARE(u.gainchoice->currentText(), QString("6"));

    QStringList scales;
    for (int i = 0; i < u.scalechoice->count(); ++i)
        scales << u.scalechoice->itemText(i);
    QCOMPARE(scales, QStringList({"Taratura singola", "Taratura doppia", "Mezza taratura"}));
    QCOMPARE(u.scalechoice->currentIndex(), 0);
    QCOMPARE(u.scalechoice->toolTip(), QString("Seleziona la Taratura"));

    QCOMPARE(u.breathScaleSlider->minimum(), 0);
    QCOMPARE(u.breathScaleSlider->maximum(), 500);
    QCOMPARE(u.breathBaselineSlider->minimum(), 0);
    QCOMPARE(u.breathBaselineSlider->maximum(), 65000);

    QCOMPARE(u.frameAddEvent->styleSheet(), QString("QFrame #frameAddEvent {border: 1px solid black}"));
    QVERIFY(!u.printCheckBox->isChecked());
    QCOMPARE(u.printCheckBox->text(), QString("Stampa"));
    QCOMPARE(u.buttonAddEvent->text(), QString("Nuovo (E)"));
    QCOMPARE(u.label_5->text(), QString("Aggiungi evento"));
    QCOMPARE(u.loadAnalysisPushButton->text(), QString("Carica analisi"));
    QCOMPARE(u.label_4->text(), QString("Taratura"));
    QCOMPARE(u.label_2->text(), QString("Zoom"));
    QCOMPARE(u.label_3->text(), QString("Baseline"));
    QCOMPARE(u.label->text(), QString("Somma respiro"));
    QCOMPARE(u.breathAutoButton->text(), QString("Reset"));

    // Every control the page flow shows or hides is found by its object name.
    for (const char *name : {"buttonBack", "buttonStartSession", "buttonFiilters", "buttonExport", "buttonViewPdf",
                             "buttonSnapshot", "breath", "framebreath", "frameecg", "buttonPlay", "buttonStop",
                             "framegain", "checkBoxAutoscale", "nameFrame", "frameScaleVis", "FrameDate",
                             "frameBreathScale", "loadAnalysisPushButton", "frameAddEvent", "buttonplayecg",
                             "buttonplaybreath", "buttonstopecg", "buttonstopbreath", "buttonExportEdf"})
        QVERIFY2(bar.findChild<QWidget *>(name), name);
}

void ToolbarTest::labelTableTexts()
{
    viewSubmenu bar;
    const auto &u = bar.ui();
    // Texts the label table overrides.
    QCOMPARE(u.checkBoxAutoscale->text(), QString("ECG Auto"));
    QCOMPARE(u.labelScaleVisualize->text(), QString("Scala ECG"));
    QCOMPARE(u.breathlabel->text(), QString("Respiro"));
    QCOMPARE(u.ecglabel->text(), QString("ECG"));
    QCOMPARE(u.labelgain->text(), QString("Guadagno"));
    QCOMPARE(u.labelname->text(), QString("Nome"));
    QCOMPARE(u.labelsurname->text(), QString("Cognome"));
    QCOMPARE(u.buttonAutoAnalysis->text(), QString("Analisi automatica"));
    QVERIFY(!u.buttonAutoAnalysis->icon().isNull());

    // The toolbar buttons show only their icons.
    for (QPushButton *b : {u.buttonBack, u.buttonFiilters, u.buttonSnapshot, u.buttonStartSession, u.buttonViewPdf,
                           u.buttonExport, u.buttonPlay, u.buttonStop, u.buttonplayecg, u.buttonstopecg,
                           u.buttonplaybreath, u.buttonstopbreath}) {
        QVERIFY2(b->text().isEmpty(), qPrintable(b->objectName()));
        QVERIFY2(!b->icon().isNull(), qPrintable(b->objectName()));
    }
    QCOMPARE(u.buttonBack->toolTip(), QString("Ritorna alla pagina principale"));
    QCOMPARE(u.buttonExport->toolTip(), QString("Crea il report in formato pdf e chiudi l'analisi della sessione"));
    QCOMPARE(u.buttonViewPdf->toolTip(), QString("Visualizza il report per la sessione che si sta visualizzando"));
    QCOMPARE(u.buttonplayecg->toolTip(), QString("Inizia lo stream ECG"));
    QCOMPARE(u.buttonstopbreath->toolTip(), QString("Ferma lo stream respiro"));
    QVERIFY(u.buttonFiilters->toolTip().isEmpty());

    bar.setName("Maria");
    bar.setSurname("Rossi");
    QCOMPARE(u.labelname->text(), QString("Maria"));
    QCOMPARE(u.labelsurname->text(), QString("Rossi"));
}

void ToolbarTest::baselineRangeFollowsBreathExtrema()
{
    viewSubmenu bar;
    bar.setMinMaxBreath(1000, 2000);
    QCOMPARE(bar.ui().breathBaselineSlider->minimum(), 900);
    QCOMPARE(bar.ui().breathBaselineSlider->maximum(), 2200);
    // Computed in floating point: 15 - 1.5 and 25 + 2.5 truncate towards zero.
    bar.setMinMaxBreath(15, 25);
    QCOMPARE(bar.ui().breathBaselineSlider->minimum(), 13);
    QCOMPARE(bar.ui().breathBaselineSlider->maximum(), 27);
}

void ToolbarTest::eventModeTexts()
{
    viewSubmenu bar;
    bar.setStartEventMode();
    QCOMPARE(bar.ui().buttonAddEvent->text(), QString("Annulla"));
    bar.setStopEventMode();
    QCOMPARE(bar.ui().buttonAddEvent->text(), QString("Nuovo (E)"));
}

void ToolbarTest::breathOptions()
{
    breathFilters filters;
    QButtonGroup *duration = filters.selectDuration();
    QVERIFY(duration->exclusive());
    QCOMPARE(duration->id(filters.findChild<QPushButton *>("button10")), 10000);
    QCOMPARE(duration->id(filters.findChild<QPushButton *>("button30")), 30000);
    QCOMPARE(duration->id(filters.findChild<QPushButton *>("button60")), 60000);
    QCOMPARE(duration->checkedId(), 10000);
    QCOMPARE(duration->button(30000)->text(), QString("30 s"));

    QSignalSpy clicked(duration, &QButtonGroup::idClicked);
    QTest::mouseClick(duration->button(30000), Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 30000);
    QCOMPARE(duration->checkedId(), 30000);

    QButtonGroup *plots = filters.selectPlot();
    QVERIFY(!plots->exclusive());
    const QStringList names{"Tor Sx", "Tor Dx", "Centro", "Add Sx", "Add Dx"};
    for (int id = 0; id < 5; ++id) {
        QCOMPARE(plots->button(id)->objectName(), QString("b%1").arg(id + 1));
        QCOMPARE(plots->button(id)->text(), names[id]);
        QVERIFY(plots->button(id)->isChecked());
    }
    // "Centro" toggles the third curve off and on again; the others stay on.
    QSignalSpy plotClicked(plots, &QButtonGroup::idClicked);
    QTest::mouseClick(plots->button(2), Qt::LeftButton);
    QVERIFY(!plots->button(2)->isChecked());
    QVERIFY(plots->button(1)->isChecked());
    QTest::mouseClick(plots->button(2), Qt::LeftButton);
    QVERIFY(plots->button(2)->isChecked());
    QCOMPARE(plotClicked.count(), 2);
    QCOMPARE(plotClicked.at(0).at(0).toInt(), 2);

    QCOMPARE(filters.findChild<QLabel *>("labelScale")->text(), QString("Scala respiro"));
    QCOMPARE(filters.findChild<QLabel *>("labelPlots")->text(), QString("Plot respiro"));
}

void ToolbarTest::pageTable_data()
{
    // The controls each page state shows and hides, as the page flow lists them; every other
    // control of the table stays as it was.
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("hidden");
    QTest::newRow("start-up") << int(ToolbarState::StartUp) << QStringList{}
                              << QStringList{"buttonBack", "buttonStartSession", "buttonFiilters", "buttonExport",
                                             "buttonViewPdf", "buttonSnapshot", "breath", "framegain", "frameScaleVis",
                                             "buttonExportEdf", "buttonAutoAnalysis", "frameGoTo"};
    QTest::newRow("patient list")
        << int(ToolbarState::PatientList) << QStringList{}
        << QStringList{"buttonBack", "buttonStartSession", "buttonFiilters", "buttonExport", "buttonViewPdf",
                       "buttonSnapshot", "breath", "framebreath", "frameecg", "buttonPlay", "buttonStop",
                       "framegain", "checkBoxAutoscale", "nameFrame", "frameScaleVis", "FrameDate",
                       "frameBreathScale", "loadAnalysisPushButton", "frameAddEvent", "buttonExportEdf",
                       "buttonAutoAnalysis", "frameGoTo"};
    QTest::newRow("live page")
        << int(ToolbarState::LivePage)
        << QStringList{"buttonBack", "buttonStartSession", "breath", "framebreath", "frameecg", "nameFrame",
                       "buttonplayecg", "buttonplaybreath", "buttonstopecg", "buttonstopbreath"}
        << QStringList{"buttonPlay", "buttonStop", "buttonFiilters", "buttonExport", "buttonViewPdf",
                       "buttonSnapshot", "framegain", "checkBoxAutoscale", "frameScaleVis", "FrameDate",
                       "frameBreathScale", "loadAnalysisPushButton", "frameAddEvent", "buttonExportEdf",
                       "buttonAutoAnalysis", "frameGoTo"};
    QTest::newRow("review page")
        << int(ToolbarState::ReviewPage)
        << QStringList{"buttonBack", "nameFrame", "checkBoxAutoscale", "frameScaleVis", "FrameDate",
                       "frameBreathScale", "loadAnalysisPushButton", "buttonExportEdf", "buttonAutoAnalysis", "frameGoTo"}
        << QStringList{"buttonStartSession", "buttonFiilters", "breath", "framebreath", "frameecg", "buttonPlay",
                       "buttonStop", "framegain"};
    QTest::newRow("session not analysed") << int(ToolbarState::ReviewOpen)
                                          << QStringList{"buttonSnapshot", "buttonExport", "frameAddEvent"}
                                          << QStringList{"buttonViewPdf"};
    QTest::newRow("analysed session") << int(ToolbarState::ReviewAnalyzed) << QStringList{"buttonViewPdf"}
                                      << QStringList{"buttonSnapshot", "buttonExport", "frameAddEvent", "loadAnalysisPushButton",
                                                     "buttonAutoAnalysis"};
    QTest::newRow("nurse") << int(ToolbarState::ReviewNurse) << QStringList{}
                           << QStringList{"buttonSnapshot", "buttonExport"};
}

void ToolbarTest::pageTable()
{
    QFETCH(int, state);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, hidden);
    viewSubmenu bar;
    for (const ToolbarTable::Row *row = ToolbarTable::begin(); row != ToolbarTable::end(); ++row) {
        QWidget *control = bar.findChild<QWidget *>(row->control);
        QVERIFY2(control, row->control);
        // Half shown, half hidden before: "as it was" must stay whichever it was.
        control->setVisible(int(row - ToolbarTable::begin()) % 2 == 0);
    }
    QMap<QString, bool> before;
    for (const ToolbarTable::Row *row = ToolbarTable::begin(); row != ToolbarTable::end(); ++row)
        before[row->control] = !bar.findChild<QWidget *>(row->control)->isHidden();

    ToolbarTable::apply(&bar, ToolbarState(state));
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        const bool expected = shown.contains(it.key()) ? true : hidden.contains(it.key()) ? false : it.value();
        // The control's own state: some sit inside frames that the same state hides.
        QVERIFY2(!bar.findChild<QWidget *>(it.key())->isHidden() == expected, qPrintable(it.key()));
    }
    for (const QString &name : shown + hidden)
        QVERIFY2(before.contains(name), qPrintable(name + " is not in the table"));
}


// The review page shows more controls than one row of a laptop screen holds: they go on over a
// second row, each as wide as its text needs, none cut at the window's edge.
void ToolbarTest::reviewControlsWrapWhole()
{
    qApp->setStyleSheet(krn::applicationStyleSheet());
    viewSubmenu bar;
    ToolbarTable::apply(&bar, ToolbarState::ReviewPage);
    ToolbarTable::apply(&bar, ToolbarState::ReviewOpen);
    const int width = 1366;
    bar.resize(width, bar.heightForWidth(width));
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    int checked = 0;
    for (QWidget *w : bar.findChildren<QWidget *>()) {
        if (!w->isVisible() || !(qobject_cast<QAbstractButton *>(w) || qobject_cast<QLabel *>(w) || qobject_cast<QLineEdit *>(w)))
            continue;
        const QRect placed(w->mapTo(&bar, QPoint(0, 0)), w->size());
        QVERIFY2(w->width() >= w->sizeHint().width() && bar.rect().contains(placed), qPrintable(w->objectName()));
        ++checked;
    }
    QVERIFY(checked > 20);
    QVERIFY(bar.height() > bar.sizeHint().height()); // more than one row
    qApp->setStyleSheet(QString());
}
KRN_TEST_MAIN(ToolbarTest)
#include "tst_toolbar.moc"
