// Containers example: the string-keyed hash map and the growable vector.
#include "containers/CVector.h"
#include "containers/hashMap.h"
#include "support/stubString.h"

#include <cstdio>

int main() {
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
    stubString word;
    unsigned int times = 0;
    for (POSITION position = wordCounts.GetStartPosition(); position != nullptr;) {
        wordCounts.GetNextAssoc(position, word, times);
        std::printf(" %ls=%u", static_cast<const wchar_t*>(word), times);
    }
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
