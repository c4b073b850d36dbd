#include "review/data/AnalysisResults.h"

#include "review/data/BeatFile.h"

#include <QDebug>
#include <QFile>

void AnalysisResults::clearFolderData()
{
    m_error.clear();
    m_positions.clear();
    m_positionsAvailable = false;
    for (int lead = 0; lead < leads::Count; ++lead) {
        m_splitSegments[lead].clear();
        m_splitAvailable[lead] = false;
    }
    m_annotationsAvailable = false;
    m_beats.clear();
    m_annotationCount = 0;
    m_normalCount = 0;
    m_heartRate = HeartRateTrend();
}

void AnalysisResults::clear()
{
    clearFolderData();
    m_events.clear();
}

AnalysisResults::Events AnalysisResults::load(const QString &folder, int sessionId, qint64 recordingStartSeconds,
                                              bool readOnly)
{
    clearFolderData();

    const QString positions = folder + "/positions.txt";
    m_positionsAvailable = QFile::exists(positions) && readPositionsFile(positions, recordingStartSeconds, &m_positions);
    if (m_positionsAvailable)
        qInfo().noquote() << " POSITION DATA READ " + QString::number(m_positions.size());

    // The events of an earlier folder go; the source stays until another beat file is read.
    m_events.list().clear();
    m_events.setSessionId(sessionId);

    for (int lead = 0; lead < leads::Count; ++lead) {
        const QString split = folder + "/split_" + leads::name(lead) + ".txt";
        if (!QFile::exists(split)) {
            qInfo().noquote() << "SPLIT NOT FOUND";
            continue;
        }
        qInfo().noquote() << "FOUND -- " + QString::number(lead);
        TimeSpans seconds;
        m_splitAvailable[lead] = readSplitFile(split, &seconds);
        for (const auto &segment : seconds)
            m_splitSegments[lead].append({segment.first * 1000.0, segment.second * 1000.0});
    }

    const QString annotations = folder + "/annotations_fusion.pt";
    if (!QFile::exists(annotations))
        return Events::NoFile;
    BeatFile file;
    if (!file.read(annotations)) {
        m_error = file.errorString();
        qInfo().noquote() << "ERROR";
        return Events::Unreadable;
    }
    m_annotationsAvailable = true;
    m_beats = file.beatList();
    m_annotationCount = file.annotationCount();
    m_normalCount = file.normalCount();
    m_heartRate = HeartRateTrend(m_beats);
    qInfo().noquote() << "ANNOTATIONS DONE";

    if (!m_events.load(sessionId, file, readOnly)) {
        m_error = m_events.errorString();
        return Events::Refused;
    }
    if (m_events.keptOtherRows())
        return Events::Kept;
    return m_events.wroteRows() ? Events::Written : Events::Reused;
}
