// The resources an application's launcher carries: the splash picture (bitmap 10000), the icon
// (the first icon group and "ID_SPLASH_ICON"), the version block and the manifest. Pictures are
// decoded here; the resource section itself is written by resourcesection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "resourcesection.h"

namespace jaunt {

constexpr uint16_t kSplashBitmapId = 10000;
constexpr const char* kSplashIconName = "ID_SPLASH_ICON";
constexpr uint16_t kApplicationIconGroup = 1;

// A decoded picture: width x height pixels, RGBA, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};

// Larger pictures make no sense for a splash window or an icon and would take gigabytes.
constexpr int kMaximumPictureSide = 8192;

// Decodes a BMP, PNG, JPEG or GIF (its first frame) of at most maximumSide pixels on a side.
// Throws ResourceError with the reason.
Picture decodePicture(const std::vector<uint8_t>& bytes, int maximumSide = kMaximumPictureSide);

// A bitmap resource the system loads as it is: a 24-bit bottom-up DIB (BITMAPINFOHEADER and rows).
// Transparent pixels are blended with the splash window's light grey background.
std::vector<uint8_t> bitmapResource(const Picture& picture);

// An icon: its images (PNG or DIB, as in an .ico file) and their group directory entries.
struct IconImage {
    uint8_t width = 0, height = 0, colours = 0;  // 0 means 256 (sizes) or none (colours)
    uint16_t planes = 1, bitCount = 32;
    std::vector<uint8_t> data;
};
using Icon = std::vector<IconImage>;

// An .ico file's images as they are, or a picture scaled to 16, 24, 32, 48 and 256 pixels (the
// largest stored as PNG). Throws ResourceError when the file is neither.
Icon loadIcon(const std::vector<uint8_t>& bytes);
Icon iconFromPicture(const Picture& picture);

struct VersionTexts {
    std::string version;  // up to four dotted numbers; empty: 0.0.0.0 and no version strings
    std::string vendor, description, copyright, name;
    std::string fileName;  // the launcher's file name
};
// Splits "1.2.3" into four numbers (missing ones 0). False, leaving why, for anything else.
bool parseVersionNumbers(const std::string& text, uint16_t numbers[4], std::string* why);
// The version block. Its node lengths are 16-bit: texts that would make it longer than
// kMaximumVersionBlock bytes throw ResourceError naming the settings they come from.
constexpr size_t kMaximumVersionBlock = 0xFFFF;
std::vector<uint8_t> versionResource(const VersionTexts& texts);

// application.dpi_awareness and application.execution_level: their values and the default.
extern const char* const kDpiAwarenessValues[];
extern const char* const kExecutionLevelValues[];
constexpr const char* kDefaultDpiAwareness = "permonitor";
constexpr const char* kDefaultExecutionLevel = "asInvoker";
std::string manifestResource(const std::string& dpiAwareness, const std::string& executionLevel);

struct ApplicationResources {
    bool hasSplash = false;
    Picture splash;
    Icon icon;  // empty: no icon
    VersionTexts version;
    std::string dpiAwareness = kDefaultDpiAwareness;
    std::string executionLevel = kDefaultExecutionLevel;
};

// Puts the application's resources into the launcher image (the stub's own version block and
// manifest are replaced, its other resources kept).
std::vector<uint8_t> addApplicationResources(const std::vector<uint8_t>& image, const ApplicationResources& resources);

}  // namespace jaunt
