// Loading a plug-in module from a file and finding its entry point.
#include "host/host.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace corvexel::host {

std::unique_ptr<PluginModule> PluginModule::load(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) -> std::unique_ptr<PluginModule> {
        if (error != nullptr) *error = why;
        return nullptr;
    };
#if defined(_WIN32)
    HMODULE handle = LoadLibraryA(path.c_str());
    if (handle == nullptr) return fail("cannot load plug-in module " + path);
    void* symbol = reinterpret_cast<void*>(GetProcAddress(handle, "EntryPointFunc"));
    if (symbol == nullptr) {
        FreeLibrary(handle);
        return fail("plug-in module " + path + " has no EntryPointFunc");
    }
#else
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        return fail("cannot load plug-in module " + path + ": " + (why ? why : "unknown error"));
    }
    void* symbol = dlsym(handle, "EntryPointFunc");
    if (symbol == nullptr) {
        dlclose(handle);
        return fail("plug-in module " + path + " has no EntryPointFunc");
    }
#endif
    std::unique_ptr<PluginModule> module(new PluginModule);
    module->handle_ = reinterpret_cast<void*>(handle);
    module->entry_ = reinterpret_cast<PF_EntryPointFunc>(symbol);
    return module;
}

PluginModule::~PluginModule() {
#if defined(_WIN32)
    if (handle_ != nullptr) FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
    if (handle_ != nullptr) dlclose(handle_);
#endif
}

}  // namespace corvexel::host
