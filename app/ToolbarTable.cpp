#include "app/ToolbarTable.h"

#include <QDebug>
#include <QWidget>

#include <iterator>

namespace {

using ToolbarTable::Row;
constexpr ToolbarTable::Shown S = ToolbarTable::Shown::Show;
constexpr ToolbarTable::Shown H = ToolbarTable::Shown::Hide;
constexpr ToolbarTable::Shown _ = ToolbarTable::Shown::Keep;

// Columns: start-up, patient list, live page, review page; then, on the review page, a session
// not yet analysed, an analysed one, and a nurse on one not yet analysed.
const Row rows[] = {
    //                             start intro live review  open analyzed nurse
    {"buttonBack",              {  H,    H,    S,   S,      _,    _,       _ }},
    {"buttonStartSession",      {  H,    H,    S,   H,      _,    _,       _ }},
    {"buttonFiilters",          {  H,    H,    H,   H,      _,    _,       _ }},
    {"buttonExport",            {  H,    H,    H,   _,      S,    H,       H }},
    {"buttonViewPdf",           {  H,    H,    H,   _,      H,    S,       _ }},
    {"buttonSnapshot",          {  H,    H,    H,   _,      S,    H,       H }},
    {"breath",                  {  H,    H,    S,   H,      _,    _,       _ }},
    {"framebreath",             {  _,    H,    S,   H,      _,    _,       _ }},
    {"frameecg",                {  _,    H,    S,   H,      _,    _,       _ }},
    {"buttonplayecg",           {  _,    _,    S,   _,      _,    _,       _ }},
    {"buttonplaybreath",        {  _,    _,    S,   _,      _,    _,       _ }},
    {"buttonstopecg",           {  _,    _,    S,   _,      _,    _,       _ }},
    {"buttonstopbreath",        {  _,    _,    S,   _,      _,    _,       _ }},
    {"buttonPlay",              {  _,    H,    H,   H,      _,    _,       _ }},
    {"buttonStop",              {  _,    H,    H,   H,      _,    _,       _ }},
    {"framegain",               {  H,    H,    H,   H,      _,    _,       _ }},
    {"checkBoxAutoscale",       {  _,    H,    H,   S,      _,    _,       _ }},
    {"nameFrame",               {  _,    H,    S,   S,      _,    _,       _ }},
    {"frameScaleVis",           {  H,    H,    H,   S,      _,    _,       _ }},
    {"FrameDate",               {  _,    H,    H,   S,      _,    _,       _ }},
    {"frameGoTo",               {  H,    H,    H,   S,      _,    _,       _ }},
    {"frameBreathScale",        {  _,    H,    H,   S,      _,    _,       _ }},
    {"loadAnalysisPushButton",  {  _,    H,    H,   S,      _,    H,       _ }},
    {"buttonAutoAnalysis",      {  H,    H,    H,   S,      _,    H,       _ }},
    {"frameAddEvent",           {  _,    H,    H,   _,      S,    H,       _ }},
    {"buttonExportEdf",         {  H,    H,    H,   S,      _,    _,       _ }},
};

} // namespace

const Row *ToolbarTable::begin() { return std::begin(rows); }
const Row *ToolbarTable::end() { return std::end(rows); }

void ToolbarTable::apply(QWidget *toolbar, ToolbarState state)
{
    const int column = int(state);
    for (const Row &row : rows) {
        const Shown shown = row.shown[column];
        if (shown == Shown::Keep)
            continue;
        if (QWidget *control = toolbar->findChild<QWidget *>(row.control))
            control->setVisible(shown == Shown::Show);
        else
            qWarning().noquote() << "Toolbar has no control " + QString::fromLatin1(row.control);
    }
}
