// reset: turns logging off and cleans up: the three values go, then the product key and the
// company key where nothing else is left in them.
#include "cli/commands.h"
#include "cli/loggingProfiles.h"
#include "cli/profileChanges.h"
#include "cli/profileExpiry.h"

#include "app/productRegistryKeys.h"
#include "support/uniqueResource.h"

namespace {

// Whether a key holds no values and no subkeys.
bool isEmptyKey(HKEY key) {
    DWORD subkeys = 0;
    DWORD values = 0;
    return ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                              nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

// Deletes the key name below parent when it is empty. ERROR_SUCCESS when it is gone or stays
// because it holds something; removed says which.
LSTATUS removeIfEmpty(HKEY parent, const wchar_t* name, bool& removed) {
    removed = false;
    {
        uniqueHkey key;
        const LSTATUS opened = ::RegOpenKeyExW(parent, name, 0, KEY_READ, key.put());
        if (opened == ERROR_FILE_NOT_FOUND)
            return ERROR_SUCCESS;
        if (opened != ERROR_SUCCESS)
            return opened;
        if (!isEmptyKey(key.get()))
            return ERROR_SUCCESS;
    }
    const LSTATUS status = ::RegDeleteKeyW(parent, name);
    removed = status == ERROR_SUCCESS;
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// The profile's Software key, or ERROR_FILE_NOT_FOUND when the profile has none.
LSTATUS openSoftwareKey(const loggingProfile& profile, uniqueHkey& software) {
    const std::wstring path =
        profile.base.empty() ? softwareKeyName : profile.base + L"\\" + softwareKeyName;
    return ::RegOpenKeyExW(profile.root, path.c_str(), 0, KEY_READ | KEY_WRITE, software.put());
}

bool resetProfile(const loggingProfile& profile, textOutput& out, textOutput& err) {
    const std::wstring key = productKeyFullName(profile);
    const std::wstring owner = ownerText(profile);
    const std::wstring whose = owner.empty() ? L"" : L" (" + owner + L")";
    const auto failed = [&](const std::wstring& what, LSTATUS status) {
        err.write(L"logsmithctl: " + what + L": " + systemErrorText(static_cast<DWORD>(status)) +
                  L"\n");
        if (profile.kind == profileKind::defaultUser && status == ERROR_ACCESS_DENIED)
            err.write(L"logsmithctl: run it from an elevated prompt, or give --scope user to "
                      L"change only your own settings\n");
        return false;
    };
    uniqueHkey software;
    LSTATUS status = openSoftwareKey(profile, software);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) {
        out.write(L"nothing to remove: " + key + whose + L"\n");
        return true;
    }
    if (status != ERROR_SUCCESS)
        return failed(L"cannot open " + key, status);
    int removed = 0;
    {
        uniqueHkey product;
        const std::wstring productPath = std::wstring(companyKeyName) + L"\\" + productKeyName;
        status = ::RegOpenKeyExW(software.get(), productPath.c_str(), 0, KEY_READ | KEY_WRITE,
                                 product.put());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            return failed(L"cannot open " + key, status);
        for (const wchar_t* name :
             {debugDataTransferValue, debugLogFileValue, debugLogFileWriteNewFileValue}) {
            if (!product)
                break;
            status = ::RegDeleteValueW(product.get(), name);
            if (status == ERROR_SUCCESS) {
                out.write(L"removed: " + key + L"\\" + name + whose + L"\n");
                ++removed;
            } else if (status != ERROR_FILE_NOT_FOUND) {
                return failed(L"cannot remove " + key + L"\\" + name, status);
            }
        }
    }
    uniqueHkey company;
    status =
        ::RegOpenKeyExW(software.get(), companyKeyName, 0, KEY_READ | KEY_WRITE, company.put());
    bool productRemoved = false;
    bool companyRemoved = false;
    if (status == ERROR_SUCCESS)
        status = removeIfEmpty(company.get(), productKeyName, productRemoved);
    company.reset();
    if (status == ERROR_SUCCESS)
        status = removeIfEmpty(software.get(), companyKeyName, companyRemoved);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return failed(L"cannot remove " + key, status);
    if (productRemoved)
        out.write(L"removed: " + key + whose + L"\n");
    if (companyRemoved)
        out.write(L"removed: " + key.substr(0, key.rfind(L'\\')) + whose + L"\n");
    if (removed == 0 && !productRemoved && !companyRemoved)
        out.write(L"nothing to remove: " + key + whose + L"\n");
    return true;
}

} // namespace

int resetCommand(const resetOptions& options, textOutput& out, textOutput& err) {
    if (refuseAllUsersWithoutElevation(options.scope, err))
        return exitFailure;
    const std::vector<expiryTarget> targets =
        expiryTargetsOfScope(options.scope, skipsDefaultProfile(options.scope, options.scopeGiven));
    const profileChanges changes = changeProfiles(
        options.scope, options.scopeGiven, options.includeNewUsers, out, err,
        [&](const loggingProfile& profile) { return resetProfile(profile, out, err); });
    // Nothing is left for a pending expiry to do; one that stays finds nothing to remove.
    (void)cancelPendingExpiries(changes.targets(targets, true), out, err);
    return changes.allChanged ? exitSuccess : exitFailure;
}
