#include "runtimepacker.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "sha256.h"

namespace jaunt {

namespace fs = std::filesystem;

namespace {

// zlib counts in 32-bit units on Windows: larger buffers go through in pieces.
constexpr size_t kZlibPiece = size_t(1) << 30;

std::string folded(const std::string& name) {
    std::string text = name;
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool isUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || (length > 1 && c < 0xC2) || i + length > text.size()) return false;
        uint32_t point = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next >> 6) != 2) return false;
            point = (point << 6) | (next & 0x3F);
        }
        // No overlong forms, surrogates or code points beyond Unicode.
        if ((length == 3 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) ||
            (length == 4 && (point < 0x10000 || point > 0x10FFFF)))
            return false;
        i += length;
    }
    return true;
}

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}
void put64(std::vector<uint8_t>& out, uint64_t value) {
    put32(out, static_cast<uint32_t>(value));
    put32(out, static_cast<uint32_t>(value >> 32));
}

std::vector<uint8_t> readContent(const fs::path& path, const std::string& name) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RuntimeError(name + ": cannot open the file");
    std::vector<uint8_t> bytes;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
    }
    if (in.bad() || !in.eof()) throw RuntimeError(name + ": cannot read the file");
    return bytes;
}

// Whether path lies inside root (both made canonical), root itself excluded.
bool isInside(const fs::path& path, const fs::path& root) {
    auto p = path.begin(), r = root.begin();
    for (; r != root.end(); ++p, ++r)
        if (p == path.end() || *p != *r) return false;
    return p != path.end();
}

class FolderWalk {
public:
    FolderWalk(const fs::path& root, const std::string& shown) : root_(root), shown_(shown) {}

    void walk(const fs::path& directory, const std::string& prefix) {
        std::error_code ec;
        std::vector<fs::path> children;
        for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec))
            children.push_back(it->path());
        if (ec) throw RuntimeError(shown(prefix) + ": cannot list the folder: " + ec.message());
        if (children.empty() && !prefix.empty()) add(prefix, fs::path(), true);
        for (const fs::path& child : children) {
            std::string name = prefix + (prefix.empty() ? "" : "/") + child.filename().u8string();
            // Checked before going deeper, so that a deep tree is refused at its first long name.
            if (name.size() > kRuntimePackMaxName) add(name, child, false);
            fs::file_status status = fs::symlink_status(child, ec);
            if (ec) throw RuntimeError(shown(name) + ": cannot read it: " + ec.message());
            if (fs::is_symlink(status)) {
                addLink(child, name);
            } else if (fs::is_directory(status)) {
                walk(child, name);
            } else if (fs::is_regular_file(status)) {
                add(name, child, false);
            } else {
                throw RuntimeError(shown(name) + " is neither a file nor a folder (a FIFO, socket or device); a runtime "
                                          "holds only files and folders");
            }
        }
    }

    std::vector<RuntimeSource> entries;

private:
    void addLink(const fs::path& link, const std::string& name) {
        std::error_code ec;
        fs::path target = fs::canonical(link, ec);
        fs::path written = fs::read_symlink(link, ec);
        if (target.empty())
            throw RuntimeError(shown(name) + " is a link to " + written.u8string() + ", which does not exist");
        if (!isInside(target, root_))
            throw RuntimeError(shown(name) + " is a link to " + target.u8string() +
                               ", outside the runtime folder; copy that file into the folder instead");
        if (fs::is_directory(target, ec))
            throw RuntimeError(shown(name) + " is a link to a folder (" + written.u8string() +
                               "); copy the folder instead of linking it");
        if (!fs::is_regular_file(target, ec))
            throw RuntimeError(shown(name) + " is a link to something that is neither a file nor a folder");
        add(name, link, false);
    }

    void add(const std::string& name, const fs::path& path, bool directory) {
        if (!isUtf8(name)) throw RuntimeError(shown(name) + ": the file name is not UTF-8");
        if (!isRuntimeEntryName(name))
            throw RuntimeError(
                shown(name) + ": " +
                (name.size() > kRuntimePackMaxName
                     ? "the name is longer than the " + std::to_string(kRuntimePackMaxName) + " bytes a runtime's names may have"
                     : std::string("not a name Windows can create (no \\ : * ? \" < > |, control characters, "
                                   "trailing dots or blanks, device names such as NUL or COM1)")));
        if (entries.size() >= kRuntimePackMaxEntries)
            throw RuntimeError(shown_ + " holds more than " + std::to_string(kRuntimePackMaxEntries) +
                               " files and empty folders, more than a runtime may have");
        entries.push_back(RuntimeSource{name, directory ? std::string() : path.u8string(), directory});
    }

    std::string shown(const std::string& name) const { return name.empty() ? shown_ : shown_ + "/" + name; }

    fs::path root_;
    std::string shown_;
};

}  // namespace

std::vector<RuntimeSource> listRuntimeFolder(const std::string& folder, const std::string& shown) {
    std::error_code ec;
    fs::path root = fs::canonical(fs::u8path(folder), ec);
    if (ec || !fs::is_directory(root, ec)) throw RuntimeError(shown + ": no such folder");
    FolderWalk walk(root, shown);
    walk.walk(root, std::string());
    std::vector<RuntimeSource> entries = std::move(walk.entries);
    std::sort(entries.begin(), entries.end(),
              [](const RuntimeSource& a, const RuntimeSource& b) { return a.name < b.name; });
    // Windows compares names without regard to letter case: two names that differ only in case
    // would be one file there, and a file cannot have a folder's name.
    std::map<std::string, const RuntimeSource*> files, seen;
    for (const RuntimeSource& entry : entries) {
        auto first = seen.emplace(folded(entry.name), &entry);
        if (!first.second)
            throw RuntimeError(shown + "/" + first.first->second->name + " and " + entry.name +
                               " differ only in letter case, and Windows would make one file of them");
        if (!entry.directory) files.emplace(folded(entry.name), &entry);
    }
    for (const RuntimeSource& entry : entries)
        for (size_t slash = entry.name.find('/'); slash != std::string::npos; slash = entry.name.find('/', slash + 1)) {
            auto file = files.find(folded(entry.name.substr(0, slash)));
            if (file != files.end())
                throw RuntimeError(shown + "/" + file->second->name + " is a file, and " + entry.name +
                                   " would need a folder of that name on Windows, which compares names without "
                                   "regard to letter case");
        }
    return entries;
}

std::vector<uint8_t> storeRuntimeContent(const std::vector<uint8_t>& content, bool* deflated) {
    z_stream stream = {};
    // The zlib format (not raw deflate), so that inflating checks the Adler-32 of the content.
    if (deflateInit2(&stream, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw RuntimeError("zlib cannot start compressing");
    std::vector<uint8_t> out;
    size_t given = 0;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream.avail_in == 0 && given < content.size()) {
            size_t piece = std::min(kZlibPiece, content.size() - given);
            stream.next_in = const_cast<Bytef*>(content.data() + given);
            stream.avail_in = static_cast<uInt>(piece);
            given += piece;
        }
        size_t before = out.size();
        size_t room = std::min<size_t>(kZlibPiece, std::max<size_t>(65536, content.size() / 4));
        out.resize(before + room);
        stream.next_out = out.data() + before;
        stream.avail_out = static_cast<uInt>(room);
        result = deflate(&stream, given == content.size() ? Z_FINISH : Z_NO_FLUSH);
        out.resize(before + room - stream.avail_out);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            deflateEnd(&stream);
            throw RuntimeError("zlib failed while compressing");
        }
        // Stop early once the compressed form cannot be the smaller one.
        if (out.size() >= content.size()) break;
    }
    deflateEnd(&stream);
    *deflated = result == Z_STREAM_END && out.size() < content.size();
    return *deflated ? out : content;
}

PackedRuntime packRuntime(const std::string& folder, const std::string& shown) {
    std::vector<RuntimeSource> sources = listRuntimeFolder(folder, shown);
    std::vector<uint8_t> index;
    std::vector<std::vector<uint8_t>> stored(sources.size());
    PackedRuntime packed;
    for (size_t i = 0; i < sources.size(); ++i) {
        const RuntimeSource& source = sources[i];
        RuntimeEntryKind kind = RuntimeEntryKind::Directory;
        uint64_t size = 0;
        uint32_t crc = 0;
        if (source.directory) {
            ++packed.directories;
        } else {
            ++packed.files;
            std::vector<uint8_t> content = readContent(fs::u8path(source.path), shown + "/" + source.name);
            size = content.size();
            crc = runtimeCrc32(0, content.data(), content.size());
            bool deflated = false;
            stored[i] = storeRuntimeContent(content, &deflated);
            kind = deflated ? RuntimeEntryKind::Deflated : RuntimeEntryKind::Stored;
        }
        put16(index, static_cast<uint32_t>(source.name.size()));
        index.insert(index.end(), source.name.begin(), source.name.end());
        index.push_back(static_cast<uint8_t>(kind));
        put64(index, size);
        put64(index, stored[i].size());
        put32(index, crc);
        if (index.size() > kRuntimePackMaxIndex)
            throw RuntimeError(shown + ": its file names take more than the " + std::to_string(kRuntimePackMaxIndex >> 20) +
                               " MiB a runtime's index may have");
    }
    std::vector<uint8_t>& out = packed.bytes;
    out.insert(out.end(), kRuntimePackMagic, kRuntimePackMagic + sizeof kRuntimePackMagic);
    put32(out, static_cast<uint32_t>(index.size()));
    put32(out, static_cast<uint32_t>(sources.size()));
    out.insert(out.end(), index.begin(), index.end());
    for (std::vector<uint8_t>& data : stored) {
        out.insert(out.end(), data.begin(), data.end());
        std::vector<uint8_t>().swap(data);
    }
    // What the launcher will read: a pack it would refuse is never written.
    RuntimePackError error = parseRuntimeIndex(out.data(), out.size(), out.size(), &packed.index);
    if (error != RuntimePackError::None)
        throw RuntimeError(shown + ": the pack made from it does not read back: " + runtimePackErrorText(error));
    packed.hash = sha256Hex(out.data(), out.size());
    return packed;
}

std::string runtimeLocationText(uint64_t offset, uint64_t size, const std::string& hash) {
    return std::to_string(offset) + " " + std::to_string(size) + " " + hash;
}

std::vector<uint8_t> unpackRuntimeEntry(const uint8_t* pack, uint64_t packSize, const RuntimeEntry& entry) {
    if (entry.kind == RuntimeEntryKind::Directory) return {};
    if (entry.offset > packSize || entry.storedSize > packSize - entry.offset)
        throw RuntimeError(entry.name + ": its data lies outside the runtime");
    const uint8_t* data = pack + entry.offset;
    std::vector<uint8_t> content;
    if (entry.kind == RuntimeEntryKind::Stored) {
        content.assign(data, data + entry.storedSize);
    } else {
        z_stream stream = {};
        if (inflateInit(&stream) != Z_OK) throw RuntimeError("zlib cannot start inflating");
        uint64_t given = 0;
        int result = Z_OK;
        while (result == Z_OK) {
            if (stream.avail_in == 0 && given < entry.storedSize) {
                uint64_t piece = std::min<uint64_t>(kZlibPiece, entry.storedSize - given);
                stream.next_in = const_cast<Bytef*>(data + given);
                stream.avail_in = static_cast<uInt>(piece);
                given += piece;
            }
            // Never more than the entry says it holds (plus one byte that shows the excess).
            size_t before = content.size();
            uint64_t left = entry.size - std::min<uint64_t>(entry.size, before);
            size_t room = static_cast<size_t>(std::min<uint64_t>({left + 1, 1u << 20, kZlibPiece}));
            content.resize(before + room);
            stream.next_out = content.data() + before;
            stream.avail_out = static_cast<uInt>(room);
            result = inflate(&stream, Z_NO_FLUSH);
            content.resize(before + room - stream.avail_out);
            if (content.size() > entry.size) break;
            if (result == Z_BUF_ERROR && stream.avail_in == 0 && given == entry.storedSize) break;
            if (result == Z_BUF_ERROR) result = Z_OK;
        }
        bool whole = result == Z_STREAM_END && stream.avail_in == 0 && given == entry.storedSize;
        std::string problem = stream.msg ? stream.msg : "bad data";
        inflateEnd(&stream);
        if (!whole || content.size() != entry.size)
            throw RuntimeError(entry.name + ": its compressed data is damaged (" +
                               (result == Z_DATA_ERROR ? "zlib: " + problem
                                                       : "it does not inflate to its size of " +
                                                             std::to_string(entry.size) + " bytes") +
                               ")");
    }
    if (content.size() != entry.size) throw RuntimeError(entry.name + ": its size does not match its data");
    if (runtimeCrc32(0, content.data(), content.size()) != entry.crc)
        throw RuntimeError(entry.name + ": its content does not match its CRC-32");
    return content;
}

const RuntimeEntry* findRuntimeEntry(const RuntimeIndex& index, const std::string& name) {
    std::string wanted = folded(name);
    for (const RuntimeEntry& entry : index.entries)
        if (folded(entry.name) == wanted) return &entry;
    return nullptr;
}

}  // namespace jaunt
