#pragma once
// Watches what the settings code allocates while an allocationWatch exists: blocks from the C++
// heap (this test program replaces the global operator new) and the blocks that records take
// (through the record heap seam). It counts live and peak bytes and can make the nth allocation
// of either kind fail (operator new then throws std::bad_alloc). One watch at a time, one thread;
// records made inside a watch must be released inside it, and records made outside it outside.
class allocationWatch {
public:
    allocationWatch();
    ~allocationWatch();
    allocationWatch(const allocationWatch&) = delete;
    allocationWatch& operator=(const allocationWatch&) = delete;

    // 1: the next allocation fails; 0 cancels.
    void failAllocation(unsigned n);
    bool failurePending() const;
    long long liveBytes() const;
    long long peakBytes() const;
    void resetPeak();
};
