#pragma once

// The main of every test executable. On top of Qt Test it fails the running test on any warning
// or critical message and on any failing "[DB]" line that the test did not announce with
// expectMessage: a failed UPDATE or a Qt warning can then never pass a flow test silently.

#include <QRegularExpression>
#include <QtTest>

namespace krntest {

// Announces one message the code under test is to write; it is swallowed when it comes. An
// announced message that never came fails the run at its end.
void expectMessage(QtMsgType type, const char *text);
void expectMessage(QtMsgType type, const QRegularExpression &pattern);

// While it lives, any number of messages matching the pattern are swallowed: for code whose
// failures are logged a varying number of times (a damaged file read by several statements).
class AllowedMessages
{
public:
    AllowedMessages(QtMsgType type, const QRegularExpression &pattern);
    ~AllowedMessages();
    AllowedMessages(const AllowedMessages &) = delete;
    AllowedMessages &operator=(const AllowedMessages &) = delete;

private:
    int m_id;
};

// qInit, the guard, qRun, qCleanup.
int exec(QObject *test, int argc, char **argv);

} // namespace krntest

#define KRN_TEST_APPLESS_MAIN(TestObject)                                                                   \
    int main(int argc, char *argv[])                                                                        \
    {                                                                                                       \
        TestObject tc;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                          \
        return krntest::exec(&tc, argc, argv);                                                              \
    }

#define KRN_TEST_GUILESS_MAIN(TestObject)                                                                   \
    int main(int argc, char *argv[])                                                                        \
    {                                                                                                       \
        QCoreApplication app(argc, argv);                                                                   \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                            \
        TestObject tc;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                          \
        return krntest::exec(&tc, argc, argv);                                                              \
    }

// As Qt Test does: the richest application object the test links.
#if defined(QT_WIDGETS_LIB)
#include <QApplication>
#define KRN_TEST_APPLICATION QApplication
#elif defined(QT_GUI_LIB)
#include <QGuiApplication>
#define KRN_TEST_APPLICATION QGuiApplication
#else
#define KRN_TEST_APPLICATION QCoreApplication
#endif

#define KRN_TEST_MAIN(TestObject)                                                                           \
    int main(int argc, char *argv[])                                                                        \
    {                                                                                                       \
        KRN_TEST_APPLICATION app(argc, argv);                                                               \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                            \
        TestObject tc;                                                                                      \
        QTEST_SET_MAIN_SOURCE_PATH                                                                          \
        return krntest::exec(&tc, argc, argv);                                                              \
    }
