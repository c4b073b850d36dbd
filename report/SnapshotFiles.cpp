#include "report/SnapshotFiles.h"

#include "common/Clock.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSaveFile>

SnapshotFolder::SnapshotFolder(const QString &sessionFolder) : m_path(sessionFolder + "/snap") {}

QString SnapshotFolder::stamp(const QDateTime &when) { return when.toString(QStringLiteral("yyyyMMddhhmmss")); }

QString SnapshotFolder::textContent(const QDateTime &saved, double ratio, const QString &note)
{
    return saved.toString(QStringLiteral("dd-MM-yyyy hh:mm:ss")) + "\n" + QString::number(ratio) + "\n" + note;
}

bool SnapshotFolder::makeFolder()
{
    if (QDir().mkpath(m_path))
        return true;
    m_error = QStringLiteral("cannot create the folder %1").arg(m_path);
    return false;
}

bool SnapshotFolder::writePair(const QString &imagePath, const QString &textPath, const QImage &image,
                               const QString &text)
{
    // Each file is written aside and put in place whole; a pair that cannot be completed goes.
    QSaveFile imageFile(imagePath);
    if (!imageFile.open(QIODevice::WriteOnly) || !image.save(&imageFile, "BMP") || !imageFile.commit()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(imagePath, imageFile.errorString());
        return false;
    }
    QSaveFile textFile(textPath);
    const QByteArray bytes = text.toUtf8();
    if (!textFile.open(QIODevice::WriteOnly | QIODevice::Text) || textFile.write(bytes) != bytes.size()
        || !textFile.commit()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(textPath, textFile.errorString());
        QFile::remove(imagePath);
        QFile::remove(textPath);
        return false;
    }
    return true;
}

bool SnapshotFolder::saveUserSnapshot(const QVector<SnapshotCapture> &captures, const QString &note,
                                      QStringList *images)
{
    m_error.clear();
    if (images)
        images->clear();
    if (!makeFolder())
        return false;
    QStringList written;
    QDateTime when = Clock::now();
    for (int i = 0; i < captures.size(); ++i) {
        if (i > 0)
            when = when.addSecs(1);
        const auto imageOf = [this](const QDateTime &t) { return m_path + "/Screenshot_" + stamp(t) + ".bmp"; };
        const auto textOf = [this](const QDateTime &t) { return m_path + "/Text_" + stamp(t) + ".txt"; };
        while (QFile::exists(imageOf(when)) || QFile::exists(textOf(when)))
            when = when.addSecs(1);
        const QString imagePath = imageOf(when);
        const QString textPath = textOf(when);
        qInfo().noquote() << (i == 0 ? "ImageFile : " : "ImageFile0 : ") + imagePath;
        if (!writePair(imagePath, textPath, captures[i].image, textContent(when, captures[i].ratio, note))) {
            for (const QString &path : qAsConst(written))
                QFile::remove(path);
            return false;
        }
        written << imagePath << textPath;
        if (images)
            images->append(imagePath);
    }
    return true;
}

bool SnapshotFolder::saveEventSnapshot(int eventId, const QImage &image, const QString &text, double ratio)
{
    m_error.clear();
    if (!makeFolder())
        return false;
    const QString id = QString::number(eventId);
    return writePair(m_path + "/Screenshot_evt_" + id + ".bmp", m_path + "/Text_evt_" + id + ".txt", image,
                     textContent(Clock::now(), ratio, text));
}

void SnapshotFolder::deleteEventSnapshot(int eventId)
{
    if (!QDir(m_path).exists())
        return;
    const QString id = QString::number(eventId);
    QFile::remove(m_path + "/Screenshot_evt_" + id + ".bmp");
    QFile::remove(m_path + "/Text_evt_" + id + ".txt");
}
