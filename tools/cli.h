// The `corvexel` command: one function per verb. Each takes the arguments
// after the verb and returns the process exit code.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;       // e.g. the plug-in module cannot be loaded
inline constexpr int kExitUsage = 2;         // bad command line or input picture
inline constexpr int kExitRenderError = 3;   // the render failed, or memory ran out
inline constexpr int kExitWriteFailed = 4;   // the output could not be written

int runAbout(const std::vector<std::string>& args);
int runParams(const std::vector<std::string>& args);
int runRender(const std::vector<std::string>& args);
int runCard(const std::vector<std::string>& args);

// Writes the command's usage text to `out`.
void printUsage(std::FILE* out);

// Reports a command-line mistake with the usage text on stderr; returns kExitUsage.
int usageError(const std::string& message);
