// The resource section of a Windows image: its directory tree (type / name / language, each leaf a
// block of data) read into a flat list of entries, written back out at a given address, and put
// into an image whose last section it is.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace jaunt {

// A resource section (or an image) that cannot be read or changed; the message says why.
class ResourceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Standard resource types.
constexpr uint16_t kResourceIcon = 3;
constexpr uint16_t kResourceBitmap = 2;
constexpr uint16_t kResourceGroupIcon = 14;
constexpr uint16_t kResourceVersion = 16;
constexpr uint16_t kResourceManifest = 24;

// A type or name: a number, or a name (stored in upper case, as the system looks names up).
struct ResourceId {
    std::u16string name;  // empty for a numeric id
    uint16_t number = 0;

    static ResourceId of(uint16_t number);
    static ResourceId of(const std::string& asciiName);
    bool isName() const { return !name.empty(); }
    // Named entries come before numeric ones; names by code unit, numbers ascending.
    bool operator<(const ResourceId& other) const;
    bool operator==(const ResourceId& other) const { return name == other.name && number == other.number; }
};

struct ResourceEntry {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::vector<uint8_t> data;

    bool operator==(const ResourceEntry& other) const;
};

// The entries of a resource section, kept in the section's sort order (type, name, language).
class ResourceTable {
public:
    const std::vector<ResourceEntry>& entries() const { return entries_; }
    // Adds the entry, replacing one with the same type, name and language.
    void put(ResourceEntry entry);
    // Removes every entry of the type; returns the language of the first removed (or fallback).
    uint16_t removeType(const ResourceId& type, uint16_t fallbackLanguage);
    const ResourceEntry* find(const ResourceId& type, const ResourceId& name) const;
    // The smallest number n >= 1 such that n .. n+count-1 are not used as names of the type.
    uint16_t freeNumbers(const ResourceId& type, size_t count) const;

private:
    std::vector<ResourceEntry> entries_;
};

// Reads a resource section whose first byte lies at sectionRva. Every offset, count and length is
// checked against the section before it is used; a malformed section throws ResourceError.
ResourceTable parseResourceSection(const uint8_t* section, size_t size, uint32_t sectionRva);

// Writes the section for the given address: directories, names, data entries, then the data.
std::vector<uint8_t> encodeResourceSection(const ResourceTable& table, uint32_t sectionRva);

// The resource section of an image whose last section holds the resources (PE32 or PE32+).
struct ImageResources {
    ResourceTable table;
    uint32_t sectionRva = 0;
};
ImageResources readImageResources(const std::vector<uint8_t>& image);

// The image with its last section replaced by the encoding of table (same address and file
// position, sizes, image size and resource directory updated, checksum cleared). The image must
// end with that section. Base relocation blocks kept in that section after the resources are
// carried over behind the new resources, and their directory entry follows them.
std::vector<uint8_t> replaceImageResources(const std::vector<uint8_t>& image, const ResourceTable& table);

}  // namespace jaunt
