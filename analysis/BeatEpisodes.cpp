#include "analysis/BeatEpisodes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

using namespace criteria;

namespace {

constexpr double MinuteMs = 60000.0;
constexpr int MinBinBeats = 3;           // an ST level needs this many beats in its 5 s
constexpr int MinReferenceBins = 6;      // ... and the reference this many levels
constexpr std::size_t StSmoothBins = 5;  // the median of so many levels around each

bool isV(const RhythmBeat &b) { return b.code == 'V'; }

float median(std::vector<float> &values)
{
    const std::size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(mid), values.end());
    return values[mid];
}

} // namespace

std::vector<RhythmBeat> rhythmBeats(const std::vector<AnalysedBeat> &beats, const std::vector<quint8> &usableSeconds)
{
    // Unusable seconds up to each second, to tell whether one lies between two beats.
    std::vector<int> unusable(usableSeconds.size() + 1, 0);
    for (std::size_t s = 0; s < usableSeconds.size(); ++s)
        unusable[s + 1] = unusable[s] + (usableSeconds[s] == 0);
    const auto unusableBetween = [&](qint64 fromMs, qint64 toMs) {
        const std::size_t a = std::min(std::size_t(fromMs / 1000), usableSeconds.size());
        const std::size_t b = std::min(std::size_t(toMs / 1000) + 1, usableSeconds.size());
        return b > a && unusable[b] - unusable[a] > 0;
    };
    std::vector<RhythmBeat> out;
    out.reserve(beats.size());
    for (std::size_t i = 0; i < beats.size(); ++i) {
        const qint64 ms = beats[i].sample * SampleMs;
        const bool afterBreak = i == 0 || unusableBetween(out.back().ms, ms);
        out.push_back({ms, beats[i].code, afterBreak});
    }
    return out;
}

std::vector<int> findPauses(const std::vector<RhythmBeat> &beats)
{
    std::vector<int> pauses;
    for (std::size_t i = 1; i < beats.size(); ++i) {
        if (!beats[i].afterBreak && beats[i].ms - beats[i - 1].ms >= PauseMs)
            pauses.push_back(int(i));
    }
    return pauses;
}

std::vector<Episode> findRuns(const std::vector<RhythmBeat> &beats)
{
    const int n = int(beats.size());
    std::vector<Episode> episodes;
    const auto linked = [&](int i) { return i > 0 && i < n && !beats[std::size_t(i)].afterBreak; };

    // Bigeminy (N V) and trigeminy (N N V): so many cycles in a row, nothing unanalysable inside.
    const auto cycles = [&](int period, EpisodeKind kind) {
        int i = 0;
        while (i + period <= n) {
            int count = 0, k = i;
            while (k + period <= n) {
                bool cycle = k == i || linked(k);
                for (int j = 0; j < period && cycle; ++j) {
                    const bool last = j == period - 1;
                    cycle = isV(beats[std::size_t(k + j)]) == last && (j == 0 || linked(k + j));
                }
                if (!cycle)
                    break;
                ++count;
                k += period;
            }
            if (count >= MinRunCycles) {
                episodes.push_back({kind, i, k - 1});
                i = k;
            } else {
                ++i;
            }
        }
    };
    cycles(2, EpisodeKind::Bigeminy);
    cycles(3, EpisodeKind::Trigeminy);

    // Ventricular tachycardia: consecutive V beats, their rate above the limit.
    for (int i = 0; i < n;) {
        if (!isV(beats[std::size_t(i)])) {
            ++i;
            continue;
        }
        int k = i;
        while (k + 1 < n && isV(beats[std::size_t(k + 1)]) && linked(k + 1))
            ++k;
        const int count = k - i + 1;
        if (count >= MinTachycardiaBeats) {
            const double rr = double(beats[std::size_t(k)].ms - beats[std::size_t(i)].ms) / (count - 1);
            if (rr < MinuteMs / TachycardiaBpm)
                episodes.push_back({EpisodeKind::VentricularTachycardia, i, k});
        }
        i = k + 1;
    }

    // Bradycardia: the rate over the last RR intervals under the limit for long enough. The episode
    // runs from the first to the last of the slow intervals that make it.
    const double slowRr = MinuteMs / BradycardiaBpm;
    const auto slow = [&](int i) {
        if (i < BradycardiaRrBeats)
            return false;
        for (int k = i - BradycardiaRrBeats + 1; k <= i; ++k) {
            if (!linked(k))
                return false;
        }
        return double(beats[std::size_t(i)].ms - beats[std::size_t(i - BradycardiaRrBeats)].ms) / BradycardiaRrBeats > slowRr;
    };
    for (int i = 0; i < n;) {
        if (!slow(i)) {
            ++i;
            continue;
        }
        int k = i;
        while (k + 1 < n && slow(k + 1))
            ++k;
        if (beats[std::size_t(k)].ms - beats[std::size_t(i)].ms >= BradycardiaMs) {
            int first = i - BradycardiaRrBeats;
            while (first < k && double(beats[std::size_t(first + 1)].ms - beats[std::size_t(first)].ms) < slowRr)
                ++first;
            int last = k;
            while (last > first && double(beats[std::size_t(last)].ms - beats[std::size_t(last - 1)].ms) < slowRr)
                --last;
            episodes.push_back({EpisodeKind::Bradycardia, first, last});
        }
        i = k + 1;
    }
    std::stable_sort(episodes.begin(), episodes.end(), [](const Episode &a, const Episode &b) { return a.first < b.first; });
    return episodes;
}

std::vector<Episode> findStEpisodes(const std::vector<AnalysedBeat> &beats)
{
    if (beats.empty())
        return {};
    const qint64 firstMs = beats.front().sample * SampleMs;
    const qint64 lastMs = beats.back().sample * SampleMs;
    const std::size_t bins = std::size_t((lastMs - firstMs) / StBinMs) + 1;
    const float none = std::numeric_limits<float>::quiet_NaN();

    struct Stretch {
        qint64 from, to;  // ms
        int lead;
        float extreme;    // uV, signed
        qint64 extremeMs;
    };
    std::vector<Stretch> found;
    for (int lead = 0; lead < LeadCount; ++lead) {
        // The level of each 5 s: the median of its normal beats.
        std::vector<float> level(bins, none);
        std::vector<float> values;
        std::size_t bin = 0;
        const auto close = [&] {
            if (int(values.size()) >= MinBinBeats)
                level[bin] = median(values);
            values.clear();
        };
        for (const AnalysedBeat &b : beats) {
            const std::size_t at = std::size_t((b.sample * SampleMs - firstMs) / StBinMs);
            if (at != bin) {
                close();
                bin = at;
            }
            if (b.code == 'N' && !std::isnan(b.st[lead]))
                values.push_back(b.st[lead]);
        }
        close();
        // Each level as the median of the levels around it: a shift must hold, not flicker.
        {
            std::vector<float> smooth(bins, none);
            std::vector<float> around;
            for (std::size_t k = 0; k < bins; ++k) {
                around.clear();
                for (std::size_t j = k >= StSmoothBins / 2 ? k - StSmoothBins / 2 : 0; j <= k + StSmoothBins / 2 && j < bins; ++j) {
                    if (!std::isnan(level[j]))
                        around.push_back(level[j]);
                }
                if (!std::isnan(level[k]) && around.size() * 2 > StSmoothBins)
                    smooth[k] = median(around);
            }
            level.swap(smooth);
        }

        // The lead's own level: its first ten minutes, or its first ten minutes of levels.
        std::vector<float> reference;
        for (std::size_t k = 0; k < bins && qint64(k) * StBinMs < StReferenceMs; ++k) {
            if (!std::isnan(level[k]))
                reference.push_back(level[k]);
        }
        if (int(reference.size()) < MinReferenceBins) {
            reference.clear();
            for (std::size_t k = 0; k < bins && int(reference.size()) < StReferenceMs / StBinMs; ++k) {
                if (!std::isnan(level[k]))
                    reference.push_back(level[k]);
            }
        }
        if (int(reference.size()) < MinReferenceBins)
            continue;
        const float base = median(reference);

        // Stretches shifted the same way; then those long enough, merged when close.
        std::vector<Stretch> stretches;
        for (std::size_t k = 0; k < bins;) {
            const float shift = level[k] - base;
            if (std::isnan(shift) || std::fabs(shift) < StShiftUv) {
                ++k;
                continue;
            }
            const bool up = shift > 0;
            Stretch s{firstMs + qint64(k) * StBinMs, 0, lead, shift, firstMs + qint64(k) * StBinMs + StBinMs / 2};
            std::size_t j = k;
            while (j + 1 < bins) {
                const float next = level[j + 1] - base;
                if (std::isnan(next) || std::fabs(next) < StShiftUv || (next > 0) != up)
                    break;
                ++j;
                if (std::fabs(next) > std::fabs(s.extreme)) {
                    s.extreme = next;
                    s.extremeMs = firstMs + qint64(j) * StBinMs + StBinMs / 2;
                }
            }
            s.to = firstMs + qint64(j + 1) * StBinMs;
            if (s.to - s.from >= StMinMs)
                stretches.push_back(s);
            k = j + 1;
        }
        for (const Stretch &s : stretches) {
            if (!found.empty() && found.back().lead == lead && s.from - found.back().to < StMergeMs) {
                Stretch &m = found.back();
                m.to = s.to;
                if (std::fabs(s.extreme) > std::fabs(m.extreme)) {
                    m.extreme = s.extreme;
                    m.extremeMs = s.extremeMs;
                }
            } else {
                found.push_back(s);
            }
        }
    }

    // One episode for the leads that shift together; it is told on the lead that shifts most.
    std::sort(found.begin(), found.end(), [](const Stretch &a, const Stretch &b) { return a.from < b.from; });
    std::vector<Stretch> merged;
    for (const Stretch &s : found) {
        if (!merged.empty() && s.from - merged.back().to < StMergeMs) {
            Stretch &m = merged.back();
            m.to = std::max(m.to, s.to);
            if (std::fabs(s.extreme) > std::fabs(m.extreme)) {
                m.extreme = s.extreme;
                m.extremeMs = s.extremeMs;
                m.lead = s.lead;
            }
        } else {
            merged.push_back(s);
        }
    }
    std::vector<Episode> episodes;
    const int n = int(beats.size());
    for (const Stretch &s : merged) {
        Episode e;
        e.kind = EpisodeKind::St;
        e.lead = s.lead;
        e.extremeUv = int(std::lround(s.extreme));
        e.first = -1;
        e.last = -1;
        qint64 nearest = -1;
        for (int i = 0; i < n; ++i) {
            const qint64 ms = beats[std::size_t(i)].sample * SampleMs;
            if (beats[std::size_t(i)].code != 'N' || ms < s.from || ms > s.to)
                continue;
            if (e.first < 0)
                e.first = i;
            e.last = i;
            if (nearest < 0 || std::llabs(ms - s.extremeMs) < nearest) {
                nearest = std::llabs(ms - s.extremeMs);
                e.extremeBeat = i;
            }
        }
        if (e.first >= 0 && e.last > e.first)
            episodes.push_back(e);
    }
    return episodes;
}

// ---- the beat file ----------------------------------------------------------------------------

namespace {

const char *label(EpisodeKind kind)
{
    switch (kind) {
    case EpisodeKind::Bigeminy: return "(B";
    case EpisodeKind::Trigeminy: return "(T";
    case EpisodeKind::VentricularTachycardia: return "(VT";
    case EpisodeKind::Bradycardia: return "(SBR";
    case EpisodeKind::St: return "(ST";
    }
    return "";
}

void appendLine(QByteArray &out, qint64 sample, const char *code, const char *lead, const QByteArray &aux)
{
    const qint64 ms = sample * SampleMs;
    char text[96];
    const int length = std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%03lld\t%lld\t%s\t0\t%s\t0",
                                     static_cast<long long>(ms / 3600000), static_cast<long long>(ms / 60000 % 60),
                                     static_cast<long long>(ms / 1000 % 60), static_cast<long long>(ms % 1000),
                                     static_cast<long long>(sample), code, lead);
    out.append(text, length);
    if (!aux.isEmpty())
        out.append('\t').append(aux);
    out.append('\n');
}

struct Item {
    QByteArray aux;
    const char *lead;
    bool st;     // an ST change: goes on the beat's own line when that is a normal beat
    bool pause;  // goes on the beat's own line unless it is ventricular
};

} // namespace

QByteArray beatFileText(const std::vector<AnalysedBeat> &beats, const std::vector<int> &pauses,
                        const std::vector<Episode> &episodes)
{
    const int n = int(beats.size());
    std::vector<const Episode *> all;
    for (const Episode &e : episodes) {
        if (e.first >= 0 && e.last > e.first && e.last < n)
            all.push_back(&e);
    }
    std::stable_sort(all.begin(), all.end(), [](const Episode *a, const Episode *b) { return a->first < b->first; });
    const auto leadOf = [&](const Episode *e) {
        return LeadNames[e->kind == EpisodeKind::St ? e->lead : beats[std::size_t(e->first)].lead];
    };

    // Which episode the file holds open after each beat: the latest begun of those going on.
    std::map<int, std::vector<Item>> items;
    std::vector<int> boundaries;
    for (const Episode *e : all) {
        boundaries.push_back(e->first);
        boundaries.push_back(e->last);
    }
    std::sort(boundaries.begin(), boundaries.end());
    boundaries.erase(std::unique(boundaries.begin(), boundaries.end()), boundaries.end());
    // Where each ST episode is open in the file: [from, to) in beats.
    std::map<const Episode *, std::vector<std::pair<int, int>>> openSpans;
    const Episode *open = nullptr;
    int openedAt = 0;
    for (int b : boundaries) {
        const Episode *wanted = nullptr;
        for (const Episode *e : all) {
            if (e->first <= b && e->last > b)
                wanted = e; // sorted by first beat: the last found began latest
        }
        if (wanted == open)
            continue;
        if (open) {
            items[b].push_back({"(N", leadOf(open), open->kind == EpisodeKind::St, false});
            openSpans[open].push_back({openedAt, b});
        }
        if (wanted)
            items[b].push_back({label(wanted->kind), leadOf(wanted), wanted->kind == EpisodeKind::St, false});
        open = wanted;
        openedAt = b;
    }
    // The ST value goes where the episode is open in the file, as near its extreme as can be.
    for (const Episode *e : all) {
        if (e->kind != EpisodeKind::St || e->extremeBeat < 0)
            continue;
        int at = -1;
        for (const auto &[from, to] : openSpans[e]) {
            const int candidate = std::clamp(e->extremeBeat, from, to - 1);
            if (at < 0 || std::abs(candidate - e->extremeBeat) < std::abs(at - e->extremeBeat))
                at = candidate;
        }
        if (at >= 0)
            items[at].push_back({"AST0" + QByteArray::number(e->extremeUv), leadOf(e), true, false});
    }
    for (int p : pauses)
        items[p].push_back({"(P)", LeadNames[beats[std::size_t(p)].lead], false, true});

    QByteArray out;
    out.reserve(int(beats.size()) * 40);
    for (int i = 0; i < n; ++i) {
        const AnalysedBeat &beat = beats[std::size_t(i)];
        const char code[2] = {beat.code, 0};
        const auto found = items.find(i);
        if (found == items.end()) {
            appendLine(out, beat.sample, code, LeadNames[beat.lead], QByteArray());
            continue;
        }
        // The beat's own line carries the first change when it can; the others follow it as
        // rhythm lines at the same time, in order.
        const std::vector<Item> &list = found->second;
        std::size_t next = 0;
        if (list[0].st && beat.code == 'N') {
            appendLine(out, beat.sample, "s", list[0].lead, list[0].aux);
            next = 1;
        } else if (list[0].pause && beat.code != 'V') {
            appendLine(out, beat.sample, code, LeadNames[beat.lead], list[0].aux);
            next = 1;
        } else {
            appendLine(out, beat.sample, code, LeadNames[beat.lead], QByteArray());
        }
        for (; next < list.size(); ++next)
            appendLine(out, beat.sample, "+", list[next].lead, list[next].aux);
    }
    return out;
}
