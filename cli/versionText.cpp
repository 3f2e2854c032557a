#include "cli/logsmithctl.h"
#include "logsmithVersion.h"

// The version the version record was built from: reading the record back would take a DLL
// that is not always loaded from the system folder.
std::wstring versionText() {
    return L"logsmithctl " LOGSMITH_VERSION_TEXT;
}
