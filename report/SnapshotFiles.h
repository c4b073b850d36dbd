#pragma once

// The snapshots of a session, kept for the report in the session folder's "snap" folder: each an
// image with a text file beside it holding the saving time, the width ratio and the note. User
// snapshots are named by their time ("Screenshot_<stamp>.bmp", "Text_<stamp>.txt"), event
// snapshots by the event's id ("Screenshot_evt_<id>.bmp", "Text_evt_<id>.txt"); the report pairs
// the files by these names. No widgets here.

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QVector>

struct SnapshotCapture {
    QImage image;
    // Width of the captured area over the width of one plot of its page: the report draws the
    // image ratio x 9.8425 inches wide, one plot 250 mm.
    double ratio = 1.0;
};

class SnapshotFolder
{
public:
    // Holds sessionFolder + "/snap".
    explicit SnapshotFolder(const QString &sessionFolder);
    QString path() const { return m_path; }

    // One user snapshot of one or more captures. The first is stamped with the time now, each
    // further one at least a second later, and a stamp whose image or text file exists already is
    // passed over a second at a time, so that nothing earlier is overwritten. False, with
    // errorString(), when the folder, an image or a text cannot be written: then no file of this
    // snapshot is left behind. `images` receives the image paths written.
    bool saveUserSnapshot(const QVector<SnapshotCapture> &captures, const QString &note, QStringList *images = nullptr);
    // The snapshot of an event, replacing an earlier one of the same event; on failure neither of
    // its two files is left.
    bool saveEventSnapshot(int eventId, const QImage &image, const QString &text, double ratio);
    // Removes an event's two files when there are any.
    void deleteEventSnapshot(int eventId);
    QString errorString() const { return m_error; }

    static QString stamp(const QDateTime &when); // "yyyyMMddhhmmss"
    // Line 1 the saving time "dd-MM-yyyy hh:mm:ss", line 2 the ratio, then the note.
    static QString textContent(const QDateTime &saved, double ratio, const QString &note);

private:
    bool makeFolder();
    // Writes the image and its text, or neither.
    bool writePair(const QString &imagePath, const QString &textPath, const QImage &image, const QString &text);

    QString m_path;
    QString m_error;
};
