#include "live/viewSubmenu.h"

#include "common/LabelTable.h"
#include "live/FlowLayout.h"
#include "live/breathFilters.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>

namespace {

// The go-to field: wide enough for a time or a short message.
constexpr int GoToFieldWidth = 160;

template <typename W>
W *make(QWidget *parent, const char *name, const QString &text = QString())
{
    auto *w = new W(parent);
    w->setObjectName(name);
    if constexpr (std::is_base_of_v<QLabel, W> || std::is_base_of_v<QAbstractButton, W>) {
        if (!text.isEmpty())
            w->setText(text);
    }
    return w;
}

QFrame *makeFrame(QWidget *parent, const char *name, QHBoxLayout *&layout)
{
    auto *frame = make<QFrame>(parent, name);
    layout = new QHBoxLayout(frame);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(4);
    return frame;
}

} // namespace

viewSubmenu::viewSubmenu(QWidget *parent) : QWidget(parent)
{
    setObjectName("viewSubmenu");
    // The review page shows many controls at once: they wrap onto a second row on a narrow screen.
    auto *bar = new FlowLayout(this);
    bar->setContentsMargins(4, 2, 4, 2);
    bar->setSpacing(6);
    Controls &u = m_ui;
    QHBoxLayout *inner = nullptr;

    u.buttonBack = make<QPushButton>(this, "buttonBack");
    u.buttonFiilters = make<QPushButton>(this, "buttonFiilters");
    u.buttonSnapshot = make<QPushButton>(this, "buttonSnapshot");
    u.buttonExport = make<QPushButton>(this, "buttonExport");
    u.buttonViewPdf = make<QPushButton>(this, "buttonViewPdf");
    u.buttonPlay = make<QPushButton>(this, "buttonPlay");
    u.buttonStop = make<QPushButton>(this, "buttonStop");
    for (QPushButton *b : {u.buttonBack, u.buttonFiilters, u.buttonSnapshot, u.buttonExport, u.buttonViewPdf,
                           u.buttonPlay, u.buttonStop})
        bar->addWidget(b);

    u.framebreath = makeFrame(this, "framebreath", inner);
    u.breathlabel = make<QLabel>(u.framebreath, "breathlabel");
    u.buttonplaybreath = make<QPushButton>(u.framebreath, "buttonplaybreath");
    u.buttonstopbreath = make<QPushButton>(u.framebreath, "buttonstopbreath");
    inner->addWidget(u.breathlabel);
    inner->addWidget(u.buttonplaybreath);
    inner->addWidget(u.buttonstopbreath);
    bar->addWidget(u.framebreath);

    u.frameecg = makeFrame(this, "frameecg", inner);
    u.ecglabel = make<QLabel>(u.frameecg, "ecglabel");
    u.buttonplayecg = make<QPushButton>(u.frameecg, "buttonplayecg");
    u.buttonstopecg = make<QPushButton>(u.frameecg, "buttonstopecg");
    inner->addWidget(u.ecglabel);
    inner->addWidget(u.buttonplayecg);
    inner->addWidget(u.buttonstopecg);
    bar->addWidget(u.frameecg);

    u.breath = new breathFilters(this);
    u.breath->setObjectName("breath");
    bar->addWidget(u.breath);

    u.framegain = makeFrame(this, "framegain", inner);
    u.labelgain = make<QLabel>(u.framegain, "labelgain");
    u.gainchoice = make<QComboBox>(u.framegain, "gainchoice");
    // The position of the chosen item is what the gain command sends to the recorder.
    u.gainchoice->addItems({"1", "2", "3", "4", "6", "8", "12"});
    u.gainchoice->setCurrentIndex(4);
    inner->addWidget(u.labelgain);
    inner->addWidget(u.gainchoice);
    bar->addWidget(u.framegain);

    u.nameFrame = makeFrame(this, "nameFrame", inner);
    u.labelPatient = make<QLabel>(u.nameFrame, "labelPatient");
    u.labelsurname = make<QLabel>(u.nameFrame, "labelsurname");
    u.labelname = make<QLabel>(u.nameFrame, "labelname");
    for (QLabel *l : {u.labelsurname, u.labelname})
        l->setStyleSheet("font-weight: bold;");
    inner->addWidget(u.labelPatient);
    inner->addWidget(u.labelsurname);
    inner->addWidget(u.labelname);
    bar->addWidget(u.nameFrame);

    u.FrameDate = makeFrame(this, "FrameDate", inner);
    u.labelTime = make<QLabel>(u.FrameDate, "labelTime");
    u.labelDate = make<QLabel>(u.FrameDate, "labelDate");
    inner->addWidget(u.labelTime);
    inner->addWidget(u.labelDate);
    bar->addWidget(u.FrameDate);

    u.frameGoTo = makeFrame(this, "frameGoTo", inner);
    u.labelGoTo = make<QLabel>(u.frameGoTo, "labelGoTo");
    u.lineGoTo = make<QLineEdit>(u.frameGoTo, "lineGoTo");
    u.lineGoTo->setMinimumWidth(GoToFieldWidth);
    inner->addWidget(u.labelGoTo);
    inner->addWidget(u.lineGoTo);
    bar->addWidget(u.frameGoTo);
    // Active while the field is shown (on the review page), wherever the focus is.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), u.lineGoTo), &QShortcut::activated, u.lineGoTo, [this] {
        m_ui.lineGoTo->setFocus(Qt::ShortcutFocusReason);
        m_ui.lineGoTo->selectAll();
    });
    // Typing over a message puts the field back to normal.
    connect(u.lineGoTo, &QLineEdit::textEdited, this, [this] {
        if (!m_ui.lineGoTo->styleSheet().isEmpty())
            showGoToResult(QString());
    });

    u.loadAnalysisPushButton = make<QPushButton>(this, "loadAnalysisPushButton", "Carica analisi");
    bar->addWidget(u.loadAnalysisPushButton);
    u.buttonAutoAnalysis = make<QPushButton>(this, "buttonAutoAnalysis");
    bar->addWidget(u.buttonAutoAnalysis);
    // The export of the reviewed session for other programs; its text is its own.
    u.buttonExportEdf = make<QPushButton>(this, "buttonExportEdf", QStringLiteral("Esporta EDF"));
    u.buttonExportEdf->setToolTip(QStringLiteral("Esporta la registrazione in formato EDF+, per aprirla con altri programmi"));
    bar->addWidget(u.buttonExportEdf);

    u.frameScaleVis = makeFrame(this, "frameScaleVis", inner);
    u.label_4 = make<QLabel>(u.frameScaleVis, "label_4", "Taratura");
    u.checkBoxAutoscale = make<QCheckBox>(u.frameScaleVis, "checkBoxAutoscale", "Auto");
    u.labelScaleVisualize = make<QLabel>(u.frameScaleVis, "labelScaleVisualize", "Scala");
    u.scalechoice = make<QComboBox>(u.frameScaleVis, "scalechoice");
    u.scalechoice->addItems({"Taratura singola", "Taratura doppia", "Mezza taratura"});
    u.scalechoice->setCurrentIndex(0);
    u.scalechoice->setToolTip("Seleziona la Taratura");
    inner->addWidget(u.label_4);
    inner->addWidget(u.checkBoxAutoscale);
    inner->addWidget(u.labelScaleVisualize);
    inner->addWidget(u.scalechoice);
    bar->addWidget(u.frameScaleVis);

    u.frameBreathScale = makeFrame(this, "frameBreathScale", inner);
    u.label_2 = make<QLabel>(u.frameBreathScale, "label_2", "Zoom");
    u.breathScaleSlider = make<QSlider>(u.frameBreathScale, "breathScaleSlider");
    u.label_3 = make<QLabel>(u.frameBreathScale, "label_3", "Baseline");
    u.breathBaselineSlider = make<QSlider>(u.frameBreathScale, "breathBaselineSlider");
    u.label = make<QLabel>(u.frameBreathScale, "label", "Somma respiro");
    u.breathAutoButton = make<QPushButton>(u.frameBreathScale, "breathAutoButton", "Reset");
    u.breathScaleSlider->setOrientation(Qt::Horizontal);
    u.breathScaleSlider->setRange(0, 500);
    u.breathBaselineSlider->setOrientation(Qt::Horizontal);
    u.breathBaselineSlider->setRange(0, 65000);
    inner->addWidget(u.label);
    inner->addWidget(u.label_2);
    inner->addWidget(u.breathScaleSlider);
    inner->addWidget(u.label_3);
    inner->addWidget(u.breathBaselineSlider);
    inner->addWidget(u.breathAutoButton);
    bar->addWidget(u.frameBreathScale);

    u.frameAddEvent = makeFrame(this, "frameAddEvent", inner);
    u.frameAddEvent->setStyleSheet("QFrame #frameAddEvent {border: 1px solid black}");
    u.label_5 = make<QLabel>(u.frameAddEvent, "label_5", "Aggiungi evento");
    u.buttonAddEvent = make<QPushButton>(u.frameAddEvent, "buttonAddEvent", "Nuovo (E)");
    u.printCheckBox = make<QCheckBox>(u.frameAddEvent, "printCheckBox", "Stampa");
    u.printCheckBox->setChecked(false);
    u.labelAddEvent = make<QLabel>(u.frameAddEvent, "labelAddEvent");
    inner->addWidget(u.label_5);
    inner->addWidget(u.buttonAddEvent);
    inner->addWidget(u.printCheckBox);
    inner->addWidget(u.labelAddEvent);
    bar->addWidget(u.frameAddEvent);

    u.buttonStartSession = make<QPushButton>(this, "buttonStartSession");
    bar->addWidget(u.buttonStartSession);

    const LabelTable labels(objectName());
    for (QPushButton *b : {u.buttonBack, u.buttonFiilters, u.buttonSnapshot, u.buttonStartSession, u.buttonViewPdf,
                           u.buttonExport, u.buttonPlay, u.buttonplayecg, u.buttonplaybreath, u.buttonStop,
                           u.buttonstopecg, u.buttonstopbreath}) {
        labels.applyAll(b);
        b->setIconSize(QSize(32, 32));
    }
    for (QLabel *l : {u.breathlabel, u.ecglabel, u.labelgain, u.labelname, u.labelPatient, u.labelsurname,
                      u.labelScaleVisualize, u.labelGoTo})
        labels.applyText(l);
    u.lineGoTo->setPlaceholderText(labels.label(u.lineGoTo->objectName()));
    u.lineGoTo->setToolTip(labels.tooltip(u.lineGoTo->objectName()));
    labels.applyText(u.checkBoxAutoscale);
    // The workstation's own analysis: its text beside its icon.
    labels.applyAll(u.buttonAutoAnalysis);
    u.buttonAutoAnalysis->setIconSize(QSize(24, 24));
}

void viewSubmenu::setName(const QString &name) { m_ui.labelname->setText(name); }

void viewSubmenu::setSurname(const QString &surname) { m_ui.labelsurname->setText(surname); }

void viewSubmenu::setMinMaxBreath(int min, int max)
{
    m_ui.breathBaselineSlider->setMinimum(int(min - min / 10.0));
    m_ui.breathBaselineSlider->setMaximum(int(max + max / 10.0));
}

void viewSubmenu::setStartEventMode() { m_ui.buttonAddEvent->setText("Annulla"); }

void viewSubmenu::setStopEventMode() { m_ui.buttonAddEvent->setText("Nuovo (E)"); }

void viewSubmenu::showGoToResult(const QString &problem, const QString &detail)
{
    QLineEdit *field = m_ui.lineGoTo;
    field->setStyleSheet(problem.isEmpty() ? QString() : QStringLiteral("color: rgb(200, 0, 0);"));
    field->setToolTip(problem.isEmpty() ? LabelTable(objectName()).tooltip(field->objectName()) : detail);
    if (problem.isEmpty())
        return;
    field->setText(problem);
    field->selectAll();
    field->setFocus(Qt::OtherFocusReason);
}
