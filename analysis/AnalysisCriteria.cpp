#include "analysis/AnalysisCriteria.h"

QByteArray criteria::criteriaText()
{
    QByteArray text;
#define KRN_CRITERION(name) text += #name " = " + QByteArray::number(name) + '\n'
    KRN_CRITERION(SampleRateHz);
    KRN_CRITERION(QrsBandLowHz);
    KRN_CRITERION(QrsBandHighHz);
    KRN_CRITERION(ShapeBandLowHz);
    KRN_CRITERION(ShapeBandHighHz);
    KRN_CRITERION(EnergyWindowMs);
    KRN_CRITERION(QualityBlockMs);
    KRN_CRITERION(FlatRangeMv);
    KRN_CRITERION(StuckMs);
    KRN_CRITERION(NoiseFloorRatio);
    KRN_CRITERION(MinCleanShare);
    KRN_CRITERION(MinSegmentS);
    KRN_CRITERION(RefractoryMs);
    KRN_CRITERION(ThresholdShare);
    KRN_CRITERION(SearchBackShare);
    KRN_CRITERION(SearchBackAfterRr);
    KRN_CRITERION(TWaveWindowMs);
    KRN_CRITERION(TWaveSlopeShare);
    KRN_CRITERION(LeadCap);
    KRN_CRITERION(RunningRrBeats);
    KRN_CRITERION(PrematureRatio);
    KRN_CRITERION(PrematureFollowRatio);
    KRN_CRITERION(UnlikeCorrelation);
    KRN_CRITERION(UnlikeAmplitudeRatio);
    KRN_CRITERION(WiderThanTemplateMs);
    KRN_CRITERION(TemplateUpdateCorrelation);
    KRN_CRITERION(TemplateLearningBeats);
    KRN_CRITERION(NewTemplateBeats);
    KRN_CRITERION(PauseMs);
    KRN_CRITERION(MinRunCycles);
    KRN_CRITERION(MinTachycardiaBeats);
    KRN_CRITERION(TachycardiaBpm);
    KRN_CRITERION(BradycardiaRrBeats);
    KRN_CRITERION(BradycardiaBpm);
    KRN_CRITERION(BradycardiaMs);
    KRN_CRITERION(StAfterJMs);
    KRN_CRITERION(PrBaselineBeforeQrsMs);
    KRN_CRITERION(StReferenceMs);
    KRN_CRITERION(StShiftUv);
    KRN_CRITERION(StMinMs);
    KRN_CRITERION(StMergeMs);
    KRN_CRITERION(StBinMs);
    KRN_CRITERION(PositionMs);
    KRN_CRITERION(UprightCos);
    KRN_CRITERION(MovingG);
#undef KRN_CRITERION
    return text;
}
