// Quillpost's loader on any INI bytes: no crash, no nameless user, and what
// it saves loads back to the same list.
#include "sendersettings.h"
#include "storefuzz.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedStore fuzzed(data, size);
    SenderSettings settings;
    {
        SettingsStore store = fuzzed.open();
        loadSenderSettings(store, settings);
        for (int n = 1; n <= settings.userList.count(); ++n) {
            if (settings.userList.at(n).name.isEmpty() || settings.userList.at(n).order != n)
                std::abort();
        }
        saveProgramOptions(store, settings);
        saveUserList(store, settings.userList);
    }
    SettingsStore store = fuzzed.open();
    SenderSettings again;
    loadSenderSettings(store, again);
    if (!(again.userList == settings.userList))
        std::abort();
    return 0;
}
