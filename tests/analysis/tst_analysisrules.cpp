// The analysis criteria, each just inside and just outside its threshold, and the beat file the
// episodes are written as, read back by the review's own conversion.

#include "analysis/BeatEpisodes.h"
#include "analysis/BodyPosition.h"
#include "review/data/BeatFile.h"
#include "tests/support/TestMain.h"

#include <QtTest>

#include <cmath>

namespace {

// Beats from a list of stretches: so many beats of a code, each so many ms after the one before.
struct Stretch {
    int count;
    double rr;
    char code;
};

std::vector<RhythmBeat> sequence(const QVector<Stretch> &stretches)
{
    std::vector<RhythmBeat> beats;
    double ms = 1000;
    for (const Stretch &s : stretches) {
        for (int i = 0; i < s.count; ++i) {
            ms += beats.empty() ? 0 : s.rr;
            beats.push_back({qint64(ms), s.code, beats.empty()});
        }
    }
    return beats;
}

using Spans = QVector<QPair<int, int>>;

// Normal beats every second for 30 minutes; lead 2 shifted by `uv` over each span (s, s).
std::vector<AnalysedBeat> stBeats(float uv, const Spans &spans)
{
    std::vector<AnalysedBeat> beats;
    for (int second = 0; second < 1800; ++second) {
        AnalysedBeat b;
        b.sample = qint64(second) * criteria::SampleRateHz;
        std::fill(std::begin(b.st), std::end(b.st), 0.0f);
        for (const auto &span : spans)
            b.st[2] = second >= span.first && second < span.second ? uv : b.st[2];
        beats.push_back(b);
    }
    return beats;
}

} // namespace

Q_DECLARE_METATYPE(QVector<Stretch>)

class AnalysisRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void detector_data();
    void detector();
    void rhythm_data();
    void rhythm();
    void st_data();
    void st();
    void position_data();
    void position();
    void beatFileTellsTheEpisodes();
};

void AnalysisRulesTest::detector_data()
{
    QTest::addColumn<int>("flatLeads");     // channels 0..flatLeads-1 flat
    QTest::addColumn<int>("asystoleFrom");  // s; no beat for 6 s from there (-1: none)
    QTest::addColumn<int>("noiseFrom");     // s; motion artefact on every lead for 5 s (-1: none)
    QTest::newRow("regular") << 0 << -1 << -1;
    QTest::newRow("three leads flat") << 3 << -1 << -1;
    QTest::newRow("6 s of asystole") << 0 << 20 << -1;
    QTest::newRow("motion artefact") << 0 << -1 << 30;
}

void AnalysisRulesTest::detector()
{
    QFETCH(int, flatLeads);
    QFETCH(int, asystoleFrom);
    QFETCH(int, noiseFrom);
    // A minute of plain beats at 75 bpm: a QRS and a T wave seen by each lead with its own gain.
    const float gains[RecordedLeads] = {0.8f, 1.0f, 1.4f, -0.6f, 1.2f, 0.9f, 0.7f, -1.1f};
    QVector<double> truth;
    for (double ms = 1000; ms < 59500; ms += 800) {
        if (asystoleFrom < 0 || ms < asystoleFrom * 1000 || ms >= asystoleFrom * 1000 + 6000)
            truth.append(ms);
    }
    EcgAnalyser analyser;
    quint32 noise = 12345;
    for (int n = 0; n < 60 * criteria::SampleRateHz; ++n) {
        const double ms = n * criteria::SampleMs;
        double beat = 0;
        for (double r : truth) {
            if (std::fabs(ms - r) < 600)
                beat += std::exp(-std::pow((ms - r) / 10, 2) / 2) + 0.2 * std::exp(-std::pow((ms - r - 250) / 40, 2) / 2);
        }
        const bool artefact = noiseFrom >= 0 && ms >= noiseFrom * 1000 && ms < noiseFrom * 1000 + 5000;
        float values[RecordedLeads];
        for (int c = 0; c < RecordedLeads; ++c) {
            noise = noise * 1664525u + 1013904223u;
            values[c] = c < flatLeads ? 0.0f : float(gains[c] * beat + 0.01 * (noise >> 16) / 65536.0
                                                      + (artefact ? 1.5 * std::sin(ms * (0.02 + 0.005 * c)) : 0.0));
        }
        analyser.addSample(values);
    }
    analyser.finish();
    QVector<double> found;
    for (const AnalysedBeat &b : analyser.beats())
        found.append(double(b.sample * criteria::SampleMs));
    const auto near = [](const QVector<double> &list, double ms) {
        return std::any_of(list.begin(), list.end(), [ms](double t) { return std::fabs(t - ms) <= 150; });
    };
    // Every beat found but those in the artefact and the seconds beside it; nothing else found.
    for (double ms : truth) {
        const bool hidden = noiseFrom >= 0 && ms >= noiseFrom * 1000 - 2000 && ms < noiseFrom * 1000 + 7000;
        QVERIFY2(hidden || near(found, ms), qPrintable(QString::number(ms)));
    }
    for (double ms : found)
        QVERIFY2(near(truth, ms), qPrintable(QString::number(ms)));
    QCOMPARE(int(findPauses(rhythmBeats(analyser.beats(), analyser.usableSeconds())).size()), asystoleFrom >= 0 ? 1 : 0);
}

void AnalysisRulesTest::rhythm_data()
{
    QTest::addColumn<QVector<Stretch>>("beats");
    QTest::addColumn<bool>("breakAtLast"); // the last beat follows an unanalysable stretch
    QTest::addColumn<QString>("found");    // pauses "P", runs by kind, in order
    const QVector<Stretch> slow14{{5, 800, 'N'}, {15, 1501, 'N'}, {3, 800, 'N'}};
    QTest::newRow("RR just under a pause") << QVector<Stretch>{{3, 800, 'N'}, {1, 1999, 'N'}} << false << "";
    QTest::newRow("RR of a pause") << QVector<Stretch>{{3, 800, 'N'}, {1, 2000, 'N'}} << false << "P";
    QTest::newRow("long RR across noise") << QVector<Stretch>{{3, 800, 'N'}, {1, 3000, 'N'}} << true << "";
    QTest::newRow("bigeminy, 2 cycles")
        << QVector<Stretch>{{2, 800, 'N'}, {1, 500, 'V'}, {1, 1100, 'N'}, {1, 500, 'V'}, {2, 1100, 'N'}} << false << "";
    QTest::newRow("bigeminy, 3 cycles")
        << QVector<Stretch>{{2, 800, 'N'}, {1, 500, 'V'}, {1, 1100, 'N'}, {1, 500, 'V'}, {1, 1100, 'N'},
                            {1, 500, 'V'}, {2, 1100, 'N'}}
        << false << "B";
    QTest::newRow("trigeminy, 2 cycles")
        << QVector<Stretch>{{3, 800, 'N'}, {1, 500, 'V'}, {2, 1000, 'N'}, {1, 500, 'V'}, {2, 1000, 'N'}} << false << "";
    QTest::newRow("trigeminy, 3 cycles")
        << QVector<Stretch>{{3, 800, 'N'}, {1, 500, 'V'}, {2, 1000, 'N'}, {1, 500, 'V'}, {2, 1000, 'N'},
                            {1, 500, 'V'}, {2, 1000, 'N'}}
        << false << "T";
    QTest::newRow("3 V at 100.2 bpm") << QVector<Stretch>{{3, 800, 'N'}, {3, 599, 'V'}, {2, 900, 'N'}} << false << "VT";
    QTest::newRow("3 V at 99.8 bpm") << QVector<Stretch>{{3, 800, 'N'}, {3, 601, 'V'}, {2, 900, 'N'}} << false << "";
    QTest::newRow("2 V") << QVector<Stretch>{{3, 800, 'N'}, {2, 400, 'V'}, {2, 900, 'N'}} << false << "";
    QTest::newRow("under 40 bpm for 10.5 s") << slow14 << false << "SBR";
    QTest::newRow("under 40 bpm for 9 s")
        << QVector<Stretch>{{5, 800, 'N'}, {14, 1501, 'N'}, {3, 800, 'N'}} << false << "";
    QTest::newRow("40.02 bpm") << QVector<Stretch>{{5, 800, 'N'}, {30, 1499, 'N'}, {3, 800, 'N'}} << false << "";
}

void AnalysisRulesTest::rhythm()
{
    QFETCH(QVector<Stretch>, beats);
    QFETCH(bool, breakAtLast);
    QFETCH(QString, found);
    std::vector<RhythmBeat> b = sequence(beats);
    b.back().afterBreak = breakAtLast;
    QStringList names;
    if (!findPauses(b).empty())
        names << QStringLiteral("P");
    static const char *const kinds[] = {"B", "T", "VT", "SBR", "ST"};
    for (const Episode &e : findRuns(b)) {
        names << QLatin1String(kinds[int(e.kind)]);
        // A run starts on the beat that opens its first cycle and ends on its last ectopic beat.
        if (e.kind == EpisodeKind::Bigeminy || e.kind == EpisodeKind::Trigeminy)
            QVERIFY(b[std::size_t(e.first)].code == 'N' && b[std::size_t(e.first + 1)].code == (e.kind == EpisodeKind::Bigeminy ? 'V' : 'N')
                    && b[std::size_t(e.last)].code == 'V');
        if (e.kind == EpisodeKind::Bradycardia)
            QCOMPARE(b[std::size_t(e.first + 1)].ms - b[std::size_t(e.first)].ms, qint64(1501));
    }
    QCOMPARE(names.join(' '), found);
}

void AnalysisRulesTest::st_data()
{
    QTest::addColumn<float>("uv");
    QTest::addColumn<Spans>("spans");
    QTest::addColumn<int>("episodes");
    QTest::newRow("99 uV for 2 minutes") << 99.0f << Spans{{900, 1020}} << 0;
    QTest::newRow("-100 uV for 2 minutes") << -100.0f << Spans{{900, 1020}} << 1;
    QTest::newRow("150 uV for 55 s") << 150.0f << Spans{{900, 955}} << 0;
    QTest::newRow("150 uV for 60 s") << 150.0f << Spans{{900, 960}} << 1;
    QTest::newRow("55 s apart: one") << 150.0f << Spans{{900, 960}, {1015, 1075}} << 1;
    QTest::newRow("65 s apart: two") << 150.0f << Spans{{900, 960}, {1025, 1085}} << 2;
}

void AnalysisRulesTest::st()
{
    QFETCH(float, uv);
    QFETCH(Spans, spans);
    QFETCH(int, episodes);
    const std::vector<Episode> found = findStEpisodes(stBeats(uv, spans));
    QCOMPARE(int(found.size()), episodes);
    for (const Episode &e : found) {
        QCOMPARE(e.lead, 2);
        QCOMPARE(e.extremeUv, int(uv));
    }
    if (!found.empty()) {
        QCOMPARE(found.front().first, spans.first().first);
        QVERIFY(std::abs(found.back().last - spans.last().second) <= 5);
    }
}

void AnalysisRulesTest::position_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::addColumn<double>("z");
    QTest::addColumn<double>("movement");
    QTest::addColumn<QByteArray>("label");
    QTest::newRow("upright, still") << 0.1 << 0.95 << 0.2 << 0.01 << QByteArray("SIT");
    QTest::newRow("upright, walking") << 0.1 << 0.95 << 0.2 << 0.2 << QByteArray("STAND");
    QTest::newRow("head axis 44 degrees from up") << 0.0 << 0.72 << 0.69 << 0.0 << QByteArray("SIT");
    QTest::newRow("head axis 46 degrees from up") << 0.0 << 0.69 << 0.72 << 0.0 << QByteArray("SUPINE");
    QTest::newRow("chest down") << 0.2 << 0.1 << -0.9 << 0.0 << QByteArray("PRONE");
    QTest::newRow("left side down") << -16000.0 << 300.0 << 2000.0 << 0.0 << QByteArray("LEFT_SIDE");
    QTest::newRow("right side down") << 0.9 << 0.1 << -0.3 << 0.0 << QByteArray("RIGHT_SIDE");
}

void AnalysisRulesTest::position()
{
    QFETCH(double, x);
    QFETCH(double, y);
    QFETCH(double, z);
    QFETCH(double, movement);
    QFETCH(QByteArray, label);
    QCOMPARE(positionLabel(x, y, z, movement), label);
}

void AnalysisRulesTest::beatFileTellsTheEpisodes()
{
    // 40 beats a second apart; ST from beat 3 to 25 (deepest at 20) with a bigeminy inside it from
    // beat 5 to 14, and a pause that ends on the ventricular beat 12.
    std::vector<AnalysedBeat> beats(40);
    for (int i = 0; i < 40; ++i) {
        beats[std::size_t(i)].sample = 500 + 500 * qint64(i);
        beats[std::size_t(i)].code = i >= 6 && i <= 14 && i % 2 == 0 ? 'V' : 'N';
        beats[std::size_t(i)].lead = 2;
    }
    const std::vector<Episode> episodes{{EpisodeKind::St, 3, 25, 5, -180, 20}, {EpisodeKind::Bigeminy, 5, 14}};
    BeatFile file;
    file.parse(beatFileText(beats, {12}, episodes));
    QCOMPARE(file.annotationCount(), 40);
    QCOMPARE(file.normalCount(), 35);

    QStringList rows;
    for (const AnnotationRecord &r : beatFileRows(file.lines(), 1, file.sourceId())) {
        if (r.m_type != "veb")
            rows << QStringLiteral("%1 %2-%3 %4 %5")
                        .arg(QString::fromStdString(r.m_type))
                        .arg(r.m_dateStart)
                        .arg(r.m_dateEnd)
                        .arg(QString::fromStdString(r.m_channel))
                        .arg(double(r.m_valueMax));
    }
    // The ST episode closes where the bigeminy opens and opens again where it ends.
    QCOMPARE(rows, QStringList({"st 4000-6000 V4 0", "pause 13000-13000 L2 0", "bigemia 6000-15000 L2 0",
                                "st 15000-26000 V4 -180"}));
}

KRN_TEST_MAIN(AnalysisRulesTest)
#include "tst_analysisrules.moc"
