#include "payloadwriter.h"

#include <filesystem>
#include <limits>
#include <stdexcept>

#include "configkeys.h"

namespace jaunt {

std::vector<uint8_t> encodePayload(const std::vector<IncludedFile>& files) {
    std::vector<uint8_t> out;
    for (const IncludedFile& file : files) {
        if (file.content.size() > std::numeric_limits<uint32_t>::max())
            throw std::length_error(file.name + ": an included file must be smaller than 4 GiB");
        uint32_t size = static_cast<uint32_t>(file.content.size());
        for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(size >> shift));
        size_t start = out.size();
        out.insert(out.end(), file.content.begin(), file.content.end());
        scramblePayload(out.data() + start, file.content.size());
    }
    return out;
}

std::string fileNameList(const std::vector<std::string>& names) {
    std::string list;
    for (const std::string& name : names) list += name + ";";
    return list;
}

std::string includedFileNameProblem(const std::string& name) {
    if (name.empty()) return "an included file needs a file name";
    for (char c : name) {
        if (c < 0x20 || c > 0x7E)
            return "\"" + name +
                   "\" has characters outside printable ASCII, which the launcher's code page may not hold";
    }
    if (name.find(';') != std::string::npos) return "\"" + name + "\" contains \";\", the separator of the name list";
    if (!isPlainFileName(name.c_str()))
        return "\"" + name +
               "\" is not a plain Windows file name (no \\ / : * ? \" < > |, no trailing dot or blank, no device "
               "name such as NUL)";
    return std::string();
}

std::vector<IncludedFile> loadIncludedFiles(const BuildConfiguration& config, const std::string& configPath,
                                            const std::string& runtimeLibrary) {
    namespace fs = std::filesystem;
    std::vector<IncludedFile> files;
    for (const IncludedFileSource& source : config.files) {
        bool runtime = source.path.empty();
        std::string path = runtime ? runtimeLibrary : source.path;
        std::error_code ec;
        if (!fs::exists(path, ec)) {
            if (runtime)
                throw ConfigError(configPath, source.line,
                                  "the runtime library " + path +
                                      " does not exist; build it, or set files.runtime = false to make a launcher "
                                      "without it");
            throw ConfigError(configPath, source.line, "files.include: " + path + ": no such file");
        }
        IncludedFile file;
        file.name = source.name;
        try {
            file.content = readFileBytes(path);
        } catch (const LauncherError& e) {
            throw ConfigError(configPath, source.line, std::string("files.include: ") + e.what());
        }
        if (file.content.size() > std::numeric_limits<uint32_t>::max())
            throw ConfigError(configPath, source.line, path + ": an included file must be smaller than 4 GiB");
        files.push_back(std::move(file));
    }
    return files;
}

int32_t configNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t(1) << 31) value = int64_t(1) << 31;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) value = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(value);
}

PayloadError layoutIncludedFiles(const std::vector<uint8_t>& exe, const LauncherTable& launcher,
                                 PayloadLayout* layout) {
    auto valueOf = [&](int32_t key) {
        auto found = launcher.table.narrow.find(key);
        return found == launcher.table.narrow.end() ? std::string() : found->second;
    };
    uint64_t start = launcher.table.payloadPosition;
    const uint8_t* data = start < exe.size() ? exe.data() + start : nullptr;
    size_t size = start < exe.size() ? exe.size() - static_cast<size_t>(start) : 0;
    static const uint8_t kNothing = 0;
    return parsePayload(data ? data : &kNothing, size, configNumber(valueOf(KEY_FILE_COUNT)),
                        valueOf(KEY_FILE_NAMES), layout);
}

std::vector<uint8_t> restoreIncludedFile(const std::vector<uint8_t>& exe, const LauncherTable& launcher,
                                         const PayloadRecord& record) {
    size_t begin = static_cast<size_t>(launcher.table.payloadPosition + record.offset);
    std::vector<uint8_t> content(exe.begin() + static_cast<std::ptrdiff_t>(begin),
                                 exe.begin() + static_cast<std::ptrdiff_t>(begin + record.size));
    scramblePayload(content.data(), content.size());
    return content;
}

}  // namespace jaunt
