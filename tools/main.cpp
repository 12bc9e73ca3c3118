// The `corvexel` command: drives the plug-in module through the embedded host.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/cli.h"
#include "tools/messages.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

void printUsage(std::FILE* out) {
    std::fputs(
        "usage: corvexel <command> [options]\n"
        "\n"
        "commands:\n"
        "  about              print the plug-in's About message\n"
        "  params [--json]    list the 101 parameters (ids, groups, kinds, defaults,\n"
        "                     ranges, popup items); --json prints them as JSON\n"
        "  params --values [--preset FILE] [--param ID=V] [--set PATH=V] [--size WxH]\n"
        "                     print the parameters in force as a settings file\n"
        "  render ...         render frames through the plug-in\n"
        "  card [--size WxH] -o OUTPUT\n"
        "                     write the built-in test card that render uses\n"
        "\n"
        "options for every command:\n"
        "  --module PATH      plug-in module to load (default: $CORVEXEL_MODULE, else\n"
        "                     " CORVEXEL_DEFAULT_MODULE " next to this program)\n",
        out);
}

int usageError(const std::string& message) {
    printMessage("corvexel", message);
    std::fputc('\n', stderr);
    printUsage(stderr);
    return kExitUsage;
}

int main(int argc, char** argv) {
#if defined(_WIN32)
    // Write exactly the bytes the program prints, as on every other system:
    // text-mode streams would turn each line feed into CR LF, so JSON and
    // listings piped to files would differ from platform to platform.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    if (argc < 2) {
        return usageError("no command given");
    }
    const std::string verb = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (verb == "about") {
        return runAbout(args);
    }
    if (verb == "params") {
        return runParams(args);
    }
    if (verb == "render") {
        return runRender(args);
    }
    if (verb == "card") {
        return runCard(args);
    }
    if (verb == "help" || verb == "--help" || verb == "-h") {
        printUsage(stdout);
        return kExitSuccess;
    }
    return usageError("unknown command \"" + verb + "\"");
}
