// The events tab on real widgets (offscreen) over a synthetic session decoded by the tool and its
// analysis folder, with a real database file: stepping through each type with the keys, the
// markers, the review actions and their refusal, the lock of an analysed session, the event mode
// with the add-event dialog and the plots' pickers.

#include "tests/support/TestMain.h"
#include "tests/support/SessionFiles.h"
#include "review/Dialog.h"
#include "review/VisualizationWindow.h"
#include "review/plots/ReviewPlots.h"
#include "tests/support/ModalDialog.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"

#include <qwt_plot_marker.h>
#include <qwt_plot_picker.h>
#include <qwt_symbol.h>
#include <qwt_text.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>


namespace {

const QDateTime acquisitionStart(QDate(2024, 3, 4), QTime(9, 30), Qt::LocalTime);


QString labelText(const QWidget *page, const char *name) { return page->findChild<QLabel *>(name)->text(); }

QPushButton *button(const QWidget *page, const char *name) { return page->findChild<QPushButton *>(name); }

} // namespace

class EventsReviewTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void stepsThroughEachTypeWithTheKeys();
    void reviewActionsWriteTheRowFirst();
    void refusedActionLeavesTheEvent();
    void refusedConversionIsReported();
    void addsEventsWithTheDialogAndThePlots();
    void heartRateOncePerKind();
    void dialogKeys();

private:
    void selectType(const QString &text);
    AnnotationRecord storedRow(int id);

    QTemporaryDir m_tmp;
    QString m_session;
    std::unique_ptr<TestDatabase> m_data;
    ScriptedPrompts m_prompts;
    VisualizationWindow *m_window = nullptr;
    int m_sessionId = 0;
};

void EventsReviewTest::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    const QString card = m_tmp.filePath("card");
    m_session = m_tmp.filePath("session");
    SyntheticSession synth;
    synth.options.hours = 0.3;
    QString error;
    QVERIFY2(synth.writeCard(card, true, &error), qPrintable(error));
    QVERIFY2(synth.decodeInto(m_session, &error), qPrintable(error));
}

void EventsReviewTest::init()
{
    m_data = std::make_unique<TestDatabase>();
    QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
    m_data->addPatient("RSSMRA80A01H501U");
    m_sessionId = m_data->addSession("RSSMRA80A01H501U", "LOADED", acquisitionStart.toSecsSinceEpoch()).id;
    QDir(m_session + "/snap").removeRecursively();
    m_prompts = ScriptedPrompts();

    m_window = new VisualizationWindow(&m_data->db());
    m_window->setPrompts(&m_prompts);
    m_window->setSessionId(m_sessionId);
    m_window->setEventsLocked(false);
    m_window->resize(1500, 900);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QSignalSpy finished(m_window, &VisualizationWindow::loadingFinishedSignal);
    m_window->loadSessionData(m_session, acquisitionStart.toSecsSinceEpoch());
    QVERIFY(finished.wait(10000));
    m_window->loadAnalysisResults(m_session + "/ANALISI");
    m_window->jumpToFirstData();
    QVERIFY(m_prompts.boxes.isEmpty());
}

void EventsReviewTest::cleanup()
{
    delete m_window;
    m_window = nullptr;
    m_data.reset();
}

void EventsReviewTest::selectType(const QString &text)
{
    auto *combo = m_window->findChild<QComboBox *>("selectEvent");
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setCurrentIndex(index);
}

AnnotationRecord EventsReviewTest::storedRow(int id)
{
    std::vector<AnnotationRecord> rows;
    m_data->db().listAnnotations(m_sessionId, m_window->sourceId().toStdString(), rows);
    for (const AnnotationRecord &row : rows) {
        if (row.m_id == id)
            return row;
    }
    return AnnotationRecord();
}

void EventsReviewTest::stepsThroughEachTypeWithTheKeys()
{
    QCOMPARE(m_window->findChild<QComboBox *>("selectEvent")->count(), 7);
    QTest::keyClick(m_window, Qt::Key_5);
    QCOMPARE(m_window->tabs()->currentIndex(), int(VisualizationWindow::EventsTab));
    EventList *list = m_window->getEventList(0);
    const int v = EventList::typeIndex("V");
    QVERIFY(list->size(v) > 3);

    // The first ventricular beat, one tenth into the 10-second window, with its two markers.
    QCOMPARE(labelText(m_window, "labelIndex"), QString("1"));
    QCOMPARE(labelText(m_window, "labelTot"), QString::number(list->size(v)));
    QCOMPARE(labelText(m_window, "labelState"), QString("DA ANALIZZARE"));
    QCOMPARE(labelText(m_window, "labelChannel"), QString("L2"));
    const Event *first = list->at(v, 0);
    QCOMPARE(double(m_window->position()), std::round(first->start * 1000 - 1000));
    for (const EcgPaperPlot *plot : m_window->eventPlots())
        QCOMPARE(plot->markers().size(), 2);
    QCOMPARE(m_window->eventPlots()[0]->markers()[0]->xValue(), first->start * 1000);
    // The first plot shows the beat's own lead; the others keep theirs.
    const auto leadsShown = [this] {
        QStringList names;
        for (int i = 1; i <= 3; ++i)
            names << m_window->findChild<QComboBox *>(QString("selectChannelEv%1").arg(i))->currentText();
        return names;
    };
    QCOMPARE(leadsShown(), QStringList({"L2", "L2", "V1"}));

    // N and B move the cursor; the keys work while the type combo has the focus too.
    QTest::keyClick(m_window->findChild<QComboBox *>("selectEvent"), Qt::Key_N);
    QCOMPARE(labelText(m_window, "labelIndex"), QString("2"));
    QCOMPARE(double(m_window->position()), std::round(list->at(v, 1)->start * 1000 - 1000));
    QTest::keyClick(m_window, Qt::Key_B);
    QTest::keyClick(m_window, Qt::Key_B); // nothing before the first
    QCOMPARE(labelText(m_window, "labelIndex"), QString("1"));

    // The arrows move the window, also while a lead combo has the focus, whose lead stays.
    QApplication::setActiveWindow(m_window);
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    auto *third = m_window->findChild<QComboBox *>("selectChannelEv3");
    third->setCurrentIndex(leads::fromChannel("V3"));
    third->setFocus();
    const unsigned before = m_window->position();
    QTest::keyClick(third, Qt::Key_Right);
    QCOMPARE(m_window->position(), before + 1000);
    QCOMPARE(third->currentText(), QString("V3"));

    // A bigeminy lasts: red markers at its end as well.
    selectType("Bigeminia");
    const Event *bigeminy = list->current(EventList::typeIndex("B"));
    QVERIFY(bigeminy);
    QCOMPARE(labelText(m_window, "labelDuration"), QString::number(bigeminy->duration, 'g', 6) + " sec. ");
    QList<QwtPlotMarker *> markers = m_window->eventPlots()[2]->markers();
    QCOMPARE(markers.size(), 4);
    QCOMPARE(markers[2]->xValue(), (bigeminy->start + bigeminy->duration) * 1000);
    QCOMPARE(markers[2]->symbol()->brush().color(), QColor(Qt::red));

    // The ST episode shows its extreme on the plots and beside them.
    selectType("ST");
    const Event *st = list->current(EventList::typeIndex("ST"));
    QVERIFY(st);
    QCOMPARE(st->stMaxValue, -200.0);
    QCOMPARE(labelText(m_window, "labelDuration"),
             QString::number(st->duration, 'g', 6) + " sec. ( Max : -200 )");
    markers = m_window->eventPlots()[0]->markers();
    QCOMPARE(markers.size(), 5);
    QCOMPARE(markers[4]->label().text(), QString("ST MAX : -200"));
    QCOMPARE(markers[4]->value(), QPointF(st->stMaxTime * 1000, -1.0));
    QCOMPARE(leadsShown(), QStringList({"V5", "L2", "V3"})); // found on V5

    // The last event of a type keeps the cursor.
    selectType("Tachicardia ventricolare");
    QCOMPARE(labelText(m_window, "labelTot"), QString("1"));
    QTest::keyClick(m_window, Qt::Key_N);
    QCOMPARE(labelText(m_window, "labelIndex"), QString("1"));
    QCOMPARE(list->cursor(EventList::typeIndex("VT")), 0);

    // A type without events: empty labels, "0", nothing to step, no trace or markers left behind.
    selectType("Trigeminia");
    QCOMPARE(labelText(m_window, "labelTot") + labelText(m_window, "labelState"), QString("0"));
    for (const char *name : {"buttonForward", "buttonAccept", "buttonAcceptPrint"})
        QVERIFY2(!button(m_window, name)->isEnabled(), name);
    for (const EcgPaperPlot *plot : m_window->eventPlots())
        QVERIFY(plot->markers().isEmpty() && plot->itemList(QwtPlotItem::Rtti_PlotCurve).isEmpty());
}

void EventsReviewTest::reviewActionsWriteTheRowFirst()
{
    QSignalSpy shots(m_window, &VisualizationWindow::newScreenShot);
    QSignalSpy deleted(m_window, &VisualizationWindow::deleteScreenShot);
    QTest::keyClick(m_window, Qt::Key_5);
    EventList *list = m_window->getEventList(0);
    const int v = EventList::typeIndex("V");
    Event *first = list->at(v, 0);
    Event *second = list->at(v, 1);

    // Accept: stored, then the next event.
    QTest::keyClick(m_window, Qt::Key_A);
    QCOMPARE(storedRow(first->id).m_status, std::string("checked"));
    QCOMPARE(labelText(m_window, "labelIndex"), QString("2"));
    // Accept and print: the snapshot of the events frame with its note, the row "printed".
    QTest::keyClick(m_window, Qt::Key_S);
    QCOMPARE(storedRow(second->id).m_status, std::string("printed"));
    QCOMPARE(shots.size(), 1);
    QCOMPARE(shots[0].at(3).toInt(), second->id);
    QCOMPARE(shots[0].at(0).value<QImage>().size(), m_window->findChild<QFrame *>("tab5")->size());
    QCOMPARE(shots[0].at(2).toFloat(),
             float(double(m_window->findChild<QFrame *>("tab5")->width()) / m_window->eventPlots()[0]->width()));
    QCOMPARE(shots[0].at(1).toString(),
             QString("<html><table border=0 width=100% cellpadding=5><tr><td> <b>Evento : </b></td><td>V</td></tr>"
                     "<tr><td> <b>Canali evento : </b></td><td>L2</td></tr>"
                     "<tr><td> <b>Canali visualizzati : </b></td><td>L2 , L2 , V1</td></tr></table></html>"));

    // Back on the printed one: its state and buttons; accepting it again removes its snapshot.
    QTest::keyClick(m_window, Qt::Key_B);
    QCOMPARE(labelText(m_window, "labelState"), QString("ACCETTATO E STAMPATO"));
    QVERIFY(!button(m_window, "buttonAcceptPrint")->isEnabled());
    QTest::keyClick(m_window, Qt::Key_S); // not offered: nothing happens
    QCOMPARE(shots.size(), 1);
    QTest::keyClick(m_window, Qt::Key_A);
    QCOMPARE(deleted.size(), 1);
    QCOMPARE(deleted[0].at(0).toInt(), second->id);
    QCOMPARE(storedRow(second->id).m_status, std::string("checked"));

    // Reject the first one.
    QTest::keyClick(m_window, Qt::Key_B);
    QTest::keyClick(m_window, Qt::Key_B);
    QTest::keyClick(m_window, Qt::Key_X);
    QCOMPARE(storedRow(first->id).m_status, std::string("rejected"));
    QCOMPARE(deleted.size(), 1);
    QVERIFY(m_prompts.boxes.isEmpty());
}

void EventsReviewTest::refusedActionLeavesTheEvent()
{
    QSignalSpy shots(m_window, &VisualizationWindow::newScreenShot);
    QTest::keyClick(m_window, Qt::Key_5);
    Query lock;
    lock.sql = "CREATE TRIGGER locked BEFORE UPDATE ON ANNOTATIONS BEGIN SELECT RAISE(ABORT, 'locked'); END";
    QVERIFY(m_data->db().execute(lock));
    const Event *first = m_window->getEventList(0)->at(EventList::typeIndex("V"), 0);

    krntest::expectMessage(QtInfoMsg, "[DB] Query execution error locked");
    QTest::keyClick(m_window, Qt::Key_S);
    QCOMPARE(m_prompts.boxTexts(),
             QStringList{"Evento non salvato|Il database ha rifiutato lo stato dell'evento: l'evento resta com'era."});
    QCOMPARE(shots.size(), 0);
    QCOMPARE(labelText(m_window, "labelIndex"), QString("1"));
    QCOMPARE(labelText(m_window, "labelState"), QString("DA ANALIZZARE"));
    QVERIFY(!first->printed && !first->accepted);
    QCOMPARE(storedRow(first->id).m_status, std::string("todo"));
}

void EventsReviewTest::refusedConversionIsReported()
{
    // Another beat file (another source) whose rows the database refuses part-way.
    QTemporaryDir other;
    QVERIFY(QFile::copy(m_session + "/ANALISI/annotations_fusion.pt", other.filePath("annotations_fusion.pt")));
    QFile file(other.filePath("annotations_fusion.pt"));
    QVERIFY(file.open(QIODevice::Append));
    file.write("0:17:00.000\t510000\tV\t0\tL2\t0\n");
    file.close();
    Query refuse;
    refuse.sql = "CREATE TRIGGER refuse BEFORE INSERT ON ANNOTATIONS WHEN NEW.type = 'st' "
                 "BEGIN SELECT RAISE(ABORT, 'refused'); END";
    QVERIFY(m_data->db().execute(refuse));
    std::vector<AnnotationRecord> before;
    QVERIFY(m_data->db().listAnnotations(m_sessionId, std::string(), before));

    krntest::expectMessage(QtInfoMsg, "[DB] Query execution error refused");
    m_prompts.directories.enqueue(other.path());
    m_window->loadAnnotationDataFromFile();
    QCOMPARE(m_prompts.chooserTitles, QStringList{"Scegli la cartella contenente le analisi"});
    QCOMPARE(m_prompts.boxTexts(), QStringList{"Eventi non caricati|Il database ha rifiutato gli eventi dell'analisi: "
                                               "nessun evento è stato caricato e nessuno è stato salvato."});
    std::vector<AnnotationRecord> after;
    QVERIFY(m_data->db().listAnnotations(m_sessionId, std::string(), after));
    QCOMPARE(after.size(), before.size());
    QCOMPARE(labelText(m_window, "labelTot"), QString("0"));

    // Once the database takes them, the next load converts the whole file.
    refuse.sql = "DROP TRIGGER refuse";
    QVERIFY(m_data->db().execute(refuse));
    m_prompts.directories.enqueue(other.path());
    m_window->loadAnnotationDataFromFile();
    after.clear();
    QVERIFY(m_data->db().listAnnotations(m_sessionId, std::string(), after));
    QCOMPARE(after.size(), before.size() * 2 + 1);

    // A beat file that cannot be read gets the load's box as well.
    QVERIFY(QDir().mkpath(other.filePath("unreadable/annotations_fusion.pt")));
    m_prompts.directories.enqueue(other.filePath("unreadable"));
    m_window->loadAnnotationDataFromFile();
    QVERIFY(m_prompts.boxTexts().last().startsWith("Eventi non caricati|Il file delle analisi"));
}

void EventsReviewTest::addsEventsWithTheDialogAndThePlots()
{
    QSignalSpy started(m_window, &VisualizationWindow::startEventMode);
    QSignalSpy stopped(m_window, &VisualizationWindow::stopEventMode);
    QSignalSpy prompt(m_window, &VisualizationWindow::setLabelEventBar);
    QTest::keyClick(m_window, Qt::Key_5);
    EventList *list = m_window->getEventList(0);
    const int b = EventList::typeIndex("B");
    const int bigeminies = list->size(b);

    // Escape in the dialog: no event, the mode ends.
    onModalDialog<Dialog>([](Dialog *dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QTest::keyClick(m_window, Qt::Key_E);
    QCOMPARE(started.size(), 1);
    QCOMPARE(stopped.size(), 1);
    QVERIFY(!m_window->eventMode());

    // An instant kind ("2", a supraventricular beat): one click on the beat, on its lead's plot.
    onModalDialog<Dialog>([](Dialog *dialog) { QTest::keyClick(dialog, Qt::Key_2); });
    QTest::keyClick(m_window, Qt::Key_E);
    QVERIFY(m_window->waitingStart() && !m_window->waitingEnd() && m_prompts.notices.isEmpty());
    QCOMPARE(prompt.last().at(0).toString(), QString("Seleziona evento"));
    const double beat = m_window->position() + 4321;
    emit m_window->eventPlots()[1]->picker()->selected(QPointF(beat, 0.3));
    QVERIFY(!m_window->eventMode());
    QCOMPARE(m_prompts.notices, QStringList{"Evento aggiunto"});
    std::vector<AnnotationRecord> rows;
    QVERIFY(m_data->db().listAnnotations(m_sessionId, m_window->sourceId().toStdString(), rows));
    const auto sveb = std::find_if(rows.begin(), rows.end(), [](const AnnotationRecord &r) { return r.m_type == "sveb"; });
    QVERIFY(sveb != rows.end());
    QCOMPARE(sveb->m_dateStart, qint64(beat));
    QCOMPARE(sveb->m_channel + sveb->m_status, std::string("L2added"));

    // An episode, printed: its start and its end picked on the event plots (end before start).
    m_window->setPrintNewEvent(Qt::Checked);
    onModalDialog<Dialog>([](Dialog *dialog) { dialog->buttonFor("B")->click(); });
    QTest::keyClick(m_window, Qt::Key_E);
    QVERIFY(m_window->eventMode() && m_window->waitingStart() && m_window->waitingEnd());
    QCOMPARE(prompt.last().at(0).toString(), QString("Seleziona inizio"));
    const double at = m_window->position();
    emit m_window->eventPlots()[2]->picker()->selected(QPointF(at + 8000, 0.2));
    QCOMPARE(prompt.last().at(0).toString(), QString("Seleziona fine"));
    emit m_window->eventPlots()[2]->picker()->selected(QPointF(at + 2500, 0.1));
    QVERIFY(!m_window->eventMode());
    QCOMPARE(prompt.last().at(0).toString(), QString());
    QCOMPARE(list->size(b), bigeminies + 1);
    const Event *added = nullptr;
    for (int i = 0; i < list->size(b); ++i)
        if (list->at(b, i)->added)
            added = list->at(b, i);
    QVERIFY(added);
    QCOMPARE(QPointF(added->start, added->duration), QPointF((at + 2500) / 1000, 5.5));
    QCOMPARE(added->channels, QStringList{"V1"});
    QCOMPARE(added->status(), QString("addedprint"));

    // Its snapshot: the events frame with the note of an added event.
    const QStringList images = QDir(m_session + "/snap").entryList({"Screenshot_*.bmp"});
    QCOMPARE(images.size(), 1);
    QFile text(m_session + "/snap/Text_" + images[0].mid(11, 14) + ".txt");
    QVERIFY(text.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(text.readAll()).split('\n');
    QCOMPARE(lines.size(), 3);
    const double ratio = double(m_window->findChild<QFrame *>("tab5")->width()) / m_window->eventPlots()[0]->width();
    QVERIFY2(qAbs(lines[1].toDouble() - ratio) < 1e-4, qPrintable(lines[1]));
    QCOMPARE(lines[2], QString("<html><table border=0 width=100% cellpadding=5><tr><td> <b>Evento : </b></td><td>B"
                               "</td></tr><tr><td> <b>Durata : </b></td><td>5.5 sec. </td></tr></table></html>"));

    // The added event shows as such, with no action offered; a second E while waiting cancels.
    selectType("Bigeminia");
    while (!list->current(b)->added)
        QTest::keyClick(m_window, Qt::Key_N);
    QCOMPARE(labelText(m_window, "labelState"), QString("AGGIUNTO E STAMPATO"));
    QVERIFY(!button(m_window, "buttonAccept")->isEnabled());
    onModalDialog<Dialog>([](Dialog *dialog) { dialog->buttonFor("VT")->click(); });
    QTest::keyClick(m_window, Qt::Key_E);
    QVERIFY(m_window->waitingStart());
    QTest::keyClick(m_window, Qt::Key_E);
    QVERIFY(!m_window->eventMode());
    QCOMPARE(list->size(EventList::typeIndex("VT")), 1);
    QVERIFY(m_prompts.boxes.isEmpty());
}

void EventsReviewTest::heartRateOncePerKind()
{
    // 172 replaces 150; a cancelled value stores nothing and keeps 172.
    for (std::optional<int> rate : {std::optional<int>(150), std::optional<int>(172), std::optional<int>()}) {
        m_prompts.integers.enqueue(rate);
        onModalDialog<Dialog>([](Dialog *dialog) { QTest::keyClick(dialog, Qt::Key_8); });
        QTest::keyClick(m_window, Qt::Key_E);
        QVERIFY(!m_window->eventMode());
    }
    QCOMPARE(m_prompts.chooserTitles.size(), 3);
    QCOMPARE(m_prompts.chooserTitles[0], QString("Inserisci valore frequenza"));
    std::vector<AnnotationRecord> rows;
    QVERIFY(m_data->db().listAnnotations(m_sessionId, m_window->sourceId().toStdString(), rows));
    QStringList maxima;
    for (const AnnotationRecord &r : rows)
        if (r.m_type == "maxfrequency")
            maxima << QString::number((r.m_dateEnd - r.m_dateStart) / 1000);
    QCOMPARE(maxima, QStringList{"172"});
    QCOMPARE(m_prompts.notices.size(), 2);
}

void EventsReviewTest::dialogKeys()
{
    const char *codes[] = {"V", "S", "P", "COUPLET", "TRIPLET", "RONT", "RRLONG", "FCMAX", "FCMIN"};
    for (int digit = 0; digit < 9; ++digit) {
        Dialog dialog;
        dialog.show();
        QSignalSpy chosen(&dialog, qOverload<QString, bool>(&Dialog::newEcgEvent));
        QTest::keyClick(&dialog, Qt::Key(Qt::Key_1 + digit));
        QCOMPARE(dialog.chosenCode(), QString(codes[digit]));
        QCOMPARE(chosen.size(), 1);
        QVERIFY(!dialog.isVisible());
    }
    Dialog clicked;
    QSignalSpy lasting(&clicked, qOverload<QString, bool>(&Dialog::newEcgEvent));
    QCOMPARE(clicked.buttonFor("RRLONG")->text(), QString("RR lungo (7)"));
    clicked.buttonFor("SVT")->click();
    QCOMPARE(lasting[0], QVariantList({"SVT", true}));

    // Other keys do nothing, Escape and "Annulla" close without a code.
    Dialog other;
    other.show();
    for (Qt::Key key : {Qt::Key_0, Qt::Key_A, Qt::Key_Return, Qt::Key_Space, Qt::Key_Enter})
        QTest::keyClick(&other, key);
    QVERIFY(other.isVisible());
    QVERIFY(other.chosenCode().isEmpty());
    QTest::keyClick(&other, Qt::Key_Escape);
    QVERIFY(!other.isVisible());
    QVERIFY(other.chosenCode().isEmpty());
    other.show();
    other.findChild<QPushButton *>("cancelButton")->click();
    QVERIFY(!other.isVisible());
    QCOMPARE(other.findChildren<QPushButton *>().size(), 20);
}

KRN_TEST_MAIN(EventsReviewTest)
#include "tst_eventsreview.moc"
