#pragma once

#include <QString>

// Where the workstation keeps its database and session folders: one folder for everything, so
// that a copy of it is a whole backup.
struct DataFolder
{
    enum class Source { Option, Environment, ProgramFolder, UserFolder };

    // What the choice depends on.
    struct Facts
    {
        QString option;               // --data-dir
        QString environment;          // TAVOKRN_DATA_DIR
        QString programFolder;        // the folder the executable runs from
        bool programFolderWritable = false;
        QString installedFolder;      // the folder an installation puts the executable in
        QString userFolder;           // the per-user application data folder
        // The facts of this process: its environment, its executable's folder, the folder it is
        // installed into (fixed at build time) and QStandardPaths::AppDataLocation.
        static Facts ofThisProcess(const QString &option);
    };

    QString path; // absolute, without a trailing separator
    Source source = Source::ProgramFolder;

    // --data-dir first, then TAVOKRN_DATA_DIR; otherwise "DATA" beside the program when it runs
    // from a folder of its own it may write to (a build tree, a copied folder), and "DATA" in the
    // per-user application data folder for an installed program, which cannot write beside
    // itself.
    static DataFolder choose(const Facts &facts);
    // How the folder was chosen, for the log.
    QString describe() const;
};
