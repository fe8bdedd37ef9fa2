// The JPEG decoder against the pictures in tests/data/builder/jpeg (made by make-fixtures there):
// every good file decodes to the original picture within the loss of its quality and sampling, and
// to what stb_image makes of it; damaged and unsupported files, and frames of no or too many
// pixels, are refused with the right kind of error; an Exif orientation turns the picture.
#include "jpegdecoder.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// stb is the reference decoder for valid files; static, so its symbols stay in this file.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNM
#define STBI_NO_STDIO
#include <stb/stb_image.h>

using jaunt::JpegError;

namespace {

constexpr int kWidth = 37, kHeight = 23;

std::vector<uint8_t> readFixture(const std::string& name) {
    std::ifstream in(std::string(JAUNT_TEST_DATA) + "/jpeg/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// RGBA pixels as stb decodes them (also the original.ppm), empty when it cannot.
std::vector<uint8_t> stbDecode(const std::vector<uint8_t>& bytes) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &channels, 4);
    if (!pixels || width != kWidth || height != kHeight) {
        stbi_image_free(pixels);
        return {};
    }
    std::vector<uint8_t> rgba(pixels, pixels + width * height * 4);
    stbi_image_free(pixels);
    return rgba;
}

// The original as a greyscale JPEG encoder sees it.
std::vector<uint8_t> toGrey(std::vector<uint8_t> rgba) {
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) {
        auto y = static_cast<uint8_t>(std::lround(0.299 * rgba[i] + 0.587 * rgba[i + 1] + 0.114 * rgba[i + 2]));
        rgba[i] = rgba[i + 1] = rgba[i + 2] = y;
    }
    return rgba;
}

// The mean absolute difference of the worst of the three colour channels, and the largest one.
struct Difference {
    double mean = 0;
    int max = 0;
};
Difference difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sums[3] = {0, 0, 0};
    Difference d;
    for (size_t i = 0; i < a.size(); ++i) {
        if (i % 4 == 3) continue;
        int delta = std::abs(a[i] - b[i]);
        sums[i % 4] += delta;
        d.max = std::max(d.max, delta);
    }
    d.mean = *std::max_element(sums, sums + 3) / (a.size() / 4);
    return d;
}

// The error decoding throws, or nothing when it decodes.
std::optional<JpegError> refusalOf(const std::vector<uint8_t>& bytes, int maximumSide = 8192) {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    try {
        jaunt::decodeJpeg(bytes, maximumSide, width, height, rgba);
    } catch (const JpegError& e) {
        return e;
    }
    return std::nullopt;
}

// Offset of the frame header (SOF0 to SOF3) of a file.
size_t frameHeader(const std::vector<uint8_t>& b) {
    for (size_t i = 2; i + 4 <= b.size() && b[i] == 0xFF; i += 2 + (b[i + 2] << 8 | b[i + 3]))
        if (b[i + 1] >= 0xC0 && b[i + 1] <= 0xC3) return i;
    ADD_FAILURE() << "no frame header";
    return 0;
}

// Bounds about a fifth above what the decoder measured. Against the original they hold the loss of
// quality 90 to 95 and of the chroma sampling (mean of the worst channel 1.6 for grey, 2.4 at 4:4:4,
// 7.9 to 15.5 subsampled, where the flat patches' colour edges fall inside chroma samples: largest
// differences 14 and up to 158). Against stb two integer decoders differ by rounding (means below
// 0.07, at most 2), except at 4:2:2, where stb interpolates chroma across columns unlike libjpeg
// (which this decoder matches within 2): 23 at the sharp edges. A negative bound skips the
// comparison: cmyk.jpg holds YCCK data marked as CMYK, far from the original by design.
struct Good {
    const char* file;
    bool grey;
    double meanToOriginal;
    int maxToOriginal;
    double meanToStb;
    int maxToStb;
};
const Good kGood[] = {
    {"baseline-444.jpg", false, 3.0, 18, 0.1, 3},
    {"baseline-420.jpg", false, 16.5, 175, 0.1, 3},
    {"baseline-422.jpg", false, 9.5, 100, 0.3, 28},
    {"baseline-440.jpg", false, 13.0, 145, 0.1, 3},
    {"grey.jpg", true, 2.0, 17, 0.1, 3},
    {"progressive-420.jpg", false, 16.5, 175, 0.1, 3},
    {"progressive-grey.jpg", true, 2.0, 17, 0.1, 3},
    {"progressive-restart.jpg", false, 16.5, 175, 0.1, 3},
    {"restart-every-mcu.jpg", false, 16.5, 175, 0.1, 3},
    {"restart-every-row.jpg", false, 16.5, 175, 0.1, 3},
    {"non-interleaved.jpg", false, 16.5, 175, 0.1, 3},
    {"quant16.jpg", false, 18.5, 185, 0.1, 3},
    {"rgb.jpg", false, 1.0, 6, 0.1, 3},
    {"ycck.jpg", false, 2.2, 15, 0.1, 3},
    {"cmyk.jpg", false, -1, -1, 0.1, 3},
};

TEST(JpegDecoder, decodesEveryKindToTheOriginalAndToWhatStbMakesOfIt) {
    std::vector<uint8_t> original = stbDecode(readFixture("original.ppm"));
    ASSERT_FALSE(original.empty());
    std::vector<uint8_t> originalGrey = toGrey(original);
    for (const Good& good : kGood) {
        SCOPED_TRACE(good.file);
        std::vector<uint8_t> bytes = readFixture(good.file);
        EXPECT_TRUE(jaunt::looksLikeJpeg(bytes));
        int width = 0, height = 0;
        std::vector<uint8_t> rgba;
        // A frame exactly as wide as allowed is accepted.
        jaunt::decodeJpeg(bytes, std::max(kWidth, kHeight), width, height, rgba);
        ASSERT_EQ(width, kWidth);
        ASSERT_EQ(height, kHeight);
        ASSERT_EQ(rgba.size(), size_t{kWidth} * kHeight * 4);
        for (size_t i = 3; i < rgba.size(); i += 4) ASSERT_EQ(rgba[i], 255) << "alpha at " << i / 4;
        if (good.meanToOriginal >= 0) {
            Difference d = difference(rgba, good.grey ? originalGrey : original);
            EXPECT_LE(d.mean, good.meanToOriginal) << "mean difference to the original";
            EXPECT_LE(d.max, good.maxToOriginal) << "largest difference to the original";
        }
        std::vector<uint8_t> reference = stbDecode(bytes);
        ASSERT_FALSE(reference.empty());
        Difference d = difference(rgba, reference);
        EXPECT_LE(d.mean, good.meanToStb) << "mean difference to stb";
        EXPECT_LE(d.max, good.maxToStb) << "largest difference to stb";
    }
}

TEST(JpegDecoder, refusesDamagedAndUnsupportedFiles) {
    const struct {
        const char* file;
        JpegError::Kind kind;
    } refused[] = {
        {"arithmetic.jpg", JpegError::Unsupported},
        {"truncated.jpg", JpegError::Damaged},
        {"huffman-too-many-codes.jpg", JpegError::Damaged},
        {"coefficient-past-63.jpg", JpegError::Damaged},
        {"zero-run-past-63.jpg", JpegError::Damaged},
        {"progressive-band-past-63.jpg", JpegError::Damaged},
        {"original.ppm", JpegError::Damaged},
    };
    for (const auto& bad : refused) {
        std::optional<JpegError> error = refusalOf(readFixture(bad.file));
        if (!error) {
            ADD_FAILURE() << bad.file << " decodes";
            continue;
        }
        EXPECT_EQ(error->kind, bad.kind) << bad.file << ": " << error->what();
    }
    EXPECT_FALSE(jaunt::looksLikeJpeg(readFixture("original.ppm")));
    EXPECT_FALSE(jaunt::looksLikeJpeg({0xFF, 0xD8}));
    EXPECT_FALSE(jaunt::looksLikeJpeg({}));
}

// Every prefix of a file, up to its last scan's final byte, ends early.
TEST(JpegDecoder, refusesEveryCutOfAFile) {
    for (const char* file : {"baseline-420.jpg", "progressive-restart.jpg", "restart-every-mcu.jpg"}) {
        std::vector<uint8_t> bytes = readFixture(file);
        for (size_t length = 0; length + 2 < bytes.size(); ++length) {
            std::optional<JpegError> error = refusalOf({bytes.begin(), bytes.begin() + length});
            ASSERT_TRUE(error) << file << " cut to " << length << " bytes decodes";
            ASSERT_EQ(error->kind, JpegError::Damaged) << file << " cut to " << length << ": " << error->what();
        }
    }
}

TEST(JpegDecoder, judgesTheFrameHeaderBeforeTakingPixelMemory) {
    const struct {
        const char* what;
        uint8_t marker, precision;
        int height, width, maximumSide;
        JpegError::Kind kind;
    } frames[] = {
        {"one column wider than allowed", 0xC0, 8, kHeight, kWidth, kWidth - 1, JpegError::TooLarge},
        {"14 GB of pixels", 0xC0, 8, 60000, 60000, 8192, JpegError::TooLarge},
        {"no columns", 0xC0, 8, kHeight, 0, 8192, JpegError::NoPixels},
        // A height of 0 is valid: a DNL marker after the first scan gives it. Few files use one.
        {"height given after the data", 0xC0, 8, 0, kWidth, 8192, JpegError::Unsupported},
        {"12-bit samples", 0xC1, 12, kHeight, kWidth, 8192, JpegError::Unsupported},
        {"lossless", 0xC3, 8, kHeight, kWidth, 8192, JpegError::Unsupported},
    };
    const std::vector<uint8_t> fixture = readFixture("baseline-420.jpg");
    for (const auto& frame : frames) {
        std::vector<uint8_t> bytes = fixture;
        size_t at = frameHeader(bytes);
        bytes[at + 1] = frame.marker;
        bytes[at + 4] = frame.precision;
        bytes[at + 5] = static_cast<uint8_t>(frame.height >> 8), bytes[at + 6] = static_cast<uint8_t>(frame.height);
        bytes[at + 7] = static_cast<uint8_t>(frame.width >> 8), bytes[at + 8] = static_cast<uint8_t>(frame.width);
        std::optional<JpegError> error = refusalOf(bytes, frame.maximumSide);
        if (!error) {
            ADD_FAILURE() << frame.what << " decodes";
            continue;
        }
        EXPECT_EQ(error->kind, frame.kind) << frame.what << ": " << error->what();
        if (frame.kind == JpegError::TooLarge) {
            EXPECT_EQ(error->width, frame.width) << frame.what;
            EXPECT_EQ(error->height, frame.height) << frame.what;
        }
    }
}

// What decoding a file did in a child process: how much more memory it held at its peak than the
// process held before, and how it refused the file.
struct ChildDecode {
    long peakGrowthKb = -1;
    bool refused = false;
    JpegError::Kind kind = JpegError::Damaged;
    char what[160] = {};
};
ChildDecode decodeInChild(const std::vector<uint8_t>& bytes) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        ChildDecode result;
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);  // a forked child's peak starts at what it holds
        std::optional<JpegError> error = refusalOf(bytes);
        getrusage(RUSAGE_SELF, &after);
        result.peakGrowthKb = after.ru_maxrss - before.ru_maxrss;
        if (error) {
            result.refused = true;
            result.kind = error->kind;
            std::snprintf(result.what, sizeof result.what, "%s", error->what());
        }
        ssize_t written = write(pipeEnds[1], &result, sizeof result);
        _exit(written == sizeof result ? 0 : 1);
    }
    close(pipeEnds[1]);
    ChildDecode result;
    if (child < 0 || read(pipeEnds[0], &result, sizeof result) != sizeof result) result = ChildDecode{};
    close(pipeEnds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return result;
}

// A JPEG file of the given segments (marker, contents) between its start and end markers.
std::vector<uint8_t> jpegOf(const std::vector<std::pair<uint8_t, std::vector<uint8_t>>>& segments,
                            const std::vector<uint8_t>& data = {}) {
    std::vector<uint8_t> b = {0xFF, 0xD8};
    for (const auto& [marker, contents] : segments) {
        size_t length = contents.size() + 2;
        b.insert(b.end(), {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
        b.insert(b.end(), contents.begin(), contents.end());
    }
    b.insert(b.end(), data.begin(), data.end());
    b.insert(b.end(), {0xFF, 0xD9});
    return b;
}

// A frame header of 8192 x 8192 pixels in four components sampled 4 x 4 needs 512 MB of coefficients
// once it is decoded; a file of a few bytes, which cannot hold the data of so many blocks, is
// refused without taking that memory: with no scan, with a scan whose data is a few bytes, and with
// a progressive scan of AC coefficients (whose runs of empty blocks cost almost no bits) before the
// component's DC coefficients.
TEST(JpegDecoder, takesNoMemoryForBlocksTheFileCannotHold) {
    auto frame = [](uint8_t marker) {
        std::vector<uint8_t> header = {8, 0x20, 0x00, 0x20, 0x00, 4};
        for (uint8_t id = 1; id <= 4; ++id) header.insert(header.end(), {id, 0x44, 0});
        return std::pair<uint8_t, std::vector<uint8_t>>{marker, header};
    };
    std::vector<uint8_t> quantisation(65, 1);
    quantisation[0] = 0;
    // One code of one bit in each table: DC difference 0 and end of block (an empty run of one).
    const std::vector<uint8_t> huffman = {0x00, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                          0x10, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<uint8_t> data(16, 0);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } files[] = {
        {"no scan", jpegOf({frame(0xC0)})},
        {"a scan of 16 bytes", jpegOf({frame(0xC0), {0xDB, quantisation}, {0xC4, huffman}, {0xDA, {1, 1, 0x00, 0, 63, 0}}}, data)},
        {"a progressive AC scan first",
         jpegOf({frame(0xC2), {0xDB, quantisation}, {0xC4, huffman}, {0xDA, {1, 1, 0x00, 1, 63, 0}}}, data)},
    };
    EXPECT_EQ(files[0].bytes.size(), 26u);
    for (const auto& file : files) {
        ChildDecode result = decodeInChild(file.bytes);
        ASSERT_GE(result.peakGrowthKb, 0) << file.what << ": the child reported nothing";
        EXPECT_LT(result.peakGrowthKb, 100 * 1024) << file.what;
        EXPECT_TRUE(result.refused) << file.what;
        EXPECT_EQ(result.kind, JpegError::Damaged) << file.what << ": " << result.what;
    }
}

// An Exif segment with one entry (the orientation, unless another tag is given), big- or
// little-endian; the directory offset and the entry count may point past the segment.
std::vector<uint8_t> withExifOrientation(std::vector<uint8_t> jpeg, int orientation, bool little, uint32_t directory,
                                         uint16_t entries, uint8_t tag) {
    std::vector<uint8_t> tiff = {'M', 'M', 0, 42, 0, 0, 0, 0, 0, 0, 0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) tiff[4 + i] = static_cast<uint8_t>(directory >> (24 - 8 * i));
    tiff[8] = static_cast<uint8_t>(entries >> 8), tiff[9] = static_cast<uint8_t>(entries);
    tiff[11] = tag;
    tiff[19] = static_cast<uint8_t>(orientation);
    if (little) {
        tiff[0] = tiff[1] = 'I';
        for (auto [at, size] : {std::pair{2, 2}, {4, 4}, {8, 2}, {10, 2}, {12, 2}, {14, 4}, {18, 2}})
            std::reverse(tiff.begin() + at, tiff.begin() + at + size);
    }
    std::vector<uint8_t> segment = {0xFF, 0xE1, 0, static_cast<uint8_t>(2 + 6 + tiff.size()), 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

// Where the stored top-left and top-right pixels are shown fixes the turn; an orientation outside
// 1 to 8 or Exif data pointing outside itself leaves the picture as stored.
TEST(JpegDecoder, turnsThePictureAsItsExifOrientationSays) {
    enum Corner { TopLeft, TopRight, BottomLeft, BottomRight };
    const struct {
        int orientation;
        bool little;
        uint32_t directory;
        uint16_t entries;
        Corner topLeftShownAt, topRightShownAt;
        uint8_t tag = 0x12;
    } cases[] = {
        {1, false, 8, 1, TopLeft, TopRight},
        {2, false, 8, 1, TopRight, TopLeft},
        {3, true, 8, 1, BottomRight, BottomLeft},
        {4, false, 8, 1, BottomLeft, BottomRight},
        {5, false, 8, 1, TopLeft, BottomLeft},
        {6, false, 8, 1, TopRight, BottomRight},
        {6, true, 8, 1, TopRight, BottomRight},
        {7, false, 8, 1, BottomRight, TopRight},
        {8, true, 8, 1, BottomLeft, TopLeft},
        {9, false, 8, 1, TopLeft, TopRight},
        {6, false, 0xFFFFFFF0u, 1, TopLeft, TopRight},
        {6, false, 25, 1, TopLeft, TopRight},  // the directory's count would end past the segment
        {6, true, 8, 0xFFFF, TopRight, BottomRight},
        {6, false, 8, 0xFFFF, TopLeft, TopRight, 0x00},  // far more entries than the file holds
    };
    const std::vector<uint8_t> fixture = readFixture("baseline-444.jpg");
    int width = 0, height = 0;
    std::vector<uint8_t> stored;
    jaunt::decodeJpeg(fixture, 8192, width, height, stored);
    auto pixel = [](const std::vector<uint8_t>& rgba, int w, int x, int y) {
        auto at = rgba.begin() + (static_cast<ptrdiff_t>(y) * w + x) * 4;
        return std::vector<uint8_t>(at, at + 4);
    };
    ASSERT_NE(pixel(stored, kWidth, 0, 0), pixel(stored, kWidth, kWidth - 1, 0));
    auto right = [](Corner corner) { return corner == TopRight || corner == BottomRight; };
    auto bottom = [](Corner corner) { return corner == BottomLeft || corner == BottomRight; };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << ", directory at " << c.directory << ", "
                                        << c.entries << " entries" << (c.little ? ", little-endian" : "") << ", tag 0x"
                                        << std::hex << (0x100 | c.tag));
        std::vector<uint8_t> rgba;
        jaunt::decodeJpeg(withExifOrientation(fixture, c.orientation, c.little, c.directory, c.entries, c.tag), 8192, width,
                          height, rgba);
        // The stored top row is shown as a column when both its ends are on one side.
        const bool turned = right(c.topLeftShownAt) == right(c.topRightShownAt);
        ASSERT_EQ(width, turned ? kHeight : kWidth);
        ASSERT_EQ(height, turned ? kWidth : kHeight);
        for (auto [corner, x] : {std::pair{c.topLeftShownAt, 0}, {c.topRightShownAt, kWidth - 1}})
            EXPECT_EQ(pixel(rgba, width, right(corner) ? width - 1 : 0, bottom(corner) ? height - 1 : 0),
                      pixel(stored, kWidth, x, 0));
    }
}

}  // namespace
