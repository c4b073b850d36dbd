// The patient page driven through the main window on a real database: new patients, the duplicate
// fiscal code box, search, session tiles, and what the review page offers to each role.
#include "tests/support/TestMain.h"
#include "app/KRNMainWindow.h"
#include "live/viewSubmenu.h"
#include "patients/FiscalCode.h"
#include "patients/IntroWindow.h"
#include "patients/Session.h"
#include "patients/patient.h"
#include "patients/patientInfo.h"
#include "tests/support/MainWindowLogin.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"

#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSettings>
#include <QStackedWidget>
#include <QTextEdit>
#include <QtTest>

#include <sqlite3.h>

#include <memory>

namespace {

const QDate bianchiBirth(1975, 5, 5);
const QString bianchiCode = composeFiscalCode("Bianchi", "Maria", bianchiBirth, true, "H501");

template <typename T> T *field(KRNMainWindow &w, const char *name)
{
    T *child = w.introWindow()->info()->findChild<T *>(name);
    if (!child)
        qFatal("form has no %s", name);
    return child;
}

QStringList shownSurnames(KRNMainWindow &w)
{
    QStringList names;
    for (patient *tile : w.introWindow()->patientTiles())
        names << tile->surnameLabel()->text();
    return names;
}

bool shown(KRNMainWindow &w, const char *name)
{
    return w.toolbar()->findChild<QWidget *>(name)->isVisibleTo(w.toolbar());
}

} // namespace

class PatientFlowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newPatientIsStoredAndListed();
    void duplicateFiscalCodeKeepsTheForm();
    void duplicateHiddenBySearchIsRefusedToo();
    void failedSaveKeepsTheForm();
    void searchOnSurnameAndNameOnly();
    void sessionTilesOfTheSelectedPatient();
    void actionsAfterASearchActOnTheShownPatient();
    void reviewPageOffersByRoleAndStatus();
    void backFromReviewAsksUnlessAnalyzed();

private:
    void typeBianchi(KRNMainWindow &w);
    void openReview(KRNMainWindow &w, const std::string &status);

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestDatabase> m_data;
    std::unique_ptr<ScriptedPrompts> m_prompts;
};

void PatientFlowTest::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void PatientFlowTest::init()
{
    m_data = std::make_unique<TestDatabase>();
    QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
    m_prompts = std::make_unique<ScriptedPrompts>();
}

void PatientFlowTest::cleanup()
{
    m_prompts.reset();
    m_data.reset();
}

void PatientFlowTest::typeBianchi(KRNMainWindow &w)
{
    w.introWindow()->buttonNewPatient()->click();
    QTest::keyClicks(field<QLineEdit>(w, "surname"), "Bianchi");
    QTest::keyClicks(field<QLineEdit>(w, "name"), "Maria");
    QTest::keyClicks(field<QLineEdit>(w, "cf"), bianchiCode);
    QTest::keyClicks(field<QLineEdit>(w, "weight"), "58");
    QTest::keyClicks(field<QLineEdit>(w, "height"), "165");
    field<QDateEdit>(w, "birth")->setDate(bianchiBirth);
    field<QRadioButton>(w, "female")->click();
    QTest::keyClicks(field<QTextEdit>(w, "textEditNote"), "Prima visita");
}

void PatientFlowTest::newPatientIsStoredAndListed()
{
    m_data->addPatient("RSSMRA80A02H501Z", "Rossi", "Mario");
    auto w = loggedIn(*m_data, *m_prompts, "doctor");
    QCOMPARE(shownSurnames(*w), QStringList{"ROSSI"});

    typeBianchi(*w);
    QVERIFY(w->introWindow()->info()->buttonSave()->isEnabled());
    w->introWindow()->info()->buttonSave()->click();

    QVERIFY(m_prompts->boxes.isEmpty());
    std::vector<PatientRecord> stored;
    QVERIFY(m_data->db().listPatients(std::string(), stored));
    QCOMPARE(int(stored.size()), 2);
    const auto it = std::find_if(stored.begin(), stored.end(),
                                 [](const PatientRecord &p) { return p.fiscalCode == bianchiCode.toStdString(); });
    QVERIFY(it != stored.end());
    QCOMPARE(it->surname, std::string("Bianchi"));
    QCOMPARE(it->name, std::string("Maria"));
    QVERIFY(!it->isMale);
    QCOMPARE(int(it->weight), 58);
    QCOMPARE(int(it->height), 165);
    QCOMPARE(it->status, std::string("FREE"));
    QCOMPARE(it->note, std::string("Prima visita"));

    QCOMPARE(shownSurnames(*w), QStringList({"BIANCHI", "ROSSI"}));
    QCOMPARE(w->patientList()[size_t(w->currentPatientRow())].fiscalCode, bianchiCode.toStdString());
    // Back to viewing: the form is read-only and offers only its edit button.
    QVERIFY(!field<QLineEdit>(*w, "surname")->isEnabled());
    QVERIFY(w->introWindow()->info()->buttonSave()->isHidden());
    QVERIFY(!w->introWindow()->info()->buttonEdit()->isHidden());
}

void PatientFlowTest::duplicateFiscalCodeKeepsTheForm()
{
    m_data->addPatient(bianchiCode.toStdString(), "Bianchi", "Maria");
    auto w = loggedIn(*m_data, *m_prompts, "doctor");
    typeBianchi(*w);
    w->introWindow()->info()->buttonSave()->click();

    QCOMPARE(m_prompts->boxTexts(),
             QStringList{"Impossibile creare nuovo paziente.|Un paziente con questo codice fiscale è già presente."});
    QCOMPARE(m_prompts->boxes.last().icon, Prompts::Icon::Critical);
    std::vector<PatientRecord> stored;
    m_data->db().listPatients(std::string(), stored);
    QCOMPARE(int(stored.size()), 1);
    // What was typed is still there, ready to be corrected.
    QCOMPARE(field<QLineEdit>(*w, "cf")->text(), bianchiCode);
    QCOMPARE(field<QTextEdit>(*w, "textEditNote")->toPlainText(), QString("Prima visita"));
    QVERIFY(field<QLineEdit>(*w, "cf")->isEnabled());
    QVERIFY(!w->introWindow()->info()->buttonSave()->isHidden());
}

void PatientFlowTest::duplicateHiddenBySearchIsRefusedToo()
{
    m_data->addPatient(bianchiCode.toStdString(), "Bianchi", "Maria");
    auto w = loggedIn(*m_data, *m_prompts, "doctor");
    w->introWindow()->editPatientSearch()->setText("zzz");
    QVERIFY(shownSurnames(*w).isEmpty());
    typeBianchi(*w);
    w->introWindow()->info()->buttonSaveSetup()->click();
    QCOMPARE(m_prompts->boxTexts(),
             QStringList{"Impossibile creare nuovo paziente.|Un paziente con questo codice fiscale è già presente."});
    // A refused save starts no session setup for anyone.
    QCOMPARE(w->currentPatientRow(), -1);
}

void PatientFlowTest::failedSaveKeepsTheForm()
{
    auto w = loggedIn(*m_data, *m_prompts, "doctor");
    // Another program takes the table away under the workstation's feet.
    sqlite3 *raw = nullptr;
    QCOMPARE(sqlite3_open(m_data->dbPath().toUtf8().constData(), &raw), SQLITE_OK);
    QCOMPARE(sqlite3_exec(raw, "ALTER TABLE PATIENTS RENAME TO PATIENTS_OLD", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);

    typeBianchi(*w);
    // The duplicate check cannot read the patients: nothing is inserted blindly.
    krntest::expectMessage(QtInfoMsg, "[DB] Query execution error no such table: PATIENTS");
    w->introWindow()->info()->buttonSave()->click();
    QCOMPARE(m_prompts->boxTexts(),
             QStringList{"Impossibile salvare il paziente.|Il paziente non è stato salvato nel database."});
    QCOMPARE(field<QLineEdit>(*w, "surname")->text(), QString("Bianchi"));
    QVERIFY(field<QLineEdit>(*w, "surname")->isEnabled());
}

void PatientFlowTest::searchOnSurnameAndNameOnly()
{
    m_data->addPatient("RSSMRA80A02H501Z", "Rossi", "Mario");
    m_data->addPatient(bianchiCode.toStdString(), "Bianchi", "Maria");
    m_data->addPatient("VRDGFR65T31L219K", "Verdi", "Gianfranco");
    auto w = loggedIn(*m_data, *m_prompts, "doctor");
    QLineEdit *search = w->introWindow()->editPatientSearch();

    search->setText("ross");
    QCOMPARE(shownSurnames(*w), QStringList{"ROSSI"});
    search->setText("MARI"); // Mario and Maria, by name, whatever the case
    QCOMPARE(shownSurnames(*w), QStringList({"BIANCHI", "ROSSI"}));
    search->setText("RSSMRA");
    QVERIFY(shownSurnames(*w).isEmpty());
    search->clear();
    QCOMPARE(shownSurnames(*w).size(), 3);
}

void PatientFlowTest::sessionTilesOfTheSelectedPatient()
{
    m_data->addPatient("RSSMRA80A02H501Z", "Rossi", "Mario");
    m_data->addPatient(bianchiCode.toStdString(), "Bianchi", "Maria");
    m_data->addSession("RSSMRA80A02H501Z", "ANALYZED", 1000);
    m_data->addSession("RSSMRA80A02H501Z", "LOADED", 3000);
    m_data->addSession("RSSMRA80A02H501Z", "OPEN", 2000);
    auto w = loggedIn(*m_data, *m_prompts, "doctor");
    QCOMPARE(shownSurnames(*w), QStringList({"BIANCHI", "ROSSI"}));

    w->introWindow()->viewButtons().at(1)->click();
    QCOMPARE(field<QLineEdit>(*w, "surname")->text(), QString("Rossi"));
    QCOMPARE(w->toolbar()->findChild<QLabel *>("labelsurname")->text(), QString("Rossi"));
    const QList<Session *> &tiles = w->sessionTileList();
    QCOMPARE(tiles.size(), 3);
    // Newest recording first; one button per status.
    QVERIFY(tiles[0]->buttonAnalyze()->isEnabled() && !tiles[0]->buttonImport()->isEnabled());
    QVERIFY(tiles[1]->buttonImport()->isEnabled() && !tiles[1]->buttonView()->isEnabled());
    QVERIFY(tiles[2]->buttonView()->isEnabled() && !tiles[2]->buttonAnalyze()->isEnabled());

    // The other patient has no sessions: the old tiles go.
    w->introWindow()->viewButtons().at(0)->click();
    QVERIFY(w->sessionTileList().isEmpty());
    QCOMPARE(field<QLineEdit>(*w, "surname")->text(), QString("Bianchi"));
}

void PatientFlowTest::actionsAfterASearchActOnTheShownPatient()
{
    const QDate born(1980, 1, 1);
    const std::string abate = composeFiscalCode("Abate", "Luca", born, false, "H501").toStdString();
    const std::string rossi = composeFiscalCode("Rossi", "Mario", born, false, "H501").toStdString();
    const std::string verdi = composeFiscalCode("Verdi", "Gianfranco", born, false, "H501").toStdString();
    m_data->addPatient(abate, "Abate", "Luca");
    const PatientRecord rossiRow = m_data->addPatient(rossi, "Rossi", "Mario");
    m_data->addPatient(verdi, "Verdi", "Gianfranco");
    m_data->addSession(rossi, "LOADED", 1000);
    auto w = loggedIn(*m_data, *m_prompts, "doctor");
    w->introWindow()->viewButtons().at(1)->click();
    QCOMPARE(field<QLineEdit>(*w, "surname")->text(), QString("Rossi"));

    // The search leaves Abate and Verdi; Rossi's form and tiles stay, and so does whom they act on.
    w->introWindow()->editPatientSearch()->setText("e");
    QCOMPARE(shownSurnames(*w), QStringList({"ABATE", "VERDI"}));
    QCOMPARE(w->currentPatient()->fiscalCode, rossi);
    QCOMPARE(w->currentPatientRow(), -1);

    w->introWindow()->info()->buttonEdit()->click();
    QLineEdit *weight = field<QLineEdit>(*w, "weight");
    weight->clear();
    QTest::keyClicks(weight, "81");
    QVERIFY(w->introWindow()->info()->buttonSave()->isEnabled());
    w->introWindow()->info()->buttonSave()->click();
    QVERIFY(m_prompts->boxes.isEmpty());
    std::vector<PatientRecord> stored;
    QVERIFY(m_data->db().listPatients(std::string(), stored));
    QCOMPARE(int(stored.size()), 3);
    for (const PatientRecord &p : stored) {
        QCOMPARE(int(p.weight), p.fiscalCode == rossi ? 81 : 70);
        if (p.fiscalCode == rossi)
            QCOMPARE(p.id, rossiRow.id);
    }

    // "Annulla" on a new patient brings back Rossi, tiles and their panel, whatever the rows.
    w->introWindow()->editPatientSearch()->setText("verdi");
    w->introWindow()->buttonNewPatient()->click();
    QVERIFY(w->introWindow()->sessionsScroll()->isHidden());
    w->introWindow()->info()->buttonClose()->click();
    QCOMPARE(field<QLineEdit>(*w, "surname")->text(), QString("Rossi"));
    QCOMPARE(w->sessionTileList().size(), 1);
    QVERIFY(!w->introWindow()->sessionsScroll()->isHidden());
}

void PatientFlowTest::openReview(KRNMainWindow &w, const std::string &status)
{
    m_data->addPatient("RSSMRA80A02H501Z", "Rossi", "Mario");
    m_data->addSession("RSSMRA80A02H501Z", status, 1000);
    w.searchPatient(QString());
    w.patientSelected(0);
    w.setCurrentSessionIndex(0);
    w.goToVisualizationPage();
}

void PatientFlowTest::reviewPageOffersByRoleAndStatus()
{
    {
        auto w = loggedIn(*m_data, *m_prompts, "nurse");
        openReview(*w, "LOADED");
        QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::VisualizationPage));
        QCOMPARE(m_prompts->boxTexts(), QStringList{"Dati analisi non trovati|Risultati analisi non disponibili"});
        QVERIFY(!shown(*w, "buttonSnapshot"));
        QVERIFY(!shown(*w, "buttonExport"));
        QVERIFY(shown(*w, "frameAddEvent"));
        QVERIFY(!shown(*w, "buttonViewPdf"));
        QVERIFY(!shown(*w, "buttonStartSession"));
    }
    cleanup();
    init();
    {
        auto w = loggedIn(*m_data, *m_prompts, "doctor");
        openReview(*w, "LOADED");
        QVERIFY(shown(*w, "buttonSnapshot"));
        QVERIFY(shown(*w, "buttonExport"));
        QVERIFY(!shown(*w, "buttonViewPdf"));
    }
    cleanup();
    init();
    {
        auto w = loggedIn(*m_data, *m_prompts, "nurse");
        openReview(*w, "ANALYZED");
        QCOMPARE(w->windowTitle(), QString("Visualizza sessione"));
        QVERIFY(!shown(*w, "buttonExport"));
        QVERIFY(!shown(*w, "frameAddEvent"));
        QVERIFY(shown(*w, "buttonViewPdf"));
    }
}

void PatientFlowTest::backFromReviewAsksUnlessAnalyzed()
{
    auto w = loggedIn(*m_data, *m_prompts, "doctor");
    openReview(*w, "LOADED");
    QCOMPARE(w->windowTitle(), QString("Analizza sessione"));
    m_prompts->boxes.clear();

    m_prompts->buttons.enqueue("Cancel");
    w->toolbar()->findChild<QPushButton *>("buttonBack")->click();
    QCOMPARE(m_prompts->boxTexts(), QStringList{"Sei sicuro di voler chiudere la sessione corrente?"});
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::VisualizationPage));

    m_prompts->buttons.enqueue("OK");
    w->toolbar()->findChild<QPushButton *>("buttonBack")->click();
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::IntroPage));
    QCOMPARE(w->windowTitle(), QString("Tavo KRN - Versione 3.0.0"));
}

KRN_TEST_MAIN(PatientFlowTest)
#include "tst_patientflow.moc"
