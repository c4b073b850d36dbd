#include "review/VisualizationWindow.h"

VisualizationWindow::VisualizationWindow(Database *database, QWidget *parent) : QWidget(parent), m_database(database)
{
    setObjectName("VisualizationWindow");
}
