#include "live/OnlineVisualizationWindow.h"

OnlineVisualizationWindow::OnlineVisualizationWindow(QWidget *parent) : QWidget(parent)
{
    // The live form has always been named with a capital I; the label table is keyed on it.
    setObjectName("OnlineVisualizationWIndow");
}
