// The session tile's "Importa" button on the real main window (offscreen): both roads end with the
// tile offering "Analizza" and the patient "LOADED".
#include "tests/support/TestMain.h"
#include "app/KRNMainWindow.h"
#include "app/WidgetPrompts.h"
#include "patients/IntroWindow.h"
#include "patients/Session.h"
#include "tests/importflow/ImportFixture.h"
#include "tests/support/MainWindowLogin.h"
#include "tests/support/ModalDialog.h"
#include "tests/support/ScriptedPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace importtest;

namespace {

struct WindowRig {
    ScriptedPrompts prompts;
    Fixture fixture;
    std::unique_ptr<KRNMainWindow> window;

    WindowRig()
    {
        window = std::make_unique<KRNMainWindow>(fixture.dataFolder(), prompts);
        window->usbDownload()->setTiming(fastTiming());
        window->usbDownload()->setPortList(
            [] { return qEnvironmentVariable("TAVOKRN_SERIAL_PORTS").split(':', Qt::SkipEmptyParts); });
        prompts.boxes.clear(); // a small offscreen screen gets the resolution warning
        logIn(*window, "clinico", "segreto");
        window->introWindow()->viewButtons().at(0)->click();
    }
    Session *tile() const { return window->sessionTileList().value(0); }
};

} // namespace

class ImportWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void folderImportFromTile();
    void usbImportFromTile();
    void importDialogsOnRealWidgets();
    void importAfterASearchGoesToTheShownPatient();

private:
    QTemporaryDir m_settingsDir;
};

void ImportWindowTest::initTestCase()
{
    // Logging in remembers the user name: keep it out of the real settings.
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
}

void ImportWindowTest::folderImportFromTile()
{
    qunsetenv("TAVOKRN_SERIAL_PORTS");
    WindowRig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = rig.fixture.makeCard("card", 0.005, 1);
    QVERIFY(rig.tile());
    QVERIFY(rig.tile()->buttonImport()->isEnabled());
    QVERIFY(!rig.tile()->buttonAnalyze()->isEnabled());

    rig.prompts.buttons << "IMPORTA da MICRO SD" << "CANCEL" << "CONTINUA SENZA SpO2";
    rig.prompts.directories << card;
    rig.tile()->buttonImport()->click();

    QCOMPARE(rig.prompts.boxes.size(), 3);
    QCOMPARE(rig.window->currentSessionFolder(), rig.fixture.sessionFolder());
    // The tiles were rebuilt from the database.
    QVERIFY(rig.tile());
    QVERIFY(!rig.tile()->buttonImport()->isEnabled());
    QVERIFY(rig.tile()->buttonAnalyze()->isEnabled());
    QCOMPARE(QString::fromStdString(rig.window->patientList().at(0).status), QString("LOADED"));
    QCOMPARE(QString::fromStdString(rig.window->sessionList().at(0).status), QString("LOADED"));
}

void ImportWindowTest::usbImportFromTile()
{
    WindowRig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = rig.fixture.makeCard("card", 0.01, 0.1);
    SimulatedRecorder recorder({"--card", card});
    QVERIFY2(recorder.isRunning(), qPrintable(recorder.error()));
    QCOMPARE(rig.window->importTimer()->interval(), 10000);

    QSignalSpy ecgDone(rig.window.get(), &KRNMainWindow::downloadEcgBreathFinished);
    QSignalSpy imuDone(rig.window.get(), &KRNMainWindow::downloadImuFinished);
    rig.prompts.buttons << "OK" << "OK";
    rig.tile()->buttonImport()->click();
    // Still "OPEN" while the download runs.
    QVERIFY(rig.window->usbDownload()->isTransferring());
    QVERIFY(rig.tile()->buttonImport()->isEnabled());

    QTRY_VERIFY_WITH_TIMEOUT(rig.tile() && rig.tile()->buttonAnalyze()->isEnabled(), 30000);
    QVERIFY(!rig.tile()->buttonImport()->isEnabled());
    QCOMPARE(ecgDone.size(), 1);
    QCOMPARE(imuDone.size(), 1);
    QCOMPARE(ecgDone.at(0).at(0).toInt(), 0);
    QCOMPARE(QString::fromStdString(rig.window->patientList().at(0).status), QString("LOADED"));
    QCOMPARE(rig.prompts.boxes.size(), 2);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void ImportWindowTest::importDialogsOnRealWidgets()
{
    QWidget window;
    WidgetPrompts prompts(&window);
    {
        // The import's busy dialog carries no context-help button, on any platform.
        Prompts::ProgressSpec setup;
        setup.title = "Importazione dati.";
        setup.labelText = "Inizializzazione acquisizione";
        setup.fixedWidth = 600;
        const std::unique_ptr<Prompts::Progress> progress = prompts.progress(setup);
        QProgressDialog *dialog = window.findChild<QProgressDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QString("Importazione dati."));
        QVERIFY(!dialog->windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
        QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
        QCOMPARE(dialog->width(), 600);
    }
    // The card folder chooser keeps a symbolic link as picked.
    QFileDialog::Options options;
    onModalDialog<QFileDialog>([&options](QFileDialog *chooser) {
        options = chooser->options();
        chooser->reject();
    });
    QVERIFY(prompts.existingDirectoryKeepingLinks("Selezionare la cartella con dati di Log, ECG, PSG e IMU",
                                                  QDir::tempPath())
                .isEmpty());
    QVERIFY(options.testFlag(QFileDialog::ShowDirsOnly));
    QVERIFY(options.testFlag(QFileDialog::DontResolveSymlinks));
}

void ImportWindowTest::importAfterASearchGoesToTheShownPatient()
{
    qunsetenv("TAVOKRN_SERIAL_PORTS");
    WindowRig rig;
    QVERIFY2(rig.fixture.isValid(), qPrintable(rig.fixture.error()));
    const QString card = rig.fixture.makeCard("card", 0.005, 1);
    // Rossi's tiles are shown; then a search leaves only the other two patients in the list.
    rig.fixture.database().addPatient("BTALCU80A01H501X", "Abate", "Luca");
    rig.fixture.database().addPatient("VRDGFR65T31L219K", "Verdi", "Gianfranco");
    rig.window->searchPatient("e");
    QCOMPARE(int(rig.window->patientList().size()), 2);
    QVERIFY(rig.tile());

    rig.prompts.buttons << "IMPORTA da MICRO SD" << "CANCEL" << "CONTINUA SENZA SpO2";
    rig.prompts.directories << card;
    rig.tile()->buttonImport()->click();
    QVERIFY2(!rig.prompts.boxTexts().join('\n').contains("Incongruenza"), qPrintable(rig.prompts.boxTexts().join('\n')));
    QCOMPARE(QString::fromStdString(rig.fixture.storedSession().status), QString("LOADED"));
    QCOMPARE(QString::fromStdString(rig.fixture.storedPatient().status), QString("LOADED"));
    std::vector<PatientRecord> everyone;
    QVERIFY(rig.fixture.database().db().listPatients(std::string(), everyone));
    for (const PatientRecord &p : everyone)
        if (p.surname != "Rossi")
            QCOMPARE(QString::fromStdString(p.status), QString("FREE"));
    QVERIFY(rig.tile() && rig.tile()->buttonAnalyze()->isEnabled());
}

KRN_TEST_MAIN(ImportWindowTest)
#include "tst_importwindow.moc"
