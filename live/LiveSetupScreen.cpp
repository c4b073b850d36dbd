#include "live/LiveSetupScreen.h"

#include "live/OnlineVisualizationWindow.h"
#include "live/viewSubmenu.h"

#include <QCheckBox>
#include <QPushButton>

LiveSetupScreen::LiveSetupScreen(OnlineVisualizationWindow &page, viewSubmenu &toolbar,
                                 std::function<void()> showStartedSession)
    : m_page(page), m_toolbar(toolbar), m_showStartedSession(std::move(showStartedSession))
{
}

RecordBuffer &LiveSetupScreen::ecgRecords() { return m_page.ecgRecords(); }

void LiveSetupScreen::setEcgRefreshConnected(bool connected) { m_page.setEcgRefreshConnected(connected); }

void LiveSetupScreen::enablePlay()
{
    m_toolbar.ui().buttonPlay->setEnabled(true);
    m_toolbar.ui().buttonStop->setEnabled(false);
}

void LiveSetupScreen::uncheckPrintCheckBox() { m_toolbar.ui().printCheckBox->setChecked(false); }

void LiveSetupScreen::resetLiveView() { m_page.reset(); }

void LiveSetupScreen::showStartedSession()
{
    if (m_showStartedSession)
        m_showStartedSession();
}
