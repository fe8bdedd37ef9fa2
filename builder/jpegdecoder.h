// A JPEG decoder of its own: baseline, extended sequential and progressive Huffman-coded pictures
// of 8-bit samples with one (grey), three (YCbCr or RGB) or four (Adobe CMYK or YCCK) components.
// It is written for hostile input: every table index, run length and coefficient position is
// checked, and a picture whose data ends early or is damaged is refused, never guessed at. All
// arithmetic is integer, so every platform decodes a file to the same pixels. A picture is turned
// as its Exif orientation says, as viewers show it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace jaunt {

// True when the bytes start as a JPEG file does (start-of-image marker and another marker).
bool looksLikeJpeg(const std::vector<uint8_t>& bytes);

struct JpegError : std::runtime_error {
    enum Kind {
        Damaged,      // the file breaks the format or ends early; what() says where
        Unsupported,  // a valid kind of JPEG this decoder does not read (among them a height of 0,
                      // which means the height follows the picture data); what() names it
        NoPixels,     // the frame gives a width of 0
        TooLarge,     // the frame is wider or higher than allowed; width and height are set
    };
    Kind kind;
    int width = 0, height = 0;
    JpegError(Kind k, const std::string& what, int w = 0, int h = 0) : std::runtime_error(what), kind(k), width(w), height(h) {}
};

// Decodes a JPEG file to RGBA (alpha 255), top row first, refusing frames larger than
// maximumSide pixels on a side before any pixel memory is taken, and taking a colour component's
// memory only once the file holds enough data for its first scan. Throws JpegError.
void decodeJpeg(const std::vector<uint8_t>& bytes, int maximumSide, int& width, int& height, std::vector<uint8_t>& rgba);

}  // namespace jaunt
