#include "live/breathFilters.h"

#include "common/LabelTable.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

breathFilters::breathFilters(QWidget *parent)
    : QWidget(parent), m_selectDuration(new QButtonGroup(this)), m_selectPlot(new QButtonGroup(this))
{
    setObjectName("breathFilters");
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);

    auto *labelScale = new QLabel(this);
    labelScale->setObjectName("labelScale");
    layout->addWidget(labelScale, 0, 0);

    m_selectDuration->setObjectName("selectDuration");
    m_selectDuration->setExclusive(true);
    const struct { const char *name; int id; } durations[] = {{"button10", 10000}, {"button30", 30000}, {"button60", 60000}};
    int column = 1;
    for (const auto &d : durations) {
        auto *button = new QPushButton(this);
        button->setObjectName(d.name);
        button->setCheckable(true);
        m_selectDuration->addButton(button, d.id);
        layout->addWidget(button, 0, column++);
    }
    m_selectDuration->button(10000)->setChecked(true);

    auto *labelPlots = new QLabel(this);
    labelPlots->setObjectName("labelPlots");
    layout->addWidget(labelPlots, 1, 0);

    // Each channel button wears the colour of its curve on the live plots.
    m_selectPlot->setObjectName("selectPlot");
    m_selectPlot->setExclusive(false);
    const struct { const char *name; const char *colour; } plots[] = {
        {"b1", "darkred"}, {"b2", "red"}, {"b3", "black"}, {"b4", "blue"}, {"b5", "green"}};
    for (int id = 0; id < 5; ++id) {
        auto *button = new QPushButton(this);
        button->setObjectName(plots[id].name);
        button->setCheckable(true);
        button->setChecked(true);
        button->setStyleSheet(QString("QPushButton { color: %1; font-weight: bold; }").arg(plots[id].colour));
        m_selectPlot->addButton(button, id);
        layout->addWidget(button, 1, id + 1);
    }

    const LabelTable labels(objectName());
    labels.applyText(labelScale);
    labels.applyText(labelPlots);
    for (QAbstractButton *button : m_selectDuration->buttons())
        labels.applyText(button);
    for (QAbstractButton *button : m_selectPlot->buttons())
        labels.applyText(button);
}
