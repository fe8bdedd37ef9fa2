// The packed runtime's index parser, the location text of key 2010 and the CRC, on packs written
// here byte by byte (independently of the build tool's writer).
#include "runtimepack.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using jaunt::RuntimePackError;

struct Entry {
    std::string name;
    uint8_t kind;  // 0 stored, 1 deflated, 2 directory
    uint64_t size;
    uint64_t storedSize;
    uint32_t crc;
    Bytes data;  // the stored bytes
};

void put(Bytes* out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

Entry file(const std::string& name, const std::string& content) {
    Bytes data(content.begin(), content.end());
    return Entry{name, 0, data.size(), data.size(), jaunt::runtimeCrc32(0, data.data(), data.size()), data};
}

Entry directory(const std::string& name) { return Entry{name, 2, 0, 0, 0, {}}; }

// A pack of the entries; count and indexSize other than -1 replace the header's true values.
Bytes pack(const std::vector<Entry>& entries, int64_t count = -1, int64_t indexSize = -1) {
    Bytes index, data;
    for (const Entry& e : entries) {
        put(&index, e.name.size(), 2);
        index.insert(index.end(), e.name.begin(), e.name.end());
        index.push_back(e.kind);
        put(&index, e.size, 8);
        put(&index, e.storedSize, 8);
        put(&index, e.crc, 4);
        data.insert(data.end(), e.data.begin(), e.data.end());
    }
    Bytes out(jaunt::kRuntimePackMagic, jaunt::kRuntimePackMagic + 8);
    put(&out, indexSize >= 0 ? uint64_t(indexSize) : index.size(), 4);
    put(&out, count >= 0 ? uint64_t(count) : entries.size(), 4);
    out.insert(out.end(), index.begin(), index.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

RuntimePackError parse(const Bytes& bytes, jaunt::RuntimeIndex* index = nullptr) {
    jaunt::RuntimeIndex ignored;
    return jaunt::parseRuntimeIndex(bytes.data(), bytes.size(), bytes.size(), index ? index : &ignored);
}

TEST(RuntimePack, ReadsEveryKindOfEntryWithItsOffset) {
    std::string text(5000, 'x');
    Bytes deflated(compressBound(text.size()));
    uLongf length = deflated.size();
    ASSERT_EQ(compress2(deflated.data(), &length, reinterpret_cast<const Bytef*>(text.data()), text.size(), 9), Z_OK);
    deflated.resize(length);
    uint32_t crc = jaunt::runtimeCrc32(0, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    Bytes bytes = pack({file("bin/server/jvm.dll", "MZ"), Entry{"lib/modules", 1, text.size(), length, crc, deflated},
                        directory("conf/empty"), file("release", "")});
    jaunt::RuntimeIndex index;
    ASSERT_EQ(parse(bytes, &index), RuntimePackError::None);
    ASSERT_EQ(index.entries.size(), 4u);
    const uint64_t data = jaunt::kRuntimePackHeaderSize + index.indexSize;
    EXPECT_EQ(index.indexSize, 4 * 23u + 18 + 11 + 10 + 7);
    EXPECT_EQ(index.entries[0].offset, data);
    EXPECT_EQ(index.entries[1].offset, data + 2);
    EXPECT_EQ(index.entries[1].kind, jaunt::RuntimeEntryKind::Deflated);
    EXPECT_EQ(index.entries[1].storedSize, length);
    EXPECT_EQ(index.entries[1].crc, crc);
    EXPECT_EQ(index.entries[2].kind, jaunt::RuntimeEntryKind::Directory);
    EXPECT_EQ(index.entries[3].offset, data + 2 + length);
    EXPECT_EQ(index.unpackedSize, 2 + text.size());
    // The header alone tells the index size; the index alone (without the data) parses too.
    uint32_t indexSize = 0;
    RuntimePackError error;
    ASSERT_TRUE(jaunt::runtimePackIndexSize(bytes.data(), jaunt::kRuntimePackHeaderSize, &indexSize, &error));
    EXPECT_EQ(indexSize, index.indexSize);
    EXPECT_EQ(jaunt::parseRuntimeIndex(bytes.data(), jaunt::kRuntimePackHeaderSize + indexSize, bytes.size(), &index),
              RuntimePackError::None);
    // An empty pack is a pack.
    EXPECT_EQ(parse(pack({})), RuntimePackError::None);
}

TEST(RuntimePack, RefusesDamagedPacks) {
    const Bytes good = pack({file("a/b.txt", "hello"), file("c", "x")});
    Bytes badMagic = good;
    badMagic[7] = '2';
    Bytes longer = good;
    longer.push_back(0);
    Bytes shorter(good.begin(), good.end() - 1);
    Bytes tooManyEntries = pack({}, jaunt::kRuntimePackMaxEntries + 1);
    Bytes tooLargeIndex = pack({}, 0, jaunt::kRuntimePackMaxIndex + 1);
    tooLargeIndex.resize(jaunt::kRuntimePackMaxIndex + 17);
    Entry huge = Entry{"big", 1, uint64_t(1) << 63, 1, 0, {0}};
    Entry huger = huge;
    huger.name = "bigger";
    const struct {
        const char* what;
        Bytes bytes;
        RuntimePackError error;
    } cases[] = {
        {"no header", Bytes(good.begin(), good.begin() + 15), RuntimePackError::Cut},
        {"index cut", Bytes(good.begin(), good.begin() + 30), RuntimePackError::Cut},
        {"more entries than the index holds", pack({file("a", "x")}, 2), RuntimePackError::Cut},
        {"an entry cut inside its numbers", pack({file("a", "x")}, -1, 20), RuntimePackError::Cut},
        {"bad magic", badMagic, RuntimePackError::BadMagic},
        {"too many entries", tooManyEntries, RuntimePackError::TooLarge},
        {"too large an index", tooLargeIndex, RuntimePackError::TooLarge},
        {"sizes beyond 64 bits", pack({huge, huger}), RuntimePackError::TooLarge},
        {"unknown kind", pack({Entry{"a", 3, 0, 0, 0, {}}}), RuntimePackError::BadEntry},
        {"directory with content", pack({Entry{"a", 2, 1, 1, 0, {'x'}}}), RuntimePackError::BadEntry},
        {"stored size differs", pack({Entry{"a", 0, 2, 1, 0, {'x'}}}), RuntimePackError::BadEntry},
        {"data longer than the index says", longer, RuntimePackError::SizeMismatch},
        {"data shorter than the index says", shorter, RuntimePackError::SizeMismatch},
        {"index longer than its entries", pack({file("a", "x")}, 0, 24), RuntimePackError::SizeMismatch},
    };
    for (const auto& c : cases) EXPECT_EQ(parse(c.bytes), c.error) << c.what;
}

TEST(RuntimePack, RefusesNamesTheLauncherCouldNotCreateSafely) {
    const char* bad[] = {"", "../x", "a/../b", "./a", "a//b", "/a", "a/", "C:x", "a:b", "con", "lib/NUL.txt",
                         "com1", "a\\b", "x.", "x ", "a\tb", "a*b", "a?b", "a\"b", "a<b", "a|b"};
    for (const char* name : bad) {
        EXPECT_FALSE(jaunt::isRuntimeEntryName(name)) << name;
        EXPECT_EQ(parse(pack({file(name, "x")})), RuntimePackError::BadName) << name;
    }
    EXPECT_FALSE(jaunt::isRuntimeEntryName(std::string("a\0b", 3)));
    EXPECT_FALSE(jaunt::isRuntimeEntryName(std::string(1025, 'a')));
    EXPECT_TRUE(jaunt::isRuntimeEntryName(std::string(1024, 'a')));
    for (const char* good : {"bin/server/jvm.dll", "lib/security/java.security", ".hidden", "a b/c-d_e+f",
                             "legal/java.base/LICENSE", "conf/\xC3\xA9t\xC3\xA9.txt"})
        EXPECT_TRUE(jaunt::isRuntimeEntryName(good)) << good;

    const struct {
        const char* what;
        std::vector<Entry> entries;
    } clashes[] = {
        {"the same name twice", {file("a", "1"), file("a", "2")}},
        {"names that differ only in case", {file("Lib/a", "1"), file("lib/A", "2")}},
        {"a directory entry named like a file", {file("a", "1"), directory("A")}},
        {"a file below a file", {file("a", "1"), file("a/b", "2")}},
        {"a file below a file, in other case", {file("A/b/c", "1"), file("a/B", "2")}},
        {"a directory below a file", {file("a", "1"), directory("a/b")}},
    };
    for (const auto& c : clashes) EXPECT_EQ(parse(pack(c.entries)), RuntimePackError::BadName) << c.what;
    EXPECT_EQ(parse(pack({directory("a"), file("a/b", "1"), file("ab", "2")})), RuntimePackError::None);
}

TEST(RuntimePack, LocationTextAndCrc) {
    const std::string hash(64, 'a');
    uint64_t offset = 1, size = 1;
    std::string read;
    ASSERT_TRUE(jaunt::parseRuntimeLocation(("20008 123 " + hash).c_str(), &offset, &size, &read));
    EXPECT_EQ(offset, 20008u);
    EXPECT_EQ(size, 123u);
    EXPECT_EQ(read, hash);
    EXPECT_TRUE(jaunt::parseRuntimeLocation(("0 0 " + hash).c_str(), &offset, &size, &read));
    for (const std::string& bad : {"20008 123 " + hash.substr(1), "20008 123 " + hash + "0", "20008 123 A" + hash.substr(1),
                                   "20008  123 " + hash, " 1 2 " + hash, "1 " + hash, "x 2 " + hash,
                                   "99999999999999999999 2 " + hash, "1 2 " + hash.substr(0, 63) + "g"})
        EXPECT_FALSE(jaunt::parseRuntimeLocation(bad.c_str(), &offset, &size, &read)) << bad;

    const std::string check = "123456789";
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(check.data());
    EXPECT_EQ(jaunt::runtimeCrc32(0, bytes, check.size()), 0xCBF43926u);
    EXPECT_EQ(jaunt::runtimeCrc32(jaunt::runtimeCrc32(0, bytes, 4), bytes + 4, 5), 0xCBF43926u);
}

}  // namespace
