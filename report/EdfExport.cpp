#include "report/EdfExport.h"

#include "db/Database.h"
#include "import/RecorderLog.h"
#include "import/RecordingFormat.h"
#include "review/data/EventStore.h"
#include "review/data/RecordingData.h"
#include "review/data/SignalTrace.h"

#include <edflib.h>

#include <QCryptographicHash>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryFile>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

// The twelve leads in the order viewers expect (I, II, III, aVR, aVL, aVF, V1..V6), as indices of
// the review's lead table, with their EDF+ labels.
struct LeadColumn {
    int lead;
    const char *label;
};
constexpr std::array<LeadColumn, leads::Count> LeadColumns{{{1, "ECG I"},
                                                            {2, "ECG II"},
                                                            {8, "ECG III"},
                                                            {9, "ECG aVR"},
                                                            {10, "ECG aVL"},
                                                            {11, "ECG aVF"},
                                                            {7, "ECG V1"},
                                                            {3, "ECG V2"},
                                                            {4, "ECG V3"},
                                                            {5, "ECG V4"},
                                                            {6, "ECG V5"},
                                                            {0, "ECG V6"}}};

// The respiration channels in record order, named as the review names them.
constexpr std::array<const char *, BreathChannels> BreathLabels{
    {"Resp Tor Sx", "Resp Tor Dx", "Resp Centro", "Resp Add Sx", "Resp Add Dx"}};

constexpr int EcgRate = EdfExport::DataRecordMs / int(EcgFormat.stepMs);
constexpr int BreathRate = EdfExport::DataRecordMs / int(BreathFormat.stepMs);

// A recorded value this large is not a measurement (a damaged float): it is written at this bound,
// which keeps every lead, the derived ones being at most twice a channel, within what the
// 8-character header fields can hold. Values that are not numbers are written as 0.
constexpr float LargestValue = 4999999.0f;

float sane(float value)
{
    if (!std::isfinite(value))
        return 0.0f;
    return std::clamp(value, -LargestValue, LargestValue);
}

// The twelve lead values of one ECG record, in file order: the review's formulas with nothing
// subtracted, each column's lead known when compiling (this runs for every sample of the day).
template <std::size_t... C>
void leadValues(const float *channels, double *out, std::index_sequence<C...>)
{
    static constexpr EcgMeans noMeans{};
    ((out[C] = leadValue(channels, noMeans, LeadColumns[C].lead)), ...);
}

void leadValues(const float *channels, double *out)
{
    leadValues(channels, out, std::make_index_sequence<leads::Count>());
}

// A decoded file read front to back in blocks of whole records.
template <int N>
class RecordStream
{
public:
    static constexpr int RecordSize = 4 + 4 * N;
    static constexpr int BlockRecords = (4 << 20) / RecordSize;

    explicit RecordStream(const QString &path) : m_file(path), m_block(std::size_t(BlockRecords) * RecordSize) {}
    bool open() { return m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    bool failed() const { return m_failed; }
    QString errorString() const { return m_file.errorString(); }
    qint64 recordCount() const { return m_file.size() / RecordSize; }

    bool atEnd()
    {
        return m_at == m_count && !refill();
    }
    qint64 time() const { return recordFileTime(record()); }
    void values(float *out) const
    {
        for (int k = 0; k < N; ++k)
            out[k] = sane(recordValue(record(), k));
    }
    void advance() { ++m_at; }

private:
    const uchar *record() const { return m_block.data() + m_at * RecordSize; }
    // Bytes of a record cut by a short read are carried to the front of the next block; a partial
    // record at the end of the file is left out.
    bool refill()
    {
        if (m_eof)
            return false;
        const std::size_t carried = m_filled - m_count * RecordSize;
        std::memmove(m_block.data(), m_block.data() + m_count * RecordSize, carried);
        m_filled = carried;
        while (m_filled < m_block.size()) {
            const qint64 n = m_file.read(reinterpret_cast<char *>(m_block.data()) + m_filled,
                                         qint64(m_block.size() - m_filled));
            if (n < 0)
                m_failed = true;
            if (n <= 0) {
                m_eof = true;
                break;
            }
            m_filled += std::size_t(n);
        }
        m_count = m_filled / RecordSize;
        m_at = 0;
        return m_count > 0;
    }

    QFile m_file;
    std::vector<uchar> m_block;
    std::size_t m_filled = 0;
    std::size_t m_count = 0;
    std::size_t m_at = 0;
    bool m_eof = false;
    bool m_failed = false;
};

// An oximeter series (ms from the acquisition start, value) as a record source of one value.
class SeriesStream
{
public:
    explicit SeriesStream(const QVector<QPair<int, int>> &series) : m_series(series) {}
    bool atEnd() const { return m_at == m_series.size(); }
    qint64 time() const { return m_series[m_at].first; }
    void values(float *out) const { out[0] = sane(float(m_series[m_at].second)); }
    void advance() { ++m_at; }

private:
    const QVector<QPair<int, int>> &m_series;
    int m_at = 0;
};

// The two decoded files a pass reads, opened as the export needs them.
struct DecodedStreams {
    RecordStream<8> ecg;
    RecordStream<5> breath;

    explicit DecodedStreams(const QString &folder)
        : ecg(folder + QLatin1Char('/') + QLatin1String(EcgFormat.fileName)),
          breath(folder + QLatin1Char('/') + QLatin1String(BreathFormat.fileName))
    {
    }
    // Empty when every file wanted is open, else why not.
    QString open(bool withEcg, bool withBreath)
    {
        if (withEcg && !ecg.open())
            return QStringLiteral("Impossibile leggere %1: %2").arg(EcgFormat.fileName, ecg.errorString());
        if (withBreath && !breath.open())
            return QStringLiteral("Impossibile leggere %1: %2").arg(BreathFormat.fileName, breath.errorString());
        return QString();
    }
};

// Puts a source's records on the even sample grid of its signal (see the header).
template <int N, class Source>
class SampleGrid
{
public:
    SampleGrid(Source &source, qint64 stepMs) : m_source(source), m_step(stepMs) {}

    const float *next()
    {
        const qint64 from = m_slot * m_step, to = from + m_step;
        ++m_slot;
        while (!m_source.atEnd() && m_source.time() < from)
            m_source.advance();
        if (!m_source.atEnd() && m_source.time() < to) {
            m_source.values(m_values);
            m_source.advance();
            m_held = 0;
            m_have = true;
        } else if (m_have && m_held < EdfExport::HeldSamples) {
            ++m_held;
        } else {
            std::fill(m_values, m_values + N, 0.0f);
            m_have = false;
        }
        return m_values;
    }

private:
    Source &m_source;
    qint64 m_step;
    qint64 m_slot = 0;
    float m_values[N] = {};
    int m_held = 0;
    bool m_have = false;
};

// The value of a series for every second of the recording.
QVector<float> perSecond(const QVector<QPair<int, int>> &series, qint64 seconds)
{
    SeriesStream source(series);
    SampleGrid<1, SeriesStream> grid(source, EdfExport::DataRecordMs);
    QVector<float> values(static_cast<int>(seconds));
    for (float &v : values)
        v = *grid.next();
    return values;
}

bool withinRecording(const QVector<QPair<int, int>> &series, qint64 lengthMs)
{
    return std::any_of(series.begin(), series.end(),
                       [&](const QPair<int, int> &point) { return point.first >= 0 && point.first < lengthMs; });
}

QString trimmedNumber(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

// edflib writes a header number by cutting its decimal expansion at the field's width, so a value
// held a hair below its decimal text (4.980001 is 4.98000099...) would lose its last digit. Handed
// over a hair away from zero, its expansion starts with exactly the digits of the text.
double forHeader(double value)
{
    return value == 0.0 ? value : value + std::copysign(std::max(std::fabs(value), 1.0) * 1e-12, value);
}

QString fileMd5(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

QString sessionIdentifier(const PatientRecord &patient, const SessionRecord &session)
{
    return QString::fromStdString(patient.fiscalCode) + QStringLiteral("%1").arg(session.id, 4, 10, QLatin1Char('0'));
}

} // namespace

// ---- rules ----------------------------------------------------------------------------------

std::optional<EdfAnnotation> EdfExport::eventAnnotation(const AnnotationRecord &row)
{
    static const QStringList reviewed{QStringLiteral("checked"), QStringLiteral("printed"), QStringLiteral("added"),
                                      QStringLiteral("addedprint")};
    const QString status = QString::fromStdString(row.m_status);
    const QString type = QString::fromStdString(row.m_type);
    if (!reviewed.contains(status) || type.isEmpty())
        return std::nullopt;
    EdfAnnotation annotation;
    annotation.onsetMs = row.m_dateStart;
    annotation.text = type;
    const qint64 length = row.m_dateEnd - row.m_dateStart;
    if (type == QLatin1String("maxfrequency") || type == QLatin1String("minfrequency"))
        annotation.text += QLatin1Char(' ') + QString::number(length / 1000);
    else if (length > 0)
        annotation.durationMs = length;
    return annotation;
}

QString EdfExport::headerNumber(double value)
{
    for (int decimals = 6; decimals >= 0; --decimals) {
        const QString text = trimmedNumber(value, decimals);
        if (text.size() <= 8)
            return text;
    }
    return QString::number(value, 'f', 0);
}

namespace {

// The value rounded away from the range's inside to the most decimals the field holds; the text a
// reader parses is what counts, so it steps outward until that bounds the value.
std::optional<double> headerBound(double value, bool upward)
{
    for (int decimals = 6; decimals >= 0; --decimals) {
        const double scale = std::pow(10.0, decimals);
        double units = upward ? std::ceil(value * scale) : std::floor(value * scale);
        QString text = trimmedNumber(units / scale, decimals);
        while (upward ? text.toDouble() < value : text.toDouble() > value)
            text = trimmedNumber((upward ? ++units : --units) / scale, decimals);
        if (text.size() <= 8)
            return text.toDouble();
    }
    return std::nullopt;
}

} // namespace

bool EdfExport::headerRange(double low, double high, double *headerLow, double *headerHigh)
{
    if (!std::isfinite(low) || !std::isfinite(high) || low > high)
        return false;
    // A flat signal (a lead without contact, a steady SpO2) gets one unit either side.
    if (low == high) {
        low -= 1.0;
        high += 1.0;
    }
    const std::optional<double> l = headerBound(low, false), h = headerBound(high, true);
    if (!l || !h)
        return false;
    *headerLow = *l;
    *headerHigh = *h;
    return true;
}

QByteArray EdfExport::headerText(const QString &text)
{
    QByteArray ascii;
    for (const QChar c : text.normalized(QString::NormalizationForm_D)) {
        if (c.unicode() >= 32 && c.unicode() < 127)
            ascii.append(char(c.unicode()));
    }
    return ascii.trimmed();
}

// ---- the session from the database ----------------------------------------------------------

bool EdfSessionInfo::read(Database &db, int sessionId, const QString &sessionFolder, EdfSessionInfo *info,
                          QString *error)
{
    std::vector<SessionRecord> sessions;
    if (!db.listSessions(std::string(), sessions)) {
        *error = QStringLiteral("Impossibile leggere le sessioni dal database: %1").arg(db.lastError());
        return false;
    }
    const auto session = std::find_if(sessions.begin(), sessions.end(),
                                      [sessionId](const SessionRecord &s) { return s.id == sessionId; });
    if (session == sessions.end()) {
        *error = QStringLiteral("La sessione %1 non è nel database").arg(sessionId);
        return false;
    }
    std::vector<PatientRecord> patients;
    if (!db.listPatients(std::string(), patients)) {
        *error = QStringLiteral("Impossibile leggere i pazienti dal database: %1").arg(db.lastError());
        return false;
    }
    const auto patient = std::find_if(patients.begin(), patients.end(), [&](const PatientRecord &p) {
        return p.fiscalCode == session->patientFC;
    });
    if (patient == patients.end()) {
        *error = QStringLiteral("Il paziente %1 della sessione %2 non è nel database")
                     .arg(QString::fromStdString(session->patientFC))
                     .arg(sessionId);
        return false;
    }
    // The rows of the analysis the review works on (keyed by the digest of its annotation file);
    // without that file, every row of the session.
    const QString source = fileMd5(sessionFolder + QStringLiteral("/ANALISI/annotations_fusion.pt"));
    std::vector<AnnotationRecord> rows;
    if (!listEventRows(db, sessionId, source, &rows)) {
        *error = QStringLiteral("Impossibile leggere gli eventi della sessione %1: %2").arg(sessionId).arg(db.lastError());
        return false;
    }
    info->session = *session;
    info->patient = *patient;
    info->events = std::move(rows);
    return true;
}

// ---- the export -----------------------------------------------------------------------------

struct EdfExport::Plan {
    RecordingData data;
    bool ecg = false;
    bool breath = false;
    qint64 lengthMs = 0;
    qint64 records = 0;
    QVector<float> spo2;  // per second, empty when the signal is left out
    QVector<float> pulse;
    QVector<int> offsets; // first sample of each signal in a data record
    int samplesPerRecord = 0;
    QString identifier;   // of the recorder's session, for the recording field
};

EdfExport::EdfExport(const QString &sessionFolder, EdfSessionInfo info)
    : m_folder(sessionFolder), m_info(std::move(info))
{
}

bool EdfExport::fail(const QString &message)
{
    m_error = message;
    return false;
}

bool EdfExport::prepare(Plan *plan)
{
    m_signals.clear();
    m_annotations.clear();
    m_missingAnnotations = 0;

    const QString ecgPath = m_folder + QLatin1Char('/') + QLatin1String(EcgFormat.fileName);
    const QString breathPath = m_folder + QLatin1Char('/') + QLatin1String(BreathFormat.fileName);
    if (!QFileInfo::exists(ecgPath) && !QFileInfo::exists(breathPath))
        return fail(QStringLiteral("La cartella %1 non contiene dati decodificati (%2, %3)")
                        .arg(m_folder, QLatin1String(EcgFormat.fileName), QLatin1String(BreathFormat.fileName)));

    // The start of the acquisition is the origin of every time in the file: the log's START_ACQ
    // (file time 0), or else the session's recording start.
    RecorderLog log;
    QString logError;
    const QString logPath = m_folder + QLatin1Char('/') + QLatin1String(SessionLogFileName);
    if (QFileInfo::exists(logPath) && !RecorderLog::read(logPath, &log, &logError))
        return fail(logError);
    if (m_info.patient && m_info.session && !log.sessionIds().isEmpty()) {
        const QString expected = sessionIdentifier(*m_info.patient, *m_info.session);
        if (log.sessionIds().last() != expected)
            return fail(QStringLiteral("La cartella %1 contiene la sessione %2 del registratore, non la sessione %3")
                            .arg(m_folder, log.sessionIds().last(), expected));
    }
    plan->identifier = log.sessionIds().isEmpty() ? QString() : log.sessionIds().last();
    if (m_info.patient && m_info.session)
        plan->identifier = sessionIdentifier(*m_info.patient, *m_info.session);
    qint64 origin = 0;
    if (log.acquisitionStart().isValid())
        origin = log.acquisitionStart().toSecsSinceEpoch();
    else if (m_info.session && m_info.session->startRecDate > 0)
        origin = m_info.session->startRecDate;
    else
        return fail(QStringLiteral("Inizio acquisizione sconosciuto: %1 non ha una riga START_ACQ").arg(logPath));

    m_start = QDateTime::fromSecsSinceEpoch(origin);
    if (m_start.date().year() < 1985 || m_start.date().year() > 2084)
        return fail(QStringLiteral("Inizio acquisizione fuori dagli anni che il formato EDF ammette: %1")
                        .arg(m_start.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"))));
    // The oximeter's times come from the same origin.
    if (!plan->data.load(m_folder, origin))
        return fail(plan->data.errorString());
    const RecordingData &data = plan->data;

    plan->ecg = data.ecgPresent();
    plan->breath = data.breathPresent();
    if (plan->ecg)
        plan->lengthMs = qint64(data.ecg().back().time) + EcgFormat.stepMs;
    if (plan->breath)
        plan->lengthMs = std::max(plan->lengthMs, qint64(data.breath().back().time) + BreathFormat.stepMs);
    plan->records = (plan->lengthMs + DataRecordMs - 1) / DataRecordMs;
    m_dataRecords = plan->records;
    if (withinRecording(data.spo2Series(), plan->lengthMs))
        plan->spo2 = perSecond(data.spo2Series(), plan->records);
    if (withinRecording(data.pulseSeries(), plan->lengthMs))
        plan->pulse = perSecond(data.pulseSeries(), plan->records);

    const auto add = [&](const QString &label, const char *dimension, int rate) {
        plan->offsets.append(plan->samplesPerRecord);
        plan->samplesPerRecord += rate;
        m_signals.append({label, QLatin1String(dimension), rate, 0, 0});
    };
    if (plan->ecg)
        for (const LeadColumn &column : LeadColumns)
            add(QLatin1String(column.label), "mV", EcgRate);
    if (plan->breath)
        for (const char *label : BreathLabels)
            add(QLatin1String(label), "", BreathRate);
    if (!plan->spo2.isEmpty())
        add(QStringLiteral("SpO2"), "%", 1);
    if (!plan->pulse.isEmpty())
        add(QStringLiteral("Pulse"), "bpm", 1);

    // Missing data first, then the reviewed events, each kept when it starts inside the recording.
    const auto inside = [&](const EdfAnnotation &a) { return a.onsetMs >= 0 && a.onsetMs < plan->lengthMs; };
    for (const MissingInterval &hole : data.missingIntervals()) {
        const EdfAnnotation a{qint64(hole.start), qint64(hole.stop) - qint64(hole.start), QLatin1String(MissingDataText)};
        if (a.durationMs > 0 && inside(a)) {
            m_annotations.append(a);
            ++m_missingAnnotations;
        }
    }
    for (const AnnotationRecord &row : m_info.events) {
        const std::optional<EdfAnnotation> a = eventAnnotation(row);
        if (a && inside(*a))
            m_annotations.append(*a);
        else if (a)
            qInfo().noquote() << "EDF export: event" << row.m_id << "outside the recording left out";
    }
    return true;
}

// The first pass: per signal, the extremes of the decoded values (the derived leads computed
// record by record) and 0, the filler of gaps and of the last data record's tail; for SpO2 and
// pulse, of their values second by second. Progress counts the first half of 2 x records.
bool EdfExport::scanExtremes(const Plan &plan, const Progress &progress, QVector<double> *low, QVector<double> *high)
{
    DecodedStreams files(m_folder);
    const QString unreadable = files.open(plan.ecg, plan.breath);
    if (!unreadable.isEmpty())
        return fail(unreadable);
    RecordStream<8> &ecgFile = files.ecg;
    RecordStream<5> &breathFile = files.breath;
    const qint64 all = std::max<qint64>(1, (plan.ecg ? ecgFile.recordCount() : 0) + (plan.breath ? breathFile.recordCount() : 0));
    qint64 seen = 0;
    // Reports every so many records, a few hundred times over a day.
    const auto counted = [&]() {
        if (++seen % 131072 != 0 || !progress || progress(plan.records * seen / all, 2 * plan.records))
            return true;
        m_canceled = true;
        return fail(QStringLiteral("Esportazione annullata"));
    };
    std::vector<double> lo(std::size_t(m_signals.size()), 0.0), hi(lo);
    std::size_t signal = 0;
    if (plan.ecg) {
        float values[8];
        double lead[leads::Count];
        for (; !ecgFile.atEnd(); ecgFile.advance()) {
            ecgFile.values(values);
            leadValues(values, lead);
            for (std::size_t c = 0; c < leads::Count; ++c) {
                lo[c] = std::min(lo[c], lead[c]);
                hi[c] = std::max(hi[c], lead[c]);
            }
            if (!counted())
                return false;
        }
        signal += leads::Count;
    }
    if (plan.breath) {
        float values[BreathChannels];
        for (; !breathFile.atEnd(); breathFile.advance()) {
            breathFile.values(values);
            for (std::size_t c = 0; c < BreathChannels; ++c) {
                lo[signal + c] = std::min(lo[signal + c], double(values[c]));
                hi[signal + c] = std::max(hi[signal + c], double(values[c]));
            }
            if (!counted())
                return false;
        }
        signal += BreathChannels;
    }
    for (const QVector<float> *series : {&plan.spo2, &plan.pulse}) {
        if (series->isEmpty())
            continue;
        const auto [least, most] = std::minmax_element(series->begin(), series->end());
        lo[signal] = *least;
        hi[signal++] = *most;
    }
    *low = QVector<double>(lo.begin(), lo.end());
    *high = QVector<double>(hi.begin(), hi.end());
    if (ecgFile.failed() || breathFile.failed())
        return fail(QStringLiteral("Lettura dei dati della sessione in %1 non riuscita").arg(m_folder));
    return true;
}

// The second pass: one data record of physical values for every signal, record by record, handed
// to `sink`. Progress counts the second half of 2 x records.
template <class Sink>
bool EdfExport::eachRecord(const Plan &plan, const Progress &progress, Sink sink)
{
    DecodedStreams files(m_folder);
    const QString unreadable = files.open(plan.ecg, plan.breath);
    if (!unreadable.isEmpty())
        return fail(unreadable);
    RecordStream<8> &ecgFile = files.ecg;
    RecordStream<5> &breathFile = files.breath;
    SampleGrid<8, RecordStream<8>> ecgGrid(ecgFile, EcgFormat.stepMs);
    SampleGrid<5, RecordStream<5>> breathGrid(breathFile, BreathFormat.stepMs);
    std::vector<double> record(std::size_t(plan.samplesPerRecord));
    std::vector<double *> column; // each signal's samples in the record
    for (int offset : plan.offsets)
        column.push_back(record.data() + offset);
    double lead[leads::Count];
    for (qint64 r = 0; r < plan.records; ++r) {
        std::size_t signal = 0;
        if (plan.ecg) {
            for (int i = 0; i < EcgRate; ++i) {
                leadValues(ecgGrid.next(), lead);
                for (std::size_t c = 0; c < leads::Count; ++c)
                    column[c][i] = lead[c];
            }
            signal += leads::Count;
        }
        if (plan.breath) {
            for (int i = 0; i < BreathRate; ++i) {
                const float *values = breathGrid.next();
                for (std::size_t c = 0; c < BreathChannels; ++c)
                    column[signal + c][i] = values[c];
            }
            signal += BreathChannels;
        }
        if (!plan.spo2.isEmpty())
            column[signal++][0] = plan.spo2[int(r)];
        if (!plan.pulse.isEmpty())
            column[signal++][0] = plan.pulse[int(r)];
        if (!sink(record))
            return false;
        if (progress && !progress(plan.records + r + 1, 2 * plan.records)) {
            m_canceled = true;
            return fail(QStringLiteral("Esportazione annullata"));
        }
    }
    if (ecgFile.failed() || breathFile.failed())
        return fail(QStringLiteral("Lettura dei dati della sessione in %1 non riuscita").arg(m_folder));
    return true;
}

bool EdfExport::write(const QString &outPath, const Progress &progress)
{
    m_error.clear();
    m_canceled = false;
    Plan plan;
    if (!prepare(&plan))
        return false;

    // Written beside the target under a name of its own, renamed when complete. The name is
    // reserved and freed again, so that edflib creates the file with the usual permissions.
    const QFileInfo target(outPath);
    QTemporaryFile reserved(target.absolutePath() + QLatin1Char('/') + QLatin1Char('.') + target.fileName()
                            + QStringLiteral(".XXXXXX.part"));
    if (!reserved.open())
        return fail(QStringLiteral("Impossibile creare il file %1: %2").arg(outPath, reserved.errorString()));
    const QString work = reserved.fileName();
    reserved.remove();

    const bool written = writeFile(work, plan, progress);
    if (written) {
        QFile::remove(outPath);
        if (QFile::rename(work, outPath))
            return true;
        m_error = QStringLiteral("Impossibile salvare il file %1").arg(outPath);
    }
    QFile::remove(work);
    return false;
}

bool EdfExport::writeFile(const QString &path, const Plan &plan, const Progress &progress)
{
    const int signalCount = m_signals.size();

    QVector<double> low, high;
    if (!scanExtremes(plan, progress, &low, &high))
        return false;
    for (int s = 0; s < signalCount; ++s) {
        if (!headerRange(low[s], high[s], &m_signals[s].physicalMinimum, &m_signals[s].physicalMaximum))
            return fail(QStringLiteral("Valori del segnale %1 non rappresentabili").arg(m_signals[s].label));
    }

    // Each annotation signal holds one annotation per data record.
    const qint64 annotationSignals = std::max<qint64>(1, (m_annotations.size() + plan.records - 1) / plan.records);
    if (annotationSignals > 64)
        return fail(QStringLiteral("Troppe annotazioni (%1) per una registrazione di %2 s")
                        .arg(m_annotations.size())
                        .arg(plan.records));

    const int handle = edfopen_file_writeonly(QFile::encodeName(path).constData(), EDFLIB_FILETYPE_EDFPLUS, signalCount);
    if (handle < 0)
        return fail(QStringLiteral("Impossibile creare il file EDF %1 (errore %2)").arg(path).arg(handle));
    bool ok = true;
    const auto check = [&ok](int result) { ok = ok && result == 0; };
    for (int s = 0; s < signalCount; ++s) {
        const EdfSignal &signal = m_signals[s];
        check(edf_set_samplefrequency(handle, s, signal.samplesPerRecord));
        check(edf_set_physical_maximum(handle, s, forHeader(signal.physicalMaximum)));
        check(edf_set_physical_minimum(handle, s, forHeader(signal.physicalMinimum)));
        check(edf_set_digital_maximum(handle, s, DigitalMaximum));
        check(edf_set_digital_minimum(handle, s, DigitalMinimum));
        check(edf_set_label(handle, s, signal.label.toLatin1().constData()));
        check(edf_set_physical_dimension(handle, s, signal.dimension.toLatin1().constData()));
    }
    const QDate day = m_start.date();
    const QTime clock = m_start.time();
    check(edf_set_startdatetime(handle, day.year(), day.month(), day.day(), clock.hour(), clock.minute(), clock.second()));
    if (m_info.patient) {
        const PatientRecord &patient = *m_info.patient;
        check(edf_set_patientcode(handle, headerText(QString::fromStdString(patient.fiscalCode)).constData()));
        check(edf_set_gender(handle, patient.isMale ? 1 : 0));
        const QDate birth = QDateTime::fromSecsSinceEpoch(patient.birthDate, Qt::UTC).date();
        check(edf_set_birthdate(handle, birth.year(), birth.month(), birth.day()));
        const QString name = QString::fromStdString(patient.surname) + QLatin1Char(' ') + QString::fromStdString(patient.name);
        check(edf_set_patientname(handle, headerText(name).constData()));
    }
    if (!plan.identifier.isEmpty())
        check(edf_set_admincode(handle, headerText(plan.identifier).constData()));
    if (m_info.session)
        check(edf_set_recording_additional(handle, QByteArray("Sessione ") + QByteArray::number(m_info.session->id)));
    check(edf_set_equipment(handle, Equipment));
    check(edf_set_number_of_annotation_signals(handle, int(annotationSignals)));
    if (!ok) {
        edfclose_file(handle);
        return fail(QStringLiteral("Intestazione del file EDF %1 non accettata").arg(path));
    }

    // Second pass: the samples, as 16-bit values on each signal's range.
    std::vector<short> digital(std::size_t(plan.samplesPerRecord));
    QVector<double> scale(signalCount);
    for (int s = 0; s < signalCount; ++s)
        scale[s] = double(DigitalMaximum - DigitalMinimum) / (m_signals[s].physicalMaximum - m_signals[s].physicalMinimum);
    const auto samples = [&](const std::vector<double> &values) {
        for (int s = 0; s < signalCount; ++s) {
            const int from = plan.offsets[s], to = from + m_signals[s].samplesPerRecord;
            const double base = m_signals[s].physicalMinimum, k = scale[s];
            // Values lie within the range, so the scaled ones are not below 0: adding one half and
            // truncating rounds them to the nearest step.
            for (int i = from; i < to; ++i) {
                const int d = int((values[std::size_t(i)] - base) * k + 0.5) + DigitalMinimum;
                digital[std::size_t(i)] = short(std::clamp(d, DigitalMinimum, DigitalMaximum));
            }
        }
        if (edf_blockwrite_digital_short_samples(handle, digital.data()) == 0)
            return true;
        return fail(QStringLiteral("Scrittura del file EDF %1 non riuscita").arg(path));
    };
    ok = eachRecord(plan, progress, samples);
    for (int i = 0; ok && i < m_annotations.size(); ++i) {
        const EdfAnnotation &a = m_annotations[i];
        // edflib counts annotation times in units of 100 microseconds.
        ok = edfwrite_annotation_utf8(handle, a.onsetMs * 10, a.durationMs < 0 ? -1 : a.durationMs * 10,
                                      a.text.toUtf8().constData()) == 0;
        if (!ok)
            fail(QStringLiteral("Annotazione non accettata: %1").arg(a.text));
    }
    if (edfclose_file(handle) != 0 && ok)
        return fail(QStringLiteral("Chiusura del file EDF %1 non riuscita").arg(path));
    return ok && checkHeader(path);
}

// A reader scales the samples by the header's numbers: they must be the ones the samples were
// converted with (readers parse decimal text to within a few units of the last binary place).
bool EdfExport::checkHeader(const QString &path)
{
    edf_hdr_struct header{};
    if (edfopen_file_readonly(QFile::encodeName(path).constData(), &header, EDFLIB_DO_NOT_READ_ANNOTATIONS) != 0)
        return fail(QStringLiteral("Il file EDF %1 scritto non si rilegge (errore %2)").arg(path).arg(header.filetype));
    bool same = header.edfsignals == m_signals.size();
    for (int s = 0; same && s < m_signals.size(); ++s) {
        const EdfSignal &signal = m_signals[s];
        const double tolerance = (signal.physicalMaximum - signal.physicalMinimum) * 1e-12;
        same = std::fabs(header.signalparam[s].phys_min - signal.physicalMinimum) <= tolerance
               && std::fabs(header.signalparam[s].phys_max - signal.physicalMaximum) <= tolerance;
    }
    edfclose_file(header.handle);
    return same || fail(QStringLiteral("Intestazione del file EDF %1 diversa da quella scritta").arg(path));
}
