// The main window on a real database in a temporary data folder: start-up, login, page flow.
#include "tests/support/TestMain.h"
#include "app/AppSettings.h"
#include "app/KRNMainWindow.h"
#include "app/loginwindow.h"
#include "live/OnlineVisualizationWindow.h"
#include "live/breathFilters.h"
#include "live/viewSubmenu.h"
#include "tests/support/MainWindowLogin.h"
#include "tests/support/ScriptedPrompts.h"
#include "tests/support/TestDatabase.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStackedWidget>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

const QString mainTitle = "Tavo KRN - Versione 3.0.0";

// Exposes the window's own event filter.
struct Window : KRNMainWindow
{
    using KRNMainWindow::KRNMainWindow;
    using KRNMainWindow::eventFilter;
};

bool shownOnToolbar(const KRNMainWindow &w, const char *name)
{
    return w.toolbar()->findChild<QWidget *>(name)->isVisibleTo(w.toolbar());
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsOnLoginPage();
    void warnsOnSmallScreens();
    void createsDataFolderButNeverTheDatabase();
    void unusableDatabaseIsReported_data();
    void unusableDatabaseIsReported();
    void loginMessages();
    void loginSharedAndCaseSensitiveNames();
    void rememberedUserNameOnlyAfterSuccess();
    void loginButtonFollowsPasswordField();
    void pageFlowAndTitles();
    void livePageBackAsksFirst();
    void escapeIsSwallowed();
    void toolbarDrivesLiveViewAndDate();

private:
    std::unique_ptr<Window> makeWindow();

    QTemporaryDir m_settingsDir;
    std::unique_ptr<TestDatabase> m_data;
    std::unique_ptr<ScriptedPrompts> m_prompts;
};

void MainWindowTest::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
}

void MainWindowTest::init()
{
    AppSettings::setLastUsername(QString());
    m_data = std::make_unique<TestDatabase>();
    QVERIFY2(m_data->isValid(), qPrintable(m_data->error()));
    m_prompts = std::make_unique<ScriptedPrompts>();
}

void MainWindowTest::cleanup()
{
    m_prompts.reset();
    m_data.reset();
}

std::unique_ptr<Window> MainWindowTest::makeWindow()
{
    auto w = std::make_unique<Window>(m_data->dataDir(), *m_prompts);
    m_prompts->boxes.clear(); // the small offscreen screen's warning is checked on its own
    return w;
}

void MainWindowTest::startsOnLoginPage()
{
    auto w = makeWindow();
    QCOMPARE(w->stackWidget()->count(), 4);
    QCOMPARE(w->stackWidget()->widget(0)->objectName(), QString("IntroWindow"));
    QCOMPARE(w->stackWidget()->widget(1)->objectName(), QString("VisualizationWindow"));
    QCOMPARE(w->stackWidget()->widget(2)->objectName(), QString("OnlineVisualizationWIndow"));
    QCOMPARE(w->stackWidget()->widget(3)->objectName(), QString("loginwindow"));
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::LoginPage));
    QCOMPARE(w->currentPageIndex(), 3);
    QCOMPARE(w->previousPageIndex(), 0); // the first page inserted was current for a moment
    QCOMPARE(w->windowTitle(), mainTitle);
    QVERIFY(w->toolbar()->isHidden());
    QVERIFY(!w->loginPage()->buttonLogin()->isEnabled());
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w->importTimer()->interval(), 10000);
    QVERIFY(!w->importTimer()->isActive());
    QVERIFY(w->db().isOpen());
}

void MainWindowTest::warnsOnSmallScreens()
{
    QVERIFY(KRNMainWindow::screenIsSufficient(QSize(1360, 768)));
    QVERIFY(KRNMainWindow::screenIsSufficient(QSize(1920, 1080)));
    QVERIFY(!KRNMainWindow::screenIsSufficient(QSize(1359, 768)));
    QVERIFY(!KRNMainWindow::screenIsSufficient(QSize(1360, 767)));

    const QSize desktop = QGuiApplication::primaryScreen()->virtualGeometry().size();
    Window w(m_data->dataDir(), *m_prompts);
    const QStringList expected = KRNMainWindow::screenIsSufficient(desktop)
        ? QStringList()
        : QStringList{"Risoluzione schermo insufficiente.|La risoluzione dello schermo rilevata è inferiore alle "
                      "specifiche (vedi manuale d'uso). Il segnale potrebbe non essere visualizzato correttamente."};
    QCOMPARE(m_prompts->boxTexts(), expected);
    // Start-up goes on to the login page either way.
    QCOMPARE(w.stackWidget()->currentIndex(), int(KRNMainWindow::LoginPage));
}

void MainWindowTest::createsDataFolderButNeverTheDatabase()
{
    QTemporaryDir root;
    const QString folder = root.filePath("install/DATA");
    krntest::expectMessage(QtInfoMsg, qPrintable("[DB] Can't load database file: " + folder + "/krnDb.db"));
    // The patient list is read once at start-up, open database or not.
    krntest::expectMessage(QtInfoMsg, "[DB] Query execution error database not open");
    Window w(folder, *m_prompts);
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(!QFile::exists(folder + "/krnDb.db"));
    QVERIFY(!w.db().isOpen());
    QVERIFY(w.patientList().empty());
    QVERIFY(m_prompts->boxTexts().join('\n').contains("il file non esiste"));
}

void MainWindowTest::unusableDatabaseIsReported_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QByteArray random(4096, '\0');
    for (int i = 0; i < random.size(); ++i)
        random[i] = char((i * 2654435761u) >> 13);
    TestDatabase fresh;
    QFile schema(fresh.dbPath());
    QVERIFY(schema.open(QIODevice::ReadOnly));
    const QByteArray real = schema.readAll();
    QTest::newRow("missing") << QByteArray() << "il file non esiste";
    QTest::newRow("empty") << QByteArray("") << "il file non contiene le tabelle del programma";
    QTest::newRow("random bytes") << random << "il file non";
    QTest::newRow("truncated") << real.left(real.size() / 3) << "il file non";
}

void MainWindowTest::unusableDatabaseIsReported()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QTemporaryDir data;
    const QString path = data.filePath("krnDb.db");
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    // Whatever SQLite says of the file is logged, as often as a statement meets it.
    const krntest::AllowedMessages failures(QtInfoMsg, QRegularExpression("^\\[DB\\] (Can't load|Query execution error)"));
    ScriptedPrompts prompts;
    Window w(data.path(), prompts);
    const QString box = prompts.boxTexts().filter("Database non utilizzabile").value(0);
    QVERIFY2(box.contains(QDir::toNativeSeparators(path)) && box.contains(reason), qPrintable(box));
    // No login is offered that cannot work.
    QVERIFY(!w.loginPage()->password()->isEnabled());
    QVERIFY(!w.loginPage()->buttonLogin()->isEnabled());
    QVERIFY(w.loginPage()->buttonQuit()->isEnabled());
}

void MainWindowTest::loginMessages()
{
    auto w = makeWindow();
    logIn(*w, "nobody", "x");
    QCOMPARE(m_prompts->boxTexts(), QStringList{"Errore Login|Username o password errati"});
    QCOMPARE(m_prompts->boxes.last().icon, Prompts::Icon::Critical);

    m_data->addUser("anna", "secret");
    m_prompts->boxes.clear();
    logIn(*w, "anna", "wrong");
    QCOMPARE(m_prompts->boxTexts(), QStringList{"Errore Login|Password errata"});
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::LoginPage));
    QCOMPARE(w->loginPage()->userName()->text(), QString("anna"));
    QCOMPARE(w->loginPage()->password()->text(), QString("wrong"));

    m_prompts->boxes.clear();
    logIn(*w, "anna", "secret");
    QVERIFY(m_prompts->boxes.isEmpty());
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::IntroPage));
    QCOMPARE(w->windowTitle(), mainTitle);
    QCOMPARE(w->loggedInUser().username, std::string("anna"));
}

void MainWindowTest::loginSharedAndCaseSensitiveNames()
{
    const UserRecord first = m_data->addUser("rossi", "uno", "doctor", "Luca", "Alfieri");
    const UserRecord second = m_data->addUser("rossi", "due", "nurse", "Sara", "Zeri");
    m_data->addUser("Verdi", "tre");

    {
        auto w = makeWindow();
        logIn(*w, "rossi", "due");
        QCOMPARE(w->loggedInUser().id, second.id);
        QCOMPARE(w->loggedInUser().role, std::string("nurse"));
    }
    {
        auto w = makeWindow();
        logIn(*w, "rossi", "uno");
        QCOMPARE(w->loggedInUser().id, first.id);
    }
    {
        auto w = makeWindow();
        logIn(*w, "verdi", "tre");
        QCOMPARE(m_prompts->boxTexts(), QStringList{"Errore Login|Username o password errati"});
        m_prompts->boxes.clear();
        logIn(*w, "Verdi ", "tre"); // not trimmed
        QCOMPARE(m_prompts->boxTexts(), QStringList{"Errore Login|Username o password errati"});
        m_prompts->boxes.clear();
        logIn(*w, "Verdi", "tre");
        QVERIFY(m_prompts->boxes.isEmpty());
    }
}

void MainWindowTest::rememberedUserNameOnlyAfterSuccess()
{
    m_data->addUser("anna", "secret");
    m_data->addUser("bruno", "pw");
    {
        auto w = makeWindow();
        QVERIFY(w->loginPage()->userName()->text().isEmpty());
        logIn(*w, "anna", "secret");
    }
    QCOMPARE(AppSettings::lastUsername(), QString("anna"));
    QCOMPARE(QSettings("Velmor Biomedical Systems", "TavoKRN").value("TavoKRN/lastUsername").toString(),
             QString("anna"));
    {
        auto w = makeWindow();
        QCOMPARE(w->loginPage()->userName()->text(), QString("anna"));
        logIn(*w, "bruno", "wrong");
    }
    QCOMPARE(AppSettings::lastUsername(), QString("anna"));
}

void MainWindowTest::loginButtonFollowsPasswordField()
{
    m_data->addUser("anna", "secret");
    AppSettings::setLastUsername("anna");
    auto w = makeWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QLineEdit *password = w->loginPage()->password();
    QPushButton *button = w->loginPage()->buttonLogin();
    QCOMPARE(w->loginPage()->userName()->text(), QString("anna"));
    QVERIFY(!button->isEnabled());

    // Return with the button disabled does nothing.
    QTest::keyClick(password, Qt::Key_Return);
    QVERIFY(m_prompts->boxes.isEmpty());
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::LoginPage));

    QTest::keyClicks(password, "s");
    QVERIFY(button->isEnabled());
    QTest::keyClick(password, Qt::Key_Backspace);
    QVERIFY(!button->isEnabled());

    QTest::keyClicks(password, "secret");
    QVERIFY(button->isEnabled());
    QTest::keyClick(password, Qt::Key_Return);
    QVERIFY(m_prompts->boxes.isEmpty());
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::IntroPage));
}

void MainWindowTest::pageFlowAndTitles()
{
    m_data->addUser("anna", "secret");
    auto w = makeWindow();
    logIn(*w, "anna", "secret");
    QCOMPARE(w->currentPageIndex(), 0);
    QCOMPARE(w->previousPageIndex(), 3);
    // Showing the same page again leaves the history alone.
    w->goToIntroPage();
    QCOMPARE(w->previousPageIndex(), 3);
    QVERIFY(w->toolbar()->isHidden()); // still hidden until a session page is shown

    w->goToOnlineVisualizationPage();
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::OnlineVisualizationPage));
    QCOMPARE(w->windowTitle(), QString("Nuova sessione"));
    QVERIFY(w->isOnLivePage());
    QVERIFY(!w->toolbar()->isHidden());
    for (const char *shown : {"buttonBack", "buttonStartSession", "breath", "framebreath", "frameecg", "nameFrame"})
        QVERIFY2(shownOnToolbar(*w, shown), shown);
    for (const char *hidden : {"buttonPlay", "buttonStop", "buttonFiilters", "buttonExport", "buttonViewPdf",
                               "buttonSnapshot", "framegain", "checkBoxAutoscale", "frameScaleVis", "FrameDate",
                               "frameBreathScale", "loadAnalysisPushButton", "frameAddEvent"})
        QVERIFY2(!shownOnToolbar(*w, hidden), hidden);
    const auto &bar = w->toolbar()->ui();
    QVERIFY(bar.buttonplayecg->isEnabled() && bar.buttonplaybreath->isEnabled());
    QVERIFY(!bar.buttonstopecg->isEnabled() && !bar.buttonstopbreath->isEnabled());

    w->goToPreviousPage();
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::IntroPage));
    QCOMPARE(w->windowTitle(), mainTitle);

    w->goToIntroPage();
    QVERIFY(!w->isOnLivePage());
    for (const char *hidden : {"buttonBack", "buttonStartSession", "breath", "framebreath", "frameecg", "nameFrame",
                               "FrameDate", "frameAddEvent"})
        QVERIFY2(!shownOnToolbar(*w, hidden), hidden);
}

void MainWindowTest::livePageBackAsksFirst()
{
    auto w = makeWindow();
    w->goToOnlineVisualizationPage();
    QComboBox *gain = w->toolbar()->ui().gainchoice;
    gain->setCurrentIndex(6);
    w->onlineVisualizationWindow()->setGain(12);
    w->onlineVisualizationWindow()->ecgRecords().append({makeSampleRecord(100, std::vector<float>(8, 1.0f).data(), 8)});

    m_prompts->buttons.enqueue("Cancel");
    w->backButtonPressed();
    QCOMPARE(m_prompts->boxTexts(), QStringList{"Selezionando OK tutti i dati relativi alla configurazione del "
                                                "dispositivo saranno cancellati, Proseguire lo stesso?"});
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::OnlineVisualizationPage));
    QVERIFY(w->isOnLivePage());
    QCOMPARE(gain->currentIndex(), 6);

    QSignalSpy gainChanges(gain, QOverload<int>::of(&QComboBox::currentIndexChanged));
    m_prompts->buttons.enqueue("OK");
    w->backButtonPressed();
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::IntroPage));
    QVERIFY(!w->isOnLivePage());
    QCOMPARE(gain->currentIndex(), 4);
    QCOMPARE(gainChanges.count(), 0); // no gain command goes out
    QCOMPARE(w->onlineVisualizationWindow()->gain(), 6);
    QVERIFY(w->onlineVisualizationWindow()->ecgRecords().isEmpty()); // the live view was reset

    // On the patient page the back button does nothing.
    m_prompts->boxes.clear();
    w->backButtonPressed();
    QVERIFY(m_prompts->boxes.isEmpty());
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::IntroPage));
}

void MainWindowTest::escapeIsSwallowed()
{
    auto w = makeWindow();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QKeyEvent other(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
    QVERIFY(w->eventFilter(w.get(), &escape));
    QVERIFY(!w->eventFilter(w.get(), &other));
    QVERIFY(!w->eventFilter(w.get(), &release));
    QVERIFY(!w->eventFilter(w->toolbar(), &escape)); // only key presses addressed to the window itself

    w->goToOnlineVisualizationPage();
    QApplication::sendEvent(w.get(), &escape);
    QCOMPARE(w->stackWidget()->currentIndex(), int(KRNMainWindow::OnlineVisualizationPage));
    QVERIFY(m_prompts->boxes.isEmpty());
}

void MainWindowTest::toolbarDrivesLiveViewAndDate()
{
    auto w = makeWindow();
    QCOMPARE(w->onlineVisualizationWindow()->gain(), 6); // from the toolbar's gain choice
    QTest::mouseClick(w->toolbar()->ui().breath->selectDuration()->button(30000), Qt::LeftButton);
    QCOMPARE(w->onlineVisualizationWindow()->breathWindow(), 30000);
    // "Centro" hides the third respiration curve of the live page, a second click shows it again.
    QAbstractButton *centre = w->toolbar()->ui().breath->selectPlot()->button(2);
    QTest::mouseClick(centre, Qt::LeftButton);
    QVERIFY(!w->onlineVisualizationWindow()->breathTraces().isVisible(2));
    QTest::mouseClick(centre, Qt::LeftButton);
    QVERIFY(w->onlineVisualizationWindow()->breathTraces().isVisible(2));

    // Seconds since the epoch shown in local time (the test runs in Rome).
    w->updateTimeDate(1700005000);
    QCOMPARE(w->toolbar()->ui().labelDate->text(), QString("15/11/2023"));
    QCOMPARE(w->toolbar()->ui().labelTime->text(), QString("00:36:40"));
}

int main(int argc, char *argv[])
{
    qputenv("TZ", "Europe/Rome");
    tzset();
    QApplication app(argc, argv);
    MainWindowTest test;
    return krntest::exec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
