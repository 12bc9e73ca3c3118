// libFuzzer target: any bytes through the picture reader (PNG, JPEG and the
// signature check). It must never crash, leak or overrun; refusals are fine.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/image_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RgbaImage image;
    std::string reason;
    if (decodeImage(data, size, &image, &reason) == IoStatus::kOk &&
        image.pixels.size() != static_cast<size_t>(image.width) * image.height * 4) {
        __builtin_trap();   // a decoded picture must be complete
    }
    return 0;
}
