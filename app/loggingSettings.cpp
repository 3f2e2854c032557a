#include "app/loggingSettings.h"

#include "app/productRegistryKeys.h"
#include "platform/knownFolders.h"
#include "settings/readWriteSettingsToRegistry.h"

namespace {

[[nodiscard]] LSTATUS createKey(HKEY parent, const wchar_t* name, REGSAM access, uniqueHkey& key) {
    DWORD disposition = 0;
    return ::RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                             key.put(), &disposition);
}

} // namespace

LSTATUS productKeyChain::open(HKEY root, REGSAM access) {
    LSTATUS status = createKey(root, softwareKeyName, access, software);
    if (status == ERROR_SUCCESS)
        status = createKey(software.get(), companyKeyName, access, company);
    if (status == ERROR_SUCCESS)
        status = createKey(company.get(), productKeyName, access, product);
    return status;
}

LSTATUS defaultUserKeyChain::open() {
    const LSTATUS status =
        createKey(HKEY_USERS, defaultUserKeyName, productKeyWriteAccess, defaultUser);
    return status == ERROR_SUCCESS ? chain.open(defaultUser.get(), productKeyWriteAccess) : status;
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
