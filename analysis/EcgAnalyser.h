#pragma once

// The beat analysis of one recording, fed its ECG sample by sample in time order (the 8 recorded
// channels in mV, one sample every 2 ms) and holding only a few seconds of signal: each second,
// lead by lead, is judged analysable or not (flat, at the rail, too noisy); QRS complexes are found
// on the usable leads combined (band-pass, energy, adaptive thresholds with search-back); each
// beat is measured (width, shape against the running normal template, ST level at J + 80 ms) and
// classified as normal, ventricular or supraventricular premature. Widget-free.

#include "analysis/AnalysisCriteria.h"
#include "import/RecordingFormat.h"

#include <QtGlobal>

#include <deque>
#include <memory>
#include <vector>

inline constexpr int RecordedLeads = 8;

struct AnalysedBeat {
    qint64 sample = 0;   // at 500 Hz from the recording start
    quint8 lead = 0;     // the recorded channel it shows best on
    char code = 'N';     // 'N' normal, 'V' ventricular, 'S' supraventricular premature
    quint8 usable = 0;   // bit c: channel c was analysable at the beat
    float widthMs = 0;
    float correlation = 1; // with the normal template
    // ST level (uV, J + 80 ms against the PR segment) of each lead of the lead table; measured on
    // normal beats only, NaN where it was not.
    float st[LeadCount];
};

class EcgAnalyser
{
public:
    EcgAnalyser();
    ~EcgAnalyser();

    // The next sample: the 8 channel values in the recorder's order.
    void addSample(const float *values);
    // No more samples: the last beats are measured and classified.
    void finish();

    qint64 samples() const { return m_samples; }
    const std::vector<AnalysedBeat> &beats() const { return m_beats; }
    // One entry per second of recording: bit c set when channel c was analysable that second.
    const std::vector<quint8> &usableSeconds() const { return m_usableSeconds; }

private:
    struct State;
    void endBlock();
    void detectSecond(std::size_t second);
    void detect(qint64 n, quint8 usable);
    void emitPeak();
    void acceptBeat(qint64 peak, float value, bool searchBack);
    void measure(qint64 fiducial);

    std::unique_ptr<State> m_state;
    qint64 m_samples = 0;
    std::vector<AnalysedBeat> m_beats;
    std::vector<quint8> m_usableSeconds;
};
