// Quillpost's loader on any INI bytes: no crash, no nameless user, every
// user numbered in order, and what it saves loads back the same.
#include "sendersettings.h"
#include "storefuzz.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto [loaded, again] = LoadTwice<SenderSettings>(data, size, loadSenderSettings,
                                                           [](SettingsStore &store, const SenderSettings &s) {
                                                               saveProgramOptions(store, s);
                                                               saveUserList(store, s.userList);
                                                           });
    bool sound = loaded.userList == again.userList;
    for (int n = 1; n <= loaded.userList.count(); ++n)
        sound = sound && !loaded.userList.at(n).name.isEmpty() && loaded.userList.at(n).order == n;
    if (!sound)
        std::abort();
    return 0;
}
