// The dialog's registry key chain: opened and closed again within one handler.
#include "app/DmDebugRegistryDlg.h"

#include "app/loggingSettings.h"
#include "app/productRegistryKeys.h"

int CDmDebugRegistryDlg::openProductKey(int useLocalMachine, int forWriting) {
    const HKEY root = useLocalMachine != 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const REGSAM access = forWriting == 1 ? productKeyWriteAccess : productKeyReadAccess;
    productKeyChain chain;
    if (chain.open(root, access) != ERROR_SUCCESS)
        return 0;
    closeProductKey();
    m_hSoftwareKey = chain.software.release();
    m_hCompanyKey = chain.company.release();
    m_hProductKey = chain.product.release();
    return 1;
}

int CDmDebugRegistryDlg::openDefaultUserProductKey() {
    defaultUserKeyChain keys;
    if (keys.open() != ERROR_SUCCESS)
        return 0;
    closeProductKey();
    m_hDefaultUserKey = keys.defaultUser.release();
    m_hSoftwareKey = keys.chain.software.release();
    m_hCompanyKey = keys.chain.company.release();
    m_hProductKey = keys.chain.product.release();
    return 1;
}

void CDmDebugRegistryDlg::closeProductKey() {
    for (HKEY* member : {&m_hProductKey, &m_hCompanyKey, &m_hSoftwareKey, &m_hDefaultUserKey}) {
        if (*member != nullptr)
            ::RegCloseKey(*member);
        *member = nullptr;
    }
}
