#include "app/loggingSettings.h"

#include "app/productRegistryKeys.h"
#include "platform/knownFolders.h"
#include "settings/readWriteSettingsToRegistry.h"

LSTATUS openProductKeyChain(registryKeyChain& chain, HKEY root, REGSAM access) {
    return chain.open(root, productKeyNames, access, keyChainMode::openOrCreate);
}

LSTATUS openDefaultUserProductKeyChain(registryKeyChain& chain) {
    return chain.open(HKEY_USERS, defaultUserProductKeyNames, productKeyWriteAccess,
                      keyChainMode::openOrCreate);
}

void readLoggingSettings(HKEY productKey, loggingSettings& settings) {
    readWriteSettingsToRegistry store;
    store.attachKey(productKey);
    store.readDword(debugDataTransferValue, settings.mode);
    store.readCString(debugLogFileValue, settings.fileName);
    store.readInt(debugLogFileWriteNewFileValue, settings.writeNewFile);
}

int writeLoggingSettings(HKEY productKey, const loggingSettings& settings) {
    readWriteSettingsToRegistry store;
    store.attachKey(productKey);
    const wchar_t* trace = loggingTracePath();
    // Every write is attempted, whatever happened to the ones before.
    const int modeWritten = store.writeDword(trace, debugDataTransferValue, settings.mode);
    const int fileWritten = store.writeCString(trace, debugLogFileValue, settings.fileName);
    const int flagWritten =
        store.writeInt(trace, debugLogFileWriteNewFileValue, settings.writeNewFile);
    return modeWritten && fileWritten && flagWritten;
}

CString defaultLogFileName() {
    return CString(getProductFolder(L"", L"dmDataLog")) + L"." + L"dmlog_x64";
}

CString defaultLogFileNameUncreated() {
    const CString folder = getProductFolderName(L"", L"dmDataLog");
    return folder.IsEmpty() ? folder : folder + L"." + L"dmlog_x64";
}

CString defaultLogFileNameUnder(const wchar_t* appData) {
    const CString folder = getProductFolderNameUnder(appData, L"", L"dmDataLog");
    return folder.IsEmpty() ? folder : folder + L"." + L"dmlog_x64";
}

const wchar_t* loggingTracePath() {
    return getCachedProductFilePath2(L"", L"Driftmark x64", L"dmLogUI_x64.txt");
}
