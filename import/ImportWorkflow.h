#pragma once

// Bringing a recording into an "OPEN" session: the recorder on a USB port first, the copy of its
// card otherwise (or as well), then the oximeter's export; the session and its patient end
// "LOADED". Every box and chooser goes through the prompts.

#include "common/Prompts.h"
#include "db/Records.h"
#include "import/RecordingFormat.h"

#include <QString>

#include <functional>

class CardFolder;
class Database;
class UsbDownload;
struct CardDecodeResult;
struct Calibration;

// The session to import into, as the window holds it.
struct ImportTarget {
    int sessionIndex = -1;
    SessionRecord session;
    PatientRecord patient;
    int userId = 0;          // the logged-in user
    QString dataFolder;      // holds one folder per patient, one per session inside
};

class ImportWorkflow
{
public:
    ImportWorkflow(Prompts &prompts, Database &database, UsbDownload &usb);

    // Wait cursor on (true) and off.
    void setBusyIndicator(std::function<void(bool)> busy);
    // Where the folder chooser starts.
    void setStartFolder(const QString &folder) { m_startFolder = folder; }

    // The whole import from the session tile's button. True only when a folder import was
    // completed; a USB download goes on after the return and reports through the UsbDownload.
    bool run(const ImportTarget &target);
    // The import from a copy of the recorder's card, chosen with the folder chooser.
    bool importFolder(const ImportTarget &target);

    // The patient's fiscal code and the session id padded to 4 digits ("...0007").
    static QString expectedSessionId(const ImportTarget &target);
    // Fiscal code + "/" + session id, under the data folder.
    static QString dataPathName(const ImportTarget &target);
    // Empty when the fiscal code cannot name a folder.
    static QString sessionFolder(const ImportTarget &target);

private:
    bool refuseWhileTransferring();
    void mismatch();
    bool startUsbImport(const ImportTarget &target, const QByteArray &log);
    // The checked card with the missing intervals of its log, on a worker thread.
    bool decodeCard(const CardFolder &card, const QVector<MissingInterval> &missingIntervals, const QString &folder,
                    const Calibration &calibration, CardDecodeResult *result, QString *error);
    // False when the step ended without SpO2 after an export that held no usable line.
    bool importSpo2(const ImportTarget &target, const QString &folder);
    bool tryOximeterFile(const ImportTarget &target, const QString &folder, bool *empty);

    Prompts &m_prompts;
    Database &m_database;
    UsbDownload &m_usb;
    QString m_startFolder;
    std::function<void(bool)> m_busy = [](bool) {};
    bool m_decoding = false; // a card is being decoded behind the progress dialog
};
