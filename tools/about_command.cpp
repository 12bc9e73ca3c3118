#include <cstdio>
#include <cstring>
#include <string>

#include "tools/cli.h"
#include "tools/messages.h"
#include "tools/plugin_loader.h"

namespace {

// The host shows the message's carriage return as a line break; so do we.
std::string aboutForTerminal(const char* message, size_t capacity) {
    std::string text(message, strnlen(message, capacity));
    for (char& c : text) {
        if (c == '\r') {
            c = '\n';
        }
    }
    return text;
}

}  // namespace

int runAbout(const std::vector<std::string>& argsIn) {
    std::vector<std::string> args = argsIn;
    PluginOptions options;
    std::string error;
    if (!takeModuleOption(&args, &options, &error)) {
        return usageError(error);
    }
    if (!args.empty()) {
        return usageError("about: unexpected argument \"" + args.front() + "\"");
    }
    auto module = loadPlugin(options, &error);
    if (!module) {
        printMessage("corvexel", error);
        return kExitFailure;
    }
    corvexel::host::Host host;
    PF_Err err = host.send(module->entry(), PF_Cmd_ABOUT, nullptr, nullptr);
    if (err != PF_Err_NONE) {
        std::fprintf(stderr, "corvexel: the plug-in's About failed with error %d\n",
                     static_cast<int>(err));
        return kExitFailure;
    }
    const PF_OutData* out = host.outData();
    std::string text = aboutForTerminal(out->return_msg, sizeof out->return_msg);
    std::printf("%s\n", text.c_str());
    return kExitSuccess;
}
