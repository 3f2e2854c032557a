// A system DLL's name on a file an attacker planted beside a program: once loaded it leaves a
// marker file in the current folder. The program looks its functions up, so it needs none.
#include <cstdio>

extern "C" int __stdcall DllMain(void*, unsigned long reason, void*) {
    if (reason == 1) { // process attach
        if (std::FILE* marker = std::fopen("planted-dll-loaded", "w"))
            std::fclose(marker);
    }
    return 1;
}
