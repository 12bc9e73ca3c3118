// libFuzzer target: `--param`/`--set` values against the real parameter
// catalog. Each input line is one NAME=VALUE argument, split and applied as
// the command line does; bad ones must be refused with a reason.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"
#include "shell/entry.h"
#include "tools/param_catalog.h"
#include "tools/settings.h"

namespace {

struct Catalog {
    std::vector<PF_ParamDef> declared = corvexel::host::declareParams(&EntryPointFunc);
    std::vector<ParamInfo> params = buildParamCatalog(declared);
    corvexel::host::Frame layer{64, 36};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Catalog* catalog = new Catalog();
    corvexel::host::ParamValues values(catalog->declared, catalog->layer.world);
    const std::string text(reinterpret_cast<const char*>(data), size);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string key, value;
        if (splitSetting(text.substr(start, end - start), &key, &value)) {
            const std::string reason = applySetting(catalog->params, &values, key, value);
            (void)reason;
        }
        start = end + 1;
    }
    return 0;
}
