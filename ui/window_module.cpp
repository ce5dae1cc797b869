// The entry point of the window module. The program loads this module only
// when it opens the window, so that an unattended run never loads Qt.

#include "ui/window_session.h"

extern "C" {

#ifdef _WIN32
__declspec(dllexport)
#else
__attribute__((visibility("default")))
#endif
    int ostrivane_run_window(int argc, char** argv) {
    return ostrivane::runWindow(argc, argv);
}
}
