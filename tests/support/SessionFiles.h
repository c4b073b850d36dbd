#pragma once

// Files and whole session folders for tests.

#include "import/RecordingDecoder.h"
#include "sim/SyntheticAnalysis.h"
#include "sim/SyntheticRecorder.h"
#include "tests/support/TestDatabase.h"

#include <QByteArray>
#include <QString>

// Writes the bytes, making the parent folders; false when any of it fails.
bool writeFile(const QString &path, const QByteArray &bytes);
// The file's bytes; empty when it cannot be read.
QByteArray readFile(const QString &path);

// A synthetic recording as the recorder leaves it on its card and as an import leaves it in a
// session folder: the card written by the synthetic recorder (with the analysis tool's folder
// "ANALISI" inside it when asked for), then decoded by the decoder into as many session folders as
// a test needs, each with the oximeter's export and the analysis folder beside the decoded files.
class SyntheticSession
{
public:
    // Set before writeCard: length, seed, calibration, session identifier, start.
    SynthOptions options;

    bool writeCard(const QString &cardFolder, bool withAnalysis, QString *error);
    bool decodeInto(const QString &sessionFolder, QString *error, CardDecodeResult *decoded = nullptr) const;
    // Gives the stored session row its folder "<fiscal code>/<id>" under the data folder, as an
    // import does, and decodes the card there.
    bool decodeForSession(TestDatabase &data, SessionRecord &session, QString *error) const;

    QString analysisFolder() const { return m_card + QStringLiteral("/ANALISI"); }
    qint64 startSeconds() const { return options.start.toSecsSinceEpoch(); }

private:
    QString m_card;
    bool m_analysis = false;
};
