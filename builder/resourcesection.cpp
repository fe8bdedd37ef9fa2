#include "resourcesection.h"

#include <algorithm>
#include <limits>
#include <set>

#include "relocations.h"

namespace jaunt {

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
void set16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void set32(uint8_t* p, uint32_t v) {
    set16(p, v & 0xFFFF);
    set16(p + 2, v >> 16);
}

uint64_t alignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

std::u16string upperName(std::u16string name) {
    for (char16_t& c : name)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return name;
}

class SectionParser {
public:
    SectionParser(const uint8_t* section, size_t size, uint32_t rva) : section_(section), size_(size), rva_(rva) {}

    ResourceTable parse() {
        ResourceEntry entry;
        directory(0, 0, entry);
        return std::move(table_);
    }

private:
    [[noreturn]] static void fail(const std::string& why) {
        throw ResourceError("malformed resource section: " + why);
    }

    // Checks that count bytes at offset lie inside the section.
    void need(uint64_t offset, uint64_t count, const char* what) const {
        if (offset > size_ || count > size_ - offset)
            fail(std::string(what) + " at offset " + std::to_string(offset) + " runs past the end of the section (" +
                 std::to_string(size_) + " bytes)");
    }

    ResourceId id(uint32_t field, int level) const {
        ResourceId result;
        if (field & kHighBit) {
            if (level == 2) fail("a language given as a name");
            uint32_t at = field & ~kHighBit;
            need(at, 2, "a name");
            uint16_t length = get16(section_ + at);
            if (length == 0) fail("an empty name");
            need(at + 2u, 2u * length, "a name");
            for (uint16_t i = 0; i < length; ++i) result.name.push_back(get16(section_ + at + 2 + 2 * i));
            result.name = upperName(result.name);
        } else {
            if (field > 0xFFFF) fail("an id above 65535");
            result.number = static_cast<uint16_t>(field);
        }
        return result;
    }

    // Level 0 lists types, 1 names, 2 languages; only languages lead to data.
    void directory(uint32_t offset, int level, ResourceEntry& entry) {
        if (!visited_.insert(offset).second) fail("a directory reached twice");
        need(offset, kDirectoryHeaderSize, "a directory");
        uint32_t count = static_cast<uint32_t>(get16(section_ + offset + 12)) + get16(section_ + offset + 14);
        need(offset + kDirectoryHeaderSize, uint64_t(count) * kDirectoryEntrySize, "a directory's entries");
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* item = section_ + offset + kDirectoryHeaderSize + kDirectoryEntrySize * i;
            ResourceId itemId = id(get32(item), level);
            uint32_t target = get32(item + 4);
            bool isDirectory = (target & kHighBit) != 0;
            if (isDirectory != (level < 2)) fail(level < 2 ? "data where a directory belongs" : "a fourth level");
            if (level == 0) entry.type = itemId;
            if (level == 1) entry.name = itemId;
            if (level == 2) {
                entry.language = itemId.number;
                data(target, entry);
            } else {
                directory(target & ~kHighBit, level + 1, entry);
            }
        }
    }

    void data(uint32_t offset, ResourceEntry& entry) {
        if (!visited_.insert(offset).second) fail("a data entry reached twice");
        need(offset, kDataEntrySize, "a data entry");
        uint32_t rva = get32(section_ + offset);
        uint32_t length = get32(section_ + offset + 4);
        if (rva < rva_) fail("data outside the section");
        need(uint64_t(rva) - rva_, length, "resource data");
        // Data blocks of a sound section do not overlap, so together they fit in it.
        dataBytes_ += length;
        if (dataBytes_ > size_) fail("resource data blocks that overlap");
        const uint8_t* start = section_ + (rva - rva_);
        entry.codePage = get32(section_ + offset + 8);
        entry.data.assign(start, start + length);
        table_.put(entry);
    }

    const uint8_t* section_;
    size_t size_;
    uint32_t rva_;
    std::set<uint32_t> visited_;
    uint64_t dataBytes_ = 0;
    ResourceTable table_;
};

// Where the parts of an image's headers are, for PE32 and PE32+ alike.
struct ImageLayout {
    size_t optionalHeader = 0;
    size_t resourceDirectory = 0;  // the data directory's entry (address, size)
    size_t lastSection = 0;        // the last section header
    uint32_t sectionRva = 0;
    uint32_t rawSize = 0;
    uint32_t rawPosition = 0;
    uint32_t virtualSize = 0;
};

ImageLayout layoutOf(const std::vector<uint8_t>& image) {
    auto fail = [](const std::string& why) { throw ResourceError("cannot find the resource section: " + why); };
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') fail("not a Windows image");
    uint64_t pe = get32(image.data() + 0x3C);
    if (pe + 24 > image.size() || get32(image.data() + pe) != 0x00004550u) fail("no PE header");
    uint16_t sections = get16(image.data() + pe + 6);
    uint16_t optionalSize = get16(image.data() + pe + 20);
    ImageLayout layout;
    layout.optionalHeader = pe + 24;
    if (sections == 0 || layout.optionalHeader + optionalSize + 40ull * sections > image.size())
        fail("the section table runs past the end of the file");
    uint16_t magic = optionalSize >= 2 ? get16(image.data() + layout.optionalHeader) : 0;
    if (magic != 0x10B && magic != 0x20B) fail("an optional header of unknown kind");
    size_t directoryCountAt = magic == 0x20B ? 108 : 92;
    size_t directories = directoryCountAt + 4;
    if (optionalSize < directories + 3 * 8 || get32(image.data() + layout.optionalHeader + directoryCountAt) < 3)
        fail("no resource directory in the optional header");
    layout.resourceDirectory = layout.optionalHeader + directories + 2 * 8;
    size_t sectionTable = layout.optionalHeader + optionalSize;
    layout.lastSection = sectionTable + 40u * (sections - 1u);
    const uint8_t* last = image.data() + layout.lastSection;
    layout.virtualSize = get32(last + 8);
    layout.sectionRva = get32(last + 12);
    layout.rawSize = get32(last + 16);
    layout.rawPosition = get32(last + 20);
    if (get32(image.data() + layout.resourceDirectory) != layout.sectionRva)
        fail("the resources are not in the last section");
    for (uint16_t i = 0; i + 1 < sections; ++i) {
        const uint8_t* header = image.data() + sectionTable + 40u * i;
        if (get32(header + 12) >= layout.sectionRva) fail("a section lies after the resource section in memory");
        if (uint64_t(get32(header + 20)) + get32(header + 16) > layout.rawPosition)
            fail("a section lies after the resource section in the file");
    }
    if (uint64_t(layout.rawPosition) + layout.rawSize > image.size())
        fail("the resource section runs past the end of the file");
    return layout;
}

}  // namespace

ResourceId ResourceId::of(uint16_t number) {
    ResourceId id;
    id.number = number;
    return id;
}

ResourceId ResourceId::of(const std::string& asciiName) {
    ResourceId id;
    for (char c : asciiName) id.name.push_back(static_cast<unsigned char>(c));
    id.name = upperName(id.name);
    return id;
}

bool ResourceId::operator<(const ResourceId& other) const {
    if (isName() != other.isName()) return isName();
    if (isName()) return name < other.name;
    return number < other.number;
}

bool ResourceEntry::operator==(const ResourceEntry& other) const {
    return type == other.type && name == other.name && language == other.language &&
           codePage == other.codePage && data == other.data;
}

namespace {
bool entryBefore(const ResourceEntry& a, const ResourceEntry& b) {
    if (a.type < b.type) return true;
    if (b.type < a.type) return false;
    if (a.name < b.name) return true;
    if (b.name < a.name) return false;
    return a.language < b.language;
}
}  // namespace

void ResourceTable::put(ResourceEntry entry) {
    auto at = std::lower_bound(entries_.begin(), entries_.end(), entry, entryBefore);
    if (at != entries_.end() && !entryBefore(entry, *at))
        *at = std::move(entry);
    else
        entries_.insert(at, std::move(entry));
}

uint16_t ResourceTable::removeType(const ResourceId& type, uint16_t fallbackLanguage) {
    uint16_t language = fallbackLanguage;
    bool found = false;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (it->type == type) {
            if (!found) language = it->language;
            found = true;
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
    return language;
}

const ResourceEntry* ResourceTable::find(const ResourceId& type, const ResourceId& name) const {
    for (const ResourceEntry& entry : entries_)
        if (entry.type == type && entry.name == name) return &entry;
    return nullptr;
}

uint16_t ResourceTable::freeNumbers(const ResourceId& type, size_t count) const {
    uint32_t first = 1;
    for (const ResourceEntry& entry : entries_)
        if (entry.type == type && !entry.name.isName() && entry.name.number >= first) first = entry.name.number + 1u;
    if (first + count - 1 > 0xFFFF) throw ResourceError("no free resource numbers left");
    return static_cast<uint16_t>(first);
}

ResourceTable parseResourceSection(const uint8_t* section, size_t size, uint32_t sectionRva) {
    if (size > std::numeric_limits<uint32_t>::max())
        throw ResourceError("malformed resource section: larger than 4 GiB");
    return SectionParser(section, size, sectionRva).parse();
}

std::vector<uint8_t> encodeResourceSection(const ResourceTable& table, uint32_t sectionRva) {
    struct Name {
        ResourceId id;
        std::vector<const ResourceEntry*> languages;
    };
    struct Type {
        ResourceId id;
        std::vector<Name> names;
    };
    std::vector<Type> types;
    for (const ResourceEntry& entry : table.entries()) {  // already in section order
        if (types.empty() || !(types.back().id == entry.type)) types.push_back(Type{entry.type, {}});
        std::vector<Name>& names = types.back().names;
        if (names.empty() || !(names.back().id == entry.name)) names.push_back(Name{entry.name, {}});
        names.back().languages.push_back(&entry);
    }

    // Directories breadth first, then the names, the data entries and the data.
    auto directorySize = [](size_t entries) { return kDirectoryHeaderSize + kDirectoryEntrySize * entries; };
    uint64_t end = directorySize(types.size());
    std::vector<uint64_t> typeDirectory, nameDirectory;
    for (const Type& type : types) {
        typeDirectory.push_back(end);
        end += directorySize(type.names.size());
    }
    for (const Type& type : types)
        for (const Name& name : type.names) {
            nameDirectory.push_back(end);
            end += directorySize(name.languages.size());
        }
    uint64_t namesEnd = end;
    for (const Type& type : types) {
        namesEnd += type.id.isName() ? 2 + 2 * type.id.name.size() : 0;
        for (const Name& name : type.names) namesEnd += name.id.isName() ? 2 + 2 * name.id.name.size() : 0;
    }
    uint64_t dataEntries = alignUp(namesEnd, 4);
    uint64_t dataEnd = alignUp(dataEntries + kDataEntrySize * table.entries().size(), 8);
    for (const ResourceEntry& entry : table.entries()) dataEnd = alignUp(dataEnd + entry.data.size(), 8);
    if (dataEnd + sectionRva > std::numeric_limits<uint32_t>::max())
        throw ResourceError("the resources do not fit in the image's 4 GiB address space");

    std::vector<uint8_t> out(static_cast<size_t>(dataEnd));
    uint64_t nextName = end;
    uint64_t nextEntry = dataEntries;
    uint64_t nextData = alignUp(dataEntries + kDataEntrySize * table.entries().size(), 8);
    auto nameField = [&](const ResourceId& id) -> uint32_t {
        if (!id.isName()) return id.number;
        uint64_t at = nextName;
        set16(&out[at], static_cast<uint32_t>(id.name.size()));
        for (size_t i = 0; i < id.name.size(); ++i) set16(&out[at + 2 + 2 * i], id.name[i]);
        nextName += 2 + 2 * id.name.size();
        return kHighBit | static_cast<uint32_t>(at);
    };
    auto header = [&](uint64_t at, const auto& children) {
        uint32_t named = 0;
        for (const auto& child : children) named += child.id.isName() ? 1 : 0;
        set16(&out[at + 12], named);
        set16(&out[at + 14], static_cast<uint32_t>(children.size()) - named);
    };

    header(0, types);
    size_t nameIndex = 0;
    for (size_t t = 0; t < types.size(); ++t) {
        uint8_t* item = &out[kDirectoryHeaderSize + kDirectoryEntrySize * t];
        set32(item, nameField(types[t].id));
        set32(item + 4, kHighBit | static_cast<uint32_t>(typeDirectory[t]));
        header(typeDirectory[t], types[t].names);
        for (size_t n = 0; n < types[t].names.size(); ++n, ++nameIndex) {
            const Name& name = types[t].names[n];
            uint8_t* nameItem = &out[typeDirectory[t] + kDirectoryHeaderSize + kDirectoryEntrySize * n];
            set32(nameItem, nameField(name.id));
            set32(nameItem + 4, kHighBit | static_cast<uint32_t>(nameDirectory[nameIndex]));
            uint64_t languages = nameDirectory[nameIndex];
            set16(&out[languages + 14], static_cast<uint32_t>(name.languages.size()));
            for (size_t l = 0; l < name.languages.size(); ++l) {
                const ResourceEntry& entry = *name.languages[l];
                uint8_t* languageItem = &out[languages + kDirectoryHeaderSize + kDirectoryEntrySize * l];
                set32(languageItem, entry.language);
                set32(languageItem + 4, static_cast<uint32_t>(nextEntry));
                set32(&out[nextEntry], static_cast<uint32_t>(sectionRva + nextData));
                set32(&out[nextEntry + 4], static_cast<uint32_t>(entry.data.size()));
                set32(&out[nextEntry + 8], entry.codePage);
                std::copy(entry.data.begin(), entry.data.end(), out.begin() + static_cast<ptrdiff_t>(nextData));
                nextEntry += kDataEntrySize;
                nextData = alignUp(nextData + entry.data.size(), 8);
            }
        }
    }
    return out;
}

ImageResources readImageResources(const std::vector<uint8_t>& image) {
    ImageLayout layout = layoutOf(image);
    // Padding up to the file alignment is not part of the section's contents.
    uint32_t size = layout.virtualSize != 0 ? std::min(layout.virtualSize, layout.rawSize) : layout.rawSize;
    ImageResources result;
    result.sectionRva = layout.sectionRva;
    result.table = parseResourceSection(image.data() + layout.rawPosition, size, layout.sectionRva);
    return result;
}

std::vector<uint8_t> replaceImageResources(const std::vector<uint8_t>& image, const ResourceTable& table) {
    ImageLayout layout = layoutOf(image);
    if (uint64_t(layout.rawPosition) + layout.rawSize != image.size())
        throw ResourceError("cannot replace the resources: the image does not end with its resource section");
    const size_t optional = layout.optionalHeader;
    uint32_t sectionAlignment = get32(image.data() + optional + 32);
    uint32_t fileAlignment = get32(image.data() + optional + 36);
    if (sectionAlignment == 0 || fileAlignment == 0)
        throw ResourceError("cannot replace the resources: the image has no section or file alignment");

    std::vector<uint8_t> section = encodeResourceSection(table, layout.sectionRva);
    const uint32_t resourcesSize = static_cast<uint32_t>(section.size());
    // The launcher's base relocations follow its resources in this section: they move along, behind
    // the new resources, or the image could no longer be placed at another base.
    ImageRelocations relocations;
    try {
        relocations = readRelocations(image);
    } catch (const RelocationError& e) {
        throw ResourceError(std::string("cannot replace the resources: ") + e.what());
    }
    bool carried = relocations.size != 0 && relocations.rva >= layout.sectionRva;
    uint32_t relocationsRva = 0;
    if (carried) {
        for (uint32_t target : relocations.targets)
            if (target >= layout.sectionRva)
                throw ResourceError("cannot replace the resources: a base relocation names a pointer in them");
        section.resize(static_cast<size_t>(alignUp(section.size(), 8)));
        relocationsRva = static_cast<uint32_t>(layout.sectionRva + section.size());
        auto blocks = image.begin() + static_cast<long>(relocations.fileOffset);
        section.insert(section.end(), blocks, blocks + relocations.size);
    }
    uint64_t rawSize = alignUp(section.size(), fileAlignment);
    uint64_t imageSize = alignUp(uint64_t(layout.sectionRva) + section.size(), sectionAlignment);
    if (layout.rawPosition + rawSize > std::numeric_limits<uint32_t>::max() ||
        imageSize > std::numeric_limits<uint32_t>::max())
        throw ResourceError("the resources do not fit in a Windows image");

    std::vector<uint8_t> out(image.begin(), image.begin() + layout.rawPosition);
    out.insert(out.end(), section.begin(), section.end());
    out.resize(static_cast<size_t>(layout.rawPosition + rawSize));
    uint8_t* last = out.data() + layout.lastSection;
    set32(last + 8, static_cast<uint32_t>(section.size()));
    set32(last + 16, static_cast<uint32_t>(rawSize));
    set32(out.data() + optional + 56, static_cast<uint32_t>(imageSize));
    // The initialised data size counts the raw sizes of the data sections, this one included.
    int64_t initialised = int64_t(get32(out.data() + optional + 8)) + int64_t(rawSize) - int64_t(layout.rawSize);
    set32(out.data() + optional + 8, static_cast<uint32_t>(std::max<int64_t>(initialised, 0)));
    set32(out.data() + layout.resourceDirectory + 4, resourcesSize);
    // The base-relocation entry follows the resource entry's (directory 5 after 2).
    if (carried) set32(out.data() + layout.resourceDirectory + 3 * 8, relocationsRva);
    // The checksum would cover the table appended later too; the loader checks it only for drivers.
    set32(out.data() + optional + 64, 0);
    return out;
}

}  // namespace jaunt
