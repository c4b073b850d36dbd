// The patient page widgets on the offscreen platform: the form's modes and save buttons, the
// form-to-record rules, the patient and session tiles and the patient grid.
#include "patients/IntroWindow.h"
#include "patients/Session.h"
#include "patients/patient.h"
#include "patients/patientInfo.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestMain.h"

#include <QApplication>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalMapper>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include <cstdlib>
#include <ctime>
#include <memory>

namespace {

// Midnight UTC of 2 January 1980.
constexpr int64_t rossiBirth = 315619200;

PatientRecord rossi()
{
    PatientRecord p;
    p.id = 7;
    p.name = "Mario";
    p.surname = "Rossi";
    p.fiscalCode = "RSSMRA80A02H501Z";
    p.isMale = true;
    p.height = 178;
    p.weight = 82;
    p.birthDate = rossiBirth;
    p.status = "FREE";
    p.note = "Controllo annuale.";
    return p;
}

template <typename T> T *child(QWidget *parent, const char *name)
{
    T *w = parent->findChild<T *>(name);
    if (!w)
        qFatal("no child %s", name);
    return w;
}

// The form with typed-in fields; a field given as an empty string is left empty.
struct Form
{
    std::unique_ptr<patientInfo> w = std::make_unique<patientInfo>();
    QLineEdit *name = child<QLineEdit>(w.get(), "name");
    QLineEdit *surname = child<QLineEdit>(w.get(), "surname");
    QLineEdit *cf = child<QLineEdit>(w.get(), "cf");
    QLineEdit *weight = child<QLineEdit>(w.get(), "weight");
    QLineEdit *height = child<QLineEdit>(w.get(), "height");
    QDateEdit *birth = child<QDateEdit>(w.get(), "birth");
    QRadioButton *female = child<QRadioButton>(w.get(), "female");
    QRadioButton *male = child<QRadioButton>(w.get(), "male");
    QTextEdit *note = child<QTextEdit>(w.get(), "textEditNote");

    Form() { w->show(); }

    void typeRossi()
    {
        w->addNewPatient();
        QTest::keyClicks(name, "mario");
        QTest::keyClicks(surname, "rossi");
        QTest::keyClicks(cf, "RSSMRA80A02H501Z");
        QTest::keyClicks(weight, "82");
        QTest::keyClicks(height, "178");
        birth->setDate(QDate(1980, 1, 2));
        male->click();
    }
    void retype(QLineEdit *e, const QString &text)
    {
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    bool saveEnabled() const
    {
        // The two save buttons agree whenever both are offered.
        if (!w->buttonSaveSetup()->isHidden() && w->buttonSave()->isEnabled() != w->buttonSaveSetup()->isEnabled())
            qFatal("buttonSave and buttonSaveSetup disagree");
        return w->buttonSave()->isEnabled();
    }
    QList<QWidget *> fields() const { return {name, surname, cf, weight, height, birth, female, male, note}; }
};

QString shownButtons(patientInfo *w)
{
    QStringList names;
    for (QPushButton *b : {w->buttonSave(), w->buttonEdit(), w->buttonClose(), w->buttonSaveSetup(), w->buttonSetup()}) {
        if (!b->isHidden())
            names << b->objectName() + (b->isEnabled() ? "" : "(disabled)");
    }
    return names.join(' ');
}

} // namespace

class PatientPageTest : public QObject
{
    Q_OBJECT
private slots:
    void formModes();
    void saveButtonsFollowTheFields();
    void weightAndHeightLimits();
    void noteOnlyChangeRerunsTheCheck();
    void recordFromTheForm();
    void showAndReadBackThroughTheDatabase();
    void patientTile();
    void sessionTileButtonPerStatus_data();
    void sessionTileButtonPerStatus();
    void sessionTileShowsTheSetupDate();
    void pageRows();
    void pageMappersAndPanel();
    void clearingRowsDeletesThem();
};

void PatientPageTest::formModes()
{
    Form f;
    // Built: read only, no buttons.
    for (QWidget *field : f.fields())
        QVERIFY2(!field->isEnabled(), qPrintable(field->objectName()));
    QCOMPARE(shownButtons(f.w.get()), QString());
    QCOMPARE(f.birth->text(), QString(" "));

    f.w->addNewPatient();
    for (QWidget *field : f.fields())
        QVERIFY2(field->isEnabled(), qPrintable(field->objectName()));
    QCOMPARE(shownButtons(f.w.get()), QString("buttonSave(disabled) buttonClose buttonSaveSetup(disabled)"));
    QCOMPARE(f.birth->date(), QDate(1950, 1, 1));
    QVERIFY(!f.male->isChecked() && !f.female->isChecked());
    QVERIFY(!f.w->isEditing());
    QCOMPARE(f.w->buttonSave()->text(), QString("Salva"));
    QCOMPARE(f.w->buttonSaveSetup()->toolTip(), QString("Salva le informazioni del paziente ed inizia il setup"));
    QCOMPARE(child<QLabel>(f.w.get(), "labelCF")->text(), QString("Codice Fiscale"));

    f.w->showPatient(rossi());
    f.w->patientViewSelected(3);
    for (QWidget *field : f.fields())
        QVERIFY2(!field->isEnabled(), qPrintable(field->objectName()));
    QCOMPARE(shownButtons(f.w.get()), QString("buttonEdit"));
    QCOMPARE(f.w->buttonEdit()->text(), QString("Modifica"));

    f.w->buttonEdit()->click();
    QVERIFY(f.w->isEditing());
    QVERIFY(!f.cf->isEnabled());
    for (QWidget *field : f.fields()) {
        if (field != f.cf)
            QVERIFY2(field->isEnabled(), qPrintable(field->objectName()));
    }
    QCOMPARE(shownButtons(f.w.get()), QString("buttonSave buttonClose"));

    // A new patient after editing one starts empty and is no longer an edit.
    f.w->addNewPatient();
    QVERIFY(!f.w->isEditing());
    QVERIFY(f.name->text().isEmpty() && f.cf->text().isEmpty() && f.note->toPlainText().isEmpty());
    QVERIFY(f.cf->isEnabled());
    QVERIFY(!f.male->isChecked() && !f.female->isChecked());

    f.w->clear();
    QVERIFY(f.name->text().isEmpty());
    QVERIFY(!f.name->isEnabled());
    QCOMPARE(shownButtons(f.w.get()), QString());
}

void PatientPageTest::saveButtonsFollowTheFields()
{
    Form f;
    f.typeRossi();
    QVERIFY(f.saveEnabled());
    QVERIFY(f.w->fiscalCodeMatches());

    f.female->click(); // the code is a man's
    QVERIFY(!f.saveEnabled());
    f.male->click();
    QVERIFY(f.saveEnabled());

    f.retype(f.cf, "rssmra80a02h501z"); // lower case is as good
    QVERIFY(f.saveEnabled());
    f.retype(f.cf, "RSSMRA80A02H501"); // 15 characters
    QVERIFY(!f.saveEnabled());
    f.retype(f.cf, "RSSMRA80A02H501Y"); // wrong check character
    QVERIFY(!f.saveEnabled());
    f.retype(f.cf, "RSSMRA80A02H501Z");
    QVERIFY(f.saveEnabled());

    f.birth->setDate(QDate(1980, 1, 3));
    QVERIFY(!f.saveEnabled());
    f.birth->setDate(QDate(1980, 1, 2));
    QVERIFY(f.saveEnabled());

    f.retype(f.name, "Marco");
    QVERIFY(!f.saveEnabled());
    f.retype(f.name, "Maria"); // same letters as Mario
    QVERIFY(f.saveEnabled());

    f.height->clear();
    QVERIFY(!f.saveEnabled());
    QTest::keyClicks(f.height, "178");
    QVERIFY(f.saveEnabled());

    // No sex chosen: everything else is right, still nothing to save.
    f.w->addNewPatient();
    QTest::keyClicks(f.name, "Mario");
    QTest::keyClicks(f.surname, "Rossi");
    QTest::keyClicks(f.cf, "RSSMRA80A02H501Z");
    QTest::keyClicks(f.weight, "82");
    QTest::keyClicks(f.height, "178");
    f.birth->setDate(QDate(1980, 1, 2));
    QVERIFY(!f.saveEnabled());
    f.male->click();
    QVERIFY(f.saveEnabled());
}

void PatientPageTest::weightAndHeightLimits()
{
    Form f;
    f.typeRossi();
    for (QLineEdit *e : {f.weight, f.height}) {
        f.retype(e, "250");
        QVERIFY2(f.saveEnabled(), qPrintable(e->objectName()));
        f.retype(e, "251"); // can be typed (it could still become 25), cannot be saved
        QCOMPARE(e->text(), QString("251"));
        QVERIFY2(!f.saveEnabled(), qPrintable(e->objectName()));
        f.retype(e, "2500"); // a fourth digit is refused while typing
        QCOMPARE(e->text(), QString("250"));
        QVERIFY(f.saveEnabled());
        f.retype(e, "7x");
        QCOMPARE(e->text(), QString("7"));
        f.retype(e, "0");
        QVERIFY(f.saveEnabled());
        f.retype(e, "80");
    }
}

void PatientPageTest::noteOnlyChangeRerunsTheCheck()
{
    Form f;
    // A stored patient whose code does not agree with the data (check character): editing offers
    // saving at first, but the first change, even to the note alone, runs the check.
    PatientRecord legacy = rossi();
    legacy.fiscalCode = "RSSMRA80A02H501Y";
    f.w->showPatient(legacy);
    f.w->setViewingMode();
    f.w->editPatient();
    QVERIFY(f.saveEnabled());
    QTest::keyClicks(f.note, " Rivedere.");
    QVERIFY(!f.saveEnabled());

    f.w->showPatient(rossi());
    f.w->setViewingMode();
    f.w->editPatient();
    f.note->moveCursor(QTextCursor::End);
    QTest::keyClicks(f.note, " Rivedere.");
    QVERIFY(f.saveEnabled());
    QCOMPARE(f.w->toRecord().note, std::string("Controllo annuale. Rivedere."));
}

void PatientPageTest::recordFromTheForm()
{
    Form f;
    f.w->addNewPatient();
    QTest::keyClicks(f.name, "gian carlo");
    QTest::keyClicks(f.surname, "de luca");
    QTest::keyClicks(f.cf, "dlcgcr61m10h501d");
    QTest::keyClicks(f.weight, "250");
    QTest::keyClicks(f.height, "0");
    f.birth->setDate(QDate(1961, 8, 10));
    f.note->setPlainText("Prima riga\nseconda riga");

    PatientRecord r = f.w->toRecord();
    QCOMPARE(r.name, std::string("Gian carlo"));
    QCOMPARE(r.surname, std::string("De luca"));
    QCOMPARE(r.fiscalCode, std::string("DLCGCR61M10H501D"));
    QCOMPARE(int(r.weight), 250);
    QCOMPARE(int(r.height), 0);
    QCOMPARE(r.birthDate, int64_t(-264902400)); // 1961-08-10 00:00 UTC, whatever the local zone
    QVERIFY(r.isMale); // no sex chosen counts as male
    QCOMPARE(r.status, std::string("FREE"));
    QCOMPARE(r.id, 0);
    QVERIFY(!r.archived);
    QCOMPARE(r.note, std::string("Prima riga\nseconda riga"));

    f.female->click();
    QVERIFY(!f.w->toRecord().isMale);
    f.male->click();
    QVERIFY(f.w->toRecord().isMale);
}

void PatientPageTest::showAndReadBackThroughTheDatabase()
{
    TestDatabase fixture;
    QVERIFY2(fixture.isValid(), qPrintable(fixture.error()));
    Form f;
    f.w->addNewPatient();
    f.name->insert(QString::fromUtf8("nicolò")); // typing only knows ASCII keys
    QTest::keyClicks(f.surname, QString::fromUtf8("d'angelo"));
    QTest::keyClicks(f.cf, "DNGNCL01H49F839A");
    QTest::keyClicks(f.weight, "54");
    QTest::keyClicks(f.height, "161");
    f.birth->setDate(QDate(2001, 6, 9));
    f.female->click();
    f.note->insertPlainText(QString::fromUtf8("Allergia: è nota."));
    QVERIFY(f.saveEnabled());

    PatientRecord typed = f.w->toRecord();
    QVERIFY(fixture.db().insertPatient(typed));
    std::vector<PatientRecord> stored;
    QVERIFY(fixture.db().listPatients(std::string(), stored));
    QCOMPARE(stored.size(), size_t(1));

    Form other;
    other.w->showPatient(stored[0]);
    QCOMPARE(other.name->text(), QString::fromUtf8("Nicolò"));
    QCOMPARE(other.surname->text(), QString::fromUtf8("D'angelo"));
    QCOMPARE(other.cf->text(), QString("DNGNCL01H49F839A"));
    QCOMPARE(other.weight->text(), QString("54"));
    QCOMPARE(other.height->text(), QString("161"));
    QCOMPARE(other.birth->date(), QDate(2001, 6, 9));
    QVERIFY(other.female->isChecked() && !other.male->isChecked());
    QCOMPARE(other.note->toPlainText(), QString::fromUtf8("Allergia: è nota."));
    QVERIFY(other.w->fiscalCodeMatches());

    const PatientRecord back = other.w->toRecord();
    QCOMPARE(back.name, typed.name);
    QCOMPARE(back.surname, typed.surname);
    QCOMPARE(back.fiscalCode, typed.fiscalCode);
    QCOMPARE(back.birthDate, typed.birthDate);
    QCOMPARE(back.isMale, false);
    QCOMPARE(back.note, typed.note);

    // A man shown after a woman: the radio buttons follow.
    other.w->showPatient(rossi());
    QVERIFY(other.male->isChecked() && !other.female->isChecked());
    QCOMPARE(other.birth->date(), QDate(1980, 1, 2));
}

void PatientPageTest::patientTile()
{
    PatientRecord p = rossi();
    p.surname = "D'Angelo";
    p.name = QString::fromUtf8("Nicolò").toStdString();
    patient tile(p);
    QCOMPARE(tile.size(), QSize(449, 58));
    QCOMPARE(child<QLabel>(&tile, "Surname")->text(), QString("D'ANGELO"));
    QCOMPARE(child<QLabel>(&tile, "Name")->text(), QString::fromUtf8("NICOLÒ"));
    tile.show();
    QSignalSpy clicked(&tile, &patient::clicked);
    QTest::mouseClick(&tile, Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
}

void PatientPageTest::sessionTileButtonPerStatus_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("enabled");
    QTest::newRow("open") << "OPEN" << "buttonImport";
    QTest::newRow("loaded") << "LOADED" << "buttonAnalyze";
    QTest::newRow("analyzed") << "ANALYZED" << "buttonView";
    QTest::newRow("unknown") << "SUSPENDED" << "";
    QTest::newRow("lower case is unknown") << "open" << "";
    QTest::newRow("empty") << "" << "";
}

void PatientPageTest::sessionTileButtonPerStatus()
{
    QFETCH(QString, status);
    QFETCH(QString, enabled);
    SessionRecord s;
    s.status = status.toStdString();
    Session tile(s);
    QStringList on;
    for (QPushButton *b : {tile.buttonImport(), tile.buttonAnalyze(), tile.buttonView()}) {
        if (b->isEnabled())
            on << b->objectName();
    }
    QCOMPARE(on.join(' '), enabled);
}

void PatientPageTest::sessionTileShowsTheSetupDate()
{
    SessionRecord s;
    s.status = "OPEN";
    s.startSetupDate = 1772677800; // 2026-03-05 02:30 UTC, 4 March 21:30 in the test's zone
    s.startRecDate = s.startSetupDate + 86400 * 40;
    Session tile(s);
    QCOMPARE(tile.size(), QSize(402, 121));
    QCOMPARE(tile.dateLabel()->objectName(), QString("Date"));
    QCOMPARE(tile.dateLabel()->text(), QString("4 03 2026 - 21:30"));
    QCOMPARE(tile.buttonImport()->text(), QString("Importa"));
    QCOMPARE(tile.buttonAnalyze()->toolTip(), QString("Analizza la sessione"));
    QCOMPARE(tile.buttonView()->toolTip(), QString("Visualizza la sessione "));
}

void PatientPageTest::pageRows()
{
    IntroWindow page;
    QCOMPARE(page.buttonNewPatient()->text(), QString("Nuovo Paziente"));
    QCOMPARE(page.buttonNewPatient()->toolTip(), QString("Crea un nuovo paziente"));
    QVERIFY(!page.buttonNewPatient()->icon().isNull());
    QCOMPARE(child<QLabel>(&page, "labelPatientSearch")->text(), QString("Cerca paziente"));
    QVERIFY(page.sessionsScroll()->isHidden());
    QVERIFY(page.sessionLayout()->alignment() & Qt::AlignTop);

    const char *states[] = {"FREE", "OPEN", "LOADED", "ARCHIVED"};
    for (const char *status : states) {
        PatientRecord p = rossi();
        p.surname = std::string("cognome ") + status;
        p.name = "nome";
        p.status = status;
        page.addPatientRow(p);
    }
    QCOMPARE(page.patientTiles().size(), 4);
    QCOMPARE(child<QLabel>(page.patientTiles().at(1), "Surname")->text(), QString("COGNOME OPEN"));
    QCOMPARE(child<QLabel>(page.patientTiles().at(1), "Name")->text(), QString("NOME"));
    const QList<bool> enabled = {true, false, true, true};
    auto *grid = qobject_cast<QGridLayout *>(child<QFrame>(&page, "listFrame")->layout());
    QVERIFY(grid);
    for (int row = 0; row < 4; ++row) {
        QPushButton *newSession = page.newSessionButtons().at(row);
        QPushButton *view = page.viewButtons().at(row);
        QCOMPARE(newSession->isEnabled(), enabled.at(row));
        QVERIFY(view->isEnabled());
        QCOMPARE(newSession->text(), QString("Nuova sessione"));
        QCOMPARE(newSession->toolTip(), QString("Crea una nuova sessione ed inizia la fase di setup"));
        QCOMPARE(view->text(), QString("Visualizza paziente"));
        QCOMPARE(view->toolTip(), QString("Visualizza le informazioni del paziente e le sessioni associate"));
        QCOMPARE(grid->itemAtPosition(row, 0)->widget(), static_cast<QWidget *>(page.patientTiles().at(row)));
        QCOMPARE(grid->itemAtPosition(row, 1)->widget(), static_cast<QWidget *>(newSession));
        QCOMPARE(grid->itemAtPosition(row, 2)->widget(), static_cast<QWidget *>(view));
    }
}

void PatientPageTest::pageMappersAndPanel()
{
    IntroWindow page;
    page.show();
    for (int i = 0; i < 3; ++i)
        page.addPatientRow(rossi());
    QSignalSpy newSession(page.newSessionMapper(), &QSignalMapper::mappedInt);
    QSignalSpy view(page.viewPatientMapper(), &QSignalMapper::mappedInt);

    page.newSessionButtons().at(2)->click();
    QCOMPARE(newSession.count(), 1);
    QCOMPARE(newSession.at(0).at(0).toInt(), 2);
    QCOMPARE(view.count(), 0);

    page.info()->addNewPatient();
    page.viewButtons().at(1)->click();
    QCOMPARE(view.count(), 1);
    QCOMPARE(view.at(0).at(0).toInt(), 1);
    QCOMPARE(page.selectedPatient(), 1);
    QVERIFY(!page.sessionsScroll()->isHidden());
    QCOMPARE(shownButtons(page.info()), QString("buttonEdit")); // the form went back to viewing

    page.buttonNewPatient()->click();
    QVERIFY(page.sessionsScroll()->isHidden());
    QCOMPARE(shownButtons(page.info()), QString("buttonSave(disabled) buttonClose buttonSaveSetup(disabled)"));
    QVERIFY(child<QLineEdit>(page.info(), "name")->isEnabled());
}

void PatientPageTest::clearingRowsDeletesThem()
{
    IntroWindow page;
    for (int i = 0; i < 3; ++i)
        page.addPatientRow(rossi());
    QList<QPointer<QWidget>> widgets;
    for (int i = 0; i < 3; ++i)
        widgets << page.patientTiles().at(i) << page.newSessionButtons().at(i) << page.viewButtons().at(i);

    page.clearPatientRows();
    for (const QPointer<QWidget> &w : widgets)
        QVERIFY(w.isNull());
    QVERIFY(page.patientTiles().isEmpty() && page.newSessionButtons().isEmpty() && page.viewButtons().isEmpty());
    QCOMPARE(child<QFrame>(&page, "listFrame")->layout()->count(), 0);

    // Rows are numbered afresh.
    PatientRecord p = rossi();
    p.surname = "Verdi";
    page.addPatientRow(p);
    QSignalSpy view(page.viewPatientMapper(), &QSignalMapper::mappedInt);
    page.viewButtons().at(0)->click();
    QCOMPARE(view.count(), 1);
    QCOMPARE(view.at(0).at(0).toInt(), 0);
    QCOMPARE(child<QLabel>(page.patientTiles().at(0), "Surname")->text(), QString("VERDI"));
}

int main(int argc, char *argv[])
{
    // A zone west of Greenwich: a local reading of a UTC midnight would land on the day before.
    qputenv("TZ", "EST5");
    tzset();
    QApplication app(argc, argv);
    PatientPageTest test;
    return krntest::exec(&test, argc, argv);
}

#include "tst_patientpage.moc"
