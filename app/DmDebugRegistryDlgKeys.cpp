// The dialog's registry key chain: opened and closed again within one handler.
#include "app/DmDebugRegistryDlg.h"

#include "app/loggingSettings.h"
#include "app/productRegistryKeys.h"

#include <initializer_list>
#include <vector>

namespace {

// Moves the keys of an opened chain into the dialog's members, first opened first.
void takeKeys(registryKeyChain& chain, std::initializer_list<HKEY*> members) {
    std::vector<uniqueHkey> keys = chain.release();
    auto key = keys.begin();
    for (HKEY* member : members)
        *member = key != keys.end() ? (key++)->release() : nullptr;
}

} // namespace

int CDmDebugRegistryDlg::openProductKey(int useLocalMachine, int forWriting) {
    const HKEY root = useLocalMachine != 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    const REGSAM access = forWriting == 1 ? productKeyWriteAccess : productKeyReadAccess;
    registryKeyChain chain;
    if (openProductKeyChain(chain, root, access) != ERROR_SUCCESS)
        return 0;
    closeProductKey();
    takeKeys(chain, {&m_hSoftwareKey, &m_hCompanyKey, &m_hProductKey});
    return 1;
}

int CDmDebugRegistryDlg::openDefaultUserProductKey() {
    registryKeyChain chain;
    if (openDefaultUserProductKeyChain(chain) != ERROR_SUCCESS)
        return 0;
    closeProductKey();
    takeKeys(chain, {&m_hDefaultUserKey, &m_hSoftwareKey, &m_hCompanyKey, &m_hProductKey});
    return 1;
}

void CDmDebugRegistryDlg::closeProductKey() {
    for (HKEY* member : {&m_hProductKey, &m_hCompanyKey, &m_hSoftwareKey, &m_hDefaultUserKey}) {
        if (*member != nullptr)
            ::RegCloseKey(*member);
        *member = nullptr;
    }
}
