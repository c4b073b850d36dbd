// The events tab of the review page: stepping through the events of each type, the review
// actions, the event mode that adds events of the user's, and the snapshots of the page.

#include "review/VisualizationWindow.h"

#include "common/Prompts.h"
#include "review/Dialog.h"

#include <qwt_plot_picker.h>

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QCursor>
#include <QDebug>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTabWidget>

#include <cmath>

namespace {

// How long the "Evento aggiunto" notice stays up.
constexpr int AddedNoticeMs = 1000;

SnapshotCapture capture(QWidget *frame, const QWidget *plot)
{
    SnapshotCapture shot;
    shot.image = QImage(frame->size(), QImage::Format_RGB32);
    shot.image.fill(Qt::white);
    frame->render(&shot.image);
    shot.ratio = plot->width() > 0 ? double(frame->width()) / plot->width() : 1.0;
    qInfo().noquote() << "Ratio " + QString::number(shot.ratio);
    return shot;
}

} // namespace

EventList *VisualizationWindow::getEventList(int) { return &m_analysis.events().list(); }

QString VisualizationWindow::sessionFolder() const { return m_data ? m_data->sessionFolder() : QString(); }

void VisualizationWindow::reportRefusal(const QString &title, const QString &text, const QString &detail)
{
    qInfo().noquote() << title + ": " + detail;
    if (m_prompts)
        m_prompts->ask({Prompts::Icon::Critical, title, text, {}, detail, {Prompts::Button::ok()}});
}

void VisualizationWindow::setEventsLocked(bool locked)
{
    m_eventsLocked = locked;
    if (locked && m_eventMode)
        endEventMode();
    showEvents(0);
}

// ---------------------------------------------------------------------------------------------
// Stepping through the events

bool VisualizationWindow::showEvents(int channel)
{
    EventList &list = *getEventList(channel);
    const int type = m_selectEvent->currentIndex();
    Event *ev = list.current(type);
    if (ev) {
        m_labelIndex->setText(QString::number(list.cursor(type) + 1));
        m_labelTot->setText(QString::number(list.size(type)));
        // The channel comes from the beat file: text, not markup.
        m_labelChannel->setText(ev->channels.join(QLatin1Char(',')).toHtmlEscaped());
        m_labelDuration->setText(durationText(*ev));
        const ReviewChoices state = reviewChoices(*ev);
        m_labelState->setText(state.text);
        m_buttonAccept->setEnabled(state.accept);
        m_buttonReject->setEnabled(state.reject);
        m_buttonAcceptPrint->setEnabled(state.acceptPrint);
    } else {
        for (QLabel *l : {m_labelIndex, m_labelChannel, m_labelDuration, m_labelState})
            l->clear();
        m_labelTot->setText("0");
    }
    const bool empty = list.isEmpty(type);
    if (empty || m_eventsLocked) {
        m_buttonAccept->setEnabled(false);
        m_buttonReject->setEnabled(false);
        m_buttonAcceptPrint->setEnabled(false);
    }
    m_buttonBack->setEnabled(!empty);
    m_buttonForward->setEnabled(!empty);
    m_buttonCenter->setEnabled(!empty);

    if (m_tabs->currentIndex() == EventsTab) {
        if (ev) {
            visualizeEvent(ev);
        } else {
            // No event of this type: the trace and markers of another one must not stay.
            m_marks = EventMarks();
            showData();
        }
    }
    return true;
}

bool VisualizationWindow::changeEventType(int)
{
    showEvents(0);
    return true;
}

void VisualizationWindow::visualizeEvent(Event *ev)
{
    if (!ev)
        return;
    // The event starts one tenth into the window.
    double windowStart = ev->start * 1000.0 - m_state.eventsRange / 10.0;
    if (m_data && m_data->ecgPresent() && double(m_data->firstEcgTime()) >= windowStart)
        windowStart = m_data->firstEcgTime();
    windowStart = std::max(windowStart, 0.0);

    m_marks = EventMarks();
    m_marks.shown = true;
    m_marks.startMs = ev->start * 1000.0;
    m_marks.hasDuration = ev->duration != 0;
    m_marks.endMs = (ev->start + ev->duration) * 1000.0;
    if (ev->type == QLatin1String("ST")) {
        m_marks.isSt = true;
        m_marks.stTimeMs = ev->stMaxTime * 1000.0;
        m_marks.stValue = ev->stMaxValue;
    }
    // One redraw, also when the window is already there (the markers may have changed).
    {
        const QSignalBlocker blocker(m_scrollBar);
        m_scrollBar->setValue(int(std::lround(windowStart)));
    }
    // The first plot shows the lead the event was found on, when its channel names one.
    for (const QString &channel : ev->channels) {
        const int lead = leads::fromChannel(channel);
        if (lead < 0)
            continue;
        const QSignalBlocker blocker(m_eventLeadCombos[0]);
        m_eventLeadCombos[0]->setCurrentIndex(lead);
        break;
    }
    m_state.position = unsigned(std::max(m_scrollBar->value(), 0));
    updateSlider();
}

void VisualizationWindow::cycleEvents()
{
    m_selectEvent->setCurrentIndex((m_selectEvent->currentIndex() + 1) % m_selectEvent->count());
}

void VisualizationWindow::nextButtonClicked()
{
    getEventList(0)->next(m_selectEvent->currentIndex());
    showEvents(0);
}

void VisualizationWindow::previousButtonClicked()
{
    getEventList(0)->previous(m_selectEvent->currentIndex());
    showEvents(0);
}

void VisualizationWindow::centerButtonClicked() { showEvents(0); }

// ---------------------------------------------------------------------------------------------
// Review actions: the row is written first; the screen and the snapshots follow only when the
// database took it.

Event *VisualizationWindow::eventToReview(const QPushButton *button)
{
    Event *ev = getEventList(0)->current(m_selectEvent->currentIndex());
    return ev && button->isEnabled() ? ev : nullptr;
}

bool VisualizationWindow::storeReview(bool stored)
{
    if (stored)
        return true;
    reportRefusal(QStringLiteral("Evento non salvato"),
                  QStringLiteral("Il database ha rifiutato lo stato dell'evento: l'evento resta com'era."),
                  m_analysis.events().errorString());
    showEvents(0);
    return false;
}

void VisualizationWindow::reviewWithoutSnapshot(const QPushButton *button, bool (EventStore::*store)(Event *))
{
    Event *ev = eventToReview(button);
    if (!ev)
        return;
    const bool wasPrinted = ev->printed;
    if (!storeReview((m_analysis.events().*store)(ev)))
        return;
    if (wasPrinted)
        emit deleteScreenShot(ev->id);
    nextButtonClicked();
}

void VisualizationWindow::acceptButtonClicked() { reviewWithoutSnapshot(m_buttonAccept, &EventStore::accept); }

void VisualizationWindow::rejectButtonClicked() { reviewWithoutSnapshot(m_buttonReject, &EventStore::reject); }

void VisualizationWindow::acceptPrintButtonClicked()
{
    Event *ev = eventToReview(m_buttonAcceptPrint);
    if (!ev)
        return;
    // The frame as the clinician sees it now, before anything moves.
    const SnapshotCapture shot = capture(m_eventsFrame, m_eventPlots.first());
    QStringList shownLeads;
    for (const QComboBox *combo : qAsConst(m_eventLeadCombos))
        shownLeads << combo->currentText();
    const QString note = printedEventNote(*ev, shownLeads);
    if (!storeReview(m_analysis.events().acceptPrint(ev)))
        return;
    emit newScreenShot(shot.image, note, float(shot.ratio), ev->id);
    nextButtonClicked();
}

// ---------------------------------------------------------------------------------------------
// Event mode

void VisualizationWindow::endEventMode()
{
    m_eventMode = false;
    m_waitingStart = false;
    m_waitingEnd = false;
    emit stopEventMode();
    emit setLabelEventBar(QString());
}

void VisualizationWindow::setEvent(const QString &evtype) { qDebug().noquote() << " NEW EVENT " + evtype; }

void VisualizationWindow::setPrintNewEvent(int ev)
{
    m_printNewEvent = ev != 0;
    setFocus();
}

void VisualizationWindow::addEventButtonClicked()
{
    setFocus();
    if (m_eventMode) {
        qInfo().noquote() << "STOPPING EVENT MODE";
        endEventMode();
        return;
    }
    // An analysed session takes no more events.
    if (m_eventsLocked)
        return;
    emit startEventMode();
    qInfo().noquote() << "STARTING EVENT MODE";
    m_eventMode = true;
    QString code;
    {
        Dialog dialog;
        dialog.setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.exec();
        code = dialog.chosenCode();
    }
    if (code.isEmpty()) {
        qInfo().noquote() << "STOPPING EVENT MODE";
        endEventMode();
        return;
    }
    m_newEventType = code;
    setEvent(code);
    if (heartRateKind(code)) {
        m_newEventStart = m_scrollBar->value() / 1000.0;
        m_newEventDuration = 0;
        m_newEventChannels = QStringList{QStringLiteral("ND")};
        const std::optional<int> rate =
            m_prompts ? m_prompts->integer("Inserisci valore frequenza",
                                           code == QLatin1String("FCMAX") ? "Frequenza massima" : "Frequenza minima",
                                           0, -2147483647, 2147483647, 1)
                      : std::nullopt;
        // A cancelled value stores nothing: it would replace the heart rate stored before.
        if (!rate) {
            qInfo().noquote() << "STOPPING EVENT MODE";
            endEventMode();
            return;
        }
        m_newEventDuration = *rate;
        endEventMode();
        addEventToDb(m_printNewEvent);
        return;
    }
    // A beat, a pause or a run of beats is an instant: one click on it, as an episode's start.
    m_waitingStart = true;
    m_waitingEnd = !addedWithoutDuration(code);
    emit setLabelEventBar(m_waitingEnd ? QStringLiteral("Seleziona inizio") : QStringLiteral("Seleziona evento"));
}

void VisualizationWindow::addEventTs(const QPointF &point)
{
    if (!m_eventMode)
        return;
    // The plot clicked: its picker's canvas carries the lead name ("ND" off the ECG plots).
    const auto *picker = qobject_cast<const QwtPlotPicker *>(sender());
    const QWidget *under = picker ? picker->parentWidget() : QApplication::widgetAt(QCursor::pos());
    const QString name = under ? under->accessibleName() : QString();
    m_newEventChannels = QStringList{name.isEmpty() ? QStringLiteral("ND") : name};
    if (m_waitingStart) {
        m_newEventStart = point.x() / 1000.0;
        m_waitingStart = false;
        if (m_waitingEnd) {
            emit setLabelEventBar(QStringLiteral("Seleziona fine"));
            return;
        }
        m_newEventDuration = 0;
        endEventMode();
        addEventToDb(m_printNewEvent);
    } else if (m_waitingEnd) {
        double end = point.x() / 1000.0;
        // An end picked before the start makes the same episode, not a negative one.
        if (end < m_newEventStart)
            std::swap(end, m_newEventStart);
        m_newEventDuration = end - m_newEventStart;
        endEventMode();
        addEventToDb(m_printNewEvent);
    }
}

void VisualizationWindow::addEventToDb(bool print)
{
    EventStore &store = m_analysis.events();
    if (!store.addEvent(m_newEventType, m_newEventStart, m_newEventDuration, m_newEventChannels, print)) {
        reportRefusal(QStringLiteral("Evento non aggiunto"),
                      QStringLiteral("Il database ha rifiutato il nuovo evento: l'evento non è stato aggiunto."),
                      store.errorString());
        showEvents(0);
        return;
    }
    if (print) {
        const QString folder = sessionFolder();
        SnapshotFolder snapshots(folder);
        if (folder.isEmpty()) {
            reportRefusal(QStringLiteral("Snapshot non salvato"),
                          QStringLiteral("Nessuna sessione aperta: l'immagine dell'evento non è stata salvata."),
                          QStringLiteral("no session folder"));
        } else if (!snapshots.saveUserSnapshot(captureCurrentTab(), addedEventNote(m_newEventType, m_newEventDuration))) {
            reportRefusal(QStringLiteral("Snapshot non salvato"),
                          "L'evento è stato aggiunto, ma la sua immagine non è stata salvata in " + snapshots.path()
                              + ".",
                          snapshots.errorString());
        }
    }
    if (m_prompts)
        m_prompts->notice(QStringLiteral("Evento aggiunto"), AddedNoticeMs);
    showEvents(0);
}

void VisualizationWindow::loadAnnotationDataFromFile()
{
    if (!m_prompts)
        return;
    const QString folder =
        m_prompts->existingDirectory(QStringLiteral("Scegli la cartella contenente le analisi"), m_dataFolder);
    if (folder.isEmpty())
        return;
    loadAnalysisResults(folder);
}

// ---------------------------------------------------------------------------------------------
// Snapshots of the page

QVector<SnapshotCapture> VisualizationWindow::captureCurrentTab() const
{
    QVector<SnapshotCapture> captures;
    const int tab = m_tabs->currentIndex();
    qInfo().noquote() << "REPEAT : " + QString::number(tab == LeadsTab || tab == PrecordialTab ? 1 : 0);
    switch (tab) {
    case LeadsTab:
    case PrecordialTab: {
        // Both lead pages, whichever is shown: the limb leads first. A page that has never been
        // shown has never been laid out either: give it the shown page's place first, so that it
        // is captured at the size the clinician sees.
        QWidget *shown = m_tabs->currentWidget();
        QWidget *other = m_tabs->widget(tab == LeadsTab ? PrecordialTab : LeadsTab);
        if (other->geometry() != shown->geometry())
            other->setGeometry(shown->geometry());
        captures << capture(m_leadFrames[0], m_leadPlots[leads::I]) << capture(m_leadFrames[1], m_leadPlots[leads::I]);
        break;
    }
    case BreathTab: captures << capture(m_breathFrame, m_breathPlots.first()); break;
    case SingleTab: captures << capture(m_singleFrame, m_ecgSingle); break;
    case EventsTab: captures << capture(m_eventsFrame, m_eventPlots.first()); break;
    default: captures << SnapshotCapture(); break;
    }
    return captures;
}
