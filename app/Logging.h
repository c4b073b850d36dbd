#pragma once

namespace Logging {
// Diagnostics go to standard output, switched to unbuffered so that lines appear at once (and on
// Windows also to the debugger's log).
void install();
}
