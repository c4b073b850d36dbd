#pragma once

// The ground truth of a synthetic recording made to score the workstation's own beat analysis:
// the heart plays ectopic beats (ventricular from two foci, supraventricular premature), pauses,
// bigeminy and trigeminy runs, ventricular runs, bradycardia and ST shifts, on beats whose shape,
// size and axis vary from one recording to the next, under baseline wander, mains hum, stretches
// of muscle noise, bursts of motion artefact no beat can be told in, and one electrode that comes
// off for a while. Every beat and episode it played is written to a truth file, which the scorer
// below compares with an analysis folder beat by beat, as the EC57 standard scores a detector.

#include "import/RecordingFormat.h"
#include "sim/SyntheticAnalysis.h"

#include <QString>
#include <QVector>

#include <random>

enum class TruthEpisodeKind { Pause, Bigeminy, Trigeminy, VentricularTachycardia, Bradycardia, St };

struct TruthEpisode {
    TruthEpisodeKind kind = TruthEpisodeKind::Pause;
    // Pause: the beats before and after the long interval. Runs: their first beat (bigeminy and
    // trigeminy: the normal beat that opens the first cycle) and their last beat. ST: where the
    // shift passes 100 uV on its lead, both ways.
    double startMs = 0;
    double stopMs = 0;
    QString lead;      // ST: the lead where the shift is largest
    int extremeUv = 0; // ST: its largest shift there
};

struct TruthSpan {
    double startMs = 0;
    double stopMs = 0;
};

struct TruthLeadOff {
    int channel = 0; // recorded channel, 0..7
    double startMs = 0;
    double stopMs = 0;
};

struct SynthTruth {
    quint32 durationMs = 0;
    QVector<SynthBeat> beats; // every beat the heart made, drop-outs included
    QVector<TruthEpisode> episodes;
    QVector<TruthSpan> muscleNoise; // noisy but readable: scored
    QVector<TruthSpan> unreadable;  // motion artefact: not scored
    QVector<TruthLeadOff> leadsOff;
    QVector<SynthGap> gaps;

    // Text, one item a line: "beat MS N|V|S", "episode KIND START STOP [LEAD UV]", "noise START STOP",
    // "unreadable START STOP", "leadoff CHANNEL START STOP", "gap START STOP", "duration MS".
    bool write(const QString &path, QString *error) const;
    static bool read(const QString &path, SynthTruth *truth, QString *error);
};

const char *truthEpisodeName(TruthEpisodeKind kind); // "P", "B", "T", "VT", "SBR", "ST"

// The rhythm a ground-truth recording plays, laid out once for its length and drop-outs.
class SynthEctopyPlan : public SynthBeatPlan
{
public:
    static constexpr double VentricularShare = 0.015;     // isolated ventricular beats among sinus beats
    static constexpr double SupraventricularShare = 0.008;
    static constexpr int MinBeatsBetweenEctopics = 6;      // isolated ectopics never make a run by chance
    static constexpr double MaxCompensatoryMs = 1850;      // no pause but the planned ones
    static constexpr double EpisodeMarginMs = 20000;       // between episodes, drop-outs and noise bursts

    // stGain: the ST shift seen on each lead (lead table order) per mV of shift of the heart.
    SynthEctopyPlan(quint32 durationMs, const QVector<SynthGap> &gaps, quint64 seed, const float (&stGain)[LeadCount]);

    SynthBeat next(double previousMs, SynthBeatKind previous, double sinusRr) override;
    float stLevel(double ms) const override;

    // Noise at a recording time: muscle noise (mV rms), the weight (0..1) of motion artefact, the
    // channel whose electrode is off (-1: none).
    float muscleNoiseMv(double ms) const;
    float artefactWeight(double ms) const;
    int leadOff(double ms) const;

    // Everything planned and played so far, with the beats the heart made.
    SynthTruth truth(quint32 durationMs, const QVector<SynthBeat> &beats, const QVector<SynthGap> &gaps) const;

private:
    struct Planned {
        TruthEpisodeKind kind;
        double start = 0; // ms
        double stop = 0;
        double rrMs = 0;  // pause and bradycardia intervals, the ventricular run's rate
        int count = 0;    // cycles of a bigeminy or trigeminy, beats of a ventricular run
        float depthMv = 0; // ST
    };
    bool clear(double start, double stop) const;
    bool nearEpisode(double ms) const;
    void place(TruthEpisodeKind kind, double lengthMs, std::mt19937_64 &random);

    QVector<Planned> m_planned; // in time order once built
    QVector<TruthSpan> m_muscle;
    QVector<float> m_muscleMv;
    QVector<TruthSpan> m_unreadable;
    QVector<TruthLeadOff> m_off;
    QVector<SynthGap> m_gaps;
    float m_stGain[LeadCount] = {};
    std::mt19937_64 m_random;

    // Playing state.
    int m_active = -1;     // index into m_planned
    int m_nextPlanned = 0;
    int m_emitted = 0;     // ectopic beats of the active episode so far
    int m_phase = 0;       // position in a trigeminy cycle
    int m_sinceEctopic = 100;
    double m_lastCoupling = 0;
    QVector<TruthEpisode> m_played;
};

// EC57-style scores of an analysis folder against the truth: a detected beat matches a true one
// within 150 ms. Beats inside drop-outs, motion artefact and the first seconds of the recording are
// not scored, nor are detections there. Episodes are read from the beat file by the same
// conversion the events tab uses.
struct TruthScore {
    static constexpr double MatchWindowMs = 150;
    static constexpr double EpisodeStartToleranceMs = 1000;
    static constexpr double LearningMs = 10000;

    qint64 truePositives = 0, falseNegatives = 0, falsePositives = 0;
    qint64 vTruePositives = 0, vFalseNegatives = 0, vFalsePositives = 0; // among matched beats + unmatched
    qint64 sTruePositives = 0, sFalseNegatives = 0, sFalsePositives = 0;
    qint64 beatsInUnreadable = 0; // detections inside motion artefact
    // Per episode kind (truthEpisodeName order): true episodes, found with their start within the
    // tolerance, and detected episodes that match none.
    int episodes[6] = {}, found[6] = {}, extra[6] = {};
    double offCovered = 0; // share of the lead-off time the off lead's split file still calls analysable

    double sensitivity() const { return ratio(truePositives, truePositives + falseNegatives); }
    double positivePredictivity() const { return ratio(truePositives, truePositives + falsePositives); }
    double vSensitivity() const { return ratio(vTruePositives, vTruePositives + vFalseNegatives); }
    double vPositivePredictivity() const { return ratio(vTruePositives, vTruePositives + vFalsePositives); }
    double sSensitivity() const { return ratio(sTruePositives, sTruePositives + sFalseNegatives); }
    double sPositivePredictivity() const { return ratio(sTruePositives, sTruePositives + sFalsePositives); }
    QString report() const;

    static double ratio(qint64 a, qint64 b) { return b > 0 ? double(a) / double(b) : 1.0; }
};

// False, with the reason, when the folder's beat file cannot be read.
bool scoreAnalysis(const SynthTruth &truth, const QString &analysisFolder, TruthScore *score, QString *error);
