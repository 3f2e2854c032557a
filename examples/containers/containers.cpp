// Containers example: the string-keyed hash map and the growable vector.
#include "../consoleText.h"
#include "containers/CVector.h"
#include "containers/hashMap.h"
#include "support/stubString.h"

#include <cstdio>
#include <map>
#include <string>

int main() {
    const utf8Console console;
    // guide: hash-map
    // Keys are stubStrings looked up by const wchar_t*; entries come in blocks of 16.
    hashMap<stubString, const wchar_t*, unsigned int, unsigned int> wordCounts(16);
    wordCounts.InitHashTable(31, TRUE); // 31 buckets, kept for the map's whole life
    for (const wchar_t* word : {L"red", L"green", L"red", L"blue", L"red"})
        wordCounts[word] += 1; // a missing key is inserted with 0 first

    unsigned int reds = 0;
    if (wordCounts.Lookup(L"red", reds))
        std::printf("red: %u\n", reds);
    std::printf("%d words in %u buckets:", wordCounts.GetCount(), wordCounts.GetHashTableSize());
    for (const auto& [word, times] : wordCounts) // the order of GetNextAssoc
        std::printf(" %s=%u", utf8(static_cast<const wchar_t*>(word)).c_str(), times);
    std::printf("\n");

    // A std::map copy, keys as std::wstring, in key order.
    const std::map<std::wstring, unsigned int> sorted = wordCounts.toStdMap();
    std::printf("sorted:");
    for (const auto& [word, times] : sorted)
        std::printf(" %s=%u", utf8(word).c_str(), times);
    std::printf("\n");
    // guide end

    // guide: vector
    CVector<int> squares;
    squares.SetInitialSize(4); // the first Add allocates room for 4
    squares.SetGrowBy(8);      // every later growth adds room for 8
    for (int i = 0; i < 10; ++i) {
        if (squares.Add(i * i) != CVector<int>::addDone) {
            std::printf("out of memory\n");
            return 1;
        }
    }
    if (!squares.Reserve(100, FALSE)) { // room for 100 without changing the count
        std::printf("out of memory\n");
        return 1;
    }
    std::printf("%u squares, the last %d, past the end %d\n", squares.GetCount(),
                squares.GetAt(squares.GetCount() - 1), squares.GetAt(100));
    // guide end
    return 0;
}
