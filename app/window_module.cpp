#include "app/window_module.h"

#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace ostrivane {

namespace {

using RunWindow = int (*)(int, char**);
constexpr const char* kEntryPoint = "ostrivane_run_window";

}  // namespace

std::filesystem::path windowModuleName() {
#ifdef _WIN32
    return "ostrivane_window.dll";
#else
    return "ostrivane_window.so";
#endif
}

std::filesystem::path findWindowModule(const std::filesystem::path& programFolder) {
    const auto beside = programFolder / windowModuleName();
    const auto installed = programFolder.parent_path() / "lib" / "ostrivane" / windowModuleName();
    std::error_code ec;
    if (!std::filesystem::exists(beside, ec) && std::filesystem::exists(installed, ec)) {
        return installed;
    }
    return beside;
}

std::variant<int, std::string> runWindowModule(const std::filesystem::path& module, int argc,
                                               char** argv) {
#ifdef _WIN32
    HMODULE handle = LoadLibraryA(module.string().c_str());
    if (handle == nullptr) {
        return module.string() + ": cannot be loaded (error " + std::to_string(GetLastError()) +
               ")";
    }
    auto run = reinterpret_cast<RunWindow>(GetProcAddress(handle, kEntryPoint));
#else
    void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        return std::string(reason ? reason : module.string() + ": cannot be loaded");
    }
    auto run = reinterpret_cast<RunWindow>(dlsym(handle, kEntryPoint));
#endif
    if (run == nullptr) {
        return module.string() + ": not a window module of this program";
    }
    // The module stays loaded until the process ends: Qt's exit handlers live in it.
    return run(argc, argv);
}

}  // namespace ostrivane
