#include "settings/readWriteSettings.h"

readWriteSettings::~readWriteSettings() = default;

int readWriteSettings::flush() {
    return 1;
}
