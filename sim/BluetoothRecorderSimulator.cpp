#include "sim/BluetoothRecorderSimulator.h"

#include "device/RecorderProtocol.h"
#include "device/SimulatorLink.h"
#include "import/FrameScanner.h"
#include "import/RecordingDecoder.h"
#include "sim/SyntheticRecorder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Length of the synthetic signals the stream plays in a loop.
constexpr double SignalLoopSeconds = 50;
constexpr int EcgPeriodMs = 2;
constexpr int BreathPeriodMs = 20;
// Longest sleep between two looks at the clock, the socket and the stop request.
constexpr int TickMs = 10;
// Unsent stream bytes beyond this mean nobody reads: the connection is dropped.
constexpr int MaxPendingBytes = 16 << 20;
constexpr int PreambleTimeoutMs = 5000;
constexpr int BusyWaitMs = 500;

void note(const QString &message) { std::fprintf(stderr, "recorder-bt: %s\n", qPrintable(message)); }

struct Signals {
    std::vector<std::array<float, 8>> ecgMv;
    std::vector<std::array<quint16, 5>> breath;
};

bool synthesiseSignals(Signals *out, QString *error);

// Plays a short synthetic recording, decoded back to millivolts, in a loop. Made once per process.
bool makeSignals(Signals *out, QString *error)
{
    static QMutex mutex;
    static Signals made;
    const QMutexLocker lock(&mutex);
    if (made.ecgMv.empty() && !synthesiseSignals(&made, error))
        return false;
    *out = made;
    return true;
}

bool synthesiseSignals(Signals *out, QString *error)
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        *error = QStringLiteral("no temporary folder for the signals");
        return false;
    }
    SynthOptions options;
    options.hours = SignalLoopSeconds / 3600.0;
    options.calibration.gain = 1;
    options.calibration.factors = BluetoothRecorderSimulator::calibrationFactors();
    SynthSummary summary;
    if (!writeSyntheticRecording(dir.path(), options, &summary, error))
        return false;
    SampleList ecg, breath;
    for (const QString &path : CardFolder(dir.path()).sampleFiles()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1").arg(file.fileName());
            return false;
        }
        parseSampleChunk(file.readAll(), ecg, breath);
    }
    for (const SampleRecord &r : ecg) {
        std::array<float, 8> mv;
        for (int c = 0; c < 8; ++c)
            mv[std::size_t(c)] = r[std::size_t(c) + 1] * options.calibration.factors[std::size_t(c)];
        out->ecgMv.push_back(mv);
    }
    for (const SampleRecord &r : breath) {
        std::array<quint16, 5> values;
        for (int c = 0; c < 5; ++c)
            values[std::size_t(c)] = quint16(r[std::size_t(c) + 1]);
        out->breath.push_back(values);
    }
    if (out->ecgMv.empty() || out->breath.empty()) {
        *error = QStringLiteral("the synthetic recording holds no samples");
        return false;
    }
    return true;
}

// The commands by the names --silent-after takes, in the order its help lists them. The stream
// commands are named after their stream; those without one have NoStream.
constexpr int NoStream = -1;
struct NamedCommand {
    quint8 code;
    int stream;
    const char *name;
};
constexpr NamedCommand Commands[] = {
    {recorder::BatteryCode, NoStream, "battery"},
    {recorder::SessionInfoCode, NoStream, "sessioninfo"},
    {recorder::ClearSdCode, NoStream, "clearsd"},
    {recorder::SetTimeCode, NoStream, "settime"},
    {recorder::GainCode, NoStream, "gain"},
    {recorder::StartStreamCode, recorder::EcgStream, "startecg"},
    {recorder::StartStreamCode, recorder::BreathStream, "startbreath"},
    {recorder::StopStreamCode, recorder::EcgStream, "stopecg"},
    {recorder::StopStreamCode, recorder::BreathStream, "stopbreath"},
    {recorder::StartCalibrationCode, NoStream, "startcalibration"},
    {recorder::StopCalibrationCode, NoStream, "stopcalibration"},
    {recorder::CalibrationFactorCode, NoStream, "calibrationfactor"},
    {recorder::CalibrationRatioCode, NoStream, "calibrationratio"},
    {recorder::SessionIdCode, NoStream, "sessionid"},
    {recorder::StartRecordingCode, NoStream, "startrecording"},
};

// Empty for an unknown code. A stream command is the respiration one only with exactly that
// argument, the ECG one otherwise.
QString commandName(quint8 code, const QByteArray &payload)
{
    const bool breath = payload.size() == 3 && quint8(payload[2]) == recorder::BreathStream;
    for (const NamedCommand &command : Commands) {
        const bool streamMatches = command.stream == NoStream || (command.stream == recorder::BreathStream) == breath;
        if (command.code == code && streamMatches)
            return QLatin1String(command.name);
    }
    return QString();
}

qint64 elapsedMs(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

class BluetoothSimulatorServer
{
public:
    explicit BluetoothSimulatorServer(const BluetoothRecorderBehaviour &behaviour) : m_behaviour(behaviour)
    {
        m_cardStatus = behaviour.cardStatus;
        m_cardSession = behaviour.cardSession;
    }

    ~BluetoothSimulatorServer()
    {
        stop();
        if (m_recorder.joinable())
            m_recorder.join();
        for (int fd : {m_listen, m_stopPipe[0], m_stopPipe[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
    }

    bool listen(QString *error)
    {
        if (!makeSignals(&m_signals, error))
            return false;
        if (::pipe(m_stopPipe) != 0) {
            *error = QStringLiteral("pipe: %1").arg(std::strerror(errno));
            return false;
        }
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(m_behaviour.port);
        socklen_t size = sizeof address;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::listen(m_listen, 8) != 0
            || getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
            *error = QStringLiteral("cannot listen on port %1: %2").arg(m_behaviour.port).arg(std::strerror(errno));
            return false;
        }
        m_port = ntohs(address.sin_port);
        return true;
    }

    quint16 port() const { return m_port; }

    int run()
    {
        for (;;) {
            pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR)
                    continue;
                note(QStringLiteral("poll: %1").arg(std::strerror(errno)));
                return 1;
            }
            if (fds[1].revents)
                return 0;
            const int fd = ::accept(m_listen, nullptr, nullptr);
            if (fd >= 0)
                serve(fd);
        }
    }

    void stop()
    {
        m_stopping = true;
        if (m_stopPipe[1] >= 0) {
            const char byte = 0;
            [[maybe_unused]] const ssize_t put = ::write(m_stopPipe[1], &byte, 1);
        }
    }

    quint64 framesSent(Stream stream) const { return m_sent[stream == Stream::Ecg ? 0 : 1]; }
    quint64 framesCorrupted() const { return m_corrupted; }

    QByteArray cardSession() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_cardSession;
    }
    int cardStatus() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_cardStatus;
    }
    QString lastCardFolder() const
    {
        const QMutexLocker lock(&m_mutex);
        return m_lastCardFolder;
    }

private:
    // One connection: the device list and refusals are answered at once, the recorder gets a thread
    // of its own until the connection ends.
    void serve(int fd)
    {
        timeval timeout{PreambleTimeoutMs / 1000, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        uchar preamble[simulator::PreambleSize];
        int got = 0;
        while (got < simulator::PreambleSize) {
            const ssize_t n = ::recv(fd, preamble + got, size_t(simulator::PreambleSize - got), 0);
            if (n <= 0)
                break;
            got += int(n);
        }
        const quint64 address = got == simulator::PreambleSize ? qFromBigEndian<quint64>(preamble) : ~0ull;
        if (address == simulator::ListRequest) {
            QByteArray list;
            for (const SimulatedDevice &d : BluetoothRecorderSimulator::devices())
                list += QString::number(d.address, 16).toUpper().rightJustified(12, '0').toLatin1() + '\t'
                        + (d.serialPort ? "green" : "red") + '\t' + d.name.toUtf8() + '\n';
            [[maybe_unused]] const ssize_t put = ::send(fd, list.constData(), size_t(list.size()), MSG_NOSIGNAL);
            ::close(fd);
            return;
        }
        // A workstation that has just dropped its connection may be back before its session ended.
        bool expected = false;
        for (int waited = 0; address == BluetoothRecorderSimulator::RecorderAddress && m_busy && waited < BusyWaitMs;
             waited += TickMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(TickMs));
        if (address != BluetoothRecorderSimulator::RecorderAddress || !m_busy.compare_exchange_strong(expected, true)) {
            note(QStringLiteral("connection to %1 refused").arg(address, 12, 16, QLatin1Char('0')));
            [[maybe_unused]] const ssize_t put = ::send(fd, &simulator::Refused, 1, MSG_NOSIGNAL);
            ::close(fd);
            return;
        }
        [[maybe_unused]] const ssize_t put = ::send(fd, &simulator::Accepted, 1, MSG_NOSIGNAL);
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        note(QStringLiteral("workstation connected"));
        if (m_recorder.joinable())
            m_recorder.join(); // the previous connection's thread, which has ended
        m_recorder = std::thread([this, fd] {
            Session(*this, fd).run();
            ::close(fd);
            note(QStringLiteral("workstation disconnected"));
            m_busy = false;
        });
    }

    // The recorder while one workstation is connected.
    class Session
    {
    public:
        Session(BluetoothSimulatorServer &server, int fd) : m_server(server), m_fd(fd) {}

        void run()
        {
            const auto start = std::chrono::steady_clock::now();
            while (!m_server.m_stopping && !m_closed) {
                pollfd fds[2] = {{m_fd, short(POLLIN | (m_pending.isEmpty() ? 0 : POLLOUT)), 0},
                                 {m_server.m_stopPipe[0], POLLIN, 0}};
                if (::poll(fds, 2, TickMs) < 0 && errno != EINTR)
                    return;
                if (fds[1].revents) {
                    finish();
                    return;
                }
                if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                    char buffer[512];
                    const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
                    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                        return;
                    if (n > 0) {
                        m_input.append(buffer, int(n));
                        handleCommands();
                    }
                }
                stream(elapsedMs(start));
                if (!flush())
                    return;
            }
        }

    private:
        // Stray bytes, frames that are not commands and frames with a wrong check byte are dropped.
        void handleCommands()
        {
            const auto isCommand = [](quint8 group, quint8 type, const QByteArray &payload) {
                return group == recorder::CommandGroup && type == recorder::CommandType && !payload.isEmpty();
            };
            while (const std::optional<QByteArray> payload = envelope::takeFrame(m_input, isCommand))
                answer(*payload);
        }

        void answer(const QByteArray &payload)
        {
            const quint8 code = quint8(payload[0]);
            const QString name = commandName(code, payload);
            if (!name.isEmpty() && name == m_server.m_behaviour.silentAfter) {
                note(name + QStringLiteral(" left unanswered"));
                return;
            }
            const BluetoothRecorderBehaviour &b = m_server.m_behaviour;
            switch (code) {
            case recorder::BatteryCode: {
                const QMutexLocker lock(&m_server.m_mutex);
                reply(recorder::reply(code, QByteArray(1, char(b.battery)) + char(m_server.m_cardStatus)));
                break;
            }
            case recorder::SessionInfoCode: {
                const QMutexLocker lock(&m_server.m_mutex);
                const QByteArray id = m_server.m_cardSession.left(recorder::SessionIdSize)
                                          .leftJustified(recorder::SessionIdSize, '\0');
                shortReply(recorder::reply(code, QByteArray(2, '\0') + id));
                break;
            }
            case recorder::ClearSdCode:
                if (m_wrongClearSdAcks < b.wrongClearSdAcks) {
                    ++m_wrongClearSdAcks;
                    shortReply(recorder::reply(0xF6));
                } else {
                    const QMutexLocker lock(&m_server.m_mutex);
                    m_server.m_cardStatus = 0;
                    m_server.m_cardSession.clear();
                    shortReply(recorder::reply(code));
                    note(QStringLiteral("card cleared"));
                }
                break;
            case recorder::SetTimeCode:
                if (payload.size() == 7) {
                    note(QStringLiteral("clock set to %1/%2/%3 %4:%5:%6")
                             .arg(int(payload[1])).arg(int(payload[2])).arg(int(payload[3]))
                             .arg(int(payload[4])).arg(int(payload[5])).arg(int(payload[6])));
                    reply(recorder::reply(code, payload.mid(1)));
                }
                break;
            case recorder::GainCode:
                if (payload.size() == 4) {
                    quint8 g = quint8(payload[3]);
                    if (b.wrongGainEcho)
                        g = quint8((g + 1) % 8);
                    else if (recorder::gainOfCode(g) > 0)
                        m_gainCode = g;
                    reply(recorder::reply(code, payload.mid(1, 2) + char(g)));
                    note(QStringLiteral("gain %1").arg(recorder::gainOfCode(m_gainCode)));
                }
                break;
            case recorder::StartStreamCode:
            case recorder::StopStreamCode:
                if (payload.size() == 3) {
                    const bool on = code == recorder::StartStreamCode;
                    if (!on && m_server.m_behaviour.ignoreStop) {
                        note(name + QStringLiteral(" ignored"));
                        break;
                    }
                    (quint8(payload[2]) == recorder::BreathStream ? m_breathOn : m_ecgOn) = on;
                    if (on)
                        reply(recorder::reply(code, payload.mid(1)));
                    note(name);
                }
                break;
            case recorder::StartCalibrationCode:
                m_calibrating = true;
                shortReply(recorder::reply(code));
                note(QStringLiteral("calibration mode"));
                break;
            case recorder::StopCalibrationCode:
                m_calibrating = false;
                reply(recorder::reply(code));
                break;
            case recorder::CalibrationFactorCode:
                reply(recorder::calibrationValues(code, BluetoothRecorderSimulator::calibrationFactors()));
                break;
            case recorder::CalibrationRatioCode:
                reply(recorder::calibrationValues(
                    code, BluetoothRecorderSimulator::calibrationRatios(recorder::gainOfCode(m_gainCode))));
                break;
            case recorder::SessionIdCode:
                if (payload.size() == 1 + recorder::SessionIdSize) {
                    m_sessionId = payload.mid(1);
                    QByteArray echo = m_sessionId;
                    if (b.wrongSessionIdEcho)
                        echo[echo.size() - 1] = echo[echo.size() - 1] == '0' ? '1' : '0';
                    shortReply(recorder::reply(code, echo));
                    note(QStringLiteral("session identifier %1").arg(QString::fromLatin1(m_sessionId)));
                }
                break;
            case recorder::StartRecordingCode:
                reply(recorder::reply(code));
                flush();
                startRecording();
                break;
            default:
                note(QStringLiteral("unknown command %1").arg(QString::fromLatin1(payload.toHex(' '))));
            }
        }

        void startRecording()
        {
            const QByteArray id = m_sessionId;
            {
                const QMutexLocker lock(&m_server.m_mutex);
                m_server.m_cardStatus = 1;
                m_server.m_cardSession = id;
            }
            const BluetoothRecorderBehaviour &b = m_server.m_behaviour;
            if (b.out.isEmpty()) {
                note(QStringLiteral("recording %1 started (no card folder: no --out)").arg(QString::fromLatin1(id)));
                return;
            }
            const QString folder = QDir(b.out).filePath(id.isEmpty() ? QStringLiteral("card") : QString::fromLatin1(id));
            SynthOptions options;
            options.hours = b.recordSeconds / 3600.0;
            options.sessionId = QString::fromLatin1(id);
            options.calibration.gain = recorder::gainOfCode(m_gainCode);
            options.calibration.factors = BluetoothRecorderSimulator::calibrationFactors();
            options.start = QDateTime::currentDateTime();
            options.start.setTime(QTime(options.start.time().hour(), options.start.time().minute(),
                                        options.start.time().second()));
            SynthSummary summary;
            QString error;
            if (!writeSyntheticRecording(folder, options, &summary, &error)) {
                note(QStringLiteral("cannot write the card folder %1: %2").arg(folder, error));
                return;
            }
            const QMutexLocker lock(&m_server.m_mutex);
            m_server.m_lastCardFolder = folder;
            note(QStringLiteral("recording %1 started; card folder %2").arg(QString::fromLatin1(id), folder));
        }

        // The frames that have fallen due on the recorder's clock.
        void stream(qint64 nowMs)
        {
            const Signals &s = m_server.m_signals;
            while (m_nextEcgMs <= nowMs) {
                // A recorder without a calibration signal sends no ECG frames in calibration mode.
                if (m_ecgOn && !(m_calibrating && m_server.m_behaviour.noCalibrationSignal)) {
                    const std::array<float, 8> &mv = s.ecgMv[m_ecgIndex++ % s.ecgMv.size()];
                    const float gain = float(recorder::gainOfCode(m_gainCode));
                    const int period = std::max(2 * EcgPeriodMs, m_server.m_behaviour.calibrationPeriodMs);
                    const bool high = m_nextEcgMs % period < period / 2;
                    const float pulse = float(m_server.m_behaviour.calibrationPulseMv);
                    QByteArray values;
                    for (int c = 0; c < 8; ++c) {
                        const float v = m_calibrating ? (high ? pulse : 0.0f)
                                                      : mv[std::size_t(c)];
                        uchar bytes[4];
                        qToBigEndian<float>(v * gain / m_factors[std::size_t(c)], bytes);
                        values.append(reinterpret_cast<const char *>(bytes), 4);
                    }
                    sample(Stream::Ecg, quint32(m_nextEcgMs), values);
                }
                m_nextEcgMs += EcgPeriodMs;
            }
            while (m_nextBreathMs <= nowMs) {
                if (m_breathOn) {
                    const std::array<quint16, 5> &v = s.breath[m_breathIndex++ % s.breath.size()];
                    QByteArray values;
                    for (quint16 value : v) {
                        uchar bytes[2];
                        qToBigEndian<quint16>(value, bytes);
                        values.append(reinterpret_cast<const char *>(bytes), 2);
                    }
                    sample(Stream::Breath, quint32(m_nextBreathMs), values);
                }
                m_nextBreathMs += BreathPeriodMs;
            }
        }

        void sample(Stream stream, quint32 time, const QByteArray &values)
        {
            if (m_closed)
                return;
            QByteArray payload(1, char(0xFF));
            payload.append(char(m_frameCounter++));
            uchar stamp[4];
            qToBigEndian<quint32>(time, stamp);
            payload.append(reinterpret_cast<const char *>(stamp), 4).append(values);
            QByteArray frame = envelope::frame(recorder::ValueGroup, recorder::SampleType, payload);
            const BluetoothRecorderBehaviour &b = m_server.m_behaviour;
            ++m_framesThisConnection;
            if (b.corruptEvery > 0 && m_framesThisConnection % b.corruptEvery == 0) {
                frame[frame.size() - 1] = char(frame[frame.size() - 1] ^ 0x01);
                ++m_server.m_corrupted;
            } else {
                ++m_server.m_sent[stream == Stream::Ecg ? 0 : 1];
            }
            m_pending.append(frame);
            if (b.closeAfterFrames > 0 && m_framesThisConnection >= b.closeAfterFrames) {
                flush();
                note(QStringLiteral("connection closed after %1 frames").arg(m_framesThisConnection));
                m_closed = true;
            }
        }

        void reply(const QByteArray &bytes) { m_pending.append(bytes); }
        // One of the replies some recorders send without their check byte.
        void shortReply(const QByteArray &frame)
        {
            reply(m_server.m_behaviour.shortReplies ? frame.left(frame.size() - 1) : frame);
        }

        // On stopping: what was counted as sent still goes out, if the workstation takes it soon.
        void finish()
        {
            for (int waited = 0; !m_pending.isEmpty() && waited < 1000; waited += TickMs) {
                if (!flush())
                    return;
                pollfd out{m_fd, POLLOUT, 0};
                ::poll(&out, 1, TickMs);
            }
        }

        // False when the workstation is gone or has stopped reading.
        bool flush()
        {
            while (!m_pending.isEmpty()) {
                const ssize_t put = ::send(m_fd, m_pending.constData(), size_t(m_pending.size()), MSG_NOSIGNAL);
                if (put < 0) {
                    if (errno == EAGAIN || errno == EINTR)
                        break;
                    return false;
                }
                m_pending.remove(0, int(put));
            }
            if (m_pending.size() > MaxPendingBytes) {
                note(QStringLiteral("nobody reads: connection dropped"));
                return false;
            }
            return true;
        }

        BluetoothSimulatorServer &m_server;
        int m_fd;
        // What every ECG frame is divided by.
        const std::vector<float> m_factors = BluetoothRecorderSimulator::calibrationFactors();
        QByteArray m_input;
        QByteArray m_pending;
        bool m_closed = false;
        bool m_ecgOn = false;
        bool m_breathOn = false;
        bool m_calibrating = false;
        quint8 m_gainCode = recorder::gainCode(recorder::DefaultGainPosition);
        int m_wrongClearSdAcks = 0;
        QByteArray m_sessionId;
        qint64 m_nextEcgMs = 0;
        qint64 m_nextBreathMs = 0;
        std::size_t m_ecgIndex = 0;
        std::size_t m_breathIndex = 0;
        quint8 m_frameCounter = 0;
        qint64 m_framesThisConnection = 0;
    };

    BluetoothRecorderBehaviour m_behaviour;
    Signals m_signals;
    int m_listen = -1;
    int m_stopPipe[2] = {-1, -1};
    quint16 m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_busy{false};
    std::atomic<quint64> m_sent[2] = {{0}, {0}};
    std::atomic<quint64> m_corrupted{0};
    std::thread m_recorder;
    mutable QMutex m_mutex; // the card
    int m_cardStatus = 0;
    QByteArray m_cardSession;
    QString m_lastCardFolder;
};

const std::vector<SimulatedDevice> &BluetoothRecorderSimulator::devices()
{
    static const std::vector<SimulatedDevice> list = {
        {RecorderAddress, QStringLiteral("TAVO_SIM01"), true},
        {0x0080E1000002ull, QStringLiteral("TAVO_SIM02"), false},
        {0x0080E1000003ull, QStringLiteral("tavo_x"), true},
        {0x001A7DDA7113ull, QStringLiteral("Phone"), true},
    };
    return list;
}

QStringList BluetoothRecorderSimulator::commandNames()
{
    QStringList names;
    for (const NamedCommand &command : Commands)
        names << QLatin1String(command.name);
    return names;
}

std::vector<float> BluetoothRecorderSimulator::calibrationFactors()
{
    std::vector<float> factors;
    for (int c = 0; c < 8; ++c)
        factors.push_back(0.0123457f * (1.0f + 0.01f * float(c - 4)));
    return factors;
}

std::vector<float> BluetoothRecorderSimulator::calibrationRatios(int gain)
{
    std::vector<float> ratios;
    for (float factor : calibrationFactors())
        ratios.push_back(CalibrationPulseMv * float(gain) / factor / factor);
    return ratios;
}

BluetoothRecorderSimulator::BluetoothRecorderSimulator(const BluetoothRecorderBehaviour &behaviour)
    : m_server(std::make_unique<BluetoothSimulatorServer>(behaviour))
{
}

BluetoothRecorderSimulator::~BluetoothRecorderSimulator() = default;

bool BluetoothRecorderSimulator::listen(QString *error) { return m_server->listen(error); }
quint16 BluetoothRecorderSimulator::port() const { return m_server->port(); }
QString BluetoothRecorderSimulator::address() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }
int BluetoothRecorderSimulator::run() { return m_server->run(); }
void BluetoothRecorderSimulator::stop() { m_server->stop(); }
quint64 BluetoothRecorderSimulator::framesSent(Stream stream) const { return m_server->framesSent(stream); }
quint64 BluetoothRecorderSimulator::framesCorrupted() const { return m_server->framesCorrupted(); }
QByteArray BluetoothRecorderSimulator::cardSession() const { return m_server->cardSession(); }
int BluetoothRecorderSimulator::cardStatus() const { return m_server->cardStatus(); }
QString BluetoothRecorderSimulator::lastCardFolder() const { return m_server->lastCardFolder(); }
