#pragma once

#include "review/data/SignalTrace.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

// The review page's own state: where its window is, how long each tab's window is, the ECG and
// respiration scales and what the single-lead tab shows, with the rules that move them. Plain
// data, so that navigation can be checked without a page.
class ReviewState
{
public:
    enum Tab { LeadsTab = 0, PrecordialTab = 1, BreathTab = 2, SingleTab = 3, EventsTab = 4 };
    // Window lengths of the window-length buttons, ms (also the buttons' ids).
    static const QVector<int> &windowLengths();

    // Start of the window, ms from the recording start (the scroll bar's value).
    unsigned position = 0;
    // Window lengths: the two lead tabs share ecgRange.
    int ecgRange = 10000;
    int breathRange = 10000;
    int singleRange = 10000;
    int eventsRange = 10000;
    // The length the scroll bar was last bounded with.
    int sliderRange = 10000;
    // Grid steps of the lead tabs, ms.
    double minorStep = 40.0;
    double majorStep = 200.0;

    // ECG: the paper gain chosen in the toolbar, or autoscale.
    float displayGain = 1.0f;
    int displayOffset = 0;
    bool autoscale = false;

    int singleLead = leads::V1;
    int singleBreath = BreathSumChannel;

    // Respiration sum and single trace: autoscaled, or baseline +- half range.
    bool breathAutoscale = true;
    int breathHalfRange = 0;
    int breathBaseline = 0;
    bool breathVisible[BreathChannels] = {true, true, true, true, true};

    int windowOfTab(int tab) const;
    // The respiration tab scrolls over the respiration overview, every other tab over the ECG's.
    static bool scrollsBreath(int tab) { return tab == BreathTab; }
    // The overview above the tabs shows the respiration sum on these, the ECG elsewhere.
    static bool overviewShowsBreath(int tab) { return tab == BreathTab || tab == SingleTab; }
    static QString overviewCaption(int tab) { return overviewShowsBreath(tab) ? "Somma respiro" : "ECG - V6"; }

    // Scroll bar bounds over the overview times for a window of `length`: from the first to the
    // last time, or the last time alone when the recording is not longer than the window.
    struct SliderLimits {
        int minimum = 0;
        int maximum = 0;
        bool valid = false;
    };
    static SliderLimits sliderLimits(const QVector<quint32> &overviewTimes, int length);

    // ms of window movement per unit of wheel delta.
    int wheelStep(int tab, bool overOverview) const;

    // Paging by keyboard: Page Down / Up a window's length, the arrows a tenth of it, Home and
    // End the first and the last data.
    enum class Move { PageForward, PageBack, StepForward, StepBack, First, Last };
    // The start of the last window: the one that ends on the last data (lastDataMs), within the
    // scroll bar's limits.
    static int lastWindowStart(const SliderLimits &limits, int length, qint64 lastDataMs);
    // Where a move takes the window start from `value`. Forward moves stop at the last window and
    // never take the window back; nothing leaves the scroll bar's limits.
    static int movedStart(Move move, int value, int length, const SliderLimits &limits, qint64 lastDataMs);

    // Going to a time typed by the user: "hh:mm:ss" (or "hh:mm") is a time of day on the
    // recording's clock, its first occurrence from the recording start; "+hh:mm:ss" the time
    // elapsed since the start. ":" or "." between the fields.
    struct GoTo {
        enum class Result { Moved, Invalid, Outside } result = Result::Invalid;
        qint64 ms = 0; // from the recording start
    };
    // startSeconds: the recording start on the clock the time axes show (local time), seconds
    // since the epoch; lastDataMs: the end of the recording.
    static GoTo goTo(const QString &text, qint64 startSeconds, qint64 lastDataMs);

    // Toolbar scale combo: 0 single, 1 double, 2 half calibration.
    void setScale(int type);
    // "Auto", or the gain in mm/mV ("10 mm/mV", as the page's own default reads).
    QString scaleText() const;
    bool toggleBreathVisible(int channel);
    // What leaving the review puts back: paper gain 1, lead V1.
    void resetScaleAndLead();
};
