// Redrawing the review page on a 24-hour session: showData of each tab at its shortest and
// longest window, at places spread over the day (warm page cache), on the page at a full-HD size.
// "ShowData" times the re-read and curve rebuild alone; "ShowDataAndPaint" adds painting the tab
// into an image, the whole cost of a redraw the user waits for. With a busy day's analysis
// loaded: stepping to the next event, the single-lead tab with and without its beat marks, and
// paging with Page Down.

#include "bench/BenchMain.h"
#include "bench/BenchSession.h"
#include "db/Database.h"
#include "review/data/RecordingData.h"
#include "review/VisualizationWindow.h"

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <memory>

namespace {

// Shows the window at its full-HD page size and loads the session into it; false, with the
// reason, when it does not load.
bool loadShown(VisualizationWindow &window, const QString &session, QString *error)
{
    window.resize(1900, 1000);
    window.show();
    QSignalSpy finished(&window, &VisualizationWindow::loadingFinishedSignal);
    window.loadSessionData(session, benchRecordingStart());
    if (!finished.wait(60000) || !window.hasEcgData()) {
        *error = QStringLiteral("the session did not load: ") + window.loadErrorString();
        return false;
    }
    return true;
}

// The pages the benchmarks share, closed before the application ends (widgets cannot outlive it).
std::unique_ptr<VisualizationWindow> openedPage;

VisualizationWindow *openedWindow(QString *error)
{
    if (openedPage)
        return openedPage.get();
    const QString session = session24h(error);
    if (session.isEmpty())
        return nullptr;
    openedPage = std::make_unique<VisualizationWindow>(nullptr);
    if (!loadShown(*openedPage, session, error)) {
        openedPage.reset();
        return nullptr;
    }
    openedPage->jumpToFirstData();
    return openedPage.get();
}

// The timed redraws: each iteration, untimed, moves the window 37 minutes and a bit further
// (another window, another part of the files), then times showData and, given a page, painting it.
void timeRedraws(benchmark::State &state, VisualizationWindow *window, QWidget *paintedPage)
{
    QImage image = paintedPage ? QImage(paintedPage->size(), QImage::Format_RGB32) : QImage();
    QScrollBar *bar = window->scrollBar();
    const int span = bar->maximum() - bar->minimum();
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        bar->blockSignals(true);
        bar->setValue(bar->minimum() + int((qint64(step++) * 2220017) % qMax(span, 1)));
        bar->blockSignals(false);
        window->onSliderMoved(bar->value());
        state.ResumeTiming();
        window->showData();
        if (paintedPage) {
            QPainter painter(&image);
            paintedPage->render(&painter);
        }
    }
}

void showData(benchmark::State &state, bool paint)
{
    const int tab = int(state.range(0));
    const int length = int(state.range(1));
    QString error;
    VisualizationWindow *window = openedWindow(&error);
    if (!window) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    window->tabs()->setCurrentIndex(tab);
    const char *groups[] = {"selectBreathScale", "selectSingleRange", "selectEventRange"};
    if (tab >= VisualizationWindow::BreathTab)
        window->findChild<QButtonGroup *>(groups[tab - VisualizationWindow::BreathTab])->button(length)->click();
    QCoreApplication::processEvents();
    timeRedraws(state, window, paint ? window->tabs()->currentWidget() : nullptr);
    state.counters["window_s"] = length / 1000.0;
}

// What the clinician waits for after "Analizza": the load on its worker thread, the hand-off to
// the page, the jump to the first data and the first redraw, on a fresh review window each time.
void BM_OpenOnReviewPage(benchmark::State &state)
{
    QString error;
    const QString session = session24h(&error);
    if (session.isEmpty()) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    double added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        VisualizationWindow window(nullptr);
        window.resize(1900, 1000);
        window.show();
        QCoreApplication::processEvents();
        const double before = residentMiB();
        QSignalSpy finished(&window, &VisualizationWindow::loadingFinishedSignal);
        state.ResumeTiming();
        window.loadSessionData(session, benchRecordingStart());
        if (finished.isEmpty() && !finished.wait(60000)) {
            state.SkipWithError("the session did not load");
            return;
        }
        window.jumpToFirstData();
        window.showData();
        QCoreApplication::processEvents();
        state.PauseTiming();
        added = std::max(added, residentMiB() - before);
        state.ResumeTiming();
    }
    state.counters["added_rss_MiB"] = added;
}
BENCHMARK(BM_OpenOnReviewPage)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ShowData(benchmark::State &state) { showData(state, false); }
void BM_ShowDataAndPaint(benchmark::State &state) { showData(state, true); }

void tabsAndWindows(benchmark::internal::Benchmark *bench)
{
    bench->ArgNames({"tab", "window_ms"});
    bench->Args({VisualizationWindow::LeadsTab, 10000});
    bench->Args({VisualizationWindow::PrecordialTab, 10000});
    for (int tab : {VisualizationWindow::BreathTab, VisualizationWindow::SingleTab, VisualizationWindow::EventsTab})
        for (int length : {10000, 600000})
            bench->Args({tab, length});
    bench->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ShowData)->Apply(tabsAndWindows);
BENCHMARK(BM_ShowDataAndPaint)->Apply(tabsAndWindows);

// A second page on the same session with the busy day's analysis loaded (its events in a
// database of their own), for what the analysis adds to the redraws.
struct AnalysedPage {
    Database db;
    std::unique_ptr<VisualizationWindow> window;
};
std::unique_ptr<AnalysedPage> analysedPage;

VisualizationWindow *analysedWindow(QString *error)
{
    if (analysedPage)
        return analysedPage->window.get();
    const QString session = session24h(error);
    const QString analysis = session.isEmpty() ? QString() : busyAnalysis24h(error);
    const QString emptyDb = analysis.isEmpty() ? QString() : emptyEventsDatabase(error);
    if (emptyDb.isEmpty())
        return nullptr;
    const QString dbPath = benchRoot() + QStringLiteral("/events-page.db");
    QFile::remove(dbPath);
    QFile::copy(emptyDb, dbPath);
    auto opened = std::make_unique<AnalysedPage>();
    opened->db.open(dbPath);
    opened->window = std::make_unique<VisualizationWindow>(&opened->db);
    VisualizationWindow *window = opened->window.get();
    window->setSessionId(1);
    window->setEventsLocked(false);
    if (!loadShown(*window, session, error))
        return nullptr;
    window->loadAnalysisResults(analysis);
    window->jumpToFirstData();
    analysedPage = std::move(opened);
    return window;
}

// Stepping to the next ventricular beat on the events tab: the labels, the window moved onto it,
// the three plots rebuilt with their markers and painted.
void BM_NextEvent(benchmark::State &state)
{
    QString error;
    VisualizationWindow *window = analysedWindow(&error);
    if (!window) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    window->tabs()->setCurrentIndex(VisualizationWindow::EventsTab);
    window->findChild<QComboBox *>("selectEvent")->setCurrentIndex(0);
    QCoreApplication::processEvents();
    QWidget *frame = window->findChild<QWidget *>("tab5");
    QImage image(frame->size(), QImage::Format_RGB32);
    EventList *events = window->getEventList(0);
    const int beats = EventList::typeIndex("V");
    for (auto _ : state) {
        if (events->cursor(beats) + 1 >= events->size(beats)) {
            state.PauseTiming();
            events->resetCursors();
            state.ResumeTiming();
        }
        window->nextButtonClicked();
        QPainter painter(&image);
        frame->render(&painter);
    }
    state.counters["events"] = events->size(beats);
}
BENCHMARK(BM_NextEvent)->Unit(benchmark::kMillisecond);

// The single-lead tab at 10 minutes with and without the beat marks (and the split zones, drawn
// either way): the difference is what the marks add to showData.
void BM_ShowDataSingle10Min(benchmark::State &state)
{
    QString error;
    VisualizationWindow *window = analysedWindow(&error);
    if (!window) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    window->tabs()->setCurrentIndex(VisualizationWindow::SingleTab);
    window->findChild<QButtonGroup *>("selectSingleRange")->button(600000)->click();
    window->findChild<QCheckBox *>("visualizeBeatsCheckBox")->setChecked(state.range(0) != 0);
    QCoreApplication::processEvents();
    timeRedraws(state, window, nullptr);
}
BENCHMARK(BM_ShowDataSingle10Min)->ArgName("beats")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A Page Down as the clinician presses it, on the page with the busy day's analysis (the
// heart-rate strip shown): the key through the page's shortcut, the move, the redraw of the tab, and
// the whole page painted into an image. Back to the start, untimed, at the end of the day. On the
// single-lead tab at 10 minutes each press must take less than a key repeat (about 33 ms) for a
// held key to keep up.
void BM_PageDown(benchmark::State &state)
{
    QString error;
    VisualizationWindow *window = analysedWindow(&error);
    if (!window) {
        state.SkipWithError(qPrintable(error));
        return;
    }
    const int tab = int(state.range(0));
    window->tabs()->setCurrentIndex(tab);
    if (tab == VisualizationWindow::SingleTab)
        window->findChild<QButtonGroup *>("selectSingleRange")->button(int(state.range(1)))->click();
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitForWindowActive(window)) {
        state.SkipWithError("the page did not become the active window");
        return;
    }
    QTest::keyClick(window, Qt::Key_Home);
    QCoreApplication::processEvents();
    QImage image(window->size(), QImage::Format_RGB32);
    QScrollBar *bar = window->scrollBar();
    int pages = 0;
    for (auto _ : state) {
        const int before = bar->value();
        QTest::keyClick(window, Qt::Key_PageDown);
        QPainter painter(&image);
        window->render(&painter);
        if (bar->value() == before) {
            state.PauseTiming();
            QTest::keyClick(window, Qt::Key_Home);
            state.ResumeTiming();
        } else {
            ++pages;
        }
    }
    state.counters["pages"] = pages;
    state.counters["window_s"] = state.range(1) / 1000.0;
}
BENCHMARK(BM_PageDown)
    ->ArgNames({"tab", "window_ms"})
    ->Args({VisualizationWindow::LeadsTab, 10000})
    ->Args({VisualizationWindow::SingleTab, 600000})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    useOffscreenUnlessSet();
    QApplication app(argc, argv);
    const int result = runBenchmarks(argc, argv);
    openedPage.reset();
    analysedPage.reset();
    return result;
}
