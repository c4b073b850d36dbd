#pragma once

// A caliper laid on the ECG paper: its two legs (ms) and the heights of the two points it was
// opened between (mV on the paper's scale). It reads the interval, the rate that interval stands
// for and the difference of height; marched, it is walked one interval further to the right, as
// paper calipers are. Widget-free.

#include <QString>

struct Caliper {
    double startMs = 0;
    double endMs = 0;
    double startMv = 0;
    double endMv = 0;

    double intervalMs() const;
    // 60000 / interval; 0 for a caliper not opened.
    double rateBpm() const;
    double deltaMv() const { return endMv - startMv; }
    // "Δt 1000 ms  60 bpm  ΔmV +0.10"; no rate for a caliper not opened.
    QString figures() const;
    // The same opening, its left leg where the right one was.
    Caliper marched() const;
};
