#pragma once

// The workstation's own analysis of a decoded session folder: reads ecg.txt and imu.txt as streams
// (a few megabytes held whatever the length) and writes the analysis folder "ANALISI" beside them
// as the review reads it: annotations_fusion.pt, split_<lead>.txt for the twelve leads,
// positions.txt and origin.txt, which says that this analysis wrote it and by which criteria. The
// folder appears whole or not at all; a folder another tool wrote is never touched. Widget-free.

#include "analysis/BeatEpisodes.h"

#include <QString>

#include <functional>

class SessionAnalysis
{
public:
    static constexpr char FolderName[] = "ANALISI";
    static constexpr char OriginFileName[] = "origin.txt";
    // The first line of origin.txt.
    static constexpr char Origin[] = "TavoKRN automatic analysis";

    enum class Existing { None, Own, Foreign };
    // What the session folder holds as its analysis folder (an empty folder counts as none).
    static Existing existing(const QString &sessionFolder);

    struct Counts {
        qint64 beats = 0, normal = 0, ventricular = 0, supraventricular = 0;
        int pauses = 0;
        int episodes[5] = {}; // by EpisodeKind
        double analysableHours[LeadCount] = {};
        double recordingHours = 0;
    };

    // Called with the share done (0..1); false cancels.
    using Progress = std::function<bool(double)>;

    // Analyses the session and writes its folder. replaceOwn: a folder this analysis wrote before
    // is replaced; without it, any existing folder is refused. False with errorString(), or with
    // wasCanceled(), and nothing left behind.
    bool run(const QString &sessionFolder, bool replaceOwn, const Progress &progress = Progress());

    QString errorString() const { return m_error; }
    bool wasCanceled() const { return m_canceled; }
    const Counts &counts() const { return m_counts; }
    QString analysisFolder() const { return m_folder; }

private:
    bool analyse(const QString &sessionFolder, const QString &target, const Progress &progress);

    QString m_error;
    QString m_folder;
    bool m_canceled = false;
    Counts m_counts;
};
