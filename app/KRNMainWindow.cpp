#include "app/KRNMainWindow.h"

#include "app/AppSettings.h"
#include "common/LabelTable.h"
#include "app/Login.h"
#include "app/Platform.h"
#include "app/ToolbarTable.h"
#include "common/Prompts.h"
#include "app/loginwindow.h"
#include "db/Schema.h"
#include "device/RecorderLink.h"
#include "device/SessionSetup.h"
#include "device/SocketStartup.h"
#include "import/ImportWorkflow.h"
#include "import/UsbDownload.h"
#include "live/LiveSetupScreen.h"
#include "live/OnlineVisualizationWindow.h"
#include "live/breathFilters.h"
#include "live/viewSubmenu.h"
#include "patients/IntroWindow.h"
#include "patients/patientInfo.h"
#include "review/VisualizationWindow.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalMapper>
#include <QSlider>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <cstdio>

namespace {

const char *const statusAnalyzed = "ANALYZED";
const char *const roleNurse = "nurse";

} // namespace

KRNMainWindow::KRNMainWindow(const QString &dataFolder, Prompts &prompts, QWidget *parent)
    : QMainWindow(parent), m_prompts(prompts), m_dataFolder(QDir::cleanPath(dataFolder))
{
    // The data folder, hidden from casual browsing on Windows.
    if (!QDir(m_dataFolder).exists()) {
        QDir().mkpath(m_dataFolder);
        if (!Platform::hideFolder(m_dataFolder.toStdString())) {
            const QByteArray line = ("Failed to hide " + m_dataFolder + "\n").toLocal8Bit();
            std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        }
    }

    // The database file is supplied with the installation; it is never created here.
    database.open(m_dataFolder + "/" + DatabaseFileName);

    // Widgets, without a maximise button.
    buildWidgets();
    setWindowFlags((windowFlags() & ~Qt::WindowMaximizeButtonHint) | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // Screen facts for the log, and a window that fills the screen.
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QSizeF physical = screen->physicalSize();
        const QSize pixels = screen->size();
        qDebug().noquote() << QString("Screen mm per pixel: height %1, width %2; physical size %3 x %4 mm")
                                  .arg(physical.height() / pixels.height())
                                  .arg(physical.width() / pixels.width())
                                  .arg(physical.width())
                                  .arg(physical.height());
        const QRect available = screen->availableGeometry();
        setFixedSize(int(available.width() * 0.99), int(available.height() * 0.99));
    }

    // The remembered user name.
    const QString lastUser = AppSettings::lastUsername();
    if (!lastUser.isEmpty())
        m_login->setRememberedUser(lastUser);

    // No page yet; the serial port and the import timer belong to the USB download.
    currentPage = -1;
    previousPage = -1;
    m_usb = new UsbDownload(m_prompts, database, this);

    // Pages at their fixed indices; login first.
    connect(m_stackWidget, &QStackedWidget::currentChanged, this, &KRNMainWindow::pageChanged);
    m_stackWidget->insertWidget(IntroPage, m_intro);
    m_stackWidget->insertWidget(VisualizationPage, m_visualization);
    m_stackWidget->insertWidget(OnlineVisualizationPage, m_online);
    m_stackWidget->insertWidget(LoginPage, m_login);
    m_stackWidget->setCurrentIndex(LoginPage);

    // Nothing streams yet; the patient list is filled once before anyone logs in.
    refreshPatientList(QString());

    // The socket layer the recorder link needs.
    const int socketError = SocketStartup::start();
    m_socketsStarted = socketError == 0;
    if (m_socketsStarted)
        qInfo().noquote() << "WASStartUp OK";
    else
        qInfo().noquote() << "WSAStartup failed: " + QString::number(socketError);

    // Signals between pages, toolbar and window; the toolbar waits for a session page.
    makeConnections();
    setUpDevice();
    setUpSessionSetup();
    m_toolbar->hide();
    ToolbarTable::apply(m_toolbar, ToolbarState::StartUp);

    // The live view divides by the gain the toolbar starts with.
    m_online->setGain(m_toolbar->ui().gainchoice->currentText().toInt());

    // Screen check. Start-up goes on after the warning: the program still works, only less legibly.
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (screen && !screenIsSufficient(screen->virtualGeometry().size())) {
        m_prompts.inform(Prompts::Icon::Critical, "Risoluzione schermo insufficiente.",
                         "La risoluzione dello schermo rilevata è inferiore alle specifiche (vedi manuale d'uso). "
                         "Il segnale potrebbe non essere visualizzato correttamente.");
    }

    // A database that cannot be used would only show up as logins that always fail.
    checkDatabase();

    // The import and its watchdog.
    connectImport();

    // Escape must never leave a page half-done.
    installEventFilter(this);
}

KRNMainWindow::~KRNMainWindow() = default;

bool KRNMainWindow::screenIsSufficient(const QSize &desktop)
{
    return desktop.width() >= 1360 && desktop.height() >= 768;
}

void KRNMainWindow::buildWidgets()
{
    setObjectName("KRNMainWindow");
    setWindowTitle("TavoKRN");
    resize(800, 600);

    auto *central = new QWidget(this);
    central->setObjectName("centralwidget");
    auto *verticalLayout = new QVBoxLayout(central);
    verticalLayout->setObjectName("verticalLayout");
    verticalLayout->setContentsMargins(0, 0, 0, 0);

    m_toolbar = new viewSubmenu(central);
    m_toolbar->setObjectName("viewSubMenu");
    verticalLayout->addWidget(m_toolbar);

    auto *frame = new QFrame(central);
    frame->setObjectName("frame");
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Raised);
    QSizePolicy framePolicy = frame->sizePolicy();
    framePolicy.setHorizontalStretch(6);
    frame->setSizePolicy(framePolicy);
    auto *horizontalLayout = new QHBoxLayout(frame);
    horizontalLayout->setObjectName("horizontalLayout");
    horizontalLayout->setSpacing(0);
    horizontalLayout->setContentsMargins(0, 0, 0, 0);
    m_stackWidget = new QStackedWidget(frame);
    m_stackWidget->setObjectName("stackWidget");
    QSizePolicy stackPolicy = m_stackWidget->sizePolicy();
    stackPolicy.setHorizontalStretch(5);
    m_stackWidget->setSizePolicy(stackPolicy);
    horizontalLayout->addWidget(m_stackWidget);
    verticalLayout->addWidget(frame, 1);
    setCentralWidget(central);

    auto *menu = new QMenuBar(this);
    menu->setObjectName("menubar");
    setMenuBar(menu);
    auto *status = new QStatusBar(this);
    status->setObjectName("statusBar");
    setStatusBar(status);

    // The pages; the session tiles' mappers belong to the patient page.
    m_visualization = new VisualizationWindow(&database);
    m_intro = new IntroWindow;
    m_online = new OnlineVisualizationWindow;
    m_login = new loginwindow;
}

void KRNMainWindow::makeConnections()
{
    const viewSubmenu::Controls &bar = m_toolbar->ui();
    connect(bar.buttonBack, &QPushButton::clicked, this, &KRNMainWindow::backButtonPressed);
    connect(m_login->buttonLogin(), &QPushButton::clicked, this, &KRNMainWindow::login);
    connectPatientPage();
    connect(m_login->buttonQuit(), &QPushButton::clicked, this, &QWidget::close);
    connect(bar.breath->selectDuration(), &QButtonGroup::idClicked, this,
            &KRNMainWindow::gotoChangeScaleOnline);
    connect(bar.breath->selectPlot(), &QButtonGroup::idClicked, m_online,
            &OnlineVisualizationWindow::breathVisibilityChanged);
    connect(m_visualization, &VisualizationWindow::newStartDateTime, this, &KRNMainWindow::updateTimeDate);
    connect(m_intro->viewMapper(), &QSignalMapper::mappedInt, this, &KRNMainWindow::sessionViewButtonPressed);
    connect(m_intro->analyzeMapper(), &QSignalMapper::mappedInt, this, &KRNMainWindow::patientAnalyzeButtonPressed);

    // Review window to toolbar.
    connect(m_visualization, &VisualizationWindow::singleBreathScaleChanged, bar.breathScaleSlider, &QSlider::setValue);
    connect(m_visualization, &VisualizationWindow::singleBreathBaselineChanged, bar.breathBaselineSlider,
            &QSlider::setValue);
    connect(m_visualization, &VisualizationWindow::breathExtremaEvaluated, m_toolbar, &viewSubmenu::setMinMaxBreath);
    connect(m_visualization, &VisualizationWindow::startEventMode, m_toolbar, &viewSubmenu::setStartEventMode);
    connect(m_visualization, &VisualizationWindow::stopEventMode, m_toolbar, &viewSubmenu::setStopEventMode);
    connect(m_visualization, &VisualizationWindow::setLabelEventBar, bar.labelAddEvent, &QLabel::setText);

    // Toolbar to review window: ECG and respiration scale.
    connect(bar.scalechoice, qOverload<int>(&QComboBox::currentIndexChanged), m_visualization,
            &VisualizationWindow::changeScale);
    connect(bar.checkBoxAutoscale, &QCheckBox::clicked, m_visualization, &VisualizationWindow::setAutoscale);
    connect(bar.breathAutoButton, &QPushButton::clicked, m_visualization, &VisualizationWindow::setBreathAutoscale);
    connect(bar.breathScaleSlider, &QSlider::sliderMoved, m_visualization, &VisualizationWindow::setBreathScaleValue);
    connect(bar.breathBaselineSlider, &QSlider::sliderMoved, m_visualization,
            &VisualizationWindow::setBreathScaleBaseline);
    bar.printCheckBox->setChecked(false);
    connect(bar.buttonExportEdf, &QPushButton::clicked, this, &KRNMainWindow::exportEdfButtonPressed);
    connect(bar.lineGoTo, &QLineEdit::returnPressed, this, &KRNMainWindow::goToTimeEntered);

    // The events of the review window.
    m_visualization->setPrompts(&m_prompts);
    m_visualization->setDataFolder(m_dataFolder);
    connect(bar.loadAnalysisPushButton, &QPushButton::clicked, m_visualization,
            &VisualizationWindow::loadAnnotationDataFromFile);
    connect(bar.buttonAutoAnalysis, &QPushButton::clicked, this, &KRNMainWindow::autoAnalysisButtonPressed);
    connect(bar.buttonAddEvent, &QPushButton::clicked, m_visualization, &VisualizationWindow::addEventButtonClicked);
    connect(bar.printCheckBox, &QCheckBox::stateChanged, m_visualization, &VisualizationWindow::setPrintNewEvent);
    connectSnapshots();
    connectReport();
}

const SessionRecord *KRNMainWindow::currentSession() const
{
    const std::vector<SessionRecord> &sessions = m_patients.sessions();
    if (currentSessionIndex < 0 || currentSessionIndex >= int(sessions.size()))
        return nullptr;
    return &sessions[size_t(currentSessionIndex)];
}

void KRNMainWindow::pageChanged(int newPage)
{
    if (newPage != currentPage) {
        previousPage = currentPage;
        currentPage = newPage;
    }
    const LabelTable labels(objectName());
    switch (m_stackWidget->currentIndex()) {
    case VisualizationPage: {
        const SessionRecord *session = currentSession();
        const bool analyzed = session && session->status == statusAnalyzed;
        setWindowTitle(labels.label(analyzed ? "titlevisualizationwindow" : "titleanalyzewindow"));
        break;
    }
    case OnlineVisualizationPage:
        setWindowTitle(labels.label("titleonlinevisualizationwindow"));
        break;
    default:
        setWindowTitle(labels.label("titlemain"));
        break;
    }
}

void KRNMainWindow::goToPreviousPage() { m_stackWidget->setCurrentIndex(previousPage); }

void KRNMainWindow::goToIntroPage()
{
    onLivePage = false;
    m_stackWidget->setCurrentIndex(IntroPage);
    ToolbarTable::apply(m_toolbar, ToolbarState::PatientList);
}

void KRNMainWindow::goToOnlineVisualizationPage()
{
    onLivePage = true;
    m_stackWidget->setCurrentIndex(OnlineVisualizationPage);
    m_toolbar->show();
    ToolbarTable::apply(m_toolbar, ToolbarState::LivePage);
    const viewSubmenu::Controls &bar = m_toolbar->ui();
    bar.buttonplayecg->setEnabled(true);
    bar.buttonplaybreath->setEnabled(true);
    bar.buttonstopecg->setEnabled(false);
    bar.buttonstopbreath->setEnabled(false);
}

void KRNMainWindow::goToVisualizationPage()
{
    const SessionRecord *session = currentSession();
    if (!session) {
        qWarning().noquote() << "No session selected for review";
        return;
    }
    m_visualization->setSessionId(session->id);

    m_stackWidget->setCurrentIndex(VisualizationPage);
    m_toolbar->show();
    ToolbarTable::apply(m_toolbar, ToolbarState::ReviewPage);

    // A finished session is read-only: only its report can be opened.
    const bool analyzed = session->status == statusAnalyzed;
    ToolbarTable::apply(m_toolbar, analyzed ? ToolbarState::ReviewAnalyzed : ToolbarState::ReviewOpen);
    m_visualization->setEventsLocked(analyzed);
    if (!analyzed && currentUser.role == roleNurse)
        ToolbarTable::apply(m_toolbar, ToolbarState::ReviewNurse);

    sessionFolder = m_dataFolder + "/" + QString::fromStdString(session->dataPathName);
    if (!QDir(sessionFolder + "/ANALISI").exists()) {
        m_prompts.ask({Prompts::Icon::Information, "Dati analisi non trovati", "Risultati analisi non disponibili", {},
                       {}, {Prompts::Button::ok(), Prompts::Button::cancel()}});
    }
    m_visualization->loadAnalysisResults(sessionFolder + "/ANALISI");
}

void KRNMainWindow::backButtonPressed()
{
    switch (m_stackWidget->currentIndex()) {
    case VisualizationPage: {
        const SessionRecord *session = currentSession();
        const QString status = session ? QString::fromStdString(session->status) : QString();
        qInfo().noquote() << "SELECTED SESSION " + status;
        if (status != statusAnalyzed
            && !m_prompts.confirm(Prompts::Icon::Question, QString(),
                                  "Sei sicuro di voler chiudere la sessione corrente?"))
            return;
        goToIntroPage();
        m_visualization->resetView();
        m_toolbar->ui().scalechoice->setCurrentIndex(0);
        break;
    }
    case OnlineVisualizationPage: {
        if (!m_prompts.confirm(Prompts::Icon::Question, QString(),
                               "Selezionando OK tutti i dati relativi alla configurazione del dispositivo saranno "
                               "cancellati, Proseguire lo stesso?"))
            return;
        goToIntroPage();
        leaveLivePage();
        break;
    }
    default:
        break;
    }
}

void KRNMainWindow::checkDatabase()
{
    const QString path = database.fileName();
    QString reason;
    if (!QFileInfo::exists(path))
        reason = QStringLiteral("il file non esiste");
    else if (!database.isOpen())
        reason = QStringLiteral("il file non può essere aperto (%1)").arg(database.lastError());
    else if (!database.hasSchema())
        reason = QStringLiteral("il file non contiene le tabelle del programma (%1)").arg(database.lastError());
    m_databaseUsable = reason.isEmpty();
    if (m_databaseUsable)
        return;
    m_login->setLoginUnavailable();
    m_prompts.inform(Prompts::Icon::Critical, QStringLiteral("Database non utilizzabile"),
                     QStringLiteral("Impossibile usare il database %1: %2.\nSenza database non è possibile accedere "
                                    "al programma: chiudere e contattare l'assistenza.")
                         .arg(QDir::toNativeSeparators(path), reason));
}

void KRNMainWindow::login()
{
    if (!m_databaseUsable)
        return;
    const QString userName = m_login->userName()->text();
    users.clear();
    database.listUsers(users);
    const LoginResult result = checkLogin(users, userName, m_login->password()->text());
    switch (result.outcome) {
    case LoginResult::Outcome::Success:
        currentUser = users[size_t(result.userIndex)];
        goToIntroPage();
        AppSettings::setLastUsername(userName);
        break;
    case LoginResult::Outcome::WrongPassword:
        m_prompts.inform(Prompts::Icon::Critical, "Errore Login", "Password errata");
        break;
    case LoginResult::Outcome::UnknownUser:
        m_prompts.inform(Prompts::Icon::Critical, "Errore Login", "Username o password errati");
        break;
    }
}

void KRNMainWindow::updateTimeDate(int seconds)
{
    const QDateTime when = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toLocalTime();
    m_toolbar->ui().labelDate->setText(when.toString("dd/MM/yyyy"));
    m_toolbar->ui().labelTime->setText(when.toString("hh:mm:ss"));
}

void KRNMainWindow::gotoChangeScaleOnline(int milliseconds) { m_online->setBreathWindow(milliseconds); }

bool KRNMainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == this && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
        return true;
    return QMainWindow::eventFilter(watched, event);
}

void KRNMainWindow::closeEvent(QCloseEvent *event)
{
    onLivePage = false;
    database.close();
    m_usb->shutdown();
    timeoutCalibrate();
    m_link->shutdown();
    if (m_socketsStarted) {
        SocketStartup::cleanup();
        m_socketsStarted = false;
    }
    event->accept();
}
