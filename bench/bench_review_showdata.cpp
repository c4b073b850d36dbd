// Redrawing the review page on a 24-hour session: showData of each tab at its shortest and
// longest window, at places spread over the day (warm page cache), on the page at a full-HD size.
// "ShowData" times the re-read and curve rebuild alone; "ShowDataAndPaint" adds painting the tab
// into an image, the whole cost of a redraw the user waits for.

#include "bench/BenchSession.h"
#include "review/data/RecordingData.h"
#include "review/VisualizationWindow.h"

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>

#include <memory>

namespace {

VisualizationWindow *openedWindow(QString *error)
{
    static std::unique_ptr<VisualizationWindow> window;
    if (window)
        return window.get();
    const QString session = session24h(error);
    if (session.isEmpty())
        return nullptr;
    window = std::make_unique<VisualizationWindow>(nullptr);
    window->resize(1900, 1000);
    window->show();
    QSignalSpy finished(window.get(), &VisualizationWindow::loadingFinishedSignal);
    window->loadSessionData(session, benchRecordingStart());
    if (!finished.wait(60000) || !window->hasEcgData()) {
        *error = QStringLiteral("the session did not load: ") + window->loadErrorString();
        window.reset();
        return nullptr;
    }
    window->jumpToFirstData();
    return window.get();
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
    QWidget *page = window->tabs()->currentWidget();
    QImage image(page->size(), QImage::Format_RGB32);

    QScrollBar *bar = window->scrollBar();
    const int span = bar->maximum() - bar->minimum();
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // 37 minutes and a bit further each time: another window, another part of the files.
        bar->blockSignals(true);
        bar->setValue(bar->minimum() + int((qint64(step++) * 2220017) % qMax(span, 1)));
        bar->blockSignals(false);
        window->onSliderMoved(bar->value());
        state.ResumeTiming();
        window->showData();
        if (paint) {
            QPainter painter(&image);
            page->render(&painter);
        }
    }
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

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The loader's and the page's diagnostics would drown the figures.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
