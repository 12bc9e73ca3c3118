// Finding and loading the plug-in module for the `corvexel` command.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/host.h"

struct PluginOptions {
    std::string modulePath;   // from --module; empty = the default module
};

// Takes "--module PATH" or "--module=PATH" out of `args` (wherever it
// stands). Returns false and sets `error` when the option has no value.
bool takeModuleOption(std::vector<std::string>* args, PluginOptions* options,
                      std::string* error);

// The module to load: --module if given, else the CORVEXEL_MODULE
// environment variable, else the default module next to the executable.
std::string resolveModulePath(const PluginOptions& options);

// Loads the module; on failure returns null and sets `error` to a message
// that names the file.
std::unique_ptr<corvexel::host::PluginModule> loadPlugin(const PluginOptions& options,
                                                         std::string* error);
