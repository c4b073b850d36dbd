#include "sim/SyntheticRecorder.h"

#include "import/RecordingDecoder.h"
#include "sim/SyntheticAnalysis.h"
#include "sim/SyntheticTruth.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr float CountsPerG = 16384.0f;        // IMU, +-2 g full scale
constexpr quint32 TickMs = 20;               // respiration and IMU period; 10 ECG samples
constexpr quint32 EdgeMs = 1000;             // no damage this close to a drop-out or the end
constexpr std::size_t CardBufferBytes = std::size_t(4) << 20;

// splitmix64: small, fast and the same everywhere.
class Random
{
public:
    explicit Random(quint64 seed) : m_state(seed) {}

    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    int below(int n) { return int(next() % quint64(n)); }
    // Close enough to a unit normal for noise: the sum of four 16-bit uniforms.
    float gauss()
    {
        const quint64 v = next();
        const float sum = float(v & 0xFFFF) + float((v >> 16) & 0xFFFF) + float((v >> 32) & 0xFFFF)
                          + float(v >> 48);
        return (sum / 65535.0f - 2.0f) * 1.7320508f;
    }

private:
    quint64 m_state;
};

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

Vec3 operator*(float k, Vec3 v) { return {k * v.x, k * v.y, k * v.z}; }
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 normalized(Vec3 v)
{
    const float n = std::sqrt(dot(v, v));
    return n > 0 ? (1.0f / n) * v : v;
}

// Body axes: x to the patient's left, y to the head, z forward out of the chest.

// One wave of the beat as a bump of the heart vector around the R peak.
struct Wave {
    float offsetMs; // centre relative to the R peak
    float sigmaMs;
    float amplitude; // mV along `direction`
    Vec3 direction;
    bool repolarisation; // stretches with the beat length, as the QT interval does
};

const Wave Waves[] = {
    {-165, 20, 0.16f, normalized({0.45f, -0.85f, 0.15f}), false}, // P
    {-30, 8, 0.20f, normalized({-0.60f, -0.20f, 0.75f}), false},  // Q, septal
    // The R wave points down and to the left at about +55 degrees, a normal axis: tallest in II,
    // still clearly upright in I and III.
    {-8, 9, 0.90f, normalized({0.40f, -0.57f, 0.70f}), false},    // R, early
    {6, 10, 1.10f, normalized({0.55f, -0.80f, -0.35f}), false},   // R, late
    {32, 10, 0.35f, normalized({-0.30f, 0.40f, -0.85f}), false},  // S
    {300, 50, 0.30f, normalized({0.60f, -0.50f, 0.60f}), true},   // T
};

// A ventricular beat: no P wave, a broad QRS along another axis, a discordant T.
const Wave VentricularWaves[] = {
    {-20, 22, 1.30f, normalized({-0.50f, 0.60f, 0.60f}), false},
    {25, 26, 0.90f, normalized({0.30f, -0.40f, -0.85f}), false},
    {320, 60, 0.45f, normalized({0.50f, -0.60f, -0.60f}), true},
};

// Where an ST shift shows: between the S wave and the T wave, seen best laterally.
const Wave StSegment = {130, 55, 1.0f, normalized({0.80f, -0.50f, -0.35f}), true};

Vec3 precordial(double degrees, float gain)
{
    const double a = degrees * Pi / 180.0;
    return gain * Vec3{float(std::cos(a)), 0.0f, float(std::sin(a))};
}

// Lead vectors of the recorded channels, in the recorder's order V6, I, II, V2, V3, V4, V5, V1.
// Limb leads lie in the frontal plane (I at 0 degrees, II at +60, y pointing up), the chest
// leads in the horizontal plane from the left side (V6) round to the front (V1).
const Vec3 Leads[8] = {
    precordial(5, 1.0f),
    {1.0f, 0.0f, 0.0f},
    {0.5f, -0.8660254f, 0.0f},
    precordial(95, 1.5f),
    precordial(78, 1.7f),
    precordial(62, 1.7f),
    precordial(35, 1.3f),
    precordial(115, 0.9f),
};

// The shapes the heart draws: the sinus beat, the beat of an atrial ectopic focus (another P
// wave before the same QRS), the beats of two ventricular foci, the ST shift and the leads that
// see them.
struct Morphology {
    std::vector<Wave> sinus;
    std::vector<Wave> atrialEctopic;
    std::vector<Wave> ventricular[2];
    Wave st = StSegment;
    Vec3 leads[8];
};

Morphology standardMorphology()
{
    Morphology m;
    m.sinus.assign(std::begin(Waves), std::end(Waves));
    m.atrialEctopic = m.sinus;
    m.atrialEctopic[0] = {-130, 18, 0.12f, normalized({-0.30f, 0.90f, 0.20f}), false};
    m.ventricular[0].assign(std::begin(VentricularWaves), std::end(VentricularWaves));
    m.ventricular[1] = m.ventricular[0];
    std::copy(std::begin(Leads), std::end(Leads), std::begin(m.leads));
    return m;
}

Vec3 rotated(Vec3 v, float ax, float ay, float az)
{
    const Vec3 a{v.x, v.y * std::cos(ax) - v.z * std::sin(ax), v.y * std::sin(ax) + v.z * std::cos(ax)};
    const Vec3 b{a.x * std::cos(ay) + a.z * std::sin(ay), a.y, -a.x * std::sin(ay) + a.z * std::cos(ay)};
    return {b.x * std::cos(az) - b.y * std::sin(az), b.x * std::sin(az) + b.y * std::cos(az), b.z};
}

// A patient of its own: the heart's axis, the size and width of its waves, two ventricular foci
// pointing anywhere but along the sinus QRS, and electrodes placed a little differently.
Morphology variedMorphology(std::mt19937_64 &random)
{
    const auto u = [&random](double low, double high) {
        return float(std::uniform_real_distribution<double>(low, high)(random));
    };
    Morphology m = standardMorphology();
    const float ax = u(-0.35, 0.35), ay = u(-0.35, 0.35), az = u(-0.35, 0.35);
    const float qrsGain = u(0.6, 1.5), qrsWidth = u(0.85, 1.25), tGain = u(0.4, 1.6), pGain = u(0.5, 1.4);
    for (std::size_t i = 0; i < m.sinus.size(); ++i) {
        Wave &w = m.sinus[i];
        w.direction = normalized(rotated(w.direction, ax, ay, az));
        if (i == 0) {
            w.amplitude *= pGain;
        } else if (w.repolarisation) {
            w.amplitude *= tGain;
        } else {
            w.amplitude *= qrsGain * u(0.6, 1.4);
            w.sigmaMs *= qrsWidth;
            w.offsetMs *= qrsWidth;
        }
    }
    m.atrialEctopic = m.sinus;
    m.atrialEctopic[0] = {-u(110, 150), 18, 0.12f * pGain, normalized({u(-0.5, 0.5), 0.9f, u(-0.3, 0.3)}), false};
    const Vec3 sinusR = m.sinus[3].direction;
    for (std::vector<Wave> &focus : m.ventricular) {
        Vec3 main;
        do {
            main = normalized({u(-1, 1), u(-1, 1), u(-1, 1)});
        } while (std::fabs(dot(main, sinusR)) > 0.6f);
        const Vec3 second = normalized((-0.6f) * main + Vec3{u(-0.6f, 0.6f), u(-0.6f, 0.6f), u(-0.6f, 0.6f)});
        focus = {
            {-u(10, 25), u(20, 30), u(1.0, 1.9), main, false},
            {u(20, 35), u(20, 30), u(0.5, 1.1), second, false},
            {u(290, 340), 60, u(0.3, 0.6), (-1.0f) * main, true},
        };
    }
    m.st.direction = normalized(rotated(m.st.direction, ax, ay, az));
    for (Vec3 &lead : m.leads)
        lead = u(0.75, 1.3) * lead;
    return m;
}

enum class Posture { Upright, Supine, Prone, LeftSide, RightSide };

// Respiration amplitudes (counts) per posture: left/right thorax, centre, left/right abdomen.
const float BreathAmplitudes[5][5] = {
    {1300, 1250, 700, 750, 720},  // upright: chest breathing
    {800, 820, 600, 1400, 1350},  // supine: belly breathing
    {500, 520, 400, 900, 880},    // prone
    {500, 1200, 600, 700, 1300},  // on the left side: the left half is pressed
    {1200, 500, 600, 1300, 700},  // on the right side
};

struct Activity {
    quint32 start;
    Posture posture;
    bool walking;
    Vec3 up;               // unit vector the accelerometer reads as +1 g, body axes
    double startExertion;  // 0 at rest, 1 walking, relaxing towards the target
};

struct Desaturation {
    double nadirMs;
    double depth; // SpO2 points
};

struct Segment {
    quint32 begin;
    quint32 end;
    bool newFiles;
};

class Physiology
{
public:
    Physiology(const SynthOptions &options, quint32 durationMs, Random &random)
        : m_startHour(options.start.time().msecsSinceStartOfDay() / 3.6e6),
          m_rateOffset(random.uniform(-6, 6)),
          m_breathRate(random.uniform(13, 16)),
          m_breathScale(float(random.uniform(0.8, 1.2)))
    {
        for (float &base : m_breathBase)
            base = float(random.uniform(26000, 34000));
        planActivities(durationMs, random);
        planDesaturations(durationMs, random);
    }

    bool night(double ms) const
    {
        const double hour = std::fmod(m_startHour + ms / 3.6e6, 24.0);
        return hour >= 23.0 || hour < 6.5;
    }

    std::size_t activityAt(double ms) const
    {
        const auto it = std::upper_bound(m_activities.begin(), m_activities.end(), ms,
                                         [](double t, const Activity &a) { return t < a.start; });
        return it == m_activities.begin() ? 0 : std::size_t(it - m_activities.begin() - 1);
    }
    const Activity &activity(std::size_t index) const { return m_activities[index]; }
    std::size_t activityCount() const { return m_activities.size(); }

    double exertion(double ms) const
    {
        const Activity &a = m_activities[activityAt(ms)];
        const double target = a.walking ? 1.0 : 0.0;
        return target + (a.startExertion - target) * std::exp(-(ms - a.start) / ExertionTauMs);
    }

    double meanHeartRate(double ms) const
    {
        const double hour = std::fmod(m_startHour + ms / 3.6e6, 24.0);
        double rate = 68.0 + m_rateOffset - 9.0 * std::cos(2 * Pi * (hour - 4.0) / 24.0);
        rate += 24.0 * exertion(ms);
        rate += 2.0 * std::sin(2 * Pi * ms / 10500.0) + 1.5 * std::sin(2 * Pi * ms / 73000.0);
        for (const Desaturation &d : m_desaturations) {
            const double dt = ms - d.nadirMs; // arousal as the saturation recovers
            if (dt >= 0 && dt <= 20000)
                rate += 9.0 * std::sin(Pi * dt / 20000.0);
        }
        return rate;
    }

    double breathRate(double ms, double exertion) const
    {
        return m_breathRate - (night(ms) ? 1.5 : 0.0) + 6.0 * exertion
               + 0.8 * std::sin(2 * Pi * ms / 360000.0);
    }

    // 1 for normal breathing, down to 0.25 in the shallow breathing before a desaturation.
    float breathDepth(double ms) const
    {
        float depth = 1.0f;
        for (const Desaturation &d : m_desaturations) {
            const double from = d.nadirMs - 45000, to = d.nadirMs - 12000;
            if (ms <= from - 3000 || ms >= to + 3000)
                continue;
            const double edge = std::min(ms - (from - 3000), (to + 3000) - ms);
            depth = std::min(depth, float(1.0 - 0.75 * std::min(1.0, edge / 3000.0)));
        }
        return depth;
    }

    double spo2(double ms) const
    {
        double value = 96.6 + 0.6 * std::sin(2 * Pi * ms / 2.82e6) + 0.4 * std::sin(2 * Pi * ms / 7.8e5);
        for (const Desaturation &d : m_desaturations) {
            const double dt = ms - d.nadirMs;
            if (dt >= -25000 && dt <= 0)
                value -= d.depth * (1.0 + dt / 25000.0);
            else if (dt > 0 && dt <= 14000)
                value -= d.depth * (1.0 - dt / 14000.0);
        }
        return value;
    }

    float breathBase(int channel) const { return m_breathBase[channel]; }
    float breathScale() const { return m_breathScale; }

private:
    static constexpr double ExertionTauMs = 40000.0;

    static Vec3 upVector(Posture posture, Random &random)
    {
        const float tilt = float(random.uniform(0.05, 0.35)); // radians
        const float roll = float(random.uniform(-0.25, 0.25));
        switch (posture) {
        case Posture::Upright:
            return normalized({roll * 0.3f, std::cos(tilt), std::sin(tilt)});
        case Posture::Supine:
            return normalized({roll, std::sin(tilt), std::cos(tilt)});
        case Posture::Prone:
            return normalized({roll, std::sin(tilt) * 0.5f, -std::cos(tilt)});
        case Posture::LeftSide:
            return normalized({-std::cos(roll), std::sin(tilt) * 0.5f, std::sin(roll)});
        case Posture::RightSide:
            return normalized({std::cos(roll), std::sin(tilt) * 0.5f, std::sin(roll)});
        }
        return {0, 1, 0};
    }

    void planActivities(quint32 durationMs, Random &random)
    {
        double exertion = 0.0;
        double t = 0;
        while (t < durationMs) {
            Posture posture = Posture::Upright;
            bool walking = false;
            double minutes;
            const double u = random.uniform();
            if (night(t)) {
                posture = u < 0.45 ? Posture::Supine
                          : u < 0.70 ? Posture::LeftSide
                          : u < 0.95 ? Posture::RightSide
                                     : Posture::Prone;
                minutes = random.uniform(15, 90);
            } else if (u < 0.60) {
                minutes = random.uniform(10, 60);
            } else if (u < 0.85) {
                walking = true;
                minutes = random.uniform(3, 20);
            } else {
                posture = Posture::Supine;
                minutes = random.uniform(10, 30);
            }
            m_activities.push_back({quint32(t), posture, walking, upVector(posture, random), exertion});
            const double lengthMs = minutes * 60000.0;
            const double target = walking ? 1.0 : 0.0;
            exertion = target + (exertion - target) * std::exp(-lengthMs / ExertionTauMs);
            t += lengthMs;
        }
    }

    void planDesaturations(quint32 durationMs, Random &random)
    {
        double last = -1e12;
        for (double t = 60000; t + 20000 < durationMs; t += 60000) {
            const double perHour = night(t) ? 3.0 : 0.25;
            if (t - last > 180000 && random.uniform() < perHour / 60.0) {
                m_desaturations.push_back({t + random.uniform(0, 60000), random.uniform(4, 9)});
                last = t;
            }
        }
        if (m_desaturations.empty() && durationMs >= 180000)
            m_desaturations.push_back({durationMs * 0.55, 6.0});
    }

    double m_startHour;
    double m_rateOffset;
    double m_breathRate;
    float m_breathScale;
    float m_breathBase[5];
    std::vector<Activity> m_activities;
    std::vector<Desaturation> m_desaturations;
};

// The beat sequence: R peak times with the heart rate, its variability and breathing's pull.
class Heart
{
public:
    Heart(const Physiology &body, Random &random, const Morphology &shapes)
        : m_body(body), m_random(random), m_shapes(shapes)
    {
        m_beats[1] = {-400.0, 1.0f, &m_shapes.sinus};
        m_beats[2] = {300.0 + random.uniform(0, 400), 1.0f, &m_shapes.sinus};
        m_beats[0] = {-1100.0, 1.0f, &m_shapes.sinus};
    }

    // The heart vector at `ms`; `breathPhase` (0..1) for the respiratory sinus arrhythmia.
    Vec3 vector(double ms, double breathPhase)
    {
        while (ms >= m_beats[2].rPeak) {
            m_beats[0] = m_beats[1];
            m_beats[1] = m_beats[2];
            const double rr = nextInterval(m_beats[1].rPeak, breathPhase);
            m_beats[2] = {m_beats[1].rPeak + rr, float(std::sqrt(rr / 1000.0)), &m_shapes.sinus};
            if (m_plan)
                playRhythm(breathPhase);
        }
        Vec3 h;
        for (const Beat &beat : m_beats) {
            for (const Wave &wave : *beat.waves) {
                if (const float shape = bump(wave, beat, ms))
                    h = h + (wave.amplitude * shape * beat.gain) * wave.direction;
            }
            if (beat.stMv != 0.0f) {
                if (const float shape = bump(m_shapes.st, beat, ms))
                    h = h + (beat.stMv * shape) * m_shapes.st.direction;
            }
        }
        return h;
    }

    // From now on the beats follow the plan and each one is appended to `beats`. With `vary`, the
    // size of each beat follows breathing and changes a little from beat to beat.
    void setRhythm(SynthBeatPlan *plan, QVector<SynthBeat> *beats, bool vary)
    {
        m_plan = plan;
        m_traceBeats = beats;
        m_vary = vary;
        m_traceBeats->append({m_beats[2].rPeak, SynthBeatKind::Normal});
    }

private:
    struct Beat {
        double rPeak;
        float qtScale;
        const std::vector<Wave> *waves;
        SynthBeatKind kind = SynthBeatKind::Normal;
        float stMv = 0.0f;
        float gain = 1.0f;
    };

    // The shape (0..1) of one wave of a beat at ms; 0 beyond four widths.
    static float bump(const Wave &wave, const Beat &beat, double ms)
    {
        const float stretch = wave.repolarisation ? beat.qtScale : 1.0f;
        const float sigma = wave.sigmaMs * stretch;
        const float d = float(ms - beat.rPeak) - wave.offsetMs * stretch;
        if (std::fabs(d) >= 4.0f * sigma)
            return 0.0f;
        return std::exp(-d * d / (2.0f * sigma * sigma));
    }

    // Replaces the sinus beat just made by the one the plan asks for.
    void playRhythm(double breathPhase)
    {
        const double sinus = m_beats[2].rPeak - m_beats[1].rPeak;
        const SynthBeat beat = m_plan->next(m_beats[1].rPeak, m_beats[1].kind, sinus);
        const double rr = beat.rPeakMs - m_beats[1].rPeak;
        const std::vector<Wave> *waves = beat.kind == SynthBeatKind::Ventricular ? &m_shapes.ventricular[beat.focus & 1]
                                         : beat.kind == SynthBeatKind::Supraventricular ? &m_shapes.atrialEctopic
                                                                                         : &m_shapes.sinus;
        const float gain = m_vary ? float(1.0 + 0.07 * std::sin(2 * Pi * breathPhase) + 0.03 * m_random.gauss()) : 1.0f;
        m_beats[2] = {beat.rPeakMs, float(std::sqrt(std::min(rr, sinus) / 1000.0)), waves, beat.kind,
                      m_plan->stLevel(beat.rPeakMs), gain};
        m_traceBeats->append(beat);
    }

    double nextInterval(double ms, double breathPhase)
    {
        double rr = 60000.0 / m_body.meanHeartRate(ms);
        rr -= 30.0 * std::sin(2 * Pi * breathPhase); // shorter while breathing in
        rr += 12.0 * m_random.gauss();
        return std::clamp(rr, 330.0, 1600.0);
    }

    const Physiology &m_body;
    Random &m_random;
    const Morphology &m_shapes;
    Beat m_beats[3];
    SynthBeatPlan *m_plan = nullptr;
    QVector<SynthBeat> *m_traceBeats = nullptr;
    bool m_vary = false;
};

// The card file of one stream being written, buffered; reopened for each new file. A write
// failure is reported when the file is closed.
class CardFile
{
public:
    bool open(const QString &path, QString *error)
    {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            *error = QStringLiteral("cannot create %1: %2").arg(path, m_file.errorString());
            return false;
        }
        m_buffer.resize(CardBufferBytes);
        m_used = 0;
        return true;
    }

    uchar *reserve(std::size_t bytes)
    {
        if (m_used + bytes > m_buffer.size())
            flush();
        uchar *p = m_buffer.data() + m_used;
        m_used += bytes;
        m_written += qint64(bytes);
        return p;
    }

    bool close(QString *error)
    {
        if (!m_file.isOpen())
            return true;
        flush();
        m_file.close();
        if (m_failed)
            *error = QStringLiteral("cannot write %1").arg(m_file.fileName());
        return !m_failed;
    }

    qint64 written() const { return m_written; }

private:
    void flush()
    {
        if (m_used && m_file.write(reinterpret_cast<const char *>(m_buffer.data()), qint64(m_used)) != qint64(m_used))
            m_failed = true;
        m_used = 0;
    }

    QFile m_file;
    std::vector<uchar> m_buffer;
    std::size_t m_used = 0;
    qint64 m_written = 0;
    bool m_failed = false;
};

// Writes frames into the current s- and i-file, with the occasional damage.
class Card
{
public:
    Card(const QString &folder, Random &random, SynthSummary &summary)
        : m_folder(folder), m_random(random), m_summary(summary)
    {
    }

    bool startFiles(QString *error)
    {
        if (!closeFiles(error))
            return false;
        ++m_fileNumber;
        const QDir dir(m_folder);
        if (!m_samples.open(dir.filePath(QStringLiteral("s%1.txt").arg(m_fileNumber)), error)
            || !m_imu.open(dir.filePath(QStringLiteral("i%1.txt").arg(m_fileNumber)), error))
            return false;
        m_summary.sampleFiles = m_summary.imuFiles = m_fileNumber + 1;
        return true;
    }

    bool closeFiles(QString *error)
    {
        const bool ok = m_samples.close(error) && m_imu.close(error);
        m_summary.rawBytes = m_samples.written() + m_imu.written();
        return ok;
    }

    // Frame writers; `mayDamage` is false near drop-outs so that damage never touches a restart.
    void ecg(quint32 time, const float *values, bool mayDamage)
    {
        uchar *f = frame(m_samples, Stream::Ecg, 0xC0, 0x26, time, mayDamage);
        for (int i = 0; i < 8; ++i)
            qToBigEndian<float>(values[i], f + 10 + 4 * i);
        finish(f, 42);
    }
    void breath(quint32 time, const quint16 *values, bool mayDamage)
    {
        uchar *f = frame(m_samples, Stream::Breath, 0xC0, 0x10, time, mayDamage);
        for (int i = 0; i < 5; ++i)
            qToBigEndian<quint16>(values[i], f + 10 + 2 * i);
        finish(f, 20);
    }
    void imu(quint32 time, const qint16 *values, bool mayDamage)
    {
        uchar *f = frame(m_imu, Stream::Imu, 0xC1, 0x0C, time, mayDamage);
        for (int i = 0; i < 3; ++i)
            qToLittleEndian<qint16>(values[i], f + 10 + 2 * i);
        finish(f, 16);
    }

    int fileNumber() const { return m_fileNumber; }

private:
    uchar *frame(CardFile &file, Stream stream, uchar group, uchar length, quint32 time, bool mayDamage)
    {
        const quint64 dice = m_random.next();
        const int index = int(stream);
        ++m_summary.frames[index];
        if (mayDamage && (dice >> 40) % 10000 == 0) {
            // Stray bytes never look like a frame header, except a last 0xFE, which the scanner
            // must drop when it meets the real start byte after it.
            const int count = 1 + int(dice % 6);
            uchar *stray = file.reserve(std::size_t(count));
            for (int i = 0; i < count; ++i) {
                uchar b;
                do {
                    b = uchar(m_random.next());
                } while (b == 0xC0 || b == 0xC1 || b >= 0xFE);
                stray[i] = b;
            }
            if (dice & 0x100)
                stray[count - 1] = 0xFE;
            ++m_summary.strayRuns;
        }
        m_damage = mayDamage && (dice >> 16) % 20000 == 0 ? uchar(1 + (dice >> 8) % 255) : 0;
        if (m_damage)
            ++m_summary.damaged[index];
        uchar *f = file.reserve(std::size_t(length) + 5);
        f[0] = 0xFE;
        f[1] = group;
        f[2] = 0x05;
        f[3] = length;
        f[4] = 0xFF;
        f[5] = m_counter[index]++;
        qToBigEndian<quint32>(time, f + 6);
        return f;
    }

    void finish(uchar *f, int checkAt)
    {
        uchar check = 0;
        for (int i = 0; i < checkAt; ++i)
            check ^= f[i];
        f[checkAt] = check ^ m_damage;
    }

    QString m_folder;
    Random &m_random;
    SynthSummary &m_summary;
    CardFile m_samples;
    CardFile m_imu;
    int m_fileNumber = -1;
    uchar m_counter[3] = {};
    uchar m_damage = 0;
};

// The position the analysis reports for an activity: walking counts as standing.
QString postureLabel(const Activity &activity)
{
    switch (activity.posture) {
    case Posture::Upright: return activity.walking ? QStringLiteral("STAND") : QStringLiteral("SIT");
    case Posture::Supine: return QStringLiteral("SUPINE");
    case Posture::Prone: return QStringLiteral("PRONE");
    case Posture::LeftSide: return QStringLiteral("LEFT_SIDE");
    case Posture::RightSide: return QStringLiteral("RIGHT_SIDE");
    }
    return QString();
}

// The ST shift each lead of the lead table sees per mV of shift of the heart, the derived leads
// by the review's formulas.
void stLeadGains(const Morphology &shapes, float (&gains)[LeadCount])
{
    for (int c = 0; c < 8; ++c)
        gains[c] = dot(shapes.leads[c], shapes.st.direction);
    const float i = gains[1], ii = gains[2];
    gains[8] = ii - i;
    gains[9] = -(i + ii) / 2;
    gains[10] = i - ii / 2;
    gains[11] = ii - i / 2;
}

// What a ground-truth recording adds to the ECG of the standard one: stronger baseline wander,
// mains hum, muscle noise, motion artefact, and the electrode that comes off (the channel then
// sits at the amplifier's rail).
class EcgNoise
{
public:
    static constexpr float RailMv = -4.5f;

    EcgNoise(std::mt19937_64 &patient, const SynthEctopyPlan &plan, quint64 seed)
        : m_plan(plan), m_random(seed * 0x632BE59BD9B4E019ull + 3)
    {
        const auto u = [&patient](double low, double high) {
            return float(std::uniform_real_distribution<double>(low, high)(patient));
        };
        m_wander = u(1.0, 4.0);
        const float hum = u(0.005, 0.08);
        for (int c = 0; c < 8; ++c) {
            const float phase = u(0, float(2 * Pi));
            m_humSin[c] = hum * u(0.5, 1.5) * std::cos(phase);
            m_humCos[c] = hum * u(0.5, 1.5) * std::sin(phase);
            // Limb electrodes pick up more muscle than chest ones.
            m_muscle[c] = c == 1 || c == 2 ? 1.0f : 0.6f;
            m_artefact[c] = u(0.8, 2.0);
            for (int k = 0; k < 3; ++k)
                m_artefactPhase[c][k] = u(0, float(2 * Pi));
        }
        for (float &f : m_artefactHz)
            f = u(1.5, 9.0);
    }

    void wander(float (&baseline)[8]) const
    {
        for (float &b : baseline)
            b *= m_wander;
    }

    void add(quint32 ms, float (&mv)[8])
    {
        // 50 Hz at 500 samples a second repeats every 10 samples.
        const int n = int((ms / 2) % 10);
        const float s = std::sin(float(2 * Pi) * n / 10.0f), co = std::cos(float(2 * Pi) * n / 10.0f);
        const float muscle = m_plan.muscleNoiseMv(ms);
        const float artefact = m_plan.artefactWeight(ms);
        const float t = float(ms) / 1000.0f;
        for (int c = 0; c < 8; ++c) {
            mv[c] += m_humSin[c] * s + m_humCos[c] * co;
            if (muscle > 0)
                mv[c] += muscle * m_muscle[c] * m_random.gauss();
            if (artefact > 0) {
                float wave = 0;
                for (int k = 0; k < 3; ++k)
                    wave += std::sin(float(2 * Pi) * m_artefactHz[k] * t + m_artefactPhase[c][k]) / float(k + 1);
                mv[c] += artefact * (m_artefact[c] * wave + 0.2f * m_random.gauss());
            }
        }
        const int off = m_plan.leadOff(ms);
        if (off >= 0)
            mv[off] = RailMv;
    }

private:
    const SynthEctopyPlan &m_plan;
    Random m_random;
    float m_wander = 1;
    float m_humSin[8] = {}, m_humCos[8] = {};
    float m_muscle[8] = {};
    float m_artefact[8] = {};
    float m_artefactPhase[8][3] = {};
    float m_artefactHz[3] = {};
};

QVector<SynthGap> planGaps(quint32 durationMs, Random &random)
{
    QVector<SynthGap> gaps;
    const quint32 seconds = durationMs / 1000;
    if (seconds < 60)
        return gaps;
    const int count = int(std::clamp<quint32>(seconds / 180, 1, 4));
    const quint32 longest = std::clamp<quint32>(seconds / 40, 1, 180);
    for (int i = 0; i < count; ++i) {
        const double centre = double(i + 1) / (count + 1) + random.uniform(-0.25, 0.25) / (count + 1);
        const quint32 second = quint32(centre * seconds);
        const quint32 length = 1 + quint32(random.below(int(longest)));
        SynthGap gap;
        gap.start = second * 1000 + TickMs * quint32(1 + random.below(48));
        gap.stop = (second + length) * 1000;
        gap.newFiles = i % 2 == 0;
        const quint32 earliest = gaps.isEmpty() ? 30000 : gaps.last().stop + 30000;
        if (gap.start < earliest || gap.stop + 10000 > durationMs)
            continue;
        gaps.append(gap);
    }
    return gaps;
}

bool writeText(const QString &path, const QByteArray &text, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size()
        || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QByteArray logTime(const QDateTime &start, qint64 ms)
{
    return start.addMSecs(ms).toString(QStringLiteral("yyyyMMddhhmmss")).toLatin1();
}

QByteArray oximeterExport(const SynthOptions &options, const Physiology &body, quint32 durationMs,
                          Random &random, int *lines)
{
    QByteArray text = "VERSION 2.1,TAVO-OX export,serial 0041723\n";
    // The oximeter is put on a little before the recorder starts; one probe-off on long recordings.
    const qint64 firstSecond = -45, lastSecond = durationMs / 1000 + 5;
    const qint64 probeOff = durationMs >= 7200000 ? qint64(durationMs * 0.7 / 1000) : -1000;
    *lines = 0;
    for (qint64 s = firstSecond; s <= lastSecond; ++s) {
        const double ms = double(s) * 1000.0;
        int pulse = int(std::lround(body.meanHeartRate(std::max(0.0, ms)) + 0.5 * random.gauss()));
        int spo2 = int(std::lround(std::clamp(body.spo2(ms) + 0.3 * random.gauss(), 70.0, 100.0)));
        if (s >= probeOff && s < probeOff + 25)
            pulse = spo2 = 511;
        const QDateTime t = options.start.addSecs(s);
        const QDate d = t.date();
        const QTime c = t.time();
        text += QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9\n")
                    .arg(s - firstSecond + 1)
                    .arg(d.year())
                    .arg(d.month())
                    .arg(d.day())
                    .arg(c.hour())
                    .arg(c.minute())
                    .arg(c.second())
                    .arg(pulse)
                    .arg(spo2)
                    .toLatin1();
        ++*lines;
    }
    return text;
}

QString checkOptions(const SynthOptions &options)
{
    if (!(options.hours >= 1.0 / 3600) || options.hours > 48)
        return QStringLiteral("the length must be between 1 s and 48 h");
    if (!(options.fileMinutes >= 1.0 / 60))
        return QStringLiteral("a card file must hold at least 1 s");
    const QString problem = options.calibration.errorString();
    if (!problem.isEmpty())
        return problem;
    for (float factor : options.calibration.factors) {
        if (!(std::fabs(factor) > 0.0f) || !std::isfinite(factor))
            return QStringLiteral("calibration factor %1 cannot scale a signal").arg(double(factor));
    }
    if (!options.start.isValid())
        return QStringLiteral("the acquisition start is not a valid time");
    if (options.trace && options.truth)
        return QStringLiteral("a recording plays either the analysis folder's rhythm or the ground truth's");
    return QString();
}

} // namespace

bool writeSyntheticRecording(const QString &folder, const SynthOptions &options,
                             SynthSummary *summary, QString *error)
{
    *summary = SynthSummary();
    const QString problem = checkOptions(options);
    if (!problem.isEmpty()) {
        *error = problem;
        return false;
    }
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    const quint32 durationMs = quint32(std::llround(options.hours * 3.6e6 / TickMs)) * TickMs;
    const quint32 fileMs = std::max<quint32>(TickMs, quint32(std::llround(options.fileMinutes * 60000.0 / TickMs)) * TickMs);
    summary->durationMs = durationMs;

    Random random(options.seed * 0x2545F4914F6CDD1Dull + 1);
    const Physiology body(options, durationMs, random);
    // A ground-truth recording draws its own patient; the other recordings keep the standard one.
    std::mt19937_64 patient(options.seed * 0x9E3779B97F4A7C15ull + 7);
    const Morphology shapes = options.truth ? variedMorphology(patient) : standardMorphology();
    Heart heart(body, random, shapes);
    summary->gaps = options.dropOuts ? planGaps(durationMs, random) : QVector<SynthGap>();
    std::unique_ptr<SynthRhythmPlan> plan;
    std::unique_ptr<SynthEctopyPlan> ectopy;
    std::unique_ptr<EcgNoise> noiseModel;
    if (options.trace) {
        SynthTrace &trace = *options.trace;
        trace = SynthTrace();
        trace.durationMs = durationMs;
        trace.start = options.start;
        trace.gaps = summary->gaps;
        for (std::size_t a = 0; a < body.activityCount(); ++a)
            trace.postures.append({body.activity(a).start, postureLabel(body.activity(a))});
        plan = std::make_unique<SynthRhythmPlan>(durationMs, summary->gaps);
        heart.setRhythm(plan.get(), &trace.beats, false);
    } else if (options.truth) {
        *options.truth = SynthTruth();
        float stGain[LeadCount];
        stLeadGains(shapes, stGain);
        ectopy = std::make_unique<SynthEctopyPlan>(durationMs, summary->gaps, options.seed, stGain);
        noiseModel = std::make_unique<EcgNoise>(patient, *ectopy, options.seed);
        heart.setRhythm(ectopy.get(), &options.truth->beats, true);
    }

    std::vector<Segment> segments;
    quint32 begin = 0;
    bool newFiles = true;
    for (const SynthGap &gap : summary->gaps) {
        segments.push_back({begin, gap.start, newFiles});
        begin = gap.stop;
        newFiles = gap.newFiles;
    }
    segments.push_back({begin, durationMs, newFiles});

    QByteArray log = "FW_VERSION:3.4.2\r\nDEVICE:TAVO_0417\r\n";
    log += "ID_SESSIONE:" + options.sessionId.toLatin1() + "\r\n";
    log += "GAIN:" + QByteArray::number(options.calibration.gain) + "\r\n";
    log += "SD_FREE_MB:15120\r\n";
    log += "START_ACQ:" + logTime(options.start, 0) + "\r\n";

    Card card(folder, random, *summary);
    const float gain = float(options.calibration.gain);
    double breathPhase = 0.0;
    quint32 nextFileAt = 0;
    std::size_t activityIndex = 0;
    for (std::size_t s = 0; s < segments.size(); ++s) {
        const Segment &segment = segments[s];
        if (s > 0) {
            const SynthGap &gap = summary->gaps[int(s) - 1];
            log += "START_MISSING_DATA:" + logTime(options.start, gap.start) + "\r\n";
            log += "STOP_MISSING_DATA:" + logTime(options.start, gap.stop) + "\r\n";
            log += "NOTE:clock restarted: 0 ms\r\n";
        }
        for (quint32 r = segment.begin; r < segment.end; r += TickMs) {
            if ((r == segment.begin && segment.newFiles) || r >= nextFileAt) {
                if (!card.startFiles(error))
                    return false;
                nextFileAt = (r / fileMs + 1) * fileMs;
                log += QStringLiteral("NEW_FILE:s%1.txt,i%1.txt\r\n").arg(card.fileNumber()).toLatin1();
            }
            const quint32 device = r - segment.begin;
            const bool mayDamage = device >= EdgeMs && r + EdgeMs < segment.end;
            while (activityIndex + 1 < body.activityCount() && body.activity(activityIndex + 1).start <= r)
                ++activityIndex;
            const Activity &activity = body.activity(activityIndex);
            const float exertion = float(body.exertion(r));
            breathPhase = std::fmod(breathPhase + TickMs * body.breathRate(r, exertion) / 60000.0, 1.0);
            // Breathing in for 40 % of the cycle, out for the rest; 0..1.
            const float wave = breathPhase < 0.4 ? float(0.5 - 0.5 * std::cos(Pi * breathPhase / 0.4))
                                                 : float(0.5 + 0.5 * std::cos(Pi * (breathPhase - 0.4) / 0.6));
            const float motion = float(std::sin(2 * Pi * 1.8 * r / 1000.0));

            // Baseline wander with breathing and slow drift, motion artefacts while walking.
            float baseline[8];
            for (int c = 0; c < 8; ++c)
                baseline[c] = 0.05f * (wave - 0.5f) * (1.0f - 0.1f * c)
                              + 0.03f * float(std::sin(2 * Pi * r / 17000.0 + c)) + 0.04f * exertion * motion;
            const float noise = 0.012f + 0.03f * exertion;
            if (noiseModel)
                noiseModel->wander(baseline);
            for (quint32 e = 0; e < TickMs; e += 2) {
                const Vec3 h = heart.vector(double(r + e), breathPhase);
                float values[8];
                for (int c = 0; c < 8; ++c)
                    values[c] = dot(shapes.leads[c], h) + baseline[c] + noise * random.gauss();
                if (noiseModel)
                    noiseModel->add(r + e, values);
                for (int c = 0; c < 8; ++c)
                    values[c] = values[c] * gain / options.calibration.factors[std::size_t(c)];
                card.ecg(device + e, values, mayDamage);
            }

            const float depth = body.breathDepth(r) * body.breathScale() * (1.0f + 0.4f * exertion);
            quint16 breath[5];
            for (int c = 0; c < 5; ++c) {
                const float value = body.breathBase(c) + 250.0f * float(std::sin(2 * Pi * r / 1.14e6 + c))
                                    + BreathAmplitudes[int(activity.posture)][c] * depth * (wave - 0.5f)
                                    + exertion * (150.0f * motion + 60.0f * random.gauss())
                                    + 12.0f * random.gauss();
                breath[c] = quint16(std::clamp(value, 0.0f, 65535.0f));
            }
            card.breath(device, breath, mayDamage);

            Vec3 up = activity.up;
            if (activityIndex > 0 && r - activity.start < 2000) {
                const float u = float(r - activity.start) / 2000.0f;
                up = normalized((1.0f - u) * body.activity(activityIndex - 1).up + u * up);
            }
            Vec3 reading = CountsPerG * up;
            reading.y += exertion * CountsPerG * 0.25f * motion;
            reading.x += exertion * CountsPerG * 0.08f * float(std::sin(Pi * 1.8 * r / 1000.0));
            if (activity.posture != Posture::Upright)
                reading.z += 60.0f * (wave - 0.5f);
            const qint16 axes[3] = {
                qint16(std::clamp(reading.x + 25.0f * random.gauss(), -32768.0f, 32767.0f)),
                qint16(std::clamp(reading.y + 25.0f * random.gauss(), -32768.0f, 32767.0f)),
                qint16(std::clamp(reading.z + 25.0f * random.gauss(), -32768.0f, 32767.0f)),
            };
            card.imu(device, axes, mayDamage);
        }
    }
    if (!card.closeFiles(error))
        return false;
    if (options.truth) {
        const QVector<SynthBeat> beats = options.truth->beats;
        *options.truth = ectopy->truth(durationMs, beats, summary->gaps);
    }
    log += "BATTERY:41\r\n";
    log += "STOP_ACQ:" + logTime(options.start, durationMs) + "\r\n";

    const QDir dir(folder);
    return writeText(dir.filePath(QStringLiteral("log.txt")), log, error)
           && writeText(dir.filePath(QStringLiteral("Puls.txt")),
                        oximeterExport(options, body, durationMs, random, &summary->oximeterLines), error);
}

bool writeSampleCapture(const QString &cardFolder, const QString &capturePath, QString *error)
{
    const QStringList parts = CardFolder(cardFolder).sampleFiles();
    if (parts.isEmpty()) {
        *error = QStringLiteral("%1 holds no s-file").arg(cardFolder);
        return false;
    }
    QFile capture(capturePath);
    if (!capture.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("cannot create %1: %2").arg(capturePath, capture.errorString());
        return false;
    }
    for (const QString &path : parts) {
        QFile part(path);
        if (!part.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(part.fileName(), part.errorString());
            return false;
        }
        const QByteArray bytes = part.readAll();
        if (capture.write(bytes) != bytes.size()) {
            *error = QStringLiteral("cannot write %1: %2").arg(capturePath, capture.errorString());
            return false;
        }
    }
    return true;
}
