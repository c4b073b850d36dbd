#pragma once

namespace krn {
// Registers the compiled-in resource bundles (safe to call more than once). The bundles live in
// a static library, so every executable that reads ":/..." paths calls this before using them.
void initResources();
}
