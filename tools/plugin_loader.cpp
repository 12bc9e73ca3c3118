#include "tools/plugin_loader.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr const char* kModuleOption = "--module";
constexpr const char* kModuleEnvVariable = "CORVEXEL_MODULE";

// The directory of the running executable, with a trailing separator, or ""
// when the platform cannot tell (the module is then looked up by bare name).
std::string executableDirectory() {
    std::string path;
#if defined(_WIN32)
    char buffer[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        path.assign(buffer, length);
    }
#elif defined(__linux__)
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length > 0 && static_cast<size_t>(length) < sizeof buffer) {
        path.assign(buffer, static_cast<size_t>(length));
    }
#endif
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool takeModuleOption(std::vector<std::string>* args, PluginOptions* options,
                      std::string* error) {
    const std::string prefix = std::string(kModuleOption) + "=";
    for (size_t i = 0; i < args->size();) {
        const std::string& arg = (*args)[i];
        if (arg == kModuleOption) {
            if (i + 1 >= args->size() || (*args)[i + 1].empty()) {
                *error = "--module needs a path";
                return false;
            }
            options->modulePath = (*args)[i + 1];
            args->erase(args->begin() + static_cast<std::ptrdiff_t>(i),
                        args->begin() + static_cast<std::ptrdiff_t>(i + 2));
        } else if (arg.compare(0, prefix.size(), prefix) == 0) {
            options->modulePath = arg.substr(prefix.size());
            if (options->modulePath.empty()) {
                *error = "--module needs a path";
                return false;
            }
            args->erase(args->begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
    return true;
}

std::string resolveModulePath(const PluginOptions& options) {
    if (!options.modulePath.empty()) {
        return options.modulePath;
    }
    const char* fromEnvironment = std::getenv(kModuleEnvVariable);
    if (fromEnvironment != nullptr && fromEnvironment[0] != '\0') {
        return fromEnvironment;
    }
    return executableDirectory() + CORVEXEL_DEFAULT_MODULE;
}

std::unique_ptr<corvexel::host::PluginModule> loadPlugin(const PluginOptions& options,
                                                         std::string* error) {
    const std::string path = resolveModulePath(options);
    std::string why;
    auto module = corvexel::host::PluginModule::load(path, &why);
    if (!module) {
        // The host's reason already names the module, and the system's
        // reason may name it again: say it once.
        *error = why.empty() ? "cannot load plug-in module " + path : why;
        const std::string twice = path + ": " + path + ": ";
        const size_t at = error->find(twice);
        if (at != std::string::npos) error->erase(at, path.size() + 2);
    }
    return module;
}
