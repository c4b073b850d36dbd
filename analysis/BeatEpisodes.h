#pragma once

// The episodes of the beat analysis, found on the classified beats by the criteria of
// analysis/AnalysisCriteria.h, and the beat file that tells them: annotations_fusion.pt, one line
// per beat and the rhythm lines between them, so that the review's conversion stores exactly these
// episodes. Widget-free.

#include "analysis/EcgAnalyser.h"

#include <QByteArray>

#include <vector>

// What the rhythm criteria read of a beat.
struct RhythmBeat {
    qint64 ms = 0;
    char code = 'N';         // 'N', 'V' or 'S'
    bool afterBreak = false; // an unanalysable stretch lies between this beat and the one before
};

enum class EpisodeKind { Bigeminy, Trigeminy, VentricularTachycardia, Bradycardia, St };

struct Episode {
    EpisodeKind kind = EpisodeKind::Bigeminy;
    int first = 0;           // beat indices, both included
    int last = 0;
    int lead = -1;           // ST: the lead (lead table index) where the shift is largest
    int extremeUv = 0;       // ST: the largest shift there, signed
    int extremeBeat = -1;    // ST: the beat nearest to it
};

// The beats that end a pause: RR of at least PauseMs with nothing unanalysable in between.
std::vector<int> findPauses(const std::vector<RhythmBeat> &beats);
// Bigeminy, trigeminy, ventricular tachycardia and bradycardia, in order of their first beat.
std::vector<Episode> findRuns(const std::vector<RhythmBeat> &beats);
// ST episodes from the ST levels of the normal beats, each lead against its level of the first ten
// minutes after the first beat.
std::vector<Episode> findStEpisodes(const std::vector<AnalysedBeat> &beats);

std::vector<RhythmBeat> rhythmBeats(const std::vector<AnalysedBeat> &beats, const std::vector<quint8> &usableSeconds);

// annotations_fusion.pt: each beat "h:mm:ss.sss<TAB>sample<TAB>code<TAB>0<TAB>lead<TAB>0[<TAB>aux]",
// a pause on the beat that ends it ("(P)"), runs opened and closed by "+" lines, ST episodes by
// the beats where they change (code "s": "(ST", "AST0<uV>", "(N"). One episode is open at a time:
// where two overlap the first is closed when the second opens, and opened again when that ends.
QByteArray beatFileText(const std::vector<AnalysedBeat> &beats, const std::vector<int> &pauses,
                        const std::vector<Episode> &episodes);
