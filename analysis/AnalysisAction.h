#pragma once

// The workstation's analysis as the clinician starts it from the review page ("Analisi
// automatica"): a folder another tool wrote is left alone, one this analysis wrote is replaced only
// when the clinician says so, and the analysis runs on a worker thread behind a progress dialog
// whose "Annulla" stops it with nothing left behind. Widget-free: the boxes go through the prompts.

#include "common/Prompts.h"

#include <QString>

class AnalysisAction
{
public:
    static constexpr int ProgressSteps = 1000;
    static constexpr int ProgressIntervalMs = 100; // how often the dialog follows the worker

    explicit AnalysisAction(Prompts &prompts) : m_prompts(prompts) {}

    // True when the session's "ANALISI" folder was written anew and can be loaded.
    bool run(const QString &sessionFolder);

private:
    Prompts &m_prompts;
};
