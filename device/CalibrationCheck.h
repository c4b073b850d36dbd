#pragma once

// The measurements of a new session's set-up, without widgets or sockets: the amplitude of the
// recorder's calibration square wave on each ECG channel, its check against the recorder's own
// factors and ratios, and the session identifier the recorder is given.

#include "import/FrameScanner.h"

#include <QString>

#include <vector>

namespace calibration {

constexpr int ChannelCount = 8;
// A jump larger than this between neighbouring samples is an edge of the square wave.
constexpr double EdgeJump = 0.2;
// After an edge, the sample that makes the count exceed this is taken as the plateau's value.
constexpr int SettleSamples = 10;
// A channel passes when amplitude / factor lies within the ratio ± this share of it.
constexpr double RatioTolerance = 0.5;

// The amplitude of one channel: the mean of the taken high plateau samples minus the mean of the
// taken low ones (0 for a side without any). Samples beyond a tenth of the swing from the mean
// are plateau candidates; an edge starts a count and the 11th candidate sample from the edge on
// is taken.
float channelAmplitude(const std::vector<float> &values);

// The amplitudes of channels 1..8 (record slots 1..8) of the ECG records, logging each channel's
// size and values.
std::vector<float> measureAmplitudes(const SampleList &ecgRecords);

// Checks every channel's amplitude / factor against ratio ± 50 %, logging each comparison, and
// stops at the first channel outside (or without a factor or ratio to compare with): false, with
// the reason in error.
bool checkRatios(const std::vector<float> &amplitudes, const std::vector<float> &factors,
                 const std::vector<float> &ratios, QString *error);

// The 20 characters the recorder keeps as the session's name: the 16-character fiscal code, then
// the session id in 4 digits with leading zeros. Empty, with the reason in error, for a fiscal
// code that is not 16 letters and digits or an id outside 0..9999.
QString sessionIdentifier(const QString &fiscalCode, qint64 sessionId, QString *error);

} // namespace calibration
