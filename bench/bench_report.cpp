// Writing the session report with 20 snapshots taken on an ECG tab, each a pair of captures (the
// limb and the precordial leads) rendered from the review page at its real size on a 1600 x 900
// screen, as the snapshot button leaves them in "snap": 40 images, 42 pages. Reported: the time
// to write the PDF and its size. Everything is made afresh in $TMPDIR/tavokrn-bench/report and left
// there to be looked at (report in session/Report.pdf).

#include "common/Clock.h"
#include "bench/BenchMain.h"
#include "bench/BenchSession.h"
#include "db/Database.h"
#include "db/Schema.h"
#include "import/RecordingDecoder.h"
#include "report/ReportBuilder.h"
#include "report/SnapshotFiles.h"
#include "review/VisualizationWindow.h"
#include "sim/SyntheticRecorder.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>

#include <cstdio>
#include <memory>

namespace {

constexpr int SnapshotCount = 20;
// The review page inside the workstation's window on a 1600 x 900 screen, below the toolbar.
const QSize reviewPageSize(1584, 800);

struct Fixture {
    QString dir;
    Database db;
    ReportInput input;
    QString error;
};

// A one-hour synthetic recording on the review page; every snapshot at another place in it.
bool takeSnapshots(const QString &dataFolder, const QString &sessionFolder, QString *error)
{
    SynthOptions options;
    options.hours = 1;
    SynthSummary summary;
    const QString card = dataFolder + "/card";
    CardDecodeResult decoded;
    if (!writeSyntheticRecording(card, options, &summary, error)
        || !decodeCardFolder(card, sessionFolder, Calibration(), &decoded, error))
        return false;

    VisualizationWindow window(nullptr);
    window.resize(reviewPageSize);
    window.show();
    QSignalSpy finished(&window, &VisualizationWindow::loadingFinishedSignal);
    window.loadSessionData(sessionFolder, options.start.toSecsSinceEpoch());
    if (!finished.wait(60000) || !window.hasEcgData()) {
        *error = "the session did not load: " + window.loadErrorString();
        return false;
    }
    window.jumpToFirstData();
    QScrollBar *bar = window.scrollBar();
    const QDateTime stamp0 = options.start.addSecs(3600);
    SnapshotFolder folder(sessionFolder);
    for (int i = 0; i < SnapshotCount; ++i) {
        bar->setValue(bar->minimum() + (bar->maximum() - bar->minimum()) * i / SnapshotCount);
        window.onSliderMoved(bar->value());
        QCoreApplication::processEvents();
        // A minute apart, as a clinician takes them; the second capture a second after the first.
        Clock::setFixed(stamp0.addSecs(i * 60));
        const QString note = "<html><body><p>Snapshot " + QString::number(i + 1) + "</p></body></html>";
        const bool saved = folder.saveUserSnapshot(window.captureCurrentTab(), note);
        Clock::setFixed(QDateTime());
        if (!saved) {
            *error = folder.errorString();
            return false;
        }
    }
    return true;
}

Fixture *fixture()
{
    static std::unique_ptr<Fixture> f;
    if (f)
        return f.get();
    f = std::make_unique<Fixture>();
    f->dir = benchRoot() + "/report";
    QDir(f->dir).removeRecursively();
    QDir().mkpath(f->dir);
    const QString dbPath = f->dir + "/krnDb.db";
    if (!createDatabaseFile(dbPath, &f->error))
        return f.get();
    f->db.open(dbPath);
    PatientRecord patient;
    patient.name = "Mario";
    patient.surname = "Rossi";
    patient.fiscalCode = "RSSMRA80A01H501U";
    patient.status = "LOADED";
    SessionRecord session;
    session.patientFC = patient.fiscalCode;
    session.startSetupDate = SynthOptions().start.toSecsSinceEpoch() - 900;
    session.status = "LOADED";
    if (!f->db.insertPatient(patient) || !f->db.insertSession(session)) {
        f->error = "cannot fill the database";
        return f.get();
    }
    f->input.patient = patient;
    f->input.session = session;
    f->input.sessionFolder = f->dir + "/session";
    f->input.sourceId = "bench";
    f->input.durationMinutes = 60;
    f->input.commentHtml = "<p>Benchmark</p>";
    takeSnapshots(f->dir, f->input.sessionFolder, &f->error);
    return f.get();
}

void writeReport(benchmark::State &state)
{
    Fixture *f = fixture();
    if (!f->error.isEmpty()) {
        state.SkipWithError(qPrintable(f->error));
        return;
    }
    ReportBuilder builder;
    for (auto _ : state) {
        if (!builder.write(f->input, f->db)) {
            state.SkipWithError(qPrintable(builder.errorString()));
            return;
        }
    }
    state.counters["pages"] = builder.pageCount();
    state.counters["pdf_MB"] = QFileInfo(builder.pdfPath()).size() / 1e6;
    state.counters["snapshot_MB"] = [&] {
        qint64 bytes = 0;
        for (const QFileInfo &file : QDir(f->input.sessionFolder + "/snap").entryInfoList({"Screenshot_*"}))
            bytes += file.size();
        return bytes / 1e6;
    }();
}

} // namespace

BENCHMARK(writeReport)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    useOffscreenUnlessSet();
    QApplication app(argc, argv);
    return runBenchmarks(argc, argv);
}
