#pragma once

// Every criterion of the workstation's own beat analysis, in one place. The values are written
// into each analysis folder's origin.txt (criteriaText), so a folder says by which rules it was made.

#include <QByteArray>

namespace criteria {

// ---- the signal -------------------------------------------------------------------------------
inline constexpr int SampleRateHz = 500;     // the recorder's ECG rate; sample n is at 2n ms
inline constexpr int SampleMs = 1000 / SampleRateHz;
inline constexpr double QrsBandLowHz = 5;    // the band the QRS complex is looked for in
inline constexpr double QrsBandHighHz = 20;
inline constexpr double ShapeBandLowHz = 1;  // the band beats are compared in (no wander, no hum)
inline constexpr double ShapeBandHighHz = 40;
inline constexpr int EnergyWindowMs = 120;   // the QRS energy is summed over this

// ---- analysable stretches, lead by lead, second by second ---------------------------------------
inline constexpr int QualityBlockMs = 1000;
inline constexpr double FlatRangeMv = 0.005;       // a second whose range is below this is a flat lead
inline constexpr int StuckMs = 100;                // one value held this long: the amplifier is at its rail
// Too noisy for its beats to be measured: between the beats (the lowest fifth of the second), the
// QRS band holds more than this share of the lead's QRS amplitude.
inline constexpr double NoiseFloorRatio = 0.2;
inline constexpr double MinCleanShare = 0.5;       // fewer clean leads than this share of those
                                                   // connected: the whole second is noise
inline constexpr int MinSegmentS = 3;              // shorter analysable stretches are not listed

// ---- QRS detection on all usable leads combined --------------------------------------------------
inline constexpr int RefractoryMs = 200;
inline constexpr double ThresholdShare = 0.25;     // threshold = noise level + this x (signal - noise)
inline constexpr double SearchBackShare = 0.5;     // the search-back threshold, of the threshold
inline constexpr double SearchBackAfterRr = 1.66;  // search back after this many mean RR without a beat
inline constexpr int TWaveWindowMs = 360;          // a peak this soon after a beat may be its T wave
inline constexpr double TWaveSlopeShare = 0.5;     // ... and is one when its slope or energy is under this share
inline constexpr double LeadCap = 3;               // one lead adds at most this many of its QRS levels

// ---- classification ----------------------------------------------------------------------------
inline constexpr int RunningRrBeats = 8;           // the running mean RR
inline constexpr double PrematureRatio = 0.8;      // premature: RR under this share of the running mean
inline constexpr double PrematureFollowRatio = 1.15; // ... and the RR after it this much longer
inline constexpr double UnlikeCorrelation = 0.8;   // unlike the normal template below this correlation
inline constexpr double UnlikeAmplitudeRatio = 2.5; // ... or this many times larger or smaller
inline constexpr int WiderThanTemplateMs = 40;     // wide: QRS this much wider than the normal one
inline constexpr double TemplateUpdateCorrelation = 0.9; // beats this alike make one new template
inline constexpr int TemplateLearningBeats = 12;
inline constexpr int NewTemplateBeats = 8;         // so many alike, narrow, on-time beats unlike the
                                                   // template are the patient's new normal beat

// ---- rhythm ------------------------------------------------------------------------------------
inline constexpr int PauseMs = 2000;               // RR of a pause
inline constexpr int MinRunCycles = 3;             // bigeminy N-V, trigeminy N-N-V
inline constexpr int MinTachycardiaBeats = 3;      // consecutive V ...
inline constexpr double TachycardiaBpm = 100;      // ... above this rate
inline constexpr int BradycardiaRrBeats = 8;       // heart rate as the mean of this many RR
inline constexpr double BradycardiaBpm = 40;       // under this ...
inline constexpr int BradycardiaMs = 10000;        // ... for at least this long

// ---- ST ----------------------------------------------------------------------------------------
inline constexpr int StAfterJMs = 80;              // ST level at J + 80 ms ...
inline constexpr int PrBaselineBeforeQrsMs = 20;   // ... against the PR segment before the QRS
inline constexpr int StReferenceMs = 600000;       // the first ten minutes give each lead its level
inline constexpr int StShiftUv = 100;              // an episode: moved this far from that level ...
inline constexpr int StMinMs = 60000;              // ... for at least this long
inline constexpr int StMergeMs = 60000;            // episodes closer than this are one
inline constexpr int StBinMs = 5000;               // ST levels are the median of the beats of 5 s

// ---- body position -----------------------------------------------------------------------------
// The recorder's axes (as worn on the chest): x to the patient's left, y to the head, z forward out
// of the chest. At rest the accelerometer reads +1 g along the axis pointing up.
inline constexpr int PositionMs = 60000;           // one position a minute, from the mean gravity
inline constexpr double UprightCos = 0.7071;       // upright: the head axis within 45 degrees of up
inline constexpr double MovingG = 0.06;            // upright and moving this much (sd of |a|): standing

// The criteria as "name = value" lines.
QByteArray criteriaText();

} // namespace criteria
