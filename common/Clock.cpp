#include "common/Clock.h"

#include <QMutex>

namespace {

QMutex fixedLock;
QDateTime fixedTime; // invalid while the clock runs

} // namespace

QDateTime Clock::now()
{
    const QMutexLocker lock(&fixedLock);
    return fixedTime.isValid() ? fixedTime : QDateTime::currentDateTime();
}

qint64 Clock::nowSeconds() { return now().toSecsSinceEpoch(); }

void Clock::setFixed(const QDateTime &when)
{
    const QMutexLocker lock(&fixedLock);
    fixedTime = when;
}
