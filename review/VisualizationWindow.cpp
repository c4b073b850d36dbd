#include "review/VisualizationWindow.h"

#include "common/LabelTable.h"
#include "review/plots/QwtDateScaleWithOffset.h"
#include "review/plots/ReviewPlots.h"

#include <qwt_plot_picker.h>
#include <qwt_plot_shapeitem.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>


namespace {

// Lead index -> plot object name and label-table key of the lead's radio button.
const char *const leadPlotNames[leads::Count] = {"PlotECG12", "PlotECG01", "PlotECG02", "PlotECG08",
                                                 "PlotECG09", "PlotECG10", "PlotECG11", "PlotECG07",
                                                 "PlotECG03", "PlotECG04", "PlotECG05", "PlotECG06"};
const char *const leadRadioNames[leads::Count] = {"radioV6", "radio1",  "radio2",   "radioV2",  "radioV3",  "radioV4",
                                                  "radioV5", "radioV1", "radio3",   "radioaVR", "radioaVL", "radioaVF"};
// Display order of the two lead tabs (lead indices): I II III aVR aVL aVF, then V1..V6.
const int leadTabOrder[2][6] = {{1, 2, 8, 9, 10, 11}, {7, 3, 4, 5, 6, 0}};
const char *const eventTypes[] = {"BEV", "Tachicardia ventricolare", "Bradicardia", "Pausa", "Bigeminia",
                                  "Trigeminia", "ST"};

template <class W>
W *named(W *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel *label(const QString &name, const QString &text = QString())
{
    auto *l = named(new QLabel(text), name);
    l->setTextFormat(Qt::RichText);
    return l;
}

QFrame *frame(const QString &name)
{
    auto *f = named(new QFrame, name);
    f->setFrameStyle(QFrame::NoFrame);
    return f;
}

// The five window-length buttons of a tab, checkable and exclusive, ids = length in ms.
QButtonGroup *windowButtons(QWidget *owner, const QString &groupName, const QStringList &buttonNames,
                            QBoxLayout *into)
{
    auto *group = named(new QButtonGroup(owner), groupName);
    const QStringList texts = {"10 s", "30 s", "60 s", "5 min", "10 min"};
    for (int i = 0; i < buttonNames.size(); ++i) {
        auto *button = named(new QPushButton(texts.at(i)), buttonNames.at(i));
        button->setCheckable(true);
        button->setChecked(i == 0);
        group->addButton(button, ReviewState::windowLengths().at(i));
        into->addWidget(button);
    }
    group->setExclusive(true);
    return group;
}

// A labelled plot row: name label and scale label in a narrow column left of the plot.
QWidget *legend(QLabel *name, QLabel *scale)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    layout->addStretch(1);
    layout->addWidget(name);
    if (scale)
        layout->addWidget(scale);
    layout->addStretch(1);
    box->setFixedWidth(VisualizationWindow::LegendWidth);
    return box;
}

} // namespace

VisualizationWindow::VisualizationWindow(Database *database, QWidget *parent)
    : QWidget(parent), m_database(database), m_analysis(database)
{
    setObjectName("VisualizationWindow");
    setFocusPolicy(Qt::StrongFocus);
    buildTree();
    applyLabels();
    makeConnections();
    m_tabs->setCurrentIndex(SingleTab);
}

VisualizationWindow::~VisualizationWindow() = default;

void VisualizationWindow::buildTree()
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(4, 4, 4, 4);
    page->setSpacing(2);

    // Overview of the whole recording above the tabs, the heart-rate trend under it in the same
    // column (the same width, the same time axis).
    auto *top = new QGridLayout;
    top->setVerticalSpacing(0);
    auto *topLabels = new QVBoxLayout;
    m_labelTotalPlot = label("labelTotalPlot", "ECG - V6");
    m_labelAvailability = label("labelAvailability");
    topLabels->addWidget(m_labelTotalPlot);
    auto *available = new QHBoxLayout;
    available->addWidget(label("labelAvailable", "Disponibile : "));
    available->addWidget(m_labelAvailability);
    available->addStretch(1);
    topLabels->addLayout(available);
    top->addLayout(topLabels, 0, 0);
    m_totalGraph = named(new OverviewPlot, "totalGraph");
    m_totalGraph->setFixedHeight(OverviewHeight);
    top->addWidget(m_totalGraph, 0, 1);
    m_labelHeartRate = label("labelHeartRate");
    m_heartRate = named(new HeartRatePlot, "heartRateGraph");
    m_heartRate->setFixedHeight(HeartRateHeight);
    top->addWidget(m_labelHeartRate, 1, 0);
    top->addWidget(m_heartRate, 1, 1);
    top->setColumnStretch(1, 1);
    // Shown with a beat list.
    m_labelHeartRate->hide();
    m_heartRate->hide();
    page->addLayout(top);

    m_tabs = named(new QTabWidget, "ECG");
    page->addWidget(m_tabs, 1);
    m_scrollBar = named(new QScrollBar(Qt::Horizontal), "timeScrollBar");
    m_scrollBar->setRange(0, 0);
    m_scrollBar->setSingleStep(1000);
    page->addWidget(m_scrollBar);

    m_leadPlots.resize(leads::Count);
    m_scaleLabels.resize(leads::Count);
    for (int lead = 0; lead < leads::Count; ++lead) {
        auto *plot = named(new EcgPaperPlot(1.1, false), leadPlotNames[lead]);
        plot->setCanvasName(leads::name(lead));
        m_leadPlots[lead] = plot;
    }

    // Tabs 0 and 1: six leads each on paper with the clock strip under them.
    const char *const stripNames[2] = {"PlotEcg1Scale", "PlotEcg2Scale"};
    for (int tab = 0; tab < 2; ++tab) {
        auto *tabPage = named(new QWidget, tab == 0 ? "Channels1" : "Channels2");
        auto *pageLayout = new QVBoxLayout(tabPage);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        auto *leadFrame = frame(tab == 0 ? "Tab1" : "Tab2");
        m_leadFrames[tab] = leadFrame;
        auto *grid = new QGridLayout(leadFrame);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(0);
        grid->setVerticalSpacing(1);
        for (int row = 0; row < 6; ++row) {
            const int lead = leadTabOrder[tab][row];
            const int number = tab * 6 + row + 1;
            auto *scale = label(QString("labelScale%1").arg(number), "10 mm/mV");
            m_scaleLabels[number - 1] = scale;
            grid->addWidget(legend(label(QString("labelEcg%1").arg(number)), scale), row, 0);
            grid->addWidget(m_leadPlots[lead], row, 1, Qt::AlignLeft | Qt::AlignTop);
        }
        auto *strip = named(new TimeStripPlot, stripNames[tab]);
        m_strips.append(strip);
        QWidget *timeLegend = legend(label(QString("labelTime%1").arg(tab + 1), "25 mm/s"),
                                     tab == 0 ? label("labelStart") : nullptr);
        if (tab == 0)
            timeLegend->layout()->addWidget(label("labelScale"));
        grid->addWidget(timeLegend, 6, 0);
        grid->addWidget(strip, 6, 1, Qt::AlignLeft | Qt::AlignTop);
        grid->setColumnStretch(2, 1);
        grid->setRowStretch(7, 1);
        pageLayout->addWidget(leadFrame);
        m_tabs->addTab(tabPage, QString());
    }

    // Tab 2: the five respiration channels and their sum.
    {
        auto *tabPage = named(new QWidget, "BreathTab");
        auto *pageLayout = new QVBoxLayout(tabPage);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        auto *breathFrame = frame("Tab3");
        m_breathFrame = breathFrame;
        auto *grid = new QGridLayout(breathFrame);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(0);
        grid->setVerticalSpacing(1);
        const char *const plotNames[6] = {"PlotBreath01", "PlotBreath02", "PlotBreath03",
                                          "PlotBreath04", "PlotBreath05", "plotBreathSum"};
        const char *const labelNames[6] = {"labelBreath1", "labelBreath2", "labelBreath3",
                                           "labelBreath4", "labelBreath5", "labelBreathSum"};
        for (int channel = 0; channel < 6; ++channel) {
            auto *plot = named(new SignalPlot(SignalPlot::Respiration), plotNames[channel]);
            m_breathPlots.append(plot);
            grid->addWidget(legend(label(labelNames[channel]), nullptr), channel, 0);
            grid->addWidget(plot, channel, 1);
            grid->setRowStretch(channel, 1);
        }
        auto *strip = named(new TimeStripPlot, "plotBreathScale");
        m_strips.append(strip);
        grid->addWidget(strip, 6, 1, Qt::AlignLeft | Qt::AlignTop);
        grid->setColumnStretch(2, 1);
        pageLayout->addWidget(breathFrame, 1);
        auto *buttons = new QHBoxLayout;
        buttons->addWidget(label("labelBreathScale"));
        m_selectBreathScale = windowButtons(this, "selectBreathScale",
                                            {"buttonBreath1", "buttonBreath2", "buttonBreath3", "buttonBreath5m",
                                             "buttonBreath10m"},
                                            buttons);
        buttons->addStretch(1);
        pageLayout->addLayout(buttons);
        m_tabs->addTab(tabPage, QString());
    }

    // Tab 3: one lead, one respiration trace and SpO2 over the same window.
    {
        auto *tabPage = named(new QWidget, "singleTab");
        auto *pageLayout = new QHBoxLayout(tabPage);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        auto *singleFrame = frame("Tab4");
        m_singleFrame = singleFrame;
        auto *grid = new QGridLayout(singleFrame);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(0);
        grid->setVerticalSpacing(1);
        m_ecgSingle = named(new EcgPaperPlot(3.3, true), "ecgSingle");
        m_ecgSingle->setCanvasName(leads::name(leads::V1));
        m_breathSingle = named(new SignalPlot(SignalPlot::SingleBreath), "breathSingle");
        m_imuSingle = named(new SignalPlot(SignalPlot::Oximetry), "imuSingle");
        auto *scale = label("labelScaleEcgSingle", "10 mm/mV");
        m_scaleLabels.append(scale);
        grid->addWidget(legend(label("labelSingleECG"), scale), 0, 0);
        grid->addWidget(m_ecgSingle, 0, 1, Qt::AlignLeft | Qt::AlignTop);
        grid->addWidget(legend(label("labelSingleBreath"), nullptr), 1, 0);
        grid->addWidget(m_breathSingle, 1, 1);
        grid->addWidget(legend(label("labelSingleIMU"), nullptr), 2, 0);
        grid->addWidget(m_imuSingle, 2, 1);
        auto *strip = named(new TimeStripPlot, "plotSingleScale");
        m_strips.append(strip);
        grid->addWidget(strip, 3, 1, Qt::AlignLeft | Qt::AlignTop);
        grid->setRowStretch(1, 1);
        grid->setRowStretch(2, 1);
        grid->setColumnStretch(2, 1);
        pageLayout->addWidget(singleFrame, 1);

        auto *controls = new QVBoxLayout;
        auto *leadBox = new QGridLayout;
        m_selectECG = named(new QButtonGroup(this), "selectECG");
        const int radioOrder[leads::Count] = {1, 2, 8, 9, 10, 11, 7, 3, 4, 5, 6, 0};
        for (int i = 0; i < leads::Count; ++i) {
            const int lead = radioOrder[i];
            auto *radio = named(new QRadioButton, leadRadioNames[lead]);
            m_selectECG->addButton(radio, lead);
            leadBox->addWidget(radio, i % 6, i / 6);
        }
        m_selectECG->button(leads::V1)->setChecked(true);
        controls->addLayout(leadBox);
        auto *breathBox = new QGridLayout;
        m_selectBreath = named(new QButtonGroup(this), "selectBreath");
        for (int channel = 0; channel < 6; ++channel) {
            auto *radio = named(new QRadioButton, QString("radiob%1").arg(channel + 1));
            m_selectBreath->addButton(radio, channel);
            breathBox->addWidget(radio, channel % 3, channel / 3);
        }
        m_selectBreath->button(BreathSumChannel)->setChecked(true);
        controls->addLayout(breathBox);
        auto *rangeButtons = new QVBoxLayout;
        m_selectSingleRange = windowButtons(this, "selectSingleRange",
                                            {"buttonSingle10", "buttonSingle30", "buttonSingle60", "buttonSingle5m",
                                             "buttonSingle10m"},
                                            rangeButtons);
        controls->addLayout(rangeButtons);
        m_visualizeBeats = named(new QCheckBox("Battiti"), "visualizeBeatsCheckBox");
        controls->addWidget(m_visualizeBeats);
        m_labelSleepPosition = label("labelSleepPosition", emptyPositionSummary());
        m_labelSleepPosition->setWordWrap(true);
        controls->addWidget(m_labelSleepPosition);
        auto *oximetry = new QGridLayout;
        auto *labelSat = label("labelSat");
        auto *labelPulse = label("labelPulse");
        m_satValue = label("satValue", "ND");
        m_pulseValue = label("pulseValue", "ND");
        auto *percentage = label("labelPercentageName");
        // The means carry their own unit; the caption stays for the label table but is not shown.
        percentage->hide();
        oximetry->addWidget(labelSat, 0, 0);
        oximetry->addWidget(m_satValue, 0, 1);
        oximetry->addWidget(labelPulse, 1, 0);
        oximetry->addWidget(m_pulseValue, 1, 1);
        oximetry->addWidget(percentage, 0, 2); // hidden, but owned by the page like the others
        controls->addLayout(oximetry);
        controls->addStretch(1);
        m_oximetryWidgets = {m_imuSingle, labelSat, labelPulse, m_satValue, m_pulseValue, percentage};
        auto *controlBox = new QWidget;
        controlBox->setObjectName("frameSingleControls");
        controlBox->setLayout(controls);
        controlBox->setFixedWidth(SingleControlsWidth);
        pageLayout->addWidget(controlBox);
        m_tabs->addTab(tabPage, QString());
    }

    // Tab 4: three leads of choice around the current event, and the event controls.
    {
        auto *tabPage = named(new QWidget, "eventsTab");
        auto *pageLayout = new QHBoxLayout(tabPage);
        pageLayout->setContentsMargins(0, 0, 0, 0);
        auto *eventsFrame = frame("tab5");
        m_eventsFrame = eventsFrame;
        auto *grid = new QGridLayout(eventsFrame);
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(0);
        grid->setVerticalSpacing(1);
        QStringList leadNames;
        for (int lead = 0; lead < leads::Count; ++lead)
            leadNames << leads::name(lead);
        const int defaultLeads[3] = {leads::I, leads::II, leads::V1};
        for (int i = 0; i < 3; ++i) {
            auto *plot = named(new EcgPaperPlot(1.1, true), QString("ecgEvents%1").arg(i + 1));
            plot->setAutoReplot(true);
            m_eventPlots.append(plot);
            auto *combo = named(new QComboBox, QString("selectChannelEv%1").arg(i + 1));
            combo->addItems(leadNames);
            combo->setCurrentIndex(defaultLeads[i]);
            m_eventLeadCombos.append(combo);
            auto *leadLabel = label(QString("labelECGEv%1").arg(i + 1), leadNames.at(defaultLeads[i]));
            m_eventLeadLabels.append(leadLabel);
            auto *scale = label(QString("labelScaleEcgEv%1").arg(i + 1), "10 mm/mV");
            m_scaleLabels.append(scale);
            auto *side = legend(leadLabel, scale);
            side->layout()->addWidget(combo);
            grid->addWidget(side, i, 0);
            grid->addWidget(plot, i, 1, Qt::AlignLeft | Qt::AlignTop);
        }
        auto *strip = named(new TimeStripPlot, "plotEventsScale");
        m_strips.append(strip);
        grid->addWidget(strip, 3, 1, Qt::AlignLeft | Qt::AlignTop);
        grid->setRowStretch(4, 1);
        grid->setColumnStretch(2, 1);
        pageLayout->addWidget(eventsFrame, 1);

        auto *controls = new QVBoxLayout;
        m_selectEvent = named(new QComboBox, "selectEvent");
        for (const char *type : eventTypes)
            m_selectEvent->addItem(type);
        controls->addWidget(m_selectEvent);
        auto *counter = new QHBoxLayout;
        m_labelIndex = label("labelIndex");
        counter->addWidget(m_labelIndex);
        counter->addWidget(new QLabel("/"));
        m_labelTot = label("labelTot", "0");
        counter->addWidget(m_labelTot);
        counter->addStretch(1);
        controls->addLayout(counter);
        m_labelChannel = label("labelChannel");
        m_labelDuration = label("labelDuration");
        m_labelState = label("labelState");
        for (QLabel *l : {m_labelChannel, m_labelDuration, m_labelState}) {
            l->setWordWrap(true);
            controls->addWidget(l);
        }
        QPushButton **buttons[] = {&m_buttonBack, &m_buttonForward, &m_buttonCenter, &m_buttonAccept, &m_buttonReject,
                                   &m_buttonAcceptPrint};
        const char *const buttonNames[] = {"buttonBack", "buttonForward", "buttonCenter", "buttonAccept",
                                           "buttonReject", "buttonAcceptPrint"};
        for (int i = 0; i < 6; ++i) {
            auto *button = named(new QPushButton, buttonNames[i]);
            button->setEnabled(false);
            // The page keeps the focus, so that its keys work after a click.
            button->setFocusPolicy(Qt::NoFocus);
            controls->addWidget(button);
            *buttons[i] = button;
        }
        auto *rangeButtons = new QVBoxLayout;
        m_selectEventRange = windowButtons(this, "selectEventRange",
                                           {"buttonEv10", "buttonEv30", "buttonEv60", "buttonEv5m", "buttonEv10m"},
                                           rangeButtons);
        controls->addLayout(rangeButtons);
        controls->addStretch(1);
        auto *controlBox = new QWidget;
        controlBox->setObjectName("frameEventControls");
        controlBox->setLayout(controls);
        controlBox->setFixedWidth(EventControlsWidth);
        pageLayout->addWidget(controlBox);
        m_tabs->addTab(tabPage, QString());
    }
}

void VisualizationWindow::applyLabels()
{
    const LabelTable labels(objectName());
    for (int tab = 0; tab < m_tabs->count(); ++tab)
        m_tabs->setTabText(tab, labels.label(m_tabs->widget(tab)->objectName()));
    for (QLabel *l : findChildren<QLabel *>()) {
        if (!labels.label(l->objectName()).isEmpty())
            labels.applyText(l);
    }
    for (QAbstractButton *b : findChildren<QAbstractButton *>()) {
        if (!labels.label(b->objectName()).isEmpty())
            labels.applyText(b);
    }
}

void VisualizationWindow::makeConnections()
{
    connect(m_selectECG, &QButtonGroup::idClicked, this, &VisualizationWindow::selectedEcg);
    connect(m_selectBreath, &QButtonGroup::idClicked, this, &VisualizationWindow::selectedBreath);
    connect(m_visualizeBeats, &QCheckBox::stateChanged, this, &VisualizationWindow::visualizeBeatsChanged);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &VisualizationWindow::onSliderMoved);
    connect(m_selectBreathScale, &QButtonGroup::idClicked, this, &VisualizationWindow::setRangeBreath);
    connect(m_selectSingleRange, &QButtonGroup::idClicked, this, &VisualizationWindow::setRangeSingle);
    connect(m_selectEventRange, &QButtonGroup::idClicked, this, &VisualizationWindow::setRangeEvents);
    connect(m_tabs, &QTabWidget::currentChanged, this, &VisualizationWindow::tabChanged);
    for (OverviewPlot *overview : {m_totalGraph, static_cast<OverviewPlot *>(m_heartRate)})
        connect(overview->picker(), qOverload<const QPointF &>(&QwtPlotPicker::selected), this,
                &VisualizationWindow::getClickedTs);
    for (QComboBox *combo : m_eventLeadCombos)
        connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this, &VisualizationWindow::updateSlider);
    for (QwtPlotPicker *picker : signalPickers())
        connect(picker, qOverload<const QPointF &>(&QwtPlotPicker::selected), this, &VisualizationWindow::addEventTs);
    connect(m_selectEvent, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &VisualizationWindow::changeEventType);
    connect(m_buttonForward, &QPushButton::clicked, this, &VisualizationWindow::nextButtonClicked);
    connect(m_buttonBack, &QPushButton::clicked, this, &VisualizationWindow::previousButtonClicked);
    connect(m_buttonCenter, &QPushButton::clicked, this, &VisualizationWindow::centerButtonClicked);
    connect(m_buttonAccept, &QPushButton::clicked, this, &VisualizationWindow::acceptButtonClicked);
    connect(m_buttonReject, &QPushButton::clicked, this, &VisualizationWindow::rejectButtonClicked);
    connect(m_buttonAcceptPrint, &QPushButton::clicked, this, &VisualizationWindow::acceptPrintButtonClicked);

    // Keys that move the window, on any tab and whichever control of the page has the focus.
    using Move = ReviewState::Move;
    const QPair<int, Move> pagingKeys[] = {{Qt::Key_PageDown, Move::PageForward}, {Qt::Key_PageUp, Move::PageBack},
                                           {Qt::Key_Right, Move::StepForward},    {Qt::Key_Left, Move::StepBack},
                                           {Qt::Key_Home, Move::First},           {Qt::Key_End, Move::Last}};
    for (const auto &[key, move] : pagingKeys)
        connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this,
                [this, move = move] { moveWindow(move); });
    connect(new QShortcut(QKeySequence(Qt::Key_M), this), &QShortcut::activated, this,
            &VisualizationWindow::marchCaliper);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this,
            &VisualizationWindow::clearCalipers);
    for (EcgPaperPlot *plot : paperPlots())
        connect(plot, &EcgPaperPlot::caliperDrawn, this, [this, plot] { m_caliperPlot = plot; });

    m_tabs->installEventFilter(this);
    m_selectEvent->installEventFilter(this);
    for (QComboBox *combo : m_eventLeadCombos)
        combo->installEventFilter(this);
}

QVector<QwtPlotPicker *> VisualizationWindow::signalPickers() const
{
    QVector<QwtPlotPicker *> pickers;
    for (EcgPaperPlot *plot : m_leadPlots)
        pickers.append(plot->picker());
    for (SignalPlot *plot : m_breathPlots)
        pickers.append(plot->picker());
    pickers << m_ecgSingle->picker() << m_breathSingle->picker() << m_imuSingle->picker();
    for (EcgPaperPlot *plot : m_eventPlots)
        pickers.append(plot->picker());
    return pickers;
}

QVector<EcgPaperPlot *> VisualizationWindow::paperPlots() const
{
    QVector<EcgPaperPlot *> plots = m_leadPlots + m_eventPlots;
    plots.append(m_ecgSingle);
    return plots;
}

bool VisualizationWindow::breathVisible(int channel) const
{
    return channel >= 0 && channel < BreathChannels && m_state.breathVisible[channel];
}

// ---------------------------------------------------------------------------------------------
// Loading

bool VisualizationWindow::loadSessionData(const QString &sessionFolder, qint64 recordingStartSeconds)
{
    auto data = std::make_shared<RecordingData>();
    data->load(sessionFolder, recordingStartSeconds);
    // The widgets belong to the GUI thread: the result is handed over there.
    std::shared_ptr<const RecordingData> result = std::move(data);
    QMetaObject::invokeMethod(
        this, [this, result, recordingStartSeconds] { applyLoadedData(result, recordingStartSeconds); },
        Qt::QueuedConnection);
    return true;
}

bool VisualizationWindow::hasEcgData() const { return m_data && m_data->ecgPresent(); }

void VisualizationWindow::applyLoadedData(const std::shared_ptr<const RecordingData> &data,
                                          qint64 recordingStartSeconds)
{
    m_recordingStartSeconds = recordingStartSeconds;
    m_loadError = data->errorString();
    if (!m_loadError.isEmpty()) {
        qWarning().noquote() << "Session not loaded: " + m_loadError;
        m_data.reset();
        emit loadingFinishedSignal(false, 0);
        return;
    }
    m_data = data;

    emit newStartDateTime(int(data->acquisitionStartSeconds()));
    setTimeAxisOffset(data->acquisitionStartSeconds());
    m_totalGraph->enableAxis(QwtPlot::xBottom, data->timeCorrect());

    emit breathExtremaEvaluated(data->breathMin(), data->breathMax());

    const QVector<quint32> &overviewTimes = data->ecgOverviewTimes();
    if (!overviewTimes.isEmpty())
        m_totalGraph->setAxisScale(QwtPlot::xBottom, overviewTimes.first(), overviewTimes.last());
    m_totalGraph->setPoints(data->overviewCurve());
    if (data->ecgPresent())
        for (OverviewPlot *overview : {m_totalGraph, static_cast<OverviewPlot *>(m_heartRate)})
            overview->setZones(data->ecg().front().time, data->ecg().back().time, data->missingIntervals());
    m_tabs->setCurrentIndex(LeadsTab);
    // The window starts at the first record, also for the redraws before jumpToFirstData (a
    // scroll bar still at 0..0 would otherwise count as at its maximum and jump to the end).
    updateSliderLimits();
    {
        const QSignalBlocker blocker(m_scrollBar);
        m_scrollBar->setValue(int(data->firstEcgTime()));
    }
    m_state.position = unsigned(m_scrollBar->value());

    const QString availability = data->availabilityText();
    qInfo().noquote() << "--------";
    qInfo().noquote() << availability;
    m_labelAvailability->setText(availability);

    setOximetryEnabled(data->pulsPresent());
    qInfo().noquote() << " POSITION DATA FOUND : " + QString::number(m_analysis.positionsAvailable());
    emit loadingFinishedSignal(data->timeCorrect(), int(data->ecgSpan()));
}

void VisualizationWindow::setOximetryEnabled(bool enabled)
{
    m_oximetryAvailable = enabled;
    for (QWidget *widget : m_oximetryWidgets)
        widget->setEnabled(enabled);
}

void VisualizationWindow::setTimeAxisOffset(qint64 seconds)
{
    for (TimeStripPlot *strip : m_strips)
        strip->setOffset(seconds);
}

void VisualizationWindow::clearAnalysis()
{
    m_analysis.clear();
    m_marks = EventMarks();
    m_labelSleepPosition->setText(emptyPositionSummary());
}

void VisualizationWindow::loadAnalysisResults(const QString &folder)
{
    m_labelSleepPosition->setText(emptyPositionSummary());
    m_marks = EventMarks();
    // An analysed session is read-only: its events are the stored ones, whatever the folder holds.
    const AnalysisResults::Events events =
        m_analysis.load(folder, m_sessionId, m_recordingStartSeconds, m_eventsLocked);
    const QVector<MinuteRate> &minutes = m_analysis.heartRate().minutes();
    m_heartRate->setMinutes(minutes);
    m_heartRate->setVisible(!minutes.isEmpty());
    m_labelHeartRate->setVisible(!minutes.isEmpty());
    if (events == AnalysisResults::Events::Refused)
        reportRefusal(QStringLiteral("Eventi non caricati"),
                      QStringLiteral("Il database ha rifiutato gli eventi dell'analisi: nessun evento è stato "
                                     "caricato e nessuno è stato salvato."),
                      m_analysis.errorString());
    else if (events == AnalysisResults::Events::Unreadable)
        reportRefusal(QStringLiteral("Eventi non caricati"),
                      QStringLiteral("Il file delle analisi (annotations_fusion.pt) non può essere letto: nessun "
                                     "evento è stato caricato."),
                      m_analysis.errorString());
    showEvents(0);
    if (m_data)
        updateSlider();
}

void VisualizationWindow::resetView()
{
    m_data.reset();
    m_loadError.clear();
    clearAnalysis();
    setOximetryEnabled(false);
    m_totalGraph->removeZones();
    m_totalGraph->setPoints({});
    m_heartRate->removeZones();
    m_heartRate->setMinutes({});
    m_heartRate->hide();
    m_labelHeartRate->hide();
    clearCalipers();
    for (EcgPaperPlot *plot : m_leadPlots)
        plot->removeCurves();
    for (SignalPlot *plot : m_breathPlots)
        plot->removeCurves();
    for (EcgPaperPlot *plot : m_eventPlots)
        plot->removeCurves();
    m_ecgSingle->removeCurves();
    m_breathSingle->removeCurves();
    m_imuSingle->removeCurves();
    for (TimeStripPlot *strip : m_strips)
        strip->clearRecordTimes();
    m_labelAvailability->clear();
    m_state.resetScaleAndLead();
    m_satValue->setText(NotAvailable);
    m_pulseValue->setText(NotAvailable);
    updateScaleLabels();
    m_selectECG->button(leads::V1)->setChecked(true);
    m_ecgSingle->setCanvasName(leads::name(leads::V1));
    m_selectEvent->setCurrentIndex(0);
    if (m_eventMode)
        endEventMode();
    showEvents(0);
}

// ---------------------------------------------------------------------------------------------
// Lead and scale choices

void VisualizationWindow::selectedEcg(int id)
{
    if (id < 0 || id >= leads::Count)
        return;
    m_state.singleLead = id;
    m_ecgSingle->setCanvasName(leads::name(id));
    updateSlider();
}

void VisualizationWindow::selectedBreath(int id)
{
    if (id < 0 || id > BreathSumChannel)
        return;
    m_state.singleBreath = id;
    updateSlider();
}

void VisualizationWindow::breathVisibilityChanged(int channel)
{
    if (!m_state.toggleBreathVisible(channel))
        return;
    m_breathPlots[channel]->setVisible(m_state.breathVisible[channel]);
    updateSlider();
}

void VisualizationWindow::visualizeBeatsChanged() { updateSlider(); }

void VisualizationWindow::changeScale(int type)
{
    m_state.setScale(type);
    updateScaleLabels();
    updateSlider();
    emit scaleChosen(true);
}

void VisualizationWindow::setAutoscale(bool on)
{
    m_state.autoscale = on;
    for (EcgPaperPlot *plot : m_leadPlots)
        plot->setAutoscale(on);
    m_ecgSingle->setAutoscale(on);
    for (EcgPaperPlot *plot : m_eventPlots)
        plot->setAutoscale(on);
    updateScaleLabels();
    updateSlider();
}

void VisualizationWindow::updateScaleLabels()
{
    const QString text = m_state.scaleText();
    for (QLabel *scale : m_scaleLabels)
        scale->setText(text);
}

void VisualizationWindow::setBreathAutoscale(bool)
{
    m_state.breathAutoscale = true;
    // At once, on whatever tab: the sum of the current respiration window gives the scale. On the
    // respiration tab the redraw of updateSlider() does it.
    if (m_data && m_tabs->currentIndex() != BreathTab)
        showBreath();
    updateSlider();
}

void VisualizationWindow::setBreathScaleValue(int scale)
{
    m_state.breathAutoscale = false;
    m_state.breathHalfRange = scale;
    updateSlider();
}

void VisualizationWindow::setBreathScaleBaseline(int value)
{
    m_state.breathAutoscale = false;
    m_state.breathBaseline = value;
    updateSlider();
}
