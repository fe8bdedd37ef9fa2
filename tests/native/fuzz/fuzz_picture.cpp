// Feeds arbitrary bytes to the build tool's picture entry, as a splash picture and as an icon file:
// a decoded picture must become a bitmap resource of exactly its size, an .ico file its images;
// everything else must be refused with a ResourceError.
#include <cstddef>
#include <cstdint>

#include "appresources.h"

// The build tool accepts 8192 pixels on a side; the fuzzer keeps to pictures a few MB large so
// that its memory limit reports real faults, not large pictures.
constexpr int kFuzzedSide = 512;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    std::vector<uint8_t> bytes(data, data + size);
    try {
        jaunt::Picture picture = jaunt::decodePicture(bytes, kFuzzedSide);
        if (picture.width <= 0 || picture.height <= 0 ||
            picture.rgba.size() != static_cast<size_t>(picture.width) * picture.height * 4)
            __builtin_trap();
        size_t stride = (static_cast<size_t>(picture.width) * 3 + 3) / 4 * 4;
        if (jaunt::bitmapResource(picture).size() != 40 + stride * picture.height) __builtin_trap();
    } catch (const jaunt::ResourceError&) {
    }
    // .ico files are read by loadIcon itself; other pictures go through decodePicture above (the
    // icon scaler after it costs too much per input to fuzz here).
    if (size < 4 || data[0] != 0 || data[1] != 0 || data[2] != 1 || data[3] != 0) return 0;
    try {
        jaunt::Icon icon = jaunt::loadIcon(bytes);
        if (icon.empty()) __builtin_trap();
        for (const jaunt::IconImage& image : icon)
            if (image.data.empty()) __builtin_trap();
    } catch (const jaunt::ResourceError&) {
    }
    return 0;
}
