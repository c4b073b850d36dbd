#include "analysis/AnalysisAction.h"

#include "analysis/SessionAnalysis.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent>

#include <atomic>

namespace {

const QString Title = QStringLiteral("Analisi automatica");

} // namespace

bool AnalysisAction::run(const QString &sessionFolder)
{
    switch (SessionAnalysis::existing(sessionFolder)) {
    case SessionAnalysis::Existing::Foreign:
        m_prompts.inform(Prompts::Icon::Warning, Title,
                         QStringLiteral("La cartella ANALISI di questa sessione è stata scritta da un altro programma di "
                                        "analisi e non viene sostituita."));
        return false;
    case SessionAnalysis::Existing::Own:
        if (!m_prompts.confirm(Prompts::Icon::Question, Title,
                               QStringLiteral("La sessione ha già un'analisi automatica. Ripetere l'analisi e sostituirla?")))
            return false;
        break;
    case SessionAnalysis::Existing::None:
        break;
    }

    Prompts::ProgressSpec setup;
    setup.title = Title;
    setup.labelText = QStringLiteral("Analisi della registrazione in corso");
    setup.cancelText = QStringLiteral("Annulla");
    setup.maximum = ProgressSteps;
    setup.fixedWidth = 600;
    std::unique_ptr<Prompts::Progress> progress = m_prompts.progress(setup);

    // The worker reports how far it is and looks at the cancel flag; this thread keeps the window
    // painted and the dialog answering.
    std::atomic<int> done{0};
    std::atomic<bool> cancel{false};
    SessionAnalysis analysis;
    QEventLoop loop;
    QFutureWatcher<bool> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
    const auto follow = [&] {
        progress->setValue(done.load());
        if (progress->wasCanceled())
            cancel.store(true);
    };
    QTimer poll;
    poll.setInterval(ProgressIntervalMs);
    QObject::connect(&poll, &QTimer::timeout, follow);
    watcher.setFuture(QtConcurrent::run([&] {
        return analysis.run(sessionFolder, true, [&](double share) {
            done.store(int(share * ProgressSteps));
            return !cancel.load();
        });
    }));
    follow();
    poll.start();
    if (!watcher.isFinished())
        loop.exec();
    watcher.waitForFinished();
    poll.stop();
    progress.reset();

    if (watcher.result())
        return true;
    if (!analysis.wasCanceled())
        m_prompts.ask({Prompts::Icon::Critical, QStringLiteral("Analisi automatica non riuscita"),
                       QStringLiteral("L'analisi della registrazione non è riuscita: la cartella ANALISI non è stata "
                                      "modificata."),
                       {}, analysis.errorString(), {Prompts::Button::ok()}});
    return false;
}
