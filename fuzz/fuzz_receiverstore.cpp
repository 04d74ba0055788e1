// Quillbox's loader on any INI bytes: no crash, every loaded port can be
// listened on (1..65535), and what it saves loads back the same.
#include "receiversettings.h"
#include "storefuzz.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedStore fuzzed(data, size);
    ReceiverSettings settings;
    {
        SettingsStore store = fuzzed.open();
        loadReceiverSettings(store, settings);
        if (settings.portList.count() < 1)
            std::abort();
        for (int n = 1; n <= settings.portList.count(); ++n) {
            if (settings.portList.at(n) < 1 || settings.portList.at(n) > 65535)
                std::abort();
        }
        savePortList(store, settings.portList);
    }
    SettingsStore store = fuzzed.open();
    ReceiverSettings again;
    loadReceiverSettings(store, again);
    if (!(again.portList == settings.portList))
        std::abort();
    return 0;
}
