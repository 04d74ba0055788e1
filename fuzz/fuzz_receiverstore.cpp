// Quillbox's loader on any INI bytes: no crash, at least one port, every port
// one that can be listened on (1..65535), and what it saves loads back the same.
#include "receiversettings.h"
#include "storefuzz.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [loaded, again] = LoadTwice<ReceiverSettings>(
        data, size, loadReceiverSettings,
        [](SettingsStore &store, const ReceiverSettings &s) { savePortList(store, s.portList); });
    bool sound = loaded.portList.count() >= 1 && loaded.portList == again.portList;
    for (int n = 1; n <= loaded.portList.count(); ++n)
        sound = sound && loaded.portList.at(n) >= 1 && loaded.portList.at(n) <= 65535;
    if (!sound)
        std::abort();
    return 0;
}
