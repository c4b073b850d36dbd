#include "sim/SyntheticAnalysis.h"

#include "import/RecordingFormat.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <iterator>


namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr quint32 MarginMs = 5000;       // episodes keep this far from drop-outs and the edges
constexpr qint64 SamplePeriodMs = 2;      // ECG: the analysis numbers the samples by it
const char *const BeatLead = LeadNames[2]; // lead II, the one the beats are annotated on
const char StLead[] = "V5";              // where the ST depression is deepest
constexpr quint32 MovementMs = 20000;    // not analysable after a change of position

struct Placement {
    SynthRhythm rhythm;
    double fraction; // where in the recording it starts
    quint32 lengthMs;
};

const Placement Placements[] = {
    {SynthRhythm::Bradycardia, 0.15, 60000},
    {SynthRhythm::Pause, 0.30, quint32(SynthRhythmPlan::PauseRrMs)},
    {SynthRhythm::Bigeminy, 0.45, 40000},
    {SynthRhythm::VentricularTachycardia, 0.60, 4000},
    {SynthRhythm::StDepression, 0.70, 60000},
};
const double IsolatedFractions[] = {0.08, 0.21, 0.37, 0.53, 0.66, 0.82, 0.94};

bool overlaps(quint32 start, quint32 stop, quint32 otherStart, quint32 otherStop)
{
    return start < otherStop + MarginMs && otherStart < stop + MarginMs;
}

bool insideGap(double ms, const QVector<SynthGap> &gaps)
{
    return std::any_of(gaps.begin(), gaps.end(),
                       [ms](const SynthGap &gap) { return ms >= gap.start && ms < gap.stop; });
}

} // namespace

SynthRhythmPlan::SynthRhythmPlan(quint32 durationMs, const QVector<SynthGap> &gaps)
{
    for (const Placement &placement : Placements) {
        quint32 start = quint32(placement.fraction * durationMs);
        for (const SynthGap &gap : gaps) {
            if (overlaps(start, start + placement.lengthMs, gap.start, gap.stop))
                start = gap.stop + MarginMs;
        }
        const quint32 stop = start + placement.lengthMs;
        const bool clear = std::none_of(gaps.begin(), gaps.end(), [&](const SynthGap &gap) {
            return overlaps(start, stop, gap.start, gap.stop);
        }) && std::none_of(m_episodes.begin(), m_episodes.end(), [&](const SynthEpisode &other) {
            return overlaps(start, stop, other.start, other.stop);
        });
        if (clear && start >= 4 * MarginMs && stop + 2 * MarginMs <= durationMs)
            m_episodes.append({placement.rhythm, start, stop});
    }
    for (double fraction : IsolatedFractions) {
        const quint32 at = quint32(fraction * durationMs);
        const bool clear = std::none_of(gaps.begin(), gaps.end(), [at](const SynthGap &gap) {
            return overlaps(at, at, gap.start, gap.stop);
        }) && std::none_of(m_episodes.begin(), m_episodes.end(), [at](const SynthEpisode &other) {
            return overlaps(at, at, other.start, other.stop);
        });
        if (clear && at >= 4 * MarginMs && at + 2 * MarginMs <= durationMs)
            m_isolated.append(at);
    }
}

const SynthEpisode *SynthRhythmPlan::episode(SynthRhythm rhythm) const
{
    for (const SynthEpisode &e : m_episodes) {
        if (e.rhythm == rhythm)
            return &e;
    }
    return nullptr;
}

const SynthEpisode *SynthRhythmPlan::episodeAt(double ms) const
{
    for (const SynthEpisode &e : m_episodes) {
        if (e.rhythm != SynthRhythm::Pause && ms >= e.start && ms < e.stop)
            return &e;
    }
    return nullptr;
}

SynthBeat SynthRhythmPlan::next(double previousMs, SynthBeatKind previous, double sinusRr)
{
    using K = SynthBeatKind;
    const SynthEpisode *e = episodeAt(previousMs);
    const SynthRhythm rhythm = e ? e->rhythm : SynthRhythm::Pause; // Pause: no episode running
    const SynthEpisode *pause = episode(SynthRhythm::Pause);
    const bool isolatedDue = std::any_of(m_isolated.begin(), m_isolated.end(), [&](quint32 at) {
        return at > previousMs && at <= previousMs + sinusRr;
    });
    if (rhythm == SynthRhythm::VentricularTachycardia)
        return {previousMs + TachycardiaRrMs, K::Ventricular};
    if (rhythm == SynthRhythm::Bigeminy && previous == K::Normal)
        return {previousMs + sinusRr * PrematureRatio, K::Ventricular};
    if (previous == K::Ventricular)
        return {previousMs + sinusRr * CompensatoryRatio, K::Normal};
    if (rhythm == SynthRhythm::Bradycardia)
        return {previousMs + BradycardiaRrMs, K::Normal};
    if (pause && pause->start > previousMs && pause->start <= previousMs + sinusRr)
        return {previousMs + PauseRrMs, K::Normal};
    if (isolatedDue)
        return {previousMs + sinusRr * PrematureRatio, K::Ventricular};
    return {previousMs + sinusRr, K::Normal};
}

float SynthRhythmPlan::stLevel(double ms) const
{
    const SynthEpisode *e = episodeAt(ms);
    if (!e || e->rhythm != SynthRhythm::StDepression)
        return 0.0f;
    return -StDepthMv * float(std::sin(Pi * (ms - e->start) / double(e->stop - e->start)));
}

// ---- the files --------------------------------------------------------------------------------

namespace {

struct Line {
    double ms;
    QByteArray text;
};

QByteArray clock(double ms)
{
    const qint64 whole = qint64(std::llround(ms));
    const qint64 hours = whole / 3600000, minutes = whole / 60000 % 60;
    const double seconds = double(whole % 60000) / 1000.0;
    return QStringLiteral("%1:%2:%3")
        .arg(hours)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(seconds, 6, 'f', 3, QLatin1Char('0'))
        .toLatin1();
}

// time, sample, code, (not read), channel, (not read), aux
Line annotation(double ms, const char *code, const char *channel, const QByteArray &aux = QByteArray())
{
    // Sample n was taken at n sample periods of the recording time.
    const qint64 sample = std::llround(ms) / SamplePeriodMs;
    QByteArray text = clock(ms) + '\t' + QByteArray::number(sample) + '\t' + code
                      + "\t0\t" + channel + "\t0";
    if (!aux.isEmpty())
        text += '\t' + aux;
    return {ms, text};
}

QByteArray rhythmLabel(SynthRhythm rhythm)
{
    switch (rhythm) {
    case SynthRhythm::Bradycardia: return "(SBR";
    case SynthRhythm::Bigeminy: return "(B";
    case SynthRhythm::VentricularTachycardia: return "(VT";
    case SynthRhythm::StDepression: return "(ST";
    case SynthRhythm::Pause: return "(P)";
    }
    return QByteArray();
}

bool write(const QString &path, const QByteArray &text, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray annotationsText(const SynthTrace &trace, const QVector<SynthEpisode> &episodes)
{
    QVector<SynthBeat> beats;
    for (const SynthBeat &beat : trace.beats) {
        if (beat.rPeakMs >= 0 && beat.rPeakMs < trace.durationMs && !insideGap(beat.rPeakMs, trace.gaps))
            beats.append(beat);
    }
    QVector<Line> lines;
    for (int i = 0; i < beats.size(); ++i) {
        const SynthBeat &beat = beats[i];
        const bool ventricular = beat.kind == SynthBeatKind::Ventricular;
        lines.append(annotation(beat.rPeakMs, ventricular ? "V" : "N", BeatLead));
        // A pause is marked where it starts, at the beat before the long interval.
        if (i + 1 < beats.size() && beats[i + 1].rPeakMs - beat.rPeakMs >= 0.9 * SynthRhythmPlan::PauseRrMs
            && !std::any_of(trace.gaps.begin(), trace.gaps.end(), [&](const SynthGap &gap) {
                   return gap.start < beats[i + 1].rPeakMs && gap.stop > beat.rPeakMs;
               }))
            lines.append(annotation(beat.rPeakMs + 1, "+", BeatLead, rhythmLabel(SynthRhythm::Pause)));
    }
    const auto firstBeatFrom = [&beats](double ms, bool normal) {
        for (const SynthBeat &beat : beats) {
            if (beat.rPeakMs >= ms && (!normal || beat.kind == SynthBeatKind::Normal))
                return beat.rPeakMs;
        }
        return -1.0;
    };
    for (const SynthEpisode &episode : episodes) {
        if (episode.rhythm == SynthRhythm::Pause)
            continue;
        const double begin = firstBeatFrom(episode.start, false);
        const double end = firstBeatFrom(episode.stop, true);
        if (begin < 0 || end < 0)
            continue;
        if (episode.rhythm == SynthRhythm::StDepression) {
            // The depression is deepest half-way through the episode.
            const double deepest = (episode.start + episode.stop) / 2.0;
            const int microvolts = int(std::lround(-SynthRhythmPlan::StDepthMv * 1000.0f));
            lines.append(annotation(begin - 1, "s", StLead, rhythmLabel(episode.rhythm)));
            lines.append(annotation(deepest, "s", StLead, "AST0" + QByteArray::number(microvolts)));
            lines.append(annotation(end - 1, "s", StLead, "(N"));
        } else {
            lines.append(annotation(begin - 1, "+", BeatLead, rhythmLabel(episode.rhythm)));
            lines.append(annotation(end - 1, "+", BeatLead, "(N"));
        }
    }
    std::stable_sort(lines.begin(), lines.end(), [](const Line &a, const Line &b) { return a.ms < b.ms; });
    QByteArray text;
    text.reserve(lines.size() * 40);
    for (const Line &line : lines)
        text += line.text + '\n';
    return text;
}

QByteArray timeOfDay(const QDateTime &start, double ms)
{
    return start.addMSecs(qint64(ms)).toString(QStringLiteral("hhmmss")).toLatin1();
}

// The recording minus the drop-outs and the moments of moving into a new position.
QVector<QPair<quint32, quint32>> analysable(const SynthTrace &trace)
{
    QVector<QPair<quint32, quint32>> stretches;
    quint32 from = 0;
    for (const SynthGap &gap : trace.gaps) {
        stretches.append({from, gap.start});
        from = gap.stop;
    }
    stretches.append({from, trace.durationMs});
    for (int p = 1; p < trace.postures.size(); ++p) {
        const quint32 moveFrom = trace.postures[p].first;
        const quint32 moveTo = moveFrom + MovementMs;
        QVector<QPair<quint32, quint32>> cut;
        for (const auto &s : stretches) {
            if (s.first < moveFrom)
                cut.append({s.first, std::min(s.second, moveFrom)});
            if (s.second > moveTo)
                cut.append({std::max(s.first, moveTo), s.second});
        }
        stretches = cut;
    }
    // Stretches shorter than a second do not survive whole-second times.
    stretches.erase(std::remove_if(stretches.begin(), stretches.end(),
                                   [](const QPair<quint32, quint32> &s) { return s.second < s.first + 1000; }),
                    stretches.end());
    return stretches;
}

} // namespace

bool writeSyntheticAnalysis(const QString &folder, const SynthTrace &trace, QString *error)
{
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    const QDir dir(folder);
    const SynthRhythmPlan plan(trace.durationMs, trace.gaps);
    const QVector<SynthEpisode> &episodes = trace.episodes.isEmpty() ? plan.episodes() : trace.episodes;
    if (!write(dir.filePath(QStringLiteral("annotations_fusion.pt")), annotationsText(trace, episodes), error))
        return false;

    QByteArray positions;
    for (const auto &change : trace.postures) {
        if (change.first < trace.durationMs)
            positions += timeOfDay(trace.start, change.first) + ';' + change.second.toLatin1() + '\n';
    }
    if (!write(dir.filePath(QStringLiteral("positions.txt")), positions, error))
        return false;

    QByteArray split = timeOfDay(trace.start, 0) + '\n';
    for (const auto &stretch : analysable(trace))
        split += timeOfDay(trace.start, stretch.first) + ';' + timeOfDay(trace.start, stretch.second) + '\n';
    for (const char *lead : LeadNames) {
        if (!write(dir.filePath(QStringLiteral("split_%1.txt").arg(QLatin1String(lead))), split, error))
            return false;
    }
    return true;
}

SynthTrace busyAnalysisTrace(double hours, double ventricularShare, int episodesPerKind, const QDateTime &start)
{
    constexpr double SinusRrMs = 860;
    const SynthRhythm kinds[] = {SynthRhythm::Bradycardia, SynthRhythm::Pause, SynthRhythm::Bigeminy,
                                 SynthRhythm::VentricularTachycardia, SynthRhythm::StDepression};
    const quint32 lengths[] = {60000, quint32(SynthRhythmPlan::PauseRrMs), 40000, 4000, 60000};
    SynthTrace trace;
    trace.start = start;
    trace.durationMs = quint32(hours * 3600000.0);
    const int count = episodesPerKind * int(std::size(kinds));
    const double spacing = double(trace.durationMs) / (count + 1);
    for (int i = 0; i < count; ++i) {
        const int kind = i % int(std::size(kinds));
        const quint32 at = quint32(spacing * (i + 1));
        trace.episodes.append({kinds[kind], at, at + lengths[kind]});
    }
    int next = 0; // the next episode, whose pause the beats have to make
    double ms = 500;
    for (qint64 beat = 0; ms < trace.durationMs; ++beat) {
        const bool ventricular = std::floor((beat + 1) * ventricularShare) > std::floor(beat * ventricularShare);
        trace.beats.append({ms, ventricular ? SynthBeatKind::Ventricular : SynthBeatKind::Normal});
        while (next < count && trace.episodes[next].start <= ms)
            ++next;
        const bool pauseDue = next < count && trace.episodes[next].rhythm == SynthRhythm::Pause
                              && trace.episodes[next].start <= ms + SinusRrMs;
        ms += pauseDue ? SynthRhythmPlan::PauseRrMs : SinusRrMs;
    }
    const char *const postures[] = {"SUPINE", "LEFT_SIDE", "SIT", "STAND", "RIGHT_SIDE", "PRONE"};
    for (quint32 at = 0, p = 0; at < trace.durationMs; at += 1800000, ++p)
        trace.postures.append({at, QLatin1String(postures[p % std::size(postures)])});
    return trace;
}
