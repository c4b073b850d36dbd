#pragma once

#include <QString>
#include <QStringList>

class Database;
struct SessionRecord;

// Each command takes its own arguments (without the command name) and returns the exit code.
namespace tool {
int initDb(const QStringList &args);
int addUser(const QStringList &args);
int passwd(const QStringList &args);
int users(const QStringList &args);
int synth(const QStringList &args);
int decode(const QStringList &args);
int spo2(const QStringList &args);
int demoPatients(const QStringList &args);
int demoRecordings(const QStringList &args);
int recorderUsb(const QStringList &args);
int recorderBt(const QStringList &args);
int recorderCheck(const QStringList &args);
int exportEdf(const QStringList &args);
int events(const QStringList &args);
int report(const QStringList &args);
int analyse(const QStringList &args);
int score(const QStringList &args);
}

// "tavokrn-tool COMMAND: MESSAGE" on standard error; returns the exit code, 1 when the work failed,
// 2 for a usage error.
int fail(const char *command, const QString &message, int exitCode = 1);

// Steps several commands share. Each prints what went wrong as fail() does and returns false;
// the command then exits with 2 for a SESSION_ID that is not one, with 1 otherwise.
bool parseSessionId(const char *command, const QString &text, int *sessionId);
bool openDatabase(const char *command, Database &db, const QString &file);
// The session of that id among those of `db`, opened from `file`.
bool findSession(const char *command, Database &db, const QString &file, int sessionId, SessionRecord *session);
