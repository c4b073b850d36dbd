#include "review/data/ReviewSummaries.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <algorithm>

namespace {

const QString positionTemplate = QStringLiteral(
    "<b>STD</b> %1 <b>SIT</b> %2 <b>SUP</b> %3 <b>PRO</b> %4 <b>LXs</b> %5 <b>RXs</b> %6");
const QStringList positionLabels = {"STAND", "SIT", "SUPINE", "PRONE", "LEFT_SIDE", "RIGHT_SIDE"};

QString fillTemplate(const QStringList &texts)
{
    QString text = positionTemplate;
    for (int i = 0; i < texts.size(); ++i)
        text = text.arg(texts.at(i), -4, QLatin1Char(' '));
    return text;
}

} // namespace

QString oximetryMeanText(const QVector<QPair<int, int>> &series, double from, double length, double limit,
                         const QString &suffix)
{
    const double to = from + length;
    double sum = 0;
    int count = 0;
    for (const QPair<int, int> &entry : series) {
        if (entry.first > from && entry.first < to) {
            sum += entry.second;
            ++count;
        }
        if (entry.first > to)
            break;
    }
    if (count == 0)
        return QString::fromLatin1(NotAvailable);
    const double mean = sum / count;
    if (mean > limit)
        return QString::fromLatin1(NotAvailable);
    return QString::number(mean, 'f', 0) + suffix;
}

bool readPositionsFile(const QString &path, qint64 recordingStartSeconds, QVector<PositionEntry> *out)
{
    out->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QDate startDay = QDateTime::fromSecsSinceEpoch(recordingStartSeconds).date();
    int days = 0;
    int previousHour = -1;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().trimmed().split(QLatin1Char(';'));
        if (fields.size() != 2 || fields.at(0).size() < 6)
            continue;
        bool okH = false, okM = false, okS = false;
        const int hour = fields.at(0).mid(0, 2).toInt(&okH);
        const int minute = fields.at(0).mid(2, 2).toInt(&okM);
        const int second = fields.at(0).mid(4, 2).toInt(&okS);
        // A time that is no time of day ("256000") would land the entry decades off the recording.
        if (!okH || !okM || !okS || !QTime::isValid(hour, minute, second))
            continue;
        if (previousHour >= 0 && hour < previousHour)
            ++days;
        previousHour = hour;
        const QDateTime at(startDay.addDays(days), QTime(hour, minute, second));
        out->append({double(at.toSecsSinceEpoch() - recordingStartSeconds) * 1000.0, fields.at(1)});
    }
    return true;
}

QString positionSummaryText(const QVector<PositionEntry> &positions, double from, double length)
{
    const auto later = std::find_if(positions.begin(), positions.end(),
                                    [from](const PositionEntry &entry) { return entry.timeMs > from; });
    auto entry = later == positions.begin() ? positions.begin() : later - 1;
    const double to = from + length;
    int counts[6] = {};
    int counted = 0;
    for (; entry != positions.end() && entry->timeMs < to; ++entry) {
        ++counted;
        const int index = positionLabels.indexOf(entry->label);
        if (index >= 0)
            ++counts[index];
    }
    if (counted == 0)
        return emptyPositionSummary();
    QStringList shares;
    for (int count : counts)
        shares << QString::number(double(count) / counted * 100.0, 'f', 0) + QLatin1Char('%');
    return fillTemplate(shares);
}

QString emptyPositionSummary()
{
    return fillTemplate(QVector<QString>(6, QString::fromLatin1(NotAvailable)).toList());
}
