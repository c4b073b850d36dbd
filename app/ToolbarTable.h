#pragma once

class QWidget;

// Which controls of the session toolbar each page shows: one table, read by the main window
// whenever a page comes up. A page state shows some controls, hides others and leaves the rest as
// they were.
enum class ToolbarState {
    StartUp,        // the window has just been built
    PatientList,
    LivePage,
    ReviewPage,
    ReviewOpen,     // on top of ReviewPage: a session not yet analysed
    ReviewAnalyzed, // on top of ReviewPage: an analysed session, read-only
    ReviewNurse,    // on top of ReviewOpen for a user with restricted rights
};

namespace ToolbarTable {
inline constexpr int StateCount = 7;

enum class Shown : char { Keep, Show, Hide };

struct Row {
    const char *control; // object name of a toolbar child
    Shown shown[StateCount];
};

// Every row of the table, in toolbar order.
const Row *begin();
const Row *end();

// Shows and hides the toolbar's controls as the table says for that state. A control the table
// names but the toolbar lacks is reported in the log.
void apply(QWidget *toolbar, ToolbarState state);
} // namespace ToolbarTable
