#pragma once
// Test seam of the support heap: make an allocation fail on purpose and count the blocks that
// are still allocated. Off unless a tarnHeapSeam object exists; while off, every allocation pays
// one flag test. One seam at a time, used from one thread.

class tarnHeapSeam {
public:
    // Switches the seam on: live blocks count from zero, no failure planned.
    tarnHeapSeam();
    // Switches it off and drops a planned failure that did not happen.
    ~tarnHeapSeam();

    tarnHeapSeam(const tarnHeapSeam&) = delete;
    tarnHeapSeam& operator=(const tarnHeapSeam&) = delete;

    // The nth tarnHeapAlloc or tarnHeapReAlloc from now (1: the next one), on any heap, returns
    // null without allocating; 0 cancels the plan.
    void failAllocation(unsigned n);
    // True while a planned failure has not happened yet.
    bool failurePending() const;
    // Blocks of the support heap allocated minus blocks freed since the seam was switched on.
    long liveBlocks() const;
};
