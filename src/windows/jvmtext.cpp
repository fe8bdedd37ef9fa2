#include "jvmtext.h"

#include <windows.h>

#include "log.h"
#include "wideapi.h"

namespace jaunt {

namespace {

constexpr char kClassPathOption[] = "-Djava.class.path=";

bool ansiLossless(const std::wstring& wide, std::string* text) {
    if (wide.empty()) {
        text->clear();
        return true;
    }
    // No best-fit mapping: "Ł" must not quietly become "L" and name another file.
    BOOL usedDefault = FALSE;
    int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()),
                                    nullptr, 0, "?", &usedDefault);
    if (bytes <= 0 || usedDefault) return false;
    text->assign(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()), &(*text)[0],
                        bytes, "?", nullptr);
    return true;
}

std::string ansiNearest(const std::wstring& wide) {
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string text(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0], bytes, nullptr, nullptr);
    return text;
}

std::u16string utf16(const std::string& text) {
    std::wstring wide = wideText(text.c_str());
    return std::u16string(wide.begin(), wide.end());
}

std::string jvmClassPath(const std::string& value, LateSettings* late) {
    std::string given;
    if (ansiLossless(wideText(value.c_str()), &given)) return given;
    size_t start = 0;
    while (start <= value.size()) {
        size_t end = value.find(';', start);
        if (end == std::string::npos) end = value.size();
        std::string entry = value.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) continue;
        std::string text;
        // Entries keep their order: once one goes over late, so do all after it.
        if (late->classPath.empty() && jvmPathText(entry.c_str(), &text)) {
            if (!given.empty()) given += ';';
            given += text;
        } else {
            logInfo("class path entry added after creation: %s", entry.c_str());
            late->classPath.push_back(utf16(entry));
        }
    }
    if (!late->classPath.empty()) late->wholeClassPath = utf16(value);
    return given;
}

}  // namespace

bool representableInAnsi(const char* text) {
    std::string converted;
    return ansiLossless(wideText(text), &converted);
}

bool jvmPathText(const char* path, std::string* text) {
    std::wstring wide = wideText(path);
    if (ansiLossless(wide, text)) return true;
    std::wstring shortName;
    return shortPathName(wide.c_str(), &shortName) && ansiLossless(shortName, text);
}

bool jvmReadablePath(const char* path, std::string* readable, bool preferShort) {
    std::wstring wide = wideText(path), shortName;
    std::string text;
    bool lossless = ansiLossless(wide, &text);
    if (lossless && !(preferShort && wide.size() >= MAX_PATH)) {
        *readable = path;
        return true;
    }
    if (shortPathName(wide.c_str(), &shortName) && ansiLossless(shortName, &text)) {
        *readable = utf8Text(shortName);
        return true;
    }
    *readable = path;
    return lossless;
}

std::vector<std::string> jvmOptions(const std::vector<std::string>& options, LateSettings* late) {
    std::vector<std::string> converted;
    for (const std::string& option : options) {
        if (option.compare(0, sizeof(kClassPathOption) - 1, kClassPathOption) == 0) {
            converted.push_back(kClassPathOption + jvmClassPath(option.substr(sizeof(kClassPathOption) - 1), late));
            continue;
        }
        std::string text;
        if (ansiLossless(wideText(option.c_str()), &text)) {
            converted.push_back(text);
            continue;
        }
        size_t equals = option.find('=');
        if (option.compare(0, 2, "-D") == 0 && equals != std::string::npos) {
            std::string name = option.substr(2, equals - 2), value = option.substr(equals + 1), nameText, valueText;
            if (ansiLossless(wideText(name.c_str()), &nameText) && jvmPathText(value.c_str(), &valueText)) {
                converted.push_back("-D" + nameText + "=" + valueText);
            } else {
                logInfo("property set after creation: %s", name.c_str());
                late->properties.emplace_back(utf16(name), utf16(value));
            }
            continue;
        }
        logError("VM option not representable in the system code page: %s", option.c_str());
        converted.push_back(ansiNearest(wideText(option.c_str())));
    }
    return converted;
}

}  // namespace jaunt
