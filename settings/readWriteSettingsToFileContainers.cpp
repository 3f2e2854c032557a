// Collections held in the library's containers: number arrays, string arrays and the dll map.
// They come with the containers; until then these operations store and find nothing.
#include "settings/readWriteSettingsToFile.h"

int readWriteSettingsToFile::readUIntArray(CVector<unsigned int>&, const wchar_t*) {
    return 0;
}
int readWriteSettingsToFile::writeUIntArray(const wchar_t*, const CVector<unsigned int>&,
                                            const wchar_t*) {
    return 0;
}
int readWriteSettingsToFile::readStringArray(CPersistStubStringArray&, const wchar_t*) {
    return 0;
}
int readWriteSettingsToFile::writeStringArray(const wchar_t*, const CVector<stubString*>&,
                                              const wchar_t*) {
    return 0;
}
int readWriteSettingsToFile::readDllMap(stubStringToUIntMap&) {
    return 0;
}
int readWriteSettingsToFile::writeDllMap(const wchar_t*, const stubStringToUIntMap&) {
    return 0;
}
