#include "tests/support/TestMain.h"

#include <QCoreApplication>
#include <QMutex>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

struct Expectation {
    QtMsgType type;
    QString text;               // exact text, when pattern is empty
    QRegularExpression pattern;
};

struct Allowance {
    int id;
    QtMsgType type;
    QRegularExpression pattern;
};

QMutex guardLock;
QList<Expectation> expectations;
QList<Allowance> allowances;
int nextAllowance = 0;
QStringList lateFailures; // unexpected messages from other threads, reported at the end
QtMessageHandler qtestHandler = nullptr;

// Failures the database layer logs: the statement, the open or the close did not happen.
bool isDatabaseFailure(const QString &message)
{
    return message.startsWith("[DB] Query execution error") || message.startsWith("[DB] Can't load database file")
        || message.startsWith("[DB] Can't set PRAGMAs") || message.startsWith("[DB] Error closing");
}

// What the offscreen platform says about itself while widgets are shown; not the code's doing.
bool isPlatformNoise(const QString &message)
{
    return message == QLatin1String("This plugin does not support propagateSizeHints()");
}

bool takeExpectation(QtMsgType type, const QString &message)
{
    const QMutexLocker lock(&guardLock);
    for (int i = 0; i < expectations.size(); ++i) {
        const Expectation &e = expectations[i];
        if (e.type != type)
            continue;
        if (e.pattern.pattern().isEmpty() ? e.text == message : e.pattern.match(message).hasMatch()) {
            expectations.removeAt(i);
            return true;
        }
    }
    for (const Allowance &a : qAsConst(allowances))
        if (a.type == type && a.pattern.match(message).hasMatch())
            return true;
    return false;
}

void guard(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (takeExpectation(type, message))
        return;
    qtestHandler(type, context, message);
    const bool unexpected =
        ((type == QtWarningMsg || type == QtCriticalMsg) && !isPlatformNoise(message)) || isDatabaseFailure(message);
    if (!unexpected)
        return;
    const QByteArray what = ("unexpected message: " + message).toLocal8Bit();
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        QTest::qFail(what.constData(), context.file ? context.file : __FILE__, context.file ? context.line : __LINE__);
    } else {
        const QMutexLocker lock(&guardLock);
        lateFailures << QString::fromLocal8Bit(what);
    }
}

} // namespace

void krntest::expectMessage(QtMsgType type, const char *text)
{
    const QMutexLocker lock(&guardLock);
    expectations.append({type, QString::fromUtf8(text), QRegularExpression()});
}

void krntest::expectMessage(QtMsgType type, const QRegularExpression &pattern)
{
    const QMutexLocker lock(&guardLock);
    expectations.append({type, QString(), pattern});
}

krntest::AllowedMessages::AllowedMessages(QtMsgType type, const QRegularExpression &pattern)
{
    const QMutexLocker lock(&guardLock);
    m_id = ++nextAllowance;
    allowances.append({m_id, type, pattern});
}

krntest::AllowedMessages::~AllowedMessages()
{
    const QMutexLocker lock(&guardLock);
    allowances.erase(std::remove_if(allowances.begin(), allowances.end(), [this](const Allowance &a) { return a.id == m_id; }),
                     allowances.end());
}

int krntest::exec(QObject *test, int argc, char **argv)
{
    QTest::qInit(test, argc, argv);
    // Qt Test's own handler is in place now: the guard goes in front of it.
    qtestHandler = qInstallMessageHandler(guard);
    int failures = QTest::qRun();
    qInstallMessageHandler(qtestHandler);
    QTest::qCleanup();

    const QMutexLocker lock(&guardLock);
    for (const QString &late : qAsConst(lateFailures))
        std::fprintf(stderr, "FAIL!  : %s (from a worker thread)\n", qPrintable(late));
    for (const Expectation &e : qAsConst(expectations))
        std::fprintf(stderr, "FAIL!  : announced message never came: %s\n",
                     qPrintable(e.pattern.pattern().isEmpty() ? e.text : e.pattern.pattern()));
    if (!lateFailures.isEmpty() || !expectations.isEmpty())
        failures = qMax(failures, 1);
    return failures;
}
