#pragma once
// Process-wide objects are constructed before the entry point in one fixed order across files,
// and destroyed in reverse. Each layer declares its own start-up objects and ranks them within
// its band with startupOrder::rank: the band of a layer's level, which is above the level of
// every layer it uses, so an object never starts before one it may use. Mark each definition
// with LOGSMITH_STARTUP_ORDER(rank), so the order does not depend on the order in which the
// linker sees the files.
#ifndef RC_INVOKED

namespace startupOrder {

inline constexpr int levels = 10;
inline constexpr int positionsPerLevel = 100;

// The rank of the object at position (1 to 99) of a layer's band at level (0 to 9). The result
// stays within the range the compiler reserves for programs (101 to 65535); a level or position
// outside its band does not compile.
consteval int rank(int level, int position) {
    if (level < 0 || level >= levels || position < 1 || position >= positionsPerLevel)
        throw "start-up rank outside its band";
    return 30000 + level * positionsPerLevel + position;
}

} // namespace startupOrder

#if defined(__GNUC__)
#define LOGSMITH_STARTUP_ORDER(rank) __attribute__((init_priority(rank)))
#else
// Other compilers construct in link order: link the layers from the lowest level up there.
#define LOGSMITH_STARTUP_ORDER(rank)
#endif

#endif
