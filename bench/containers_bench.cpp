// The library's containers against the standard library, in the same run: string-keyed map
// insert-then-lookup at several sizes (the fixed 17 buckets make large maps slow per lookup),
// and vector appends with the default growth of one element and with a growth of 1 000.
// Prints each time and its ratio to the standard container.
#include "containers/CVector.h"
#include "containers/hashMap.h"
#include "support/stubString.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

using textMap = hashMap<stubString, const wchar_t*, stubString, const wchar_t*>;

// Keeps results alive so the compiler cannot drop the measured work.
std::uint64_t checksum = 0;

double now() {
    LARGE_INTEGER counter{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Best of a few rounds, in seconds per round.
template <class WORK> double best(int rounds, WORK work) {
    double fastest = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const double start = now();
        work();
        fastest = std::min(fastest, now() - start);
    }
    return fastest;
}

std::vector<std::wstring> makeKeys(int n) {
    std::vector<std::wstring> keys;
    keys.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        keys.push_back(L"valueName_" + std::to_wstring(i * 7919));
    return keys;
}

void benchMaps() {
    std::printf("map insert-then-lookup, distinct keys (time per key)\n");
    std::printf("%8s %14s %14s %8s\n", "keys", "hashMap ns", "std ns", "ratio");
    for (int n : {10, 100, 1000, 10000}) {
        const std::vector<std::wstring> keys = makeKeys(n);
        const int repeats = std::max(1, 200000 / n);
        const int rounds = n >= 1000 ? 1 : 5;
        const double ours = best(rounds, [&] {
            for (int r = 0; r < repeats; ++r) {
                textMap map(10);
                for (const std::wstring& key : keys)
                    map.SetAt(key.c_str(), key.c_str());
                stubString value;
                for (const std::wstring& key : keys)
                    checksum += map.Lookup(key.c_str(), value)
                                    ? static_cast<std::uint64_t>(value.GetLength())
                                    : 0;
            }
        });
        const double standard = best(rounds, [&] {
            for (int r = 0; r < repeats; ++r) {
                std::unordered_map<std::wstring, std::wstring> map;
                for (const std::wstring& key : keys)
                    map[key] = key;
                for (const std::wstring& key : keys) {
                    auto found = map.find(key);
                    checksum += found != map.end() ? found->second.size() : 0;
                }
            }
        });
        const double perKey = 1e9 / (static_cast<double>(repeats) * n);
        std::printf("%8d %14.1f %14.1f %8.2f\n", n, ours * perKey, standard * perKey,
                    ours / standard);
    }
}

void benchVectors() {
    constexpr std::uint32_t values = 100000;
    const double standard = best(5, [] {
        std::vector<std::uint32_t> vector;
        for (std::uint32_t i = 0; i < values; ++i)
            vector.push_back(i);
        checksum += vector.back();
    });
    std::printf("\nvector append of %u values (whole run)\n", values);
    std::printf("%18s %12s %8s\n", "", "ms", "ratio");
    std::printf("%18s %12.3f %8s\n", "std::vector", standard * 1e3, "1.00");
    for (int growBy : {1, 1000}) {
        const double ours = best(growBy == 1 ? 1 : 5, [growBy] {
            CVector<std::uint32_t> vector;
            vector.SetGrowBy(growBy);
            for (std::uint32_t i = 0; i < values; ++i)
                vector.Add(i);
            checksum += vector.GetAt(values - 1);
        });
        std::printf("%12s %5d %12.3f %8.2f\n", "CVector growBy", growBy, ours * 1e3,
                    ours / standard);
    }
}

} // namespace

int wmain() {
    benchMaps();
    benchVectors();
    std::printf("\n(checksum %llu)\n", static_cast<unsigned long long>(checksum));
    return 0;
}
