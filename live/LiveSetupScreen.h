#pragma once

#include "device/SessionSetup.h"

#include <functional>

class OnlineVisualizationWindow;
class viewSubmenu;

// The session set-up's view of the screen: the live page's ECG buffer, refresh and reset, the
// toolbar's play/stop pair and its print box. What follows a started recording (the lists read
// again, the patient page shown) belongs to the window and is handed in.
class LiveSetupScreen : public SetupScreen
{
public:
    LiveSetupScreen(OnlineVisualizationWindow &page, viewSubmenu &toolbar, std::function<void()> showStartedSession);

    RecordBuffer &ecgRecords() override;
    void setEcgRefreshConnected(bool connected) override;
    void enablePlay() override;
    void uncheckPrintCheckBox() override;
    void resetLiveView() override;
    void showStartedSession() override;

private:
    OnlineVisualizationWindow &m_page;
    viewSubmenu &m_toolbar;
    std::function<void()> m_showStartedSession;
};
