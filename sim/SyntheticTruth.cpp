#include "sim/SyntheticTruth.h"

#include "review/data/AnalysisFolder.h"
#include "review/data/BeatFile.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr double HourMs = 3600000.0;
constexpr double LearningMs = 30000;       // no episode while the analysis learns the patient
constexpr double EndMarginMs = 20000;
constexpr double StRampMs = 20000;         // an ST shift comes and goes over this
constexpr double StReferenceMs = 630000;   // ST shifts start after the first ten minutes' reference
constexpr double ArtefactRampMs = 300;
constexpr double MuscleRampMs = 1000;
constexpr double StThresholdMv = 0.1;

struct Wanted {
    TruthEpisodeKind kind;
    double perHour;
};

// How often each episode comes; at least once when the recording has room for it.
const Wanted WantedEpisodes[] = {
    {TruthEpisodeKind::St, 1.0 / 8},         {TruthEpisodeKind::Bradycardia, 1.0 / 8},
    {TruthEpisodeKind::Bigeminy, 1.0 / 4},   {TruthEpisodeKind::Trigeminy, 1.0 / 4},
    {TruthEpisodeKind::VentricularTachycardia, 1.0 / 6}, {TruthEpisodeKind::Pause, 1.0 / 3},
};
constexpr double UnreadablePerHour = 0.5;
constexpr double MusclePerHour = 1.0;

const char *const EpisodeNames[] = {"P", "B", "T", "VT", "SBR", "ST"};

double uniform(std::mt19937_64 &random, double low, double high)
{
    return std::uniform_real_distribution<double>(low, high)(random);
}

bool inside(double ms, const TruthSpan &span) { return ms >= span.startMs && ms < span.stopMs; }

// 0..1: up over `ramp` at the start, down over it at the end.
double envelope(double ms, double start, double stop, double ramp)
{
    if (ms < start || ms >= stop)
        return 0;
    return std::min({1.0, (ms - start) / ramp, (stop - ms) / ramp});
}

} // namespace

const char *truthEpisodeName(TruthEpisodeKind kind) { return EpisodeNames[int(kind)]; }

SynthEctopyPlan::SynthEctopyPlan(quint32 durationMs, const QVector<SynthGap> &gaps, quint64 seed,
                                 const float (&stGain)[LeadCount])
    : m_gaps(gaps), m_random(seed * 0xD1B54A32D192ED03ull + 11)
{
    std::copy(std::begin(stGain), std::end(stGain), std::begin(m_stGain));
    const double hours = durationMs / HourMs;
    const auto count = [hours](double perHour) { return std::max(1, int(std::lround(hours * perHour))); };
    const auto fits = [&](double start, double stop) {
        return start >= LearningMs && stop + EndMarginMs <= durationMs && clear(start, stop);
    };
    const auto placeSpan = [&](double length, double earliest) -> double {
        for (int attempt = 0; attempt < 400; ++attempt) {
            const double start = uniform(m_random, earliest, std::max(earliest, durationMs - length));
            if (fits(start, start + length))
                return start;
        }
        return -1;
    };

    for (const Wanted &wanted : WantedEpisodes) {
        for (int i = 0; i < count(wanted.perHour); ++i) {
            Planned p;
            p.kind = wanted.kind;
            double length = 0;
            double earliest = LearningMs;
            switch (wanted.kind) {
            case TruthEpisodeKind::Pause:
                p.rrMs = uniform(m_random, 2200, 3200);
                length = p.rrMs + 2000;
                break;
            case TruthEpisodeKind::Bigeminy:
                p.count = int(uniform(m_random, 4, 13));
                length = p.count * 2.6 * 1000;
                break;
            case TruthEpisodeKind::Trigeminy:
                p.count = int(uniform(m_random, 4, 11));
                length = p.count * 3.8 * 1000;
                break;
            case TruthEpisodeKind::VentricularTachycardia:
                p.count = int(uniform(m_random, 3, 8));
                p.rrMs = uniform(m_random, 330, 420);
                length = 6000;
                break;
            case TruthEpisodeKind::Bradycardia:
                p.rrMs = uniform(m_random, 1650, 1780);
                length = uniform(m_random, 40000, 90000);
                break;
            case TruthEpisodeKind::St: {
                length = uniform(m_random, 120000, 300000);
                earliest = StReferenceMs;
                int lead = 0;
                for (int l = 1; l < LeadCount; ++l)
                    lead = std::fabs(m_stGain[l]) > std::fabs(m_stGain[lead]) ? l : lead;
                const double shiftMv = uniform(m_random, 0.2, 0.35) * (uniform(m_random, 0, 1) < 0.7 ? -1 : 1);
                p.depthMv = float(shiftMv / m_stGain[lead]);
                break;
            }
            }
            const double start = placeSpan(length, earliest);
            if (start < 0)
                continue;
            p.start = start;
            p.stop = start + length;
            m_planned.append(p);
        }
    }
    std::sort(m_planned.begin(), m_planned.end(), [](const Planned &a, const Planned &b) { return a.start < b.start; });

    const int bursts = count(UnreadablePerHour);
    for (int i = 0; i < bursts; ++i) {
        const double length = uniform(m_random, 4000, 15000);
        const double start = placeSpan(length, LearningMs);
        if (start >= 0)
            m_unreadable.append({start, start + length});
    }
    const int muscles = count(MusclePerHour);
    for (int i = 0; i < muscles; ++i) {
        const double length = uniform(m_random, 30000, 120000);
        const double start = placeSpan(length, LearningMs);
        if (start >= 0) {
            m_muscle.append({start, start + length});
            m_muscleMv.append(float(uniform(m_random, 0.02, 0.05)));
        }
    }
    if (durationMs >= 120000) {
        const int channel = int(uniform(m_random, 0, 8)) % 8;
        const double start = durationMs * uniform(m_random, 0.3, 0.4);
        m_off.append({channel, start, start + durationMs * uniform(m_random, 0.1, 0.25)});
    }
}

bool SynthEctopyPlan::clear(double start, double stop) const
{
    const double m = EpisodeMarginMs;
    const auto apart = [&](double otherStart, double otherStop) { return stop + m <= otherStart || otherStop + m <= start; };
    return std::all_of(m_gaps.begin(), m_gaps.end(), [&](const SynthGap &g) { return apart(g.start, g.stop); })
           && std::all_of(m_planned.begin(), m_planned.end(), [&](const Planned &p) { return apart(p.start, p.stop); })
           && std::all_of(m_unreadable.begin(), m_unreadable.end(), [&](const TruthSpan &s) { return apart(s.startMs, s.stopMs); })
           && std::all_of(m_muscle.begin(), m_muscle.end(), [&](const TruthSpan &s) { return apart(s.startMs, s.stopMs); });
}

bool SynthEctopyPlan::nearEpisode(double ms) const
{
    const double m = EpisodeMarginMs / 2;
    return std::any_of(m_planned.begin(), m_planned.end(), [&](const Planned &p) {
               return p.kind != TruthEpisodeKind::St && ms > p.start - m && ms < p.stop + m;
           })
           || std::any_of(m_unreadable.begin(), m_unreadable.end(),
                          [&](const TruthSpan &s) { return ms > s.startMs - m && ms < s.stopMs + m; });
}

SynthBeat SynthEctopyPlan::next(double previousMs, SynthBeatKind previous, double sinusRr)
{
    using K = SynthBeatKind;
    const auto premature = [&](K kind, double low, double high, int focus) {
        m_lastCoupling = sinusRr * uniform(m_random, low, high);
        m_sinceEctopic = 0;
        return SynthBeat{previousMs + m_lastCoupling, kind, focus};
    };
    const auto compensatory = [&] {
        ++m_sinceEctopic;
        const double rr = std::clamp(2 * sinusRr - m_lastCoupling, sinusRr, MaxCompensatoryMs);
        return SynthBeat{previousMs + rr, K::Normal, 0};
    };

    // Episodes other than ST shifts change the beats; each starts at the first normal beat after
    // its planned time.
    while (m_active < 0 && m_nextPlanned < m_planned.size()) {
        const Planned &p = m_planned[m_nextPlanned];
        if (p.kind == TruthEpisodeKind::St) {
            ++m_nextPlanned;
            continue;
        }
        if (p.start > previousMs || previous != K::Normal)
            break;
        m_active = m_nextPlanned++;
        m_emitted = 0;
        m_phase = 0;
        TruthEpisode e;
        e.kind = p.kind;
        e.startMs = previousMs;
        m_played.append(e);
    }
    if (m_active >= 0) {
        const Planned &p = m_planned[m_active];
        TruthEpisode &e = m_played.last();
        switch (p.kind) {
        case TruthEpisodeKind::Pause:
            m_active = -1;
            e.stopMs = previousMs + p.rrMs;
            return {e.stopMs, K::Normal, 0};
        case TruthEpisodeKind::Bradycardia:
            if (previousMs + p.rrMs <= p.stop) {
                e.stopMs = previousMs + p.rrMs;
                return {e.stopMs, K::Normal, 0};
            }
            break;
        case TruthEpisodeKind::VentricularTachycardia:
            if (m_emitted < p.count) {
                const SynthBeat beat = m_emitted == 0 ? premature(K::Ventricular, 0.55, 0.65, 0)
                                                      : SynthBeat{previousMs + p.rrMs, K::Ventricular, 0};
                if (m_emitted++ == 0)
                    e.startMs = beat.rPeakMs;
                m_lastCoupling = beat.rPeakMs - previousMs;
                e.stopMs = beat.rPeakMs;
                return beat;
            }
            break;
        case TruthEpisodeKind::Bigeminy:
            if (previous == K::Ventricular)
                return compensatory();
            if (m_emitted < p.count) {
                ++m_emitted;
                const SynthBeat beat = premature(K::Ventricular, 0.55, 0.65, 0);
                e.stopMs = beat.rPeakMs;
                return beat;
            }
            break;
        case TruthEpisodeKind::Trigeminy:
            if (previous == K::Ventricular)
                return compensatory();
            if (m_emitted < p.count) {
                // The cycle is N N V: after the first normal beat comes the second, then the V.
                const bool secondNormal = m_phase == 0;
                m_phase = secondNormal ? 1 : 0;
                if (secondNormal)
                    return {previousMs + sinusRr, K::Normal, 0};
                ++m_emitted;
                const SynthBeat beat = premature(K::Ventricular, 0.55, 0.65, 0);
                e.stopMs = beat.rPeakMs;
                return beat;
            }
            break;
        case TruthEpisodeKind::St:
            break;
        }
        m_active = -1;
    }
    if (previous == K::Ventricular)
        return compensatory();
    if (m_sinceEctopic >= MinBeatsBetweenEctopics && !nearEpisode(previousMs) && !nearEpisode(previousMs + sinusRr)) {
        const double u = uniform(m_random, 0, 1);
        if (u < VentricularShare)
            return premature(K::Ventricular, 0.55, 0.7, uniform(m_random, 0, 1) < 0.7 ? 0 : 1);
        if (u < VentricularShare + SupraventricularShare)
            return premature(K::Supraventricular, 0.62, 0.74, 0);
    }
    ++m_sinceEctopic;
    return {previousMs + sinusRr, K::Normal, 0};
}

float SynthEctopyPlan::stLevel(double ms) const
{
    for (const Planned &p : m_planned) {
        if (p.kind == TruthEpisodeKind::St && ms >= p.start && ms < p.stop)
            return float(p.depthMv * envelope(ms, p.start, p.stop, StRampMs));
    }
    return 0.0f;
}

float SynthEctopyPlan::muscleNoiseMv(double ms) const
{
    for (int i = 0; i < m_muscle.size(); ++i) {
        if (inside(ms, m_muscle[i]))
            return float(m_muscleMv[i] * envelope(ms, m_muscle[i].startMs, m_muscle[i].stopMs, MuscleRampMs));
    }
    return 0.0f;
}

float SynthEctopyPlan::artefactWeight(double ms) const
{
    for (const TruthSpan &s : m_unreadable) {
        if (inside(ms, s))
            return float(envelope(ms, s.startMs, s.stopMs, ArtefactRampMs));
    }
    return 0.0f;
}

int SynthEctopyPlan::leadOff(double ms) const
{
    for (const TruthLeadOff &off : m_off) {
        if (ms >= off.startMs && ms < off.stopMs)
            return off.channel;
    }
    return -1;
}

SynthTruth SynthEctopyPlan::truth(quint32 durationMs, const QVector<SynthBeat> &beats, const QVector<SynthGap> &gaps) const
{
    SynthTruth truth;
    truth.durationMs = durationMs;
    truth.beats = beats;
    truth.gaps = gaps;
    truth.muscleNoise = m_muscle;
    truth.unreadable = m_unreadable;
    truth.leadsOff = m_off;
    for (const TruthEpisode &e : m_played) {
        if (e.stopMs > e.startMs && e.stopMs < durationMs)
            truth.episodes.append(e);
    }
    for (const Planned &p : m_planned) {
        if (p.kind != TruthEpisodeKind::St)
            continue;
        int lead = 0;
        for (int l = 1; l < LeadCount; ++l)
            lead = std::fabs(m_stGain[l]) > std::fabs(m_stGain[lead]) ? l : lead;
        const double shiftMv = p.depthMv * m_stGain[lead];
        const double into = StRampMs * std::min(1.0, StThresholdMv / std::fabs(shiftMv));
        TruthEpisode e;
        e.kind = TruthEpisodeKind::St;
        e.startMs = p.start + into;
        e.stopMs = p.stop - into;
        e.lead = QLatin1String(LeadNames[lead]);
        e.extremeUv = int(std::lround(shiftMv * 1000));
        truth.episodes.append(e);
    }
    std::sort(truth.episodes.begin(), truth.episodes.end(),
              [](const TruthEpisode &a, const TruthEpisode &b) { return a.startMs < b.startMs; });
    return truth;
}

// ---- the truth file ---------------------------------------------------------------------------

bool SynthTruth::write(const QString &path, QString *error) const
{
    QByteArray text = "# TavoKRN synthetic ground truth; times in ms from the recording start\n";
    text += "duration " + QByteArray::number(durationMs) + '\n';
    const auto number = [](double ms) { return QByteArray::number(ms, 'f', 1); };
    for (const SynthGap &g : gaps)
        text += "gap " + number(g.start) + ' ' + number(g.stop) + '\n';
    for (const TruthSpan &s : muscleNoise)
        text += "noise " + number(s.startMs) + ' ' + number(s.stopMs) + '\n';
    for (const TruthSpan &s : unreadable)
        text += "unreadable " + number(s.startMs) + ' ' + number(s.stopMs) + '\n';
    for (const TruthLeadOff &off : leadsOff)
        text += "leadoff " + QByteArray::number(off.channel) + ' ' + number(off.startMs) + ' ' + number(off.stopMs) + '\n';
    for (const TruthEpisode &e : episodes) {
        text += QByteArray("episode ") + truthEpisodeName(e.kind) + ' ' + number(e.startMs) + ' ' + number(e.stopMs);
        if (e.kind == TruthEpisodeKind::St)
            text += ' ' + e.lead.toLatin1() + ' ' + QByteArray::number(e.extremeUv);
        text += '\n';
    }
    static const char Codes[] = {'N', 'V', 'S'};
    for (const SynthBeat &b : beats)
        text += "beat " + number(b.rPeakMs) + ' ' + Codes[int(b.kind)] + '\n';
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size() || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

bool SynthTruth::read(const QString &path, SynthTruth *truth, QString *error)
{
    *truth = SynthTruth();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QList<QByteArray> f = line.split(' ');
        const auto at = [&f](int i) { return i < f.size() ? f[i].toDouble() : 0.0; };
        const QByteArray &key = f[0];
        if (key == "beat" && f.size() == 3) {
            const SynthBeatKind kind = f[2] == "V" ? SynthBeatKind::Ventricular
                                       : f[2] == "S" ? SynthBeatKind::Supraventricular
                                                     : SynthBeatKind::Normal;
            truth->beats.append({at(1), kind, 0});
        } else if (key == "duration" && f.size() == 2) {
            truth->durationMs = quint32(at(1));
        } else if (key == "gap" && f.size() == 3) {
            truth->gaps.append({quint32(at(1)), quint32(at(2)), false});
        } else if ((key == "noise" || key == "unreadable") && f.size() == 3) {
            (key == "noise" ? truth->muscleNoise : truth->unreadable).append({at(1), at(2)});
        } else if (key == "leadoff" && f.size() == 4) {
            truth->leadsOff.append({int(at(1)), at(2), at(3)});
        } else if (key == "episode" && f.size() >= 4) {
            const auto name = std::find_if(std::begin(EpisodeNames), std::end(EpisodeNames),
                                           [&](const char *n) { return f[1] == n; });
            if (name == std::end(EpisodeNames)) {
                *error = QStringLiteral("%1:%2: unknown episode %3").arg(path).arg(lineNumber).arg(QString::fromLatin1(f[1]));
                return false;
            }
            TruthEpisode e;
            e.kind = TruthEpisodeKind(name - std::begin(EpisodeNames));
            e.startMs = at(2);
            e.stopMs = at(3);
            if (f.size() >= 6) {
                e.lead = QString::fromLatin1(f[4]);
                e.extremeUv = f[5].toInt();
            }
            truth->episodes.append(e);
        } else {
            *error = QStringLiteral("%1:%2: not a truth line").arg(path).arg(lineNumber);
            return false;
        }
    }
    return true;
}

// ---- scoring ----------------------------------------------------------------------------------

namespace {

constexpr double ExclusionEdgeMs = 1000;
constexpr double StStartToleranceMs = 30000;

TruthEpisodeKind episodeKindOf(const std::string &type, bool *known)
{
    static const std::pair<const char *, TruthEpisodeKind> types[] = {
        {"pause", TruthEpisodeKind::Pause},     {"bigemia", TruthEpisodeKind::Bigeminy},
        {"trigemia", TruthEpisodeKind::Trigeminy}, {"vt", TruthEpisodeKind::VentricularTachycardia},
        {"bradichardia", TruthEpisodeKind::Bradycardia}, {"st", TruthEpisodeKind::St},
    };
    for (const auto &[name, kind] : types) {
        if (type == name) {
            *known = true;
            return kind;
        }
    }
    *known = false;
    return TruthEpisodeKind::Pause;
}

} // namespace

bool scoreAnalysis(const SynthTruth &truth, const QString &analysisFolder, TruthScore *score, QString *error)
{
    *score = TruthScore();
    BeatFile file;
    if (!file.read(QDir(analysisFolder).filePath(QStringLiteral("annotations_fusion.pt")))) {
        *error = file.errorString();
        return false;
    }
    QVector<TruthSpan> excluded{{-1e12, TruthScore::LearningMs}, {truth.durationMs - ExclusionEdgeMs, 1e12}};
    for (const SynthGap &g : truth.gaps)
        excluded.append({g.start - ExclusionEdgeMs, g.stop + ExclusionEdgeMs});
    for (const TruthSpan &s : truth.unreadable)
        excluded.append({s.startMs - ExclusionEdgeMs, s.stopMs + ExclusionEdgeMs});
    const auto isExcluded = [&](double ms) {
        return std::any_of(excluded.begin(), excluded.end(), [ms](const TruthSpan &s) { return inside(ms, s); });
    };

    struct Detected {
        double ms;
        char code;
        bool matched = false;
    };
    QVector<Detected> detected;
    for (const BeatLine &line : file.lines()) {
        if (line.code == QLatin1String("+"))
            continue;
        const double ms = line.seconds * 1000.0;
        if (std::any_of(truth.unreadable.begin(), truth.unreadable.end(), [ms](const TruthSpan &s) { return inside(ms, s); }))
            ++score->beatsInUnreadable;
        if (!isExcluded(ms))
            detected.append({ms, line.code == QLatin1String("V") ? 'V' : line.code == QLatin1String("S") ? 'S' : 'N'});
    }
    std::sort(detected.begin(), detected.end(), [](const Detected &a, const Detected &b) { return a.ms < b.ms; });

    int j = 0;
    for (const SynthBeat &beat : truth.beats) {
        if (beat.rPeakMs < 0 || beat.rPeakMs >= truth.durationMs || isExcluded(beat.rPeakMs))
            continue;
        while (j < detected.size() && detected[j].ms < beat.rPeakMs - TruthScore::MatchWindowMs)
            ++j;
        int best = -1;
        for (int k = j; k < detected.size() && detected[k].ms <= beat.rPeakMs + TruthScore::MatchWindowMs; ++k) {
            if (!detected[k].matched
                && (best < 0 || std::fabs(detected[k].ms - beat.rPeakMs) < std::fabs(detected[best].ms - beat.rPeakMs)))
                best = k;
        }
        const bool isV = beat.kind == SynthBeatKind::Ventricular, isS = beat.kind == SynthBeatKind::Supraventricular;
        if (best < 0) {
            ++score->falseNegatives;
            score->vFalseNegatives += isV;
            score->sFalseNegatives += isS;
            continue;
        }
        detected[best].matched = true;
        ++score->truePositives;
        const char code = detected[best].code;
        score->vTruePositives += isV && code == 'V';
        score->vFalseNegatives += isV && code != 'V';
        score->vFalsePositives += !isV && code == 'V';
        score->sTruePositives += isS && code == 'S';
        score->sFalseNegatives += isS && code != 'S';
        score->sFalsePositives += !isS && code == 'S';
    }
    for (const Detected &d : detected) {
        if (d.matched)
            continue;
        ++score->falsePositives;
        score->vFalsePositives += d.code == 'V';
        score->sFalsePositives += d.code == 'S';
    }

    const std::vector<AnnotationRecord> rows = beatFileRows(file.lines(), 0, file.sourceId());
    QVector<bool> used(int(rows.size()), false);
    for (const TruthEpisode &e : truth.episodes) {
        const int k = int(e.kind);
        ++score->episodes[k];
        const double reference = e.kind == TruthEpisodeKind::Pause ? e.stopMs : e.startMs;
        const double tolerance = e.kind == TruthEpisodeKind::St ? StStartToleranceMs : TruthScore::EpisodeStartToleranceMs;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            bool known = false;
            if (!used[int(r)] && episodeKindOf(rows[r].m_type, &known) == e.kind && known
                && std::fabs(double(rows[r].m_dateStart) - reference) <= tolerance) {
                used[int(r)] = true;
                ++score->found[k];
                break;
            }
        }
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        bool known = false;
        const TruthEpisodeKind kind = episodeKindOf(rows[r].m_type, &known);
        if (known && !used[int(r)] && !isExcluded(double(rows[r].m_dateStart)))
            ++score->extra[int(kind)];
    }

    double offMs = 0, coveredMs = 0;
    for (const TruthLeadOff &off : truth.leadsOff) {
        offMs += off.stopMs - off.startMs;
        TimeSpans segments;
        if (!readSplitFile(QDir(analysisFolder).filePath(QStringLiteral("split_%1.txt").arg(QLatin1String(LeadNames[off.channel]))),
                           &segments))
            continue;
        for (const auto &s : segments)
            coveredMs += std::max(0.0, std::min(s.second * 1000, off.stopMs) - std::max(s.first * 1000, off.startMs));
    }
    score->offCovered = offMs > 0 ? coveredMs / offMs : 0;
    return true;
}

QString TruthScore::report() const
{
    const auto pct = [](double r) { return QString::number(r * 100, 'f', 2) + '%'; };
    QString text = QStringLiteral("QRS: Se %1 +P %2 (%3 matched, %4 missed, %5 false)\n")
                       .arg(pct(sensitivity()), pct(positivePredictivity()))
                       .arg(truePositives)
                       .arg(falseNegatives)
                       .arg(falsePositives);
    text += QStringLiteral("V: Se %1 +P %2 (%3 true, %4 missed, %5 false)\n")
                .arg(pct(vSensitivity()), pct(vPositivePredictivity()))
                .arg(vTruePositives)
                .arg(vFalseNegatives)
                .arg(vFalsePositives);
    text += QStringLiteral("S: Se %1 +P %2 (%3 true, %4 missed, %5 false)\n")
                .arg(pct(sSensitivity()), pct(sPositivePredictivity()))
                .arg(sTruePositives)
                .arg(sFalseNegatives)
                .arg(sFalsePositives);
    for (int k = 0; k < 6; ++k)
        text += QStringLiteral("episodes %1: %2 of %3 found, %4 extra\n")
                    .arg(QLatin1String(EpisodeNames[k]))
                    .arg(found[k])
                    .arg(episodes[k])
                    .arg(extra[k]);
    text += QStringLiteral("beats reported inside motion artefact: %1\n").arg(beatsInUnreadable);
    text += QStringLiteral("lead-off time called analysable: %1\n").arg(pct(offCovered));
    return text;
}
