// The crash reporter's test child. Usage: hrn_crash_child sdk|app REASON [off]
//   sdk: the exception escapes from a block that the SDK's main-thread dispatch runs;
//   app: it escapes from the program's own code, with no SDK frame on the stack;
//   off: the SDK's crash reporting is switched off after start-up.
// The app home, device root and report address come from the environment (QEN_HOME,
// QEN_DEVICE_ROOT, QEN_AD_REPORT_URL), as the parent set them.

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "ads/formats/HRNMobileAds.h"
#include "ads/foundation/HRNApplication.h"
#include "ads/foundation/HRNDispatch.h"

// The program's own code that fails; exported, so the report names it.
[[noreturn]] void failInApp(const std::string& reason) {
    throw std::runtime_error(reason);
}

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: hrn_crash_child sdk|app REASON [off]\n");
        return 2;
    }
    const std::string where = argv[1];
    const std::string reason = argv[2];
    // The SDK's start-up, as at launch: it switches crash reporting on.
    HRNApplication::sharedInstance()->runEarlyActivities();
    if (argc > 3 && std::strcmp(argv[3], "off") == 0) HRNMobileAds::disableSDKCrashReporting();

    if (where == "sdk") {
        HRNDispatchToMainThread([&] { failInApp(reason); });
    } else {
        failInApp(reason);
    }
    return 0;
}
