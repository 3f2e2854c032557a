// The dialog's registry key chain: opened and closed again within one handler.
#include "app/DmDebugRegistryDlg.h"

#include "app/productRegistryKeys.h"
#include "support/uniqueResource.h"

namespace {

[[nodiscard]] LSTATUS createKey(HKEY parent, const wchar_t* name, REGSAM access, uniqueHkey& key) {
    DWORD disposition = 0;
    return ::RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                             key.put(), &disposition);
}

// Software\Tarnwick\Driftmarkx64 below parent; all three or none.
struct productChain {
    uniqueHkey software;
    uniqueHkey company;
    uniqueHkey product;

    [[nodiscard]] bool open(HKEY parent, REGSAM access) {
        return createKey(parent, softwareKeyName, access, software) == ERROR_SUCCESS &&
               createKey(software.get(), companyKeyName, access, company) == ERROR_SUCCESS &&
               createKey(company.get(), productKeyName, access, product) == ERROR_SUCCESS;
    }

    // Holders are destroyed in reverse order of declaration: product, company, software.
};

} // namespace

int CDmDebugRegistryDlg::openProductKey(int useLocalMachine, int forWriting) {
    const HKEY root = useLocalMachine != 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const REGSAM access = forWriting == 1 ? productKeyWriteAccess : productKeyReadAccess;
    productChain chain;
    if (!chain.open(root, access))
        return 0;
    closeProductKey();
    m_hSoftwareKey = chain.software.release();
    m_hCompanyKey = chain.company.release();
    m_hProductKey = chain.product.release();
    return 1;
}

int CDmDebugRegistryDlg::openDefaultUserProductKey() {
    uniqueHkey defaultUser;
    if (createKey(HKEY_USERS, defaultUserKeyName, productKeyWriteAccess, defaultUser) !=
        ERROR_SUCCESS)
        return 0;
    productChain chain;
    if (!chain.open(defaultUser.get(), productKeyWriteAccess))
        return 0;
    closeProductKey();
    m_hDefaultUserKey = defaultUser.release();
    m_hSoftwareKey = chain.software.release();
    m_hCompanyKey = chain.company.release();
    m_hProductKey = chain.product.release();
    return 1;
}

void CDmDebugRegistryDlg::closeProductKey() {
    for (HKEY* member : {&m_hProductKey, &m_hCompanyKey, &m_hSoftwareKey, &m_hDefaultUserKey}) {
        if (*member != nullptr)
            ::RegCloseKey(*member);
        *member = nullptr;
    }
}
