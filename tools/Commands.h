#pragma once

#include <QStringList>

// Each command takes its own arguments (without the command name) and returns the exit code.
namespace tool {
int initDb(const QStringList &args);
int addUser(const QStringList &args);
int synth(const QStringList &args);
int decode(const QStringList &args);
int spo2(const QStringList &args);
int demoPatients(const QStringList &args);
int demoRecordings(const QStringList &args);
int recorderUsb(const QStringList &args);
int recorderBt(const QStringList &args);
int exportEdf(const QStringList &args);
int events(const QStringList &args);
int report(const QStringList &args);
}
