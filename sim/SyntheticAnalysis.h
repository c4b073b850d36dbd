#pragma once

// What the external analysis tool would leave in a synthetic session's "ANALISI" folder, made from
// what the synthetic recorder actually put into the recording: every beat it generated (normal or
// ventricular) with the rhythm episodes it played, the body positions its IMU followed, and the
// analysable stretches of each lead (the recording minus drop-outs and walking).

#include "sim/SyntheticRecorder.h"

#include <QDateTime>
#include <QString>
#include <QVector>

enum class SynthBeatKind { Normal, Ventricular, Supraventricular };

struct SynthBeat {
    double rPeakMs = 0; // recording time
    SynthBeatKind kind = SynthBeatKind::Normal;
    int focus = 0;      // which ventricular focus a ventricular beat comes from
};

// What the synthetic heart asks, beat by beat, of the rhythm it plays.
class SynthBeatPlan
{
public:
    virtual ~SynthBeatPlan() = default;
    // The beat after one at previousMs of the given kind, when the sinus node asks for sinusRr.
    virtual SynthBeat next(double previousMs, SynthBeatKind previous, double sinusRr) = 0;
    // ST level (mV along the heart's ST direction) of a beat at ms.
    virtual float stLevel(double ms) const = 0;
};

enum class SynthRhythm { Bradycardia, Pause, Bigeminy, VentricularTachycardia, StDepression };

struct SynthEpisode {
    SynthRhythm rhythm;
    quint32 start = 0; // recording time, ms
    quint32 stop = 0;
};

// The abnormal rhythm the synthetic heart plays: a few isolated ventricular beats and one episode
// of each kind at fixed places in the recording, moved clear of the drop-outs; episodes that do not
// fit a short recording are left out.
class SynthRhythmPlan : public SynthBeatPlan
{
public:
    static constexpr double BradycardiaRrMs = 1400;   // 43 bpm
    static constexpr double PauseRrMs = 2800;
    static constexpr double TachycardiaRrMs = 400;    // 150 bpm
    static constexpr double PrematureRatio = 0.62;    // coupling of a ventricular beat
    static constexpr double CompensatoryRatio = 1.4;  // the interval after it
    static constexpr float StDepthMv = 0.2f;          // deepest ST depression

    SynthRhythmPlan(quint32 durationMs, const QVector<SynthGap> &gaps);

    SynthBeat next(double previousMs, SynthBeatKind previous, double sinusRr) override;
    // 0 or negative.
    float stLevel(double ms) const override;

    const QVector<SynthEpisode> &episodes() const { return m_episodes; }
    const SynthEpisode *episode(SynthRhythm rhythm) const;

private:
    const SynthEpisode *episodeAt(double ms) const; // an episode with a duration, holding ms
    QVector<SynthEpisode> m_episodes;
    QVector<quint32> m_isolated;
};

// Collected while the recording is written (SynthOptions::trace).
struct SynthTrace {
    QVector<SynthBeat> beats;                      // every beat the heart made, in order
    QVector<QPair<quint32, QString>> postures;     // (recording time, position label) at each change
    QVector<SynthGap> gaps;
    quint32 durationMs = 0;
    QDateTime start;                               // acquisition start, local time
    // When set, the episodes the analysis reports instead of those of SynthRhythmPlan (a trace
    // made without a recording, see busyAnalysisTrace).
    QVector<SynthEpisode> episodes;
};

// What the analysis would find in a day of a very ectopic heart, without writing the recording:
// a beat every 860 ms with the given share of them ventricular, and `episodesPerKind` episodes
// of bradycardia, pause, bigeminy, ventricular tachycardia and ST depression spread evenly over
// the recording. For the benchmarks of the events review (24 hours: 100 000 beats).
SynthTrace busyAnalysisTrace(double hours, double ventricularShare, int episodesPerKind, const QDateTime &start);

// Writes annotations_fusion.pt, positions.txt and split_<lead>.txt into the folder (created when
// missing). Beats inside drop-outs or after the end are left out.
bool writeSyntheticAnalysis(const QString &folder, const SynthTrace &trace, QString *error);
