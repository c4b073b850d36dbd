#pragma once

// Closing a reviewed session with its report: the PDF is written first, then the session is
// marked "ANALYZED" with the report's path and its author. Widget-free, shared by the workstation
// and tavokrn-tool; the callers tell the user.

#include "report/ReportBuilder.h"

#include <QString>

class Database;
class DesktopOpener;
class Prompts;

class SessionReport
{
public:
    enum class Result {
        Done,              // PDF written, session "ANALYZED" in the database
        PdfNotWritten,     // nothing changed
        SessionNotUpdated, // the PDF is there, the session keeps its old status
    };

    // Writes the report of input.session and stores that session as analysed.
    Result generate(const ReportInput &input, Database &db, const QString &dataFolder);
    QString errorString() const { return m_error; }
    QString pdfPath() const { return m_builder.pdfPath(); }
    int pageCount() const { return m_builder.pageCount(); }

    // The report's path as stored: relative to the data folder in use, so that the data folder
    // can move (or be another one, --data-dir) without losing the report.
    static QString reportPathName(const QString &dataFolder, const QString &sessionFolder);
    // Where the stored report of a session is; empty when the session has none.
    static QString reportFile(const QString &dataFolder, const SessionRecord &session);

private:
    ReportBuilder m_builder;
    QString m_error;
};

// Opens the stored report of an analysed session with the desktop's viewer; a missing file or a
// desktop without a viewer gets its box. False when nothing was opened.
bool openSessionReport(const QString &dataFolder, const SessionRecord &session, DesktopOpener &desktop,
                       Prompts &prompts);
