#include "containers/hashString.h"

unsigned int hashString(const wchar_t* text) {
    unsigned int hash = 0;
    if (text == nullptr)
        return hash;
    for (; *text != L'\0'; ++text)
        hash = hash * 33 + static_cast<unsigned int>(static_cast<unsigned short>(*text));
    return hash;
}

unsigned int hashString(const char* text) {
    unsigned int hash = 0;
    if (text == nullptr)
        return hash;
    for (; *text != '\0'; ++text)
        hash = hash * 33 + static_cast<unsigned int>(static_cast<signed char>(*text));
    return hash;
}
