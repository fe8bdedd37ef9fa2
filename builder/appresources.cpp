#include "appresources.h"

#include "jpegdecoder.h"

#include <algorithm>
#include <cstring>
#include <utility>

// Decoders and the scaler come from Debian's libstb-dev; only the formats offered are compiled in.
// JPEG has a decoder of its own (jpegdecoder): the one of this stb version (2.27) reads and writes
// outside its tables on damaged Huffman tables.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#define STBI_NO_STDIO
#include <stb/stb_image.h>
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace jaunt {

namespace {

// The splash window paints the stock light-grey brush under the picture.
constexpr int kBackgroundGrey = 192;
constexpr uint16_t kLanguage = 0x0409;  // US English, as the stub's own resources
const int kIconSizes[] = {16, 24, 32, 48, 256};

void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void set16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(v >> 8);
}

void putInfoHeader(std::vector<uint8_t>& out, int width, int height, int bitCount, uint32_t imageSize) {
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height));
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bitCount));
    put32(out, 0);  // BI_RGB
    put32(out, imageSize);
    for (int i = 0; i < 4; ++i) put32(out, 0);  // resolution, palette
}

// UTF-8 (as the configuration file is written) to UTF-16; broken sequences become U+FFFD.
std::u16string utf16(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t code = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
        bool ok = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) ok = false;
            code = (code << 6) | (next & 0x3F);
        }
        if (!ok || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        i += static_cast<size_t>(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

// A node of a version block: header (length, value length, type), key, value, children, each
// starting on a 32-bit boundary. The lengths are 16-bit; versionResource refuses a block whose
// root, which holds every other node, is longer.
struct VersionNode {
    std::u16string key;
    std::vector<uint8_t> value;
    bool text = false;  // value length counts 16-bit units, not bytes
    std::vector<VersionNode> children;

    void write(std::vector<uint8_t>& out) const {
        size_t start = out.size();
        put16(out, 0);
        put16(out, static_cast<uint32_t>(text ? value.size() / 2 : value.size()));
        put16(out, text ? 1 : 0);
        for (char16_t unit : key) put16(out, unit);
        put16(out, 0);
        while (out.size() % 4) out.push_back(0);
        out.insert(out.end(), value.begin(), value.end());
        for (const VersionNode& child : children) {
            while (out.size() % 4) out.push_back(0);
            child.write(out);
        }
        set16(out, start, static_cast<uint32_t>(out.size() - start));
    }
};

VersionNode textValue(const char* key, const std::string& value) {
    VersionNode node{utf16(key), {}, true, {}};
    for (char16_t unit : utf16(value) + u'\0') put16(node.value, unit);
    return node;
}

std::string fileStem(const std::string& fileName) {
    size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

std::vector<uint8_t> iconImageAsDib(const std::vector<uint8_t>& rgba, int side) {
    size_t maskStride = static_cast<size_t>((side + 31) / 32) * 4;
    std::vector<uint8_t> out;
    putInfoHeader(out, side, side * 2, 32, static_cast<uint32_t>(side * side * 4 + maskStride * side));
    for (int y = side - 1; y >= 0; --y)
        for (int x = 0; x < side; ++x) {
            const uint8_t* p = &rgba[(static_cast<size_t>(y) * side + x) * 4];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});
        }
    // The mask marks transparent pixels, for systems that draw without the alpha channel.
    for (int y = side - 1; y >= 0; --y) {
        std::vector<uint8_t> row(maskStride, 0);
        for (int x = 0; x < side; ++x)
            if (rgba[(static_cast<size_t>(y) * side + x) * 4 + 3] < 128) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

void appendBytes(void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}

// True when the header of a PNG, GIF or BMP file gives a width or height of 0, which the decoder
// only reports as an unknown format.
bool declaresNoPixels(const std::vector<uint8_t>& b) {
    auto at = [&](size_t i) { return static_cast<uint32_t>(b[i]); };
    if (b.size() >= 24 && std::memcmp(b.data(), "\x89PNG", 4) == 0)
        return (at(16) | at(17) | at(18) | at(19)) == 0 || (at(20) | at(21) | at(22) | at(23)) == 0;
    if (b.size() >= 10 && std::memcmp(b.data(), "GIF8", 4) == 0) return (at(6) | at(7)) == 0 || (at(8) | at(9)) == 0;
    if (b.size() >= 26 && b[0] == 'B' && b[1] == 'M')
        return (at(18) | at(19) | at(20) | at(21)) == 0 || (at(22) | at(23) | at(24) | at(25)) == 0;
    return false;
}

ResourceError noPixels() { return ResourceError("the picture has a width or height of 0 pixels"); }
ResourceError tooLarge(int width, int height, int maximumSide) {
    return ResourceError("the picture is " + std::to_string(width) + " x " + std::to_string(height) +
                         " pixels, more than " + std::to_string(maximumSide) + " on a side");
}

Picture decodeJpegPicture(const std::vector<uint8_t>& bytes, int maximumSide) {
    Picture picture;
    try {
        decodeJpeg(bytes, maximumSide, picture.width, picture.height, picture.rgba);
    } catch (const JpegError& e) {
        switch (e.kind) {
            case JpegError::NoPixels: throw noPixels();
            case JpegError::TooLarge: throw tooLarge(e.width, e.height, maximumSide);
            case JpegError::Unsupported: throw ResourceError(std::string("cannot decode the picture (") + e.what() + " is not supported)");
            case JpegError::Damaged: break;
        }
        throw ResourceError(std::string("cannot decode the picture (") + e.what() + ")");
    }
    return picture;
}

}  // namespace

Picture decodePicture(const std::vector<uint8_t>& bytes, int maximumSide) {
    if (bytes.size() > 0x7FFFFFFF) throw ResourceError("the picture is larger than 2 GiB");
    if (looksLikeJpeg(bytes)) return decodeJpegPicture(bytes, maximumSide);
    int width = 0, height = 0, channels = 0;
    const int length = static_cast<int>(bytes.size());
    if (!stbi_info_from_memory(bytes.data(), length, &width, &height, &channels)) {
        if (declaresNoPixels(bytes)) throw noPixels();
        throw ResourceError(std::string("not a BMP, PNG, JPEG or GIF picture (") + stbi_failure_reason() + ")");
    }
    if (width <= 0 || height <= 0) throw noPixels();
    if (width > maximumSide || height > maximumSide) throw tooLarge(width, height, maximumSide);
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, 4);
    if (pixels == nullptr) throw ResourceError(std::string("cannot decode the picture (") + stbi_failure_reason() + ")");
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.rgba.assign(pixels, pixels + static_cast<size_t>(width) * height * 4);
    stbi_image_free(pixels);
    return picture;
}

std::vector<uint8_t> bitmapResource(const Picture& picture) {
    size_t stride = (static_cast<size_t>(picture.width) * 3 + 3) / 4 * 4;
    std::vector<uint8_t> out;
    putInfoHeader(out, picture.width, picture.height, 24, static_cast<uint32_t>(stride * picture.height));
    for (int y = picture.height - 1; y >= 0; --y) {  // bottom row first
        size_t rowStart = out.size();
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = &picture.rgba[(static_cast<size_t>(y) * picture.width + x) * 4];
            for (int c = 2; c >= 0; --c)
                out.push_back(static_cast<uint8_t>((p[c] * p[3] + kBackgroundGrey * (255 - p[3]) + 127) / 255));
        }
        out.resize(rowStart + stride, 0);
    }
    return out;
}

Icon loadIcon(const std::vector<uint8_t>& bytes) {
    const uint8_t signature[] = {0, 0, 1, 0};
    if (bytes.size() < 6 || std::memcmp(bytes.data(), signature, 4) != 0) return iconFromPicture(decodePicture(bytes));
    auto get16 = [&](size_t at) { return static_cast<uint32_t>(bytes[at] | (bytes[at + 1] << 8)); };
    auto get32 = [&](size_t at) { return get16(at) | (get16(at + 2) << 16); };
    uint32_t count = get16(4);
    if (count == 0 || 6 + 16ull * count > bytes.size())
        throw ResourceError("a broken .ico file: its directory lists " + std::to_string(count) + " images");
    Icon icon;
    size_t total = 0;  // the images of an .ico file do not overlap, so they fit in it together
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = 6 + 16 * i;
        uint32_t size = get32(at + 8), offset = get32(at + 12);
        if (size == 0 || offset > bytes.size() || size > bytes.size() - offset)
            throw ResourceError("a broken .ico file: image " + std::to_string(i + 1) + " lies outside the file");
        total += size;
        if (total > bytes.size())
            throw ResourceError("a broken .ico file: its images together are larger than the file");
        IconImage image;
        image.width = bytes[at];
        image.height = bytes[at + 1];
        image.colours = bytes[at + 2];
        image.planes = static_cast<uint16_t>(get16(at + 4));
        image.bitCount = static_cast<uint16_t>(get16(at + 6));
        image.data.assign(bytes.begin() + offset, bytes.begin() + offset + size);
        icon.push_back(std::move(image));
    }
    return icon;
}

Icon iconFromPicture(const Picture& picture) {
    // A picture that is not square is centred on a transparent square.
    int side = std::max(picture.width, picture.height);
    std::vector<uint8_t> square(static_cast<size_t>(side) * side * 4, 0);
    int left = (side - picture.width) / 2, top = (side - picture.height) / 2;
    for (int y = 0; y < picture.height; ++y)
        std::memcpy(&square[(static_cast<size_t>(y + top) * side + left) * 4],
                    &picture.rgba[static_cast<size_t>(y) * picture.width * 4], static_cast<size_t>(picture.width) * 4);
    Icon icon;
    for (int size : kIconSizes) {
        std::vector<uint8_t> scaled(static_cast<size_t>(size) * size * 4);
        if (!stbir_resize_uint8_srgb(square.data(), side, side, 0, scaled.data(), size, size, 0, 4, 3, 0))
            throw ResourceError("cannot scale the icon picture");
        IconImage image;
        image.width = image.height = static_cast<uint8_t>(size == 256 ? 0 : size);
        if (size == 256) {
            if (!stbi_write_png_to_func(appendBytes, &image.data, size, size, 4, scaled.data(), size * 4))
                throw ResourceError("cannot encode the 256-pixel icon");
        } else {
            image.data = iconImageAsDib(scaled, size);
        }
        icon.push_back(std::move(image));
    }
    return icon;
}

bool parseVersionNumbers(const std::string& text, uint16_t numbers[4], std::string* why) {
    std::fill(numbers, numbers + 4, 0);
    size_t part = 0, i = 0;
    while (true) {
        size_t start = i;
        uint32_t value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 6)
            value = value * 10 + static_cast<uint32_t>(text[i++] - '0');
        if (i == start || value > 0xFFFF || (i < text.size() && text[i] >= '0' && text[i] <= '9')) {
            *why = "must be up to four numbers 0..65535 separated by dots, such as 1.2.3";
            return false;
        }
        numbers[part++] = static_cast<uint16_t>(value);
        if (i == text.size()) return true;
        if (text[i] != '.' || part == 4) {
            *why = "must be up to four numbers 0..65535 separated by dots, such as 1.2.3";
            return false;
        }
        ++i;
    }
}

std::vector<uint8_t> versionResource(const VersionTexts& texts) {
    uint16_t n[4] = {0, 0, 0, 0};
    std::string why;
    if (!texts.version.empty() && !parseVersionNumbers(texts.version, n, &why))
        throw ResourceError("application.version " + why);
    VersionNode root{u"VS_VERSION_INFO", {}, false, {}};
    const uint32_t fixed[] = {0xFEEF04BDu, 0x00010000u, (uint32_t(n[0]) << 16) | n[1], (uint32_t(n[2]) << 16) | n[3],
                              (uint32_t(n[0]) << 16) | n[1], (uint32_t(n[2]) << 16) | n[3],
                              0x3F,  // flags mask
                              0,     // flags
                              0x00040004u,  // VOS_NT_WINDOWS32
                              1,            // VFT_APP
                              0, 0, 0};
    for (uint32_t value : fixed) put32(root.value, value);

    std::string product = texts.name.empty() ? fileStem(texts.fileName) : texts.name;
    VersionNode table{u"040904b0", {}, true, {}};
    table.children = {textValue("CompanyName", texts.vendor),
                      textValue("FileDescription", texts.description.empty() ? product : texts.description),
                      textValue("FileVersion", texts.version),
                      textValue("InternalName", fileStem(texts.fileName)),
                      textValue("LegalCopyright", texts.copyright),
                      textValue("OriginalFilename", texts.fileName),
                      textValue("ProductName", product),
                      textValue("ProductVersion", texts.version)};
    VersionNode strings{u"StringFileInfo", {}, true, {table}};
    VersionNode translation{u"Translation", {}, false, {}};
    put16(translation.value, kLanguage);
    put16(translation.value, 1200);  // UTF-16
    VersionNode variables{u"VarFileInfo", {}, true, {translation}};
    root.children = {strings, variables};
    std::vector<uint8_t> out;
    root.write(out);
    if (out.size() > kMaximumVersionBlock) {
        // Only the free texts can make it this large; name those that are set, longest first.
        std::vector<std::pair<size_t, std::string>> set;
        for (const auto& [value, setting] : {std::pair{&texts.vendor, "application.vendor"},
                                             {&texts.description, "application.description"},
                                             {&texts.copyright, "application.copyright"}, {&texts.name, "application.name"}})
            if (!value->empty()) set.emplace_back(value->size(), setting);
        std::stable_sort(set.begin(), set.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        std::string names;
        for (size_t i = 0; i < set.size(); ++i)
            names += (i == 0 ? "" : i + 1 == set.size() ? " and " : ", ") + set[i].second;
        throw ResourceError(names + (set.size() == 1 ? " makes" : " make") + " the version block " +
                            std::to_string(out.size()) + " bytes long, more than the " +
                            std::to_string(kMaximumVersionBlock) + " its lengths can say; shorten " +
                            (set.size() == 1 ? "it" : "them") +
                            (texts.description.empty() && !texts.name.empty()
                                 ? " (application.name is also the file description when there is none)"
                                 : ""));
    }
    return out;
}

const char* const kDpiAwarenessValues[] = {"unaware", "system", "permonitor", "permonitorv2", nullptr};
const char* const kExecutionLevelValues[] = {"asInvoker", "highestAvailable", "requireAdministrator", nullptr};

std::string manifestResource(const std::string& dpiAwareness, const std::string& executionLevel) {
    // dpiAware is read by Windows 8.1 and 10 before 1607, dpiAwareness by later versions.
    std::string aware = "true/pm", awareness = "PerMonitor";
    if (dpiAwareness == "unaware") aware = "false", awareness = "unaware";
    if (dpiAwareness == "system") aware = "true", awareness = "system";
    if (dpiAwareness == "permonitorv2") awareness = "PerMonitorV2, PerMonitor";
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
           "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\r\n"
           "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
           "    <security>\r\n"
           "      <requestedPrivileges>\r\n"
           "        <requestedExecutionLevel level=\"" +
           executionLevel +
           "\" uiAccess=\"false\"/>\r\n"
           "      </requestedPrivileges>\r\n"
           "    </security>\r\n"
           "  </trustInfo>\r\n"
           "  <application xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
           "    <windowsSettings>\r\n"
           "      <dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">" +
           aware +
           "</dpiAware>\r\n"
           "      <dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">" +
           awareness +
           "</dpiAwareness>\r\n"
           // Paths past MAX_PATH, where the system allows them (Windows 10 1607 and later).
           "      <longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>\r\n"
           "    </windowsSettings>\r\n"
           "  </application>\r\n"
           "  <compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\">\r\n"
           "    <application>\r\n"
           "      <supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>\r\n"
           "      <supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>\r\n"
           "      <supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>\r\n"
           "      <supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>\r\n"
           "    </application>\r\n"
           "  </compatibility>\r\n"
           "</assembly>\r\n";
}

std::vector<uint8_t> addApplicationResources(const std::vector<uint8_t>& image, const ApplicationResources& resources) {
    ResourceTable table = readImageResources(image).table;
    if (resources.hasSplash)
        table.put(ResourceEntry{ResourceId::of(kResourceBitmap), ResourceId::of(kSplashBitmapId), kLanguage, 0,
                                bitmapResource(resources.splash)});
    if (!resources.icon.empty()) {
        table.removeType(ResourceId::of(kResourceGroupIcon), kLanguage);
        table.removeType(ResourceId::of(kResourceIcon), kLanguage);
        uint16_t first = table.freeNumbers(ResourceId::of(kResourceIcon), resources.icon.size());
        std::vector<uint8_t> group;
        put16(group, 0);
        put16(group, 1);  // icons
        put16(group, static_cast<uint32_t>(resources.icon.size()));
        for (size_t i = 0; i < resources.icon.size(); ++i) {
            const IconImage& image = resources.icon[i];
            uint16_t id = static_cast<uint16_t>(first + i);
            group.insert(group.end(), {image.width, image.height, image.colours, 0});
            put16(group, image.planes);
            put16(group, image.bitCount);
            put32(group, static_cast<uint32_t>(image.data.size()));
            put16(group, id);
            table.put(ResourceEntry{ResourceId::of(kResourceIcon), ResourceId::of(id), kLanguage, 0, image.data});
        }
        // Named entries sort first, so the splash icon is also the first group: the file's icon.
        table.put(ResourceEntry{ResourceId::of(kResourceGroupIcon), ResourceId::of(std::string(kSplashIconName)),
                                kLanguage, 0, group});
        table.put(ResourceEntry{ResourceId::of(kResourceGroupIcon), ResourceId::of(kApplicationIconGroup), kLanguage,
                                0, group});
    }
    uint16_t language = table.removeType(ResourceId::of(kResourceVersion), kLanguage);
    table.put(ResourceEntry{ResourceId::of(kResourceVersion), ResourceId::of(1), language, 0,
                            versionResource(resources.version)});
    language = table.removeType(ResourceId::of(kResourceManifest), kLanguage);
    std::string manifest = manifestResource(resources.dpiAwareness, resources.executionLevel);
    table.put(ResourceEntry{ResourceId::of(kResourceManifest), ResourceId::of(1), language, 0,
                            std::vector<uint8_t>(manifest.begin(), manifest.end())});
    return replaceImageResources(image, table);
}

}  // namespace jaunt
