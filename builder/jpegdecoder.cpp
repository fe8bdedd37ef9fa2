#include "jpegdecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace jaunt {

namespace {

// Position in the 8x8 block (row-major) of the k-th coefficient in coding order.
const uint8_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
};

// Real files have a handful of scans; the bound keeps a small hostile file from making the decoder
// walk a large frame thousands of times.
constexpr int kMaximumScans = 1000;

[[noreturn]] void damaged(const std::string& why) { throw JpegError(JpegError::Damaged, why); }
[[noreturn]] void unsupported(const std::string& what) { throw JpegError(JpegError::Unsupported, what); }

// Coefficients are kept as 16-bit values, as the format defines them; hostile streams may push a
// running sum past that range, which wraps here instead of overflowing.
int16_t wrap16(int32_t value) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value))); }

// A canonical Huffman table: codes of each length 1..16, with a 9-bit lookup for the short ones.
struct HuffmanTable {
    bool defined = false;
    uint8_t values[256] = {};
    int32_t maxCode[17] = {};  // largest code of each length, -1 when there is none
    int32_t minCode[17] = {};
    int firstValue[17] = {};
    uint16_t fast[512] = {};  // (length << 8) | value for codes of up to 9 bits, 0 for longer ones

    // counts[l - 1] codes of length l, then their values; false when the counts cannot form a code.
    bool build(const uint8_t counts[16], const uint8_t* symbols, int total) {
        std::memset(fast, 0, sizeof fast);
        std::memcpy(values, symbols, static_cast<size_t>(total));
        int32_t code = 0;
        int next = 0;
        for (int length = 1; length <= 16; ++length) {
            int n = counts[length - 1];
            firstValue[length] = next;
            minCode[length] = code;
            maxCode[length] = n ? code + n - 1 : -1;
            code += n;
            if (code > (1 << length)) return false;  // more codes than this length has room for
            if (length <= 9)
                for (int32_t c = minCode[length]; c <= maxCode[length]; ++c) {
                    uint16_t entry = static_cast<uint16_t>(length << 8 | values[next + (c - minCode[length])]);
                    for (int fill = 0; fill < (1 << (9 - length)); ++fill) fast[(c << (9 - length)) + fill] = entry;
                }
            next += n;
            code <<= 1;
        }
        defined = true;
        return true;
    }
};

// The entropy-coded data of one scan: bytes after the scan header up to the next marker, with the
// stuffed zero after each 0xFF data byte removed. Past the data it supplies zero bits and counts
// them, so that a decoder which needed them can be told that the data ended early.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size, size_t start) : data_(data), size_(size), pos_(start) {}

    uint32_t bits(int n) {  // n in 0..16
        if (n == 0) return 0;
        fill();
        uint32_t value = static_cast<uint32_t>(buffer_ >> (64 - n));
        consume(n);
        return value;
    }
    uint32_t peek16() {
        fill();
        return static_cast<uint32_t>(buffer_ >> 48);
    }
    void consume(int n) {
        buffer_ <<= n;
        count_ -= n;
        if (count_ < padding_) {
            if (marker_ < 0) damaged("the picture data ends early");
            damaged("the picture data is damaged (a scan's data ends before its last block)");
        }
    }
    // Signed value of n bits, as the format stores coefficient amplitudes.
    int32_t extended(int n) {
        if (n == 0) return 0;
        int32_t v = static_cast<int32_t>(bits(n));
        return v < (1 << (n - 1)) ? v - (1 << n) + 1 : v;
    }
    int decode(const HuffmanTable& table) {
        uint32_t peek = peek16();
        uint16_t entry = table.fast[peek >> 7];
        if (entry != 0) {
            consume(entry >> 8);
            return entry & 0xFF;
        }
        for (int length = 10; length <= 16; ++length) {
            int32_t code = static_cast<int32_t>(peek >> (16 - length));
            if (code <= table.maxCode[length]) {
                consume(length);
                return table.values[table.firstValue[length] + (code - table.minCode[length])];
            }
        }
        damaged("the picture data is damaged (a Huffman code no table holds)");
    }

    // Drops the rest of the current byte and any stray data up to the next marker. Returns the
    // marker (its second byte) and where it starts, or -1 when the file ends first.
    int nextMarker(size_t& at) {
        dropBits();
        if (marker_ < 0) {
            while (pos_ + 1 < size_ && !(data_[pos_] == 0xFF && data_[pos_ + 1] != 0 && data_[pos_ + 1] != 0xFF)) ++pos_;
            if (pos_ + 1 >= size_) return -1;
            markerAt_ = pos_;
            marker_ = data_[pos_ + 1];
        }
        at = markerAt_;
        return marker_;
    }
    // Goes on reading data after the restart marker at `at`.
    void restartAfter(size_t at) {
        pos_ = at + 2;
        marker_ = -1;
        dropBits();
    }

private:
    void dropBits() {
        buffer_ = 0;
        count_ = padding_ = 0;
    }
    void fill() {
        while (count_ <= 56) {
            uint32_t byte = 0;
            bool real = false;
            if (marker_ < 0 && pos_ < size_) {
                byte = data_[pos_];
                if (byte != 0xFF) {
                    ++pos_;
                    real = true;
                } else {
                    size_t next = pos_ + 1;
                    while (next < size_ && data_[next] == 0xFF) ++next;  // fill bytes
                    if (next < size_ && data_[next] == 0) {
                        pos_ = next + 1;  // a stuffed 0xFF data byte
                        real = true;
                    } else if (next < size_) {
                        marker_ = data_[next];
                        markerAt_ = next - 1;
                    } else {
                        pos_ = size_;
                    }
                }
            }
            if (!real) {
                byte = 0;
                padding_ += 8;
            }
            buffer_ |= static_cast<uint64_t>(byte) << (56 - count_);
            count_ += 8;
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_;
    uint64_t buffer_ = 0;
    int count_ = 0;    // bits in buffer_, from its top
    int padding_ = 0;  // how many of them are zeros supplied past the data
    int marker_ = -1;  // the marker that ended the data, once seen
    size_t markerAt_ = 0;
};

struct Component {
    int id = 0;
    int h = 1, v = 1;      // sampling factors
    int table = 0;         // quantisation table selector
    int dcTable = 0, acTable = 0;
    bool seen = false;     // took part in a scan: its quantisation table is fixed from then on
    uint16_t quant[64] = {};
    int blocksWide = 0, blocksHigh = 0;  // blocks stored (whole MCUs)
    int width = 0, height = 0;           // samples that belong to the picture
    std::vector<int16_t> coefficients;   // 64 per block, natural order, not yet dequantised; taken at
                                         // the component's first scan
    std::vector<uint8_t> samples;        // blocksWide * 8 by blocksHigh * 8 after the inverse DCT
    int16_t* block(int bx, int by) { return &coefficients[(static_cast<size_t>(by) * blocksWide + bx) * 64]; }
};

class Decoder {
public:
    Decoder(const std::vector<uint8_t>& bytes, int maximumSide) : d_(bytes), maximumSide_(maximumSide) {}

    void run(int& width, int& height, std::vector<uint8_t>& rgba) {
        size_t pos = 2;
        for (;;) {
            size_t at = pos;
            while (at < d_.size() && d_[at] != 0xFF) ++at;  // stray bytes between segments
            while (at + 1 < d_.size() && d_[at + 1] == 0xFF) ++at;
            if (at + 1 >= d_.size()) damaged("the file ends before its end-of-image marker");
            int marker = d_[at + 1];
            pos = at + 2;
            if (marker == 0xD9) break;
            if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01 || marker == 0x00)
                damaged("misplaced marker " + hex(marker));
            if (pos + 2 > d_.size()) damaged("the file ends inside a segment");
            size_t length = static_cast<size_t>(d_[pos] << 8 | d_[pos + 1]);
            if (length < 2 || pos + length > d_.size()) damaged("the file ends inside a segment");
            const uint8_t* s = &d_[pos + 2];
            size_t n = length - 2;
            pos += length;
            switch (marker) {
                case 0xC0: case 0xC1: case 0xC2:
                    frame(s, n, marker == 0xC2);
                    break;
                case 0xC3: unsupported("a lossless JPEG");
                case 0xC5: case 0xC6: case 0xC7: unsupported("a hierarchical JPEG");
                case 0xC9: case 0xCA: case 0xCB: case 0xCD: case 0xCE: case 0xCF: unsupported("an arithmetic-coded JPEG");
                case 0xC4: huffmanTables(s, n); break;
                case 0xDB: quantisationTables(s, n); break;
                case 0xDD:
                    if (n != 2) damaged("a restart interval segment of the wrong length");
                    restartInterval_ = s[0] << 8 | s[1];
                    break;
                case 0xEE:
                    // Adobe's segment tells how the colour components are coded.
                    if (n >= 12 && std::memcmp(s, "Adobe", 5) == 0) adobeTransform_ = s[11];
                    break;
                case 0xE1:
                    if (n >= 6 && std::memcmp(s, "Exif\0\0", 6) == 0) orientation_ = exifOrientation(s + 6, n - 6);
                    break;
                case 0xDA: pos = scan(s, n, pos); break;
                default: break;  // application data, comments and other segments that do not change the picture
            }
        }
        if (!haveFrame_) damaged("the file has no frame header");
        if (scans_ == 0) damaged("the file has no picture data");
        for (Component& c : components_)
            if (!c.seen) damaged("a colour component has no picture data");
        finish(width, height, rgba);
        orient(width, height, rgba);
    }

private:
    static std::string hex(int marker) {
        const char* digits = "0123456789ABCDEF";
        return std::string("0xFF") + digits[marker >> 4] + digits[marker & 15];
    }

    // The orientation tag (1 to 8) of the first directory of Exif data (a TIFF structure), or 1
    // when it is missing or unreadable.
    static int exifOrientation(const uint8_t* t, size_t n) {
        if (n < 8 || !((t[0] == 'I' && t[1] == 'I') || (t[0] == 'M' && t[1] == 'M'))) return 1;
        const bool big = t[0] == 'M';
        auto get16 = [&](size_t at) { return static_cast<uint32_t>(big ? t[at] << 8 | t[at + 1] : t[at + 1] << 8 | t[at]); };
        auto get32 = [&](size_t at) { return big ? get16(at) << 16 | get16(at + 2) : get16(at + 2) << 16 | get16(at); };
        uint32_t directory = get32(4);
        if (get16(2) != 42 || directory > n - 2) return 1;
        size_t entries = get16(directory);
        for (size_t i = 0; i < entries && directory + 2 + 12 * (i + 1) <= n; ++i) {
            size_t at = directory + 2 + 12 * i;
            if (get16(at) == 0x0112 && get16(at + 2) == 3 && get32(at + 4) == 1) {
                uint32_t value = get16(at + 8);
                return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
            }
        }
        return 1;
    }

    // Turns the decoded picture the way its Exif orientation says it is meant to be seen.
    void orient(int& width, int& height, std::vector<uint8_t>& rgba) const {
        if (orientation_ == 1) return;
        const int w = width, h = height;
        const bool swapped = orientation_ >= 5;
        const int outWidth = swapped ? h : w, outHeight = swapped ? w : h;
        std::vector<uint8_t> out(rgba.size());
        for (int y = 0; y < outHeight; ++y)
            for (int x = 0; x < outWidth; ++x) {
                int sx = x, sy = y;
                switch (orientation_) {
                    case 2: sx = w - 1 - x; break;                  // shown mirrored
                    case 3: sx = w - 1 - x, sy = h - 1 - y; break;  // shown upside down
                    case 4: sy = h - 1 - y; break;                  // shown mirrored top to bottom
                    case 5: sx = y, sy = x; break;                  // shown transposed
                    case 6: sx = y, sy = h - 1 - x; break;          // shown turned a quarter clockwise
                    case 7: sx = w - 1 - y, sy = h - 1 - x; break;  // shown transposed the other way
                    case 8: sx = w - 1 - y, sy = x; break;          // shown turned a quarter anticlockwise
                }
                std::memcpy(&out[(static_cast<size_t>(y) * outWidth + x) * 4], &rgba[(static_cast<size_t>(sy) * w + sx) * 4], 4);
            }
        rgba.swap(out);
        width = outWidth;
        height = outHeight;
    }

    void frame(const uint8_t* s, size_t n, bool isProgressive) {
        if (haveFrame_) damaged("a second frame header");
        if (n < 6) damaged("a frame header too short");
        if (s[0] != 8) unsupported(std::string("a JPEG of ") + std::to_string(s[0]) + "-bit samples");
        height_ = s[1] << 8 | s[2];
        width_ = s[3] << 8 | s[4];
        int count = s[5];
        if (width_ == 0) throw JpegError(JpegError::NoPixels, "the picture has a width of 0 pixels");
        if (height_ == 0) unsupported("a JPEG whose height follows its data (DNL)");
        if (width_ > maximumSide_ || height_ > maximumSide_)
            throw JpegError(JpegError::TooLarge, "the picture is too large", width_, height_);
        if (count != 1 && count != 3 && count != 4)
            unsupported("a JPEG of " + std::to_string(count) + " colour components");
        if (n != 6 + 3 * static_cast<size_t>(count)) damaged("a frame header of the wrong length");
        progressive_ = isProgressive;
        components_.resize(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) {
            Component& c = components_[static_cast<size_t>(i)];
            c.id = s[6 + 3 * i];
            c.h = s[7 + 3 * i] >> 4;
            c.v = s[7 + 3 * i] & 15;
            c.table = s[8 + 3 * i];
            if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4) damaged("a sampling factor outside 1 to 4");
            if (c.table > 3) damaged("a quantisation table selector outside 0 to 3");
            for (int j = 0; j < i; ++j)
                if (components_[static_cast<size_t>(j)].id == c.id) damaged("two colour components with one identifier");
            maxH_ = std::max(maxH_, c.h);
            maxV_ = std::max(maxV_, c.v);
        }
        mcusWide_ = (width_ + 8 * maxH_ - 1) / (8 * maxH_);
        mcusHigh_ = (height_ + 8 * maxV_ - 1) / (8 * maxV_);
        for (Component& c : components_) {
            if (maxH_ % c.h != 0 || maxV_ % c.v != 0)
                unsupported("a JPEG whose colour components are subsampled by fractions");
            c.width = (width_ * c.h + maxH_ - 1) / maxH_;
            c.height = (height_ * c.v + maxV_ - 1) / maxV_;
            c.blocksWide = mcusWide_ * c.h;
            c.blocksHigh = mcusHigh_ * c.v;
        }
        haveFrame_ = true;
    }

    void huffmanTables(const uint8_t* s, size_t n) {
        while (n > 0) {
            if (n < 17) damaged("a Huffman table segment too short");
            int tableClass = s[0] >> 4, id = s[0] & 15;
            if (tableClass > 1 || id > 3) damaged("a Huffman table of unknown class or number");
            int total = 0;
            for (int i = 0; i < 16; ++i) total += s[1 + i];
            if (total > 256) damaged("a Huffman table of more than 256 codes");
            if (n < 17 + static_cast<size_t>(total)) damaged("a Huffman table segment too short");
            HuffmanTable& table = (tableClass == 0 ? dc_ : ac_)[id];
            if (!table.build(s + 1, s + 17, total)) damaged("a Huffman table whose code lengths do not fit");
            s += 17 + total;
            n -= 17 + static_cast<size_t>(total);
        }
    }

    void quantisationTables(const uint8_t* s, size_t n) {
        while (n > 0) {
            int precision = s[0] >> 4, id = s[0] & 15;
            if (precision > 1 || id > 3) damaged("a quantisation table of unknown precision or number");
            size_t size = 1 + 64 * static_cast<size_t>(precision + 1);
            if (n < size) damaged("a quantisation table segment too short");
            for (int k = 0; k < 64; ++k)
                quant_[id][kZigzag[k]] = static_cast<uint16_t>(precision ? s[1 + 2 * k] << 8 | s[2 + 2 * k] : s[1 + k]);
            quantDefined_[id] = true;
            s += size;
            n -= size;
        }
    }

    // Reads a scan header and its data; returns where the data ends (at the next marker).
    size_t scan(const uint8_t* s, size_t n, size_t dataStart) {
        if (!haveFrame_) damaged("picture data before the frame header");
        if (++scans_ > kMaximumScans) damaged("more than " + std::to_string(kMaximumScans) + " scans");
        if (n < 1) damaged("a scan header too short");
        int count = s[0];
        if (count < 1 || count > 4 || n != 4 + 2 * static_cast<size_t>(count)) damaged("a scan header of the wrong length");
        std::vector<Component*> parts;
        int blocksPerMcu = 0;
        for (int i = 0; i < count; ++i) {
            int id = s[1 + 2 * i];
            auto found = std::find_if(components_.begin(), components_.end(), [&](const Component& c) { return c.id == id; });
            if (found == components_.end()) damaged("a scan names a colour component the frame does not have");
            if (std::find(parts.begin(), parts.end(), &*found) != parts.end()) damaged("a scan names a colour component twice");
            found->dcTable = s[2 + 2 * i] >> 4;
            found->acTable = s[2 + 2 * i] & 15;
            if (found->dcTable > 3 || found->acTable > 3) damaged("a Huffman table selector outside 0 to 3");
            blocksPerMcu += found->h * found->v;
            parts.push_back(&*found);
        }
        if (count > 1 && blocksPerMcu > 10) damaged("more than 10 blocks in a unit of the picture");
        int ss = s[1 + 2 * count], se = s[2 + 2 * count], ah = s[3 + 2 * count] >> 4, al = s[3 + 2 * count] & 15;
        if (progressive_) {
            if (ss > se || se > 63 || (ss == 0 && se != 0) || (ss > 0 && count != 1) || ah > 13 || al > 13)
                damaged("a progressive scan with impossible parameters");
        } else {
            ss = 0, se = 63, ah = al = 0;
        }
        // A single-component scan codes only the blocks inside that component, one per unit; an
        // interleaved scan codes whole units of h x v blocks of each component.
        Component& only = *parts[0];
        int unitsWide = count == 1 ? (only.width + 7) / 8 : mcusWide_;
        int unitsHigh = count == 1 ? (only.height + 7) / 8 : mcusHigh_;
        long units = static_cast<long>(unitsWide) * unitsHigh;
        // The memory for a component's coefficients is taken at its first scan, and only when the
        // rest of the file could hold that scan's data, so that a small file cannot claim a large
        // frame's memory. A DC scan codes each of its blocks in at least one bit (a sequential
        // scan in two: the DC difference and an AC code); the format has the DC scan of a component
        // come before its AC scans, which code runs of empty blocks in a few bits.
        if (ss == 0) {
            uint64_t blocks = static_cast<uint64_t>(units) * static_cast<uint64_t>(count == 1 ? 1 : blocksPerMcu);
            if (blocks * (progressive_ ? 1 : 2) > 8 * static_cast<uint64_t>(d_.size() - dataStart))
                damaged("the picture data ends early");
        }
        for (Component* c : parts) {
            if (!c->seen) {
                if (ss > 0) damaged("a progressive scan of AC coefficients before the DC scan of their component");
                if (!quantDefined_[c->table]) damaged("a colour component without its quantisation table");
                std::memcpy(c->quant, quant_[c->table], sizeof c->quant);
                c->coefficients.assign(static_cast<size_t>(c->blocksWide) * c->blocksHigh * 64, 0);
                c->seen = true;
            }
            bool needDc = ss == 0 && ah == 0, needAc = se > 0;
            if ((needDc && !dc_[c->dcTable].defined) || (needAc && !ac_[c->acTable].defined))
                damaged("a scan uses a Huffman table that is not defined");
        }

        BitReader in(d_.data(), d_.size(), dataStart);
        int predictions[4] = {};
        int eobRun = 0;
        auto decodeBlock = [&](Component& c, int16_t* block) {
            int& prediction = predictions[&c - components_.data()];
            if (!progressive_) {
                sequentialBlock(in, c, block, prediction);
            } else if (ss == 0) {
                if (ah == 0)
                    block[0] = wrap16(nextDc(in, c, prediction) * (1 << al));
                else if (in.bits(1))
                    block[0] = wrap16(block[0] | (1 << al));
            } else if (ah == 0) {
                acFirst(in, ac_[c.acTable], block, ss, se, al, eobRun);
            } else {
                acRefine(in, ac_[c.acTable], block, ss, se, al, eobRun);
            }
        };

        int restartNumber = 0;
        for (long unit = 0; unit < units; ++unit) {
            if (restartInterval_ > 0 && unit > 0 && unit % restartInterval_ == 0) {
                size_t at = 0;
                int marker = in.nextMarker(at);
                if (marker < 0) damaged("the picture data ends early");
                if (marker != 0xD0 + restartNumber) damaged("a restart marker is missing or out of order");
                restartNumber = (restartNumber + 1) & 7;
                in.restartAfter(at);
                std::fill(std::begin(predictions), std::end(predictions), 0);
                eobRun = 0;
            }
            int ux = static_cast<int>(unit % unitsWide), uy = static_cast<int>(unit / unitsWide);
            if (count == 1) {
                decodeBlock(only, only.block(ux, uy));
            } else {
                for (Component* c : parts)
                    for (int by = 0; by < c->v; ++by)
                        for (int bx = 0; bx < c->h; ++bx) decodeBlock(*c, c->block(ux * c->h + bx, uy * c->v + by));
            }
        }
        size_t at = 0;
        if (in.nextMarker(at) < 0) damaged("the file ends before its end-of-image marker");
        return at;
    }

    // The next DC value of a component: the difference the data codes, added to the last value.
    int nextDc(BitReader& in, const Component& c, int& prediction) const {
        int category = in.decode(dc_[c.dcTable]);
        if (category > 11) damaged("the picture data is damaged (a DC difference of more than 11 bits)");
        prediction = wrap16(prediction + in.extended(category));
        return prediction;
    }

    void sequentialBlock(BitReader& in, Component& c, int16_t* block, int& prediction) {
        std::fill(block, block + 64, 0);
        block[0] = static_cast<int16_t>(nextDc(in, c, prediction));
        const HuffmanTable& ac = ac_[c.acTable];
        for (int k = 1; k < 64; ++k) {
            int rs = in.decode(ac);
            int run = rs >> 4, size = rs & 15;
            if (size == 0) {
                if (run != 15) break;  // end of block
                k += 15;               // sixteen zeros
                if (k > 63) damaged("the picture data is damaged (a run of zeros past the end of its block)");
                continue;
            }
            k += run;
            if (k > 63) damaged("the picture data is damaged (a coefficient past the end of its block)");
            block[kZigzag[k]] = wrap16(in.extended(size));
        }
    }

    static void acFirst(BitReader& in, const HuffmanTable& table, int16_t* block, int ss, int se, int al, int& eobRun) {
        if (eobRun > 0) {
            --eobRun;
            return;
        }
        for (int k = ss; k <= se; ++k) {
            int rs = in.decode(table);
            int run = rs >> 4, size = rs & 15;
            if (size == 0) {
                if (run < 15) {
                    eobRun = (1 << run) - 1 + static_cast<int>(in.bits(run));
                    break;
                }
                k += 15;
                if (k > se) damaged("the picture data is damaged (a run of zeros past the end of its band)");
                continue;
            }
            k += run;
            if (k > se) damaged("the picture data is damaged (a coefficient past the end of its band)");
            block[kZigzag[k]] = wrap16(in.extended(size) * (1 << al));
        }
    }

    // A refinement scan sends one more bit of every coefficient already non-zero, and the sign of
    // coefficients that become non-zero at this bit.
    static void acRefine(BitReader& in, const HuffmanTable& table, int16_t* block, int ss, int se, int al, int& eobRun) {
        const int plus = 1 << al, minus = -plus;
        auto refine = [&](int16_t& coefficient) {
            if (in.bits(1) && (coefficient & plus) == 0) coefficient = wrap16(coefficient + (coefficient >= 0 ? plus : minus));
        };
        int k = ss;
        if (eobRun == 0) {
            for (; k <= se; ++k) {
                int rs = in.decode(table);
                int run = rs >> 4, size = rs & 15;
                int value = 0;
                if (size != 0) {
                    if (size != 1) damaged("the picture data is damaged (a refinement of more than one bit)");
                    value = in.bits(1) ? plus : minus;
                } else if (run != 15) {
                    eobRun = (1 << run) + static_cast<int>(in.bits(run));
                    break;
                }
                // Skip `run` coefficients that are still zero, refining the non-zero ones passed.
                for (; k <= se; ++k) {
                    int16_t& coefficient = block[kZigzag[k]];
                    if (coefficient != 0)
                        refine(coefficient);
                    else if (--run < 0)
                        break;
                }
                if (k > se) damaged("the picture data is damaged (a run of zeros past the end of its band)");
                if (value != 0) block[kZigzag[k]] = static_cast<int16_t>(value);
            }
        }
        if (eobRun > 0) {
            for (; k <= se; ++k)
                if (block[kZigzag[k]] != 0) refine(block[kZigzag[k]]);
            --eobRun;
        }
    }

    void finish(int& width, int& height, std::vector<uint8_t>& rgba) {
        for (Component& c : components_) {
            inverseTransform(c);
            std::vector<int16_t>().swap(c.coefficients);
        }
        std::vector<std::vector<uint8_t>> planes;
        for (Component& c : components_) {
            planes.push_back(upsample(c));
            std::vector<uint8_t>().swap(c.samples);
        }
        width = width_;
        height = height_;
        size_t pixels = static_cast<size_t>(width_) * height_;
        rgba.assign(pixels * 4, 255);
        bool rgbCoded = components_.size() == 3 &&
                        (adobeTransform_ == 0 || (adobeTransform_ < 0 && components_[0].id == 'R' &&
                                                  components_[1].id == 'G' && components_[2].id == 'B'));
        for (size_t i = 0; i < pixels; ++i) {
            uint8_t* out = &rgba[i * 4];
            if (components_.size() == 1) {
                out[0] = out[1] = out[2] = planes[0][i];
            } else if (!rgbCoded && (components_.size() == 3 || adobeTransform_ == 2)) {
                fromYCbCr(planes[0][i], planes[1][i], planes[2][i], out);
            } else {
                out[0] = planes[0][i], out[1] = planes[1][i], out[2] = planes[2][i];
            }
            // Adobe's four-component files store inverted CMYK (YCCK decodes to inverted CMY):
            // each colour is its value weighted by K.
            if (components_.size() == 4) {
                int k = planes[3][i];
                for (int j = 0; j < 3; ++j) {
                    int value = adobeTransform_ == 2 ? 255 - out[j] : out[j];
                    out[j] = static_cast<uint8_t>((value * k + 127) / 255);
                }
            }
        }
    }

    static uint8_t clamp(int64_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

    static void fromYCbCr(int y, int cb, int cr, uint8_t* out) {
        cb -= 128, cr -= 128;
        // The conversion factors in 16-bit fixed point, rounded.
        out[0] = clamp(y + ((91881 * cr + 32768) >> 16));
        out[1] = clamp(y + ((-22554 * cb - 46802 * cr + 32768) >> 16));
        out[2] = clamp(y + ((116130 * cb + 32768) >> 16));
    }

    // The inverse DCT in fixed point (13 fraction bits, two more kept between the passes), in
    // 64-bit arithmetic so that no coefficient a file can hold overflows it.
    static void inverseTransform(Component& c) {
        c.samples.assign(static_cast<size_t>(c.blocksWide) * 8 * c.blocksHigh * 8, 0);
        const size_t stride = static_cast<size_t>(c.blocksWide) * 8;
        int blocksUsedWide = (c.width + 7) / 8, blocksUsedHigh = (c.height + 7) / 8;
        for (int by = 0; by < blocksUsedHigh; ++by)
            for (int bx = 0; bx < blocksUsedWide; ++bx) {
                const int16_t* block = c.block(bx, by);
                int64_t in[64], work[64];
                for (int i = 0; i < 64; ++i) in[i] = static_cast<int64_t>(block[i]) * c.quant[i];
                for (int col = 0; col < 8; ++col) {
                    int64_t out[8];
                    idct1d(&in[col], 8, out, 11, 0);
                    for (int row = 0; row < 8; ++row) work[row * 8 + col] = out[row];
                }
                uint8_t* dest = &c.samples[static_cast<size_t>(by) * 8 * stride + static_cast<size_t>(bx) * 8];
                for (int row = 0; row < 8; ++row) {
                    int64_t out[8];
                    idct1d(&work[row * 8], 1, out, 18, 128);
                    for (int col = 0; col < 8; ++col) dest[row * stride + static_cast<size_t>(col)] = clamp(out[col]);
                }
            }
    }

    // One dimension of the transform (the Loeffler-Ligtenberg-Moschytz factorisation) of the eight
    // values `step` apart from `in`, results shifted right by `shift` with rounding and `offset` added.
    static void idct1d(const int64_t* in, int step, int64_t out[8], int shift, int64_t offset) {
        const int64_t s0 = in[0], s1 = in[step], s2 = in[2 * step], s3 = in[3 * step], s4 = in[4 * step],
                      s5 = in[5 * step], s6 = in[6 * step], s7 = in[7 * step];
        constexpr int64_t one = 8192;  // 1.0 in 13-bit fixed point
        int64_t z1 = (s2 + s6) * 4433;               // 0.541196100
        int64_t even2 = z1 - s6 * 15137;             // 1.847759065
        int64_t even3 = z1 + s2 * 6270;              // 0.765366865
        int64_t even0 = (s0 + s4) * one, even1 = (s0 - s4) * one;
        int64_t e10 = even0 + even3, e13 = even0 - even3, e11 = even1 + even2, e12 = even1 - even2;

        int64_t p1 = s7 + s1, p2 = s5 + s3, p3 = s7 + s3, p4 = s5 + s1;
        int64_t z5 = (p3 + p4) * 9633;               // 1.175875602
        int64_t o0 = s7 * 2446, o1 = s5 * 16819, o2 = s3 * 25172, o3 = s1 * 12299;  // 0.298631336, 2.053119869, 3.072711026, 1.501321110
        p1 *= -7373;                                 // 0.899976223
        p2 *= -20995;                                // 2.562915447
        p3 = p3 * -16069 + z5;                       // 1.961570560
        p4 = p4 * -3196 + z5;                        // 0.390180644
        o0 += p1 + p3;
        o1 += p2 + p4;
        o2 += p2 + p3;
        o3 += p1 + p4;

        const int64_t round = (int64_t{1} << (shift - 1)) + (offset << shift);
        out[0] = (e10 + o3 + round) >> shift;
        out[7] = (e10 - o3 + round) >> shift;
        out[1] = (e11 + o2 + round) >> shift;
        out[6] = (e11 - o2 + round) >> shift;
        out[2] = (e12 + o1 + round) >> shift;
        out[5] = (e12 - o1 + round) >> shift;
        out[3] = (e13 + o0 + round) >> shift;
        out[4] = (e13 - o0 + round) >> shift;
    }

    // A component at full size. Halved axes are interpolated between the two nearest samples
    // (weights 3/4 and 1/4, as the samples sit between output pixels); other ratios repeat.
    std::vector<uint8_t> upsample(const Component& c) const {
        const int ratioH = maxH_ / c.h, ratioV = maxV_ / c.v;
        const size_t stride = static_cast<size_t>(c.blocksWide) * 8;
        std::vector<uint8_t> plane(static_cast<size_t>(width_) * height_);
        std::vector<int> row(static_cast<size_t>(c.width));
        for (int y = 0; y < height_; ++y) {
            int near = y / ratioV, far = near, weightV = 1;
            if (ratioV == 2) {
                far = std::clamp(y % 2 ? near + 1 : near - 1, 0, c.height - 1);
                weightV = 4;
            }
            const uint8_t* a = &c.samples[static_cast<size_t>(near) * stride];
            const uint8_t* b = &c.samples[static_cast<size_t>(far) * stride];
            for (int x = 0; x < c.width; ++x) row[static_cast<size_t>(x)] = ratioV == 2 ? 3 * a[x] + b[x] : a[x];
            uint8_t* out = &plane[static_cast<size_t>(y) * width_];
            for (int x = 0; x < width_; ++x) {
                int nearX = x / ratioH;
                int value = row[static_cast<size_t>(nearX)], weight = weightV;
                if (ratioH == 2) {
                    int farX = std::clamp(x % 2 ? nearX + 1 : nearX - 1, 0, c.width - 1);
                    value = 3 * value + row[static_cast<size_t>(farX)];
                    weight *= 4;
                }
                out[x] = static_cast<uint8_t>((value + weight / 2) / weight);
            }
        }
        return plane;
    }

    const std::vector<uint8_t>& d_;
    int maximumSide_;
    HuffmanTable dc_[4], ac_[4];
    uint16_t quant_[4][64] = {};
    bool quantDefined_[4] = {};
    std::vector<Component> components_;
    bool haveFrame_ = false, progressive_ = false;
    int width_ = 0, height_ = 0, maxH_ = 1, maxV_ = 1, mcusWide_ = 0, mcusHigh_ = 0;
    int restartInterval_ = 0;
    int adobeTransform_ = -1;
    int orientation_ = 1;
    int scans_ = 0;
};

}  // namespace

bool looksLikeJpeg(const std::vector<uint8_t>& bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

void decodeJpeg(const std::vector<uint8_t>& bytes, int maximumSide, int& width, int& height, std::vector<uint8_t>& rgba) {
    if (!looksLikeJpeg(bytes)) throw JpegError(JpegError::Damaged, "not a JPEG file");
    Decoder(bytes, maximumSide).run(width, height, rgba);
}

}  // namespace jaunt
