#include "analysis/EcgAnalyser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numeric>

using namespace criteria;

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Ring = 8192; // samples of signal kept: 16 s
constexpr int RingMask = Ring - 1;
constexpr int BlockSamples = QualityBlockMs / SampleMs;
constexpr int SubBlocks = 10;                     // the noise floor is looked for in tenths of a second
constexpr int SubBlockSamples = BlockSamples / SubBlocks;
constexpr int FloorSubBlock = 1;                  // the second lowest tenth: clear of the QRS complexes
constexpr int MinLastSubBlocks = 3;               // a last partial second is judged from 0.3 s on
constexpr int EnergySamples = EnergyWindowMs / SampleMs;
constexpr int RefractorySamples = RefractoryMs / SampleMs;
constexpr int TWaveSamples = TWaveWindowMs / SampleMs;
constexpr int PeakHoldSamples = 50;               // a peak of the energy is the highest within 100 ms
constexpr int LevelBeats = 9;                     // lead levels are the median of the last beats
constexpr int StuckSamples = StuckMs / SampleMs;
constexpr int RelearnSamples = 5 * SampleRateHz;  // no beat for 5 analysable seconds: learn again ...
constexpr float RelearnPeakRatio = 20;            // ... when the energy has peaks this far above its median
constexpr int StaleLeadSamples = 60 * SampleRateHz; // a lead unusable this long relearns its template
constexpr int ValidTemplateUpdates = 8;
constexpr float MaxValue = 1e6f;

// A beat is measured on a window of the shape-band signal around its fiducial point.
constexpr int SegmentBefore = 50;                 // samples: 100 ms before
constexpr int SegmentLength = 126;                // to 150 ms after
constexpr int CoreFrom = SegmentBefore - 25;      // the part compared with the template: QRS
constexpr int CoreTo = SegmentBefore + 45;
constexpr int MaxShift = 10;
constexpr int FeatureLag = 130;                   // samples after the fiducial a beat waits for
constexpr double LearningSimilarity = 0.85;
constexpr int MaxLearningBeats = 40;
constexpr double WidthThreshold = 0.15;           // QRS onset and end: the spatial velocity under this share of its peak
constexpr double TemplateRate = 1.0 / 16;

// The band-pass chain delays the QRS band signal by about 35 ms at 10 to 15 Hz.
constexpr int BandDelaySamples = 17;

struct Coefficients {
    float b0, b1, b2, a1, a2;
};

Coefficients design(double hz, double q, bool highPass)
{
    const double w = 2 * Pi * hz / SampleRateHz;
    const double alpha = std::sin(w) / (2 * q), c = std::cos(w);
    const double a0 = 1 + alpha;
    const double b0 = highPass ? (1 + c) / 2 : (1 - c) / 2;
    const double b1 = highPass ? -(1 + c) : 1 - c;
    return {float(b0 / a0), float(b1 / a0), float(b0 / a0), float(-2 * c / a0), float((1 - alpha) / a0)};
}

// One second-order section run on the 8 channels side by side.
struct Biquad8 {
    Coefficients k;
    float z1[RecordedLeads] = {};
    float z2[RecordedLeads] = {};

    void run(const float *__restrict in, float *__restrict out)
    {
        for (int c = 0; c < RecordedLeads; ++c) {
            const float x = in[c];
            const float y = k.b0 * x + z1[c];
            z1[c] = k.b1 * x - k.a1 * y + z2[c];
            z2[c] = k.b2 * x - k.a2 * y;
            out[c] = y;
        }
    }

    // A high-pass section as if the input had always been x: no step at the start.
    void settle(const float *x)
    {
        for (int c = 0; c < RecordedLeads; ++c) {
            z1[c] = -k.b0 * x[c];
            z2[c] = k.b2 * x[c];
        }
    }
};

float median(std::array<float, LevelBeats> values, int count)
{
    count = std::min(count, LevelBeats);
    std::nth_element(values.begin(), values.begin() + count / 2, values.begin() + count);
    return values[std::size_t(count / 2)];
}

struct Segment {
    float v[RecordedLeads][SegmentLength];
};

struct Similarity {
    double correlation = 1;
    double amplitude = 1;
    int shift = 0;
};

// Correlation of a beat with a reference over the QRS part of the window, on the given leads, at the
// best shift; each lead's mean over the part removed.
Similarity compare(const Segment &beat, const Segment &reference, quint8 leads)
{
    constexpr int Length = CoreTo - CoreFrom;
    // The reference's part, its mean removed, and its energy do not depend on the shift; nor do
    // the running sums that give the beat's mean and energy at each shift.
    float ref[RecordedLeads][Length];
    double rr = 0;
    int used[RecordedLeads];
    int count = 0;
    for (int c = 0; c < RecordedLeads; ++c) {
        if (!(leads & (1 << c)))
            continue;
        used[count++] = c;
        float mean = 0;
        for (int k = 0; k < Length; ++k)
            mean += reference.v[c][CoreFrom + k];
        mean /= Length;
        for (int k = 0; k < Length; ++k) {
            ref[c][k] = reference.v[c][CoreFrom + k] - mean;
            rr += double(ref[c][k]) * ref[c][k];
        }
    }
    if (count == 0)
        return Similarity();
    const auto at = [&](int s) {
        double num = 0, bb = 0;
        for (int u = 0; u < count; ++u) {
            const int c = used[u];
            const float *b = beat.v[c] + CoreFrom + s;
            float sum = 0, squares = 0, product = 0;
            for (int k = 0; k < Length; ++k) {
                sum += b[k];
                squares += b[k] * b[k];
                product += b[k] * ref[c][k];
            }
            num += product; // the reference's mean is 0: the beat's mean drops out
            bb += squares - double(sum) * sum / Length;
        }
        Similarity r;
        r.correlation = bb > 0 && rr > 0 ? num / std::sqrt(bb * rr) : 0;
        r.amplitude = rr > 0 ? std::sqrt(std::max(0.0, bb) / rr) : 1;
        r.shift = s;
        return r;
    };
    // Every other shift, then the two beside the best.
    Similarity best = at(0);
    for (int s = -MaxShift; s <= MaxShift; s += 2) {
        const Similarity r = at(s);
        if (r.correlation > best.correlation)
            best = r;
    }
    for (int s : {best.shift - 1, best.shift + 1}) {
        if (s >= -MaxShift && s <= MaxShift) {
            const Similarity r = at(s);
            if (r.correlation > best.correlation)
                best = r;
        }
    }
    return best;
}

// QRS onset and end (segment indices) from the spatial velocity of the leads given.
void qrsBounds(const Segment &seg, quint8 leads, const float *scale, int *onset, int *end)
{
    float v[SegmentLength] = {};
    for (int k = 1; k < SegmentLength; ++k) {
        for (int c = 0; c < RecordedLeads; ++c) {
            if (leads & (1 << c))
                v[k] += std::fabs(seg.v[c][k] - seg.v[c][k - 1]) / scale[c];
        }
    }
    float smooth[SegmentLength] = {};
    for (int k = 1; k + 1 < SegmentLength; ++k)
        smooth[k] = (v[k - 1] + v[k] + v[k + 1]) / 3;
    int peak = SegmentBefore;
    for (int k = SegmentBefore - 15; k <= SegmentBefore + 15; ++k)
        peak = smooth[k] > smooth[peak] ? k : peak;
    const float threshold = float(WidthThreshold) * smooth[peak];
    const auto quiet = [&](int k, int step) {
        for (int i = 0; i < 4; ++i) {
            const int j = k + i * step;
            if (j < 1 || j + 1 >= SegmentLength || smooth[j] >= threshold)
                return false;
        }
        return true;
    };
    int a = peak;
    while (a > 1 && !quiet(a, -1))
        --a;
    int b = peak;
    while (b + 2 < SegmentLength && !quiet(b, 1))
        ++b;
    *onset = a;
    *end = b;
}

} // namespace

struct EcgAnalyser::State {
    Biquad8 hp5{design(QrsBandLowHz, 0.7071, true)};
    Biquad8 lp20a{design(QrsBandHighHz, 0.5412, false)};
    Biquad8 lp20b{design(QrsBandHighHz, 1.3066, false)};
    Biquad8 hp1{design(ShapeBandLowHz, 0.7071, true)};
    Biquad8 lp40{design(ShapeBandHighHz, 0.7071, false)};

    float raw[Ring][RecordedLeads];
    float shape[Ring][RecordedLeads];
    float bp[Ring][RecordedLeads];
    float energy[Ring][RecordedLeads];
    float combined[Ring];
    double energySum[RecordedLeads] = {};

    // The second being filled.
    float low[RecordedLeads], high[RecordedLeads], last[RecordedLeads];
    int run[RecordedLeads] = {}, longestRun[RecordedLeads] = {};
    float subSum[RecordedLeads] = {};
    float subMeans[RecordedLeads][SubBlocks];
    float blockPeak[RecordedLeads] = {};
    float blockEnergy[RecordedLeads] = {};
    int inBlock = 0;
    qint64 unusableSince[RecordedLeads] = {-1, -1, -1, -1, -1, -1, -1, -1};
    bool wasOff[RecordedLeads] = {};
    std::vector<bool> noiseSeconds;   // unanalysable for noise on most leads
    qint64 lastFiducial = -1;

    // Each lead's QRS amplitude (band signal) and energy at the last beats.
    std::array<float, LevelBeats> amplitudes[RecordedLeads];
    std::array<float, LevelBeats> energies[RecordedLeads];
    int levelCount[RecordedLeads] = {};
    float amplitude[RecordedLeads];
    float level[RecordedLeads];

    // Detection.
    float signalPeak = 0.6f, noisePeak = 0.02f;
    qint64 lastPeak = -1;     // energy peak of the last beat; -1 after a break
    qint64 lastAnalysable = -1;
    qint64 lastBeatOrLearn = 0;
    float lastSlope = 0;
    float lastHeight = 0;
    std::vector<std::pair<qint64, float>> candidates;
    qint64 pendingPeak = -1;
    float pendingValue = 0;
    std::deque<qint64> peakRr;
    bool breakBefore = true;

    // Measurement and classification.
    struct Waiting {
        qint64 fiducial;
        quint8 usable;
        quint8 lead;
        bool afterBreak;
    };
    std::deque<Waiting> waiting;
    struct Learning {
        Segment seg;
        std::size_t beat;
        bool premature;
    };
    std::vector<Learning> learning;
    Segment templ;
    int templateUpdates[RecordedLeads] = {};
    bool templateReady = false;
    float templateWidth = 0;
    int templateOnset = SegmentBefore - 20, templateEnd = SegmentBefore + 20;
    int sinceBounds = 0; // normal beats since the template's QRS bounds were measured
    Segment candidate;
    std::vector<std::size_t> candidateBeats;
    qint64 previousBeat = -1;
    double previousRr = -1;
    std::deque<double> rr;

    quint8 validTemplateLeads() const
    {
        quint8 m = 0;
        for (int c = 0; c < RecordedLeads; ++c)
            m |= templateUpdates[c] >= ValidTemplateUpdates ? quint8(1 << c) : 0;
        return m;
    }
};

EcgAnalyser::EcgAnalyser() : m_state(std::make_unique<State>())
{
    State &s = *m_state;
    for (int c = 0; c < RecordedLeads; ++c) {
        s.low[c] = std::numeric_limits<float>::max();
        s.high[c] = -std::numeric_limits<float>::max();
        s.last[c] = std::numeric_limits<float>::quiet_NaN();
        s.amplitude[c] = 1;
        s.level[c] = 1;
    }
    std::fill(&s.combined[0], &s.combined[0] + Ring, 0.0f);
    std::fill(&s.raw[0][0], &s.raw[0][0] + Ring * RecordedLeads, 0.0f);
    std::fill(&s.shape[0][0], &s.shape[0][0] + Ring * RecordedLeads, 0.0f);
    std::fill(&s.bp[0][0], &s.bp[0][0] + Ring * RecordedLeads, 0.0f);
    std::fill(&s.energy[0][0], &s.energy[0][0] + Ring * RecordedLeads, 0.0f);
}

EcgAnalyser::~EcgAnalyser() = default;

void EcgAnalyser::addSample(const float *values)
{
    State &s = *m_state;
    const qint64 n = m_samples++;
    const int i = int(n & RingMask);
    float x[RecordedLeads], b[RecordedLeads], w[RecordedLeads], t1[RecordedLeads], t2[RecordedLeads];
    for (int c = 0; c < RecordedLeads; ++c) {
        // A value that is not a number is no signal: the last one is held, as at the rail. One far
        // beyond any ECG is held at a bound, so that no sum of squares overflows.
        x[c] = std::isfinite(values[c]) ? std::clamp(values[c], -MaxValue, MaxValue) : s.raw[(n - 1) & RingMask][c];
        s.raw[i][c] = x[c];
    }
    if (n == 0) {
        s.hp5.settle(x);
        s.hp1.settle(x);
    }
    s.hp5.run(x, t1);
    s.lp20a.run(t1, t2);
    s.lp20b.run(t2, b);
    s.hp1.run(x, t1);
    s.lp40.run(t1, w);
    // The QRS band's energy over the last EnergyWindowMs: the band signal squared, not its slope,
    // so that a broad ventricular complex counts as much as a sharp one of the same size.
    const int old = int((n - EnergySamples) & RingMask);
    for (int c = 0; c < RecordedLeads; ++c) {
        const float leaving = n >= EnergySamples ? s.bp[old][c] : 0.0f;
        s.bp[i][c] = b[c];
        s.shape[i][c] = w[c];
        s.energySum[c] += double(b[c]) * b[c] - double(leaving) * leaving;
        const float e = float(std::max(0.0, s.energySum[c]));
        s.energy[i][c] = e;

        s.low[c] = std::min(s.low[c], x[c]);
        s.high[c] = std::max(s.high[c], x[c]);
        s.run[c] = x[c] == s.last[c] ? s.run[c] + 1 : 0;
        s.longestRun[c] = std::max(s.longestRun[c], s.run[c]);
        s.last[c] = x[c];
        s.subSum[c] += std::fabs(b[c]);
        s.blockPeak[c] = std::max(s.blockPeak[c], std::fabs(b[c]));
        s.blockEnergy[c] = std::max(s.blockEnergy[c], e);
    }
    ++s.inBlock;
    if (s.inBlock % SubBlockSamples == 0) {
        const int sub = s.inBlock / SubBlockSamples - 1;
        for (int c = 0; c < RecordedLeads; ++c) {
            s.subMeans[c][sub] = s.subSum[c] / SubBlockSamples;
            s.subSum[c] = 0;
        }
    }
    if (s.inBlock == BlockSamples)
        endBlock();
}

void EcgAnalyser::endBlock()
{
    State &s = *m_state;
    const qint64 blockStart = m_samples - s.inBlock;
    // A last, partial second is judged on the tenths it has.
    const int subBlocks = s.inBlock / SubBlockSamples;
    quint8 usable = 0;
    int connected = 0;
    for (int c = 0; c < RecordedLeads; ++c) {
        const bool flat = s.high[c] - s.low[c] < FlatRangeMv;
        const bool rail = s.longestRun[c] + 1 >= StuckSamples;
        std::nth_element(s.subMeans[c], s.subMeans[c] + FloorSubBlock, s.subMeans[c] + subBlocks);
        const float floor = s.subMeans[c][FloorSubBlock];
        const float reference = s.levelCount[c] >= 3 ? s.amplitude[c] : s.blockPeak[c];
        const bool noisy = floor > NoiseFloorRatio * reference;
        // The second after a flat or railed one rings in the filters: not usable, and no noise.
        if (!flat && !rail && !s.wasOff[c]) {
            ++connected;
            if (!noisy)
                usable |= quint8(1 << c);
        }
        s.wasOff[c] = flat || rail;
        s.low[c] = std::numeric_limits<float>::max();
        s.high[c] = -std::numeric_limits<float>::max();
        s.longestRun[c] = 0;
        s.run[c] = 0;
        s.last[c] = std::numeric_limits<float>::quiet_NaN();
    }
    // Noise on most of the connected leads is motion: nothing in the second can be trusted.
    int clean = 0;
    for (int c = 0; c < RecordedLeads; ++c)
        clean += (usable >> c) & 1;
    const bool noise = clean < std::max(1.0, MinCleanShare * connected);
    if (noise)
        usable = 0;
    for (int c = 0; c < RecordedLeads; ++c) {
        if (usable & (1 << c)) {
            s.unusableSince[c] = -1;
        } else {
            if (s.unusableSince[c] < 0)
                s.unusableSince[c] = blockStart;
            // A lead off for a long while may come back with another shape: it learns it anew.
            if (m_samples - s.unusableSince[c] > StaleLeadSamples)
                s.templateUpdates[c] = 0;
        }
    }
    // A usable lead whose beats have not been measured yet takes the scale of this second.
    for (int c = 0; c < RecordedLeads; ++c) {
        if ((usable & (1 << c)) && s.levelCount[c] == 0) {
            s.level[c] = std::max(s.blockEnergy[c], 1e-12f);
            s.amplitude[c] = std::max(s.blockPeak[c], 1e-6f);
        }
    }
    m_usableSeconds.push_back(usable);
    s.noiseSeconds.push_back(noise && connected > 0);
    for (int c = 0; c < RecordedLeads; ++c) {
        s.blockPeak[c] = 0;
        s.blockEnergy[c] = 0;
    }
    s.inBlock = 0;
    // Beats are looked for one second behind, once the next second is judged too.
    if (m_usableSeconds.size() >= 2)
        detectSecond(m_usableSeconds.size() - 2);
}

void EcgAnalyser::detectSecond(std::size_t second)
{
    State &s = *m_state;
    // The edges of a noisy stretch are noise too: a second beside a noisy one holds no beat.
    const bool nearNoise = (second > 0 && s.noiseSeconds[second - 1])
                           || (second + 1 < s.noiseSeconds.size() && s.noiseSeconds[second + 1]);
    if (nearNoise)
        m_usableSeconds[second] = 0;
    const quint8 usable = m_usableSeconds[second];
    const qint64 from = qint64(second) * BlockSamples;
    const qint64 to = std::min(from + BlockSamples, m_samples - s.inBlock);
    for (qint64 n = from; n < to; ++n)
        detect(n, usable);
    while (!s.waiting.empty() && s.waiting.front().fiducial + FeatureLag < m_samples) {
        measure(s.waiting.front().fiducial);
        s.waiting.pop_front();
    }
}

void EcgAnalyser::detect(qint64 n, quint8 usable)
{
    State &s = *m_state;
    const int i = int(n & RingMask);
    if (!usable) {
        // No beat can be told here: nothing carries over to the next analysable stretch.
        s.combined[i] = 0;
        s.pendingPeak = -1;
        s.candidates.clear();
        s.lastPeak = -1;
        s.peakRr.clear();
        s.breakBefore = true;
        return;
    }
    if (s.lastAnalysable != n - 1)
        s.lastBeatOrLearn = n;
    s.lastAnalysable = n;
    int leads = 0;
    float sum = 0;
    for (int c = 0; c < RecordedLeads; ++c) {
        if (usable & (1 << c)) {
            sum += std::min(s.energy[i][c] / s.level[c], float(LeadCap));
            ++leads;
        }
    }
    const float value = sum / float(leads);
    s.combined[i] = value;

    // Local maxima, the highest within the hold time.
    const float previous = s.combined[(n - 1) & RingMask], before = s.combined[(n - 2) & RingMask];
    if (previous > before && previous >= value) {
        const qint64 at = n - 1;
        if (s.pendingPeak >= 0 && at - s.pendingPeak <= PeakHoldSamples) {
            if (previous > s.pendingValue) {
                s.pendingPeak = at;
                s.pendingValue = previous;
            }
        } else {
            s.pendingPeak = at;
            s.pendingValue = previous;
        }
    }
    if (s.pendingPeak >= 0 && n - s.pendingPeak > PeakHoldSamples)
        emitPeak();

    // Search back for a beat missed by the threshold.
    if (s.lastPeak >= 0 && !s.candidates.empty()) {
        double mean = SampleRateHz;
        if (!s.peakRr.empty())
            mean = std::accumulate(s.peakRr.begin(), s.peakRr.end(), 0.0) / double(s.peakRr.size());
        if (double(n - s.lastPeak) > SearchBackAfterRr * mean) {
            auto best = s.candidates.end();
            for (auto it = s.candidates.begin(); it != s.candidates.end(); ++it) {
                // Not the last beat's T wave: soon after it and half as strong.
                const bool tWave = it->first - s.lastPeak < TWaveSamples && it->second < TWaveSlopeShare * s.lastHeight;
                if (it->first - s.lastPeak >= RefractorySamples && !tWave
                    && (best == s.candidates.end() || it->second > best->second))
                    best = it;
            }
            if (best != s.candidates.end())
                acceptBeat(best->first, best->second, true);
        }
    }
    // No beat for a while: either the heart has stopped (a long pause, to be kept as it is), or
    // the levels learnt are too high for the beats there are (an artefact raised them, the
    // electrodes moved). Only in the second case does the energy of the last seconds still have
    // peaks standing well out of it: the levels are learnt again from them.
    if (n - s.lastBeatOrLearn > RelearnSamples) {
        constexpr int Window = 2 * SampleRateHz;
        int peaky = 0, leads = 0;
        float top[RecordedLeads] = {};
        std::vector<float> values(Window);
        for (int c = 0; c < RecordedLeads; ++c) {
            if (!(usable & (1 << c)))
                continue;
            for (int k = 0; k < Window; ++k) {
                values[std::size_t(k)] = s.energy[(n - k) & RingMask][c];
                top[c] = std::max(top[c], values[std::size_t(k)]);
            }
            std::nth_element(values.begin(), values.begin() + Window / 2, values.end());
            ++leads;
            peaky += top[c] > RelearnPeakRatio * values[std::size_t(Window / 2)];
        }
        if (2 * peaky > leads) {
            for (int c = 0; c < RecordedLeads; ++c) {
                if (usable & (1 << c)) {
                    s.level[c] = std::max(top[c], 1e-12f);
                    s.levelCount[c] = 0;
                }
            }
            s.signalPeak = 0.6f;
            s.noisePeak = 0.02f;
        }
        s.lastBeatOrLearn = n;
    }
}

void EcgAnalyser::emitPeak()
{
    State &s = *m_state;
    const qint64 peak = s.pendingPeak;
    const float height = s.pendingValue;
    s.pendingPeak = -1;
    const float threshold = s.noisePeak + float(ThresholdShare) * (s.signalPeak - s.noisePeak);
    if (s.lastPeak >= 0 && peak - s.lastPeak < RefractorySamples) {
        // Inside the refractory period: part of the last beat.
    } else if (height > threshold) {
        acceptBeat(peak, height, false);
    } else {
        s.noisePeak = 0.125f * height + 0.875f * s.noisePeak;
        if (height > float(SearchBackShare) * threshold)
            s.candidates.push_back({peak, height});
    }
}

void EcgAnalyser::acceptBeat(qint64 peak, float value, bool searchBack)
{
    State &s = *m_state;
    const quint8 usable = m_usableSeconds[std::size_t(peak / BlockSamples)];
    // The steepest combined slope, which tells a QRS from a T wave.
    float slope = 0;
    for (qint64 n = peak - EnergySamples; n <= peak; ++n) {
        const int i = int(n & RingMask), i1 = int((n - 1) & RingMask), i3 = int((n - 3) & RingMask),
                  i4 = int((n - 4) & RingMask);
        float sum = 0;
        for (int c = 0; c < RecordedLeads; ++c) {
            if (usable & (1 << c))
                sum += std::fabs(2 * s.bp[i][c] + s.bp[i1][c] - s.bp[i3][c] - 2 * s.bp[i4][c]) / std::sqrt(s.level[c]);
        }
        slope = std::max(slope, sum);
    }
    // So soon after a beat, a peak with half its slope or half its energy is that beat's T wave
    // (a broad ventricular complex has a T wave as steep as itself, but not as strong).
    if (!searchBack && s.lastPeak >= 0 && peak - s.lastPeak < TWaveSamples
        && (slope < TWaveSlopeShare * s.lastSlope || value < TWaveSlopeShare * s.lastHeight)) {
        s.noisePeak = 0.125f * value + 0.875f * s.noisePeak;
        // A broad, early ventricular beat looks like this too: the search back may still take it.
        s.candidates.push_back({peak, value});
        return;
    }
    s.signalPeak = searchBack ? 0.25f * value + 0.75f * s.signalPeak : 0.125f * value + 0.875f * s.signalPeak;
    if (s.lastPeak >= 0) {
        s.peakRr.push_back(double(peak - s.lastPeak));
        if (int(s.peakRr.size()) > RunningRrBeats)
            s.peakRr.pop_front();
    }
    s.lastPeak = peak;
    s.lastSlope = slope;
    s.lastHeight = value;
    s.lastBeatOrLearn = peak;
    s.candidates.erase(std::remove_if(s.candidates.begin(), s.candidates.end(),
                                      [peak](const std::pair<qint64, float> &c) { return c.first <= peak; }),
                       s.candidates.end());

    // The fiducial point: the middle of the QRS complex, where the QRS band energy of the usable
    // leads, smoothed over a few tens of milliseconds, is largest before the energy peak.
    constexpr int Smooth = 10;
    float envelope[EnergySamples + 80] = {};
    const qint64 from = peak - EnergySamples - 40;  // to 40 samples after the peak
    const int length = EnergySamples + 80;
    for (int k = 0; k < length && from + k < m_samples; ++k) {
        const int i = int((from + k) & RingMask);
        for (int c = 0; c < RecordedLeads; ++c) {
            if (usable & (1 << c)) {
                const float v = s.bp[i][c] / s.amplitude[c];
                envelope[k] += v * v;
            }
        }
    }
    int top = length / 2;
    float best = -1;
    float window = 0;
    for (int k = 0; k < length; ++k) {
        window += envelope[k] - (k >= 2 * Smooth + 1 ? envelope[k - 2 * Smooth - 1] : 0.0f);
        if (k >= 2 * Smooth && window > best) {
            best = window;
            top = k - Smooth;
        }
    }
    // Its centre of mass around there: the R and S waves of one beat do not pull it back and forth.
    double mass = 0, moment = 0;
    for (int k = std::max(0, top - 3 * Smooth); k <= std::min(length - 1, top + 3 * Smooth); ++k) {
        mass += envelope[k];
        moment += double(k) * envelope[k];
    }
    const qint64 fiducial = from + (mass > 0 ? qint64(std::lround(moment / mass)) : top);
    // Each lead's levels at this beat; the lead that shows it best.
    int lead = 0;
    float strongest = -1;
    for (int c = 0; c < RecordedLeads; ++c) {
        float amplitude = 0, energy = 0;
        for (qint64 n = fiducial - 15; n <= fiducial + 15 && n < m_samples; ++n)
            amplitude = std::max(amplitude, std::fabs(s.bp[n & RingMask][c]));
        for (qint64 n = peak - 10; n <= peak + 10 && n < m_samples; ++n)
            energy = std::max(energy, s.energy[n & RingMask][c]);
        if (!(usable & (1 << c)))
            continue;
        s.amplitudes[c][std::size_t(s.levelCount[c] % LevelBeats)] = std::max(amplitude, 1e-6f);
        s.energies[c][std::size_t(s.levelCount[c] % LevelBeats)] = std::max(energy, 1e-12f);
        ++s.levelCount[c];
        if (s.levelCount[c] >= 3) {
            s.amplitude[c] = median(s.amplitudes[c], s.levelCount[c]);
            s.level[c] = median(s.energies[c], s.levelCount[c]);
        }
        if (energy / s.level[c] > strongest) {
            strongest = energy / s.level[c];
            lead = c;
        }
    }
    // Two energy peaks of one noisy complex may point at the same place: one beat.
    if (s.lastFiducial >= 0 && fiducial - s.lastFiducial < RefractorySamples)
        return;
    s.lastFiducial = fiducial;
    s.waiting.push_back({fiducial - BandDelaySamples, usable, quint8(lead), s.breakBefore});
    s.breakBefore = false;
}

void EcgAnalyser::measure(qint64 fiducial)
{
    State &s = *m_state;
    const State::Waiting w = s.waiting.front();
    Q_ASSERT(w.fiducial == fiducial);
    Segment seg;
    for (int k = 0; k < SegmentLength; ++k) {
        const int i = int((fiducial - SegmentBefore + k) & RingMask);
        for (int c = 0; c < RecordedLeads; ++c)
            seg.v[c][k] = s.shape[i][c];
    }
    AnalysedBeat beat;
    beat.sample = fiducial;
    beat.lead = w.lead;
    beat.usable = w.usable;
    std::fill(std::begin(beat.st), std::end(beat.st), std::numeric_limits<float>::quiet_NaN());
    // The width is measured in the QRS band, where muscle noise is weakest.
    Segment band;
    for (int k = 0; k < SegmentLength; ++k) {
        const int i = int((fiducial + BandDelaySamples - SegmentBefore + k) & RingMask);
        for (int c = 0; c < RecordedLeads; ++c)
            band.v[c][k] = s.bp[i][c];
    }
    int onset = 0, end = 0;
    qrsBounds(band, w.usable, s.amplitude, &onset, &end);
    beat.widthMs = float((end - onset) * SampleMs);

    double rr = -1;
    if (!w.afterBreak && s.previousBeat >= 0)
        rr = double(fiducial - s.previousBeat);
    if (w.afterBreak)
        s.rr.clear();
    s.previousBeat = fiducial;
    double meanRr = -1;
    if (!s.rr.empty())
        meanRr = std::accumulate(s.rr.begin(), s.rr.end(), 0.0) / double(s.rr.size());
    // A premature beat is followed by a longer interval; a rhythm that has merely sped up is not.
    if (rr > 0 && s.previousRr > 0 && !m_beats.empty() && m_beats.back().code == 'S'
        && rr < PrematureFollowRatio * s.previousRr)
        m_beats.back().code = 'N';
    s.previousRr = rr;
    if (rr > 0) {
        s.rr.push_back(rr);
        if (int(s.rr.size()) > RunningRrBeats)
            s.rr.pop_front();
    }
    const bool premature = rr > 0 && meanRr > 0 && rr < PrematureRatio * meanRr;
    m_beats.push_back(beat);
    const std::size_t index = m_beats.size() - 1;

    const auto classify = [&s, this](std::size_t at, const Segment &segment, bool isPremature) {
        AnalysedBeat &b = m_beats[at];
        const quint8 leads = b.usable & s.validTemplateLeads();
        const Similarity like = compare(segment, s.templ, leads ? leads : b.usable);
        b.correlation = float(like.correlation);
        const bool wide = b.widthMs >= s.templateWidth + WiderThanTemplateMs;
        const bool unlike = like.correlation < UnlikeCorrelation || like.amplitude > UnlikeAmplitudeRatio
                            || like.amplitude < 1.0 / UnlikeAmplitudeRatio;
        b.code = wide || unlike ? 'V' : isPremature ? 'S' : 'N';
        // A beat like the template is marked where the template is.
        if (!unlike)
            b.sample += like.shift;

        // A run of beats unlike the template but narrow, on time and alike: the patient's normal
        // beat has changed (the body moved, an electrode was replaced).
        if (b.code == 'V' && !wide && !isPremature) {
            if (!s.candidateBeats.empty() && compare(segment, s.candidate, b.usable).correlation >= TemplateUpdateCorrelation) {
                s.candidateBeats.push_back(at);
            } else {
                s.candidate = segment;
                s.candidateBeats.assign(1, at);
            }
            if (int(s.candidateBeats.size()) >= NewTemplateBeats) {
                s.templ = s.candidate;
                for (int c = 0; c < RecordedLeads; ++c)
                    s.templateUpdates[c] = (b.usable & (1 << c)) ? ValidTemplateUpdates : 0;
                s.templateWidth = 0;
                for (std::size_t k : s.candidateBeats) {
                    m_beats[k].code = 'N';
                    s.templateWidth += m_beats[k].widthMs / float(s.candidateBeats.size());
                }
                s.candidateBeats.clear();
                s.sinceBounds = 1 << 20;
            }
        } else {
            s.candidateBeats.clear();
        }
        if (b.code == 'N') {
            for (int c = 0; c < RecordedLeads; ++c) {
                if (!(b.usable & (1 << c)))
                    continue;
                const float rate = s.templateUpdates[c] < ValidTemplateUpdates ? 1.0f / float(s.templateUpdates[c] + 1)
                                                                               : float(TemplateRate);
                for (int k = MaxShift; k < SegmentLength - MaxShift; ++k)
                    s.templ.v[c][k] += rate * (segment.v[c][k + like.shift] - s.templ.v[c][k]);
                ++s.templateUpdates[c];
            }
            s.templateWidth += float(TemplateRate) * (b.widthMs - s.templateWidth);
            ++s.sinceBounds;
        }
        if (s.sinceBounds >= 16) {
            int on = 0, off = 0;
            qrsBounds(s.templ, s.validTemplateLeads() ? s.validTemplateLeads() : b.usable, s.amplitude, &on, &off);
            s.templateOnset = on;
            s.templateEnd = off;
            s.sinceBounds = 0;
        }
    };

    if (!s.templateReady) {
        s.learning.push_back({seg, index, premature});
        if (int(s.learning.size()) < TemplateLearningBeats)
            return;
        // The patient's normal beat: the one most others look like (the narrower on a tie).
        std::size_t bestBeat = 0;
        int bestCount = -1;
        for (std::size_t a = 0; a < s.learning.size(); ++a) {
            int count = 0;
            for (std::size_t b = 0; b < s.learning.size(); ++b) {
                const quint8 leads = m_beats[s.learning[a].beat].usable & m_beats[s.learning[b].beat].usable;
                count += compare(s.learning[b].seg, s.learning[a].seg, leads).correlation >= LearningSimilarity;
            }
            if (count > bestCount
                || (count == bestCount && m_beats[s.learning[a].beat].widthMs < m_beats[s.learning[bestBeat].beat].widthMs)) {
                bestCount = count;
                bestBeat = a;
            }
        }
        if (bestCount * 2 < int(s.learning.size()) && int(s.learning.size()) < MaxLearningBeats)
            return;
        // The template: the mean of the beats like that one, each aligned on it.
        const Segment &medoid = s.learning[bestBeat].seg;
        const quint8 leads = m_beats[s.learning[bestBeat].beat].usable;
        Segment sum = {};
        int members = 0;
        float widths = 0;
        for (const State::Learning &l : s.learning) {
            const Similarity like = compare(l.seg, medoid, leads & m_beats[l.beat].usable);
            if (like.correlation < LearningSimilarity)
                continue;
            ++members;
            widths += m_beats[l.beat].widthMs;
            for (int c = 0; c < RecordedLeads; ++c)
                for (int k = MaxShift; k < SegmentLength - MaxShift; ++k)
                    sum.v[c][k] += l.seg.v[c][k + like.shift];
        }
        for (int c = 0; c < RecordedLeads; ++c)
            for (int k = 0; k < SegmentLength; ++k)
                s.templ.v[c][k] = k >= MaxShift && k < SegmentLength - MaxShift ? sum.v[c][k] / float(members) : medoid.v[c][k];
        for (int c = 0; c < RecordedLeads; ++c)
            s.templateUpdates[c] = (leads & (1 << c)) ? ValidTemplateUpdates : 0;
        int on = 0, off = 0;
        qrsBounds(s.templ, leads, s.amplitude, &on, &off);
        s.templateOnset = on;
        s.templateEnd = off;
        s.templateWidth = widths / float(members);
        s.templateReady = true;
        const std::vector<State::Learning> learnt = std::move(s.learning);
        s.learning.clear();
        for (const State::Learning &l : learnt)
            classify(l.beat, l.seg, l.premature);
        return;
    }
    classify(index, seg, premature);

    // ST level of a normal beat: J + 80 ms against the PR segment, J and the QRS onset from the
    // template.
    AnalysedBeat &b = m_beats[index];
    if (b.code != 'N')
        return;
    const qint64 onsetAt = b.sample - SegmentBefore + s.templateOnset;
    const qint64 jAt = b.sample - SegmentBefore + s.templateEnd;
    const int prFrom = -(PrBaselineBeforeQrsMs + 10) / SampleMs, prTo = -(PrBaselineBeforeQrsMs - 10) / SampleMs;
    const int stAt = StAfterJMs / SampleMs;
    if (jAt + stAt + 2 >= m_samples)
        return;
    float level[RecordedLeads];
    for (int c = 0; c < RecordedLeads; ++c) {
        double pr = 0, st = 0;
        for (int k = prFrom; k < prTo; ++k)
            pr += s.raw[(onsetAt + k) & RingMask][c];
        for (int k = -2; k <= 2; ++k)
            st += s.raw[(jAt + stAt + k) & RingMask][c];
        level[c] = float((st / 5 - pr / (prTo - prFrom)) * 1000.0);
        if (b.usable & (1 << c))
            b.st[c] = level[c];
    }
    constexpr int I = 1, II = 2;
    if ((b.usable & (1 << I)) && (b.usable & (1 << II))) {
        b.st[8] = level[II] - level[I];
        b.st[9] = -(level[I] + level[II]) / 2;
        b.st[10] = level[I] - level[II] / 2;
        b.st[11] = level[II] - level[I] / 2;
    }
}

void EcgAnalyser::finish()
{
    State &s = *m_state;
    // The last, partial second, when it holds a few tenths, and its last energy peak.
    if (s.inBlock >= MinLastSubBlocks * SubBlockSamples)
        endBlock();
    if (!m_usableSeconds.empty())
        detectSecond(m_usableSeconds.size() - 1);
    if (s.pendingPeak >= 0)
        emitPeak();
    // The beats still waiting are measured on what there is; those too close to the end for
    // their QRS complex are left out.
    while (!s.waiting.empty()) {
        if (s.waiting.front().fiducial + SegmentLength - SegmentBefore <= m_samples)
            measure(s.waiting.front().fiducial);
        s.waiting.pop_front();
    }
    if (!s.templateReady && !s.learning.empty()) {
        // Too few beats to learn a template from: normal unless premature.
        for (const State::Learning &l : s.learning)
            m_beats[l.beat].code = l.premature ? 'S' : 'N';
        s.learning.clear();
    }
}
