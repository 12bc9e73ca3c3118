#include <cstdio>

#include "tools/cli.h"

int runRender(const std::vector<std::string>& /*args*/) {
    std::fputs("render: not available yet\n", stderr);
    return kExitUsage;
}
