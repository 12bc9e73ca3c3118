// `corvexel card`: writes the built-in test card that `corvexel render`
// glitches when no input is given, so other tools can start from the same
// picture (the demo feeds it to FFmpeg and the frei0r module).
#include <cstdio>
#include <new>
#include <string>

#include "tools/cli.h"
#include "tools/image_io.h"
#include "tools/messages.h"
#include "tools/render_options.h"
#include "tools/test_card.h"

int runCard(const std::vector<std::string>& args) {
    std::string output;
    int32_t width = 1280, height = 720;
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "-o" || args[i] == "--size") && i + 1 >= args.size()) {
            return usageError("card: option " + args[i] + " needs a value");
        }
        if (args[i] == "-o") {
            output = args[++i];
        } else if (args[i] == "--size") {
            if (!parseSize(args[++i], &width, &height)) {
                return usageError("card: malformed size: " + args[i]);
            }
        } else {
            return usageError("card: unknown option \"" + args[i] + "\"");
        }
    }
    if (output.empty()) return usageError("card: no output given (-o OUTPUT)");
    std::string error;
    IoStatus status = IoStatus::kOutOfMemory;
    try {
        status = writeImage(output, makeTestCard(width, height), OutputOptions(), &error);
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    }
    if (status == IoStatus::kOk) return kExitSuccess;
    printMessage("corvexel card", error);
    return status == IoStatus::kWriteFailed ? kExitWriteFailed
           : status == IoStatus::kBadInput  ? kExitUsage
                                            : kExitRenderError;
}
