#include "configchecks.h"

#include <algorithm>
#include <cstdlib>

#include "boundedtext.h"
#include "configkeys.h"
#include "configwords.h"
#include "javaversion.h"
#include "jvmfeatures.h"
#include "pathtext.h"

namespace jaunt {

namespace {

// "r,g,b" as the launcher reads it: three decimal numbers, each 0..255.
bool isColourText(const std::string& text) {
    int part = 0;
    size_t i = 0;
    while (part < 3) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        size_t start = i;
        int value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && value <= 255)
            value = value * 10 + (text[i++] - '0');
        if (i == start || value > 255) return false;
        ++part;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (part < 3) {
            if (i == text.size() || text[i] != ',') return false;
            ++i;
        }
    }
    return i == text.size();
}

bool isSizeKey(int32_t key) {
    return key == KEY_SPLASH_WIDTH || key == KEY_SPLASH_HEIGHT || key == KEY_SPLASH_STATUS_SIZE ||
           key == KEY_SPLASH_LABEL_SIZE;
}

size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Microsoft's form of an AppUserModelID: Company.Product[.SubProduct[.Version]], at most 128
// characters, no spaces. The launcher reads it from a narrow record in the ANSI code page, so only
// printable ASCII reads the same on every system.
std::string appUserModelIdProblem(const std::string& id) {
    const std::string form = "; an AppUserModelID is Company.Product[.SubProduct[.Version]]";
    if (id.size() > kAppUserModelIdLimit)
        return "\"" + id + "\" has " + std::to_string(id.size()) + " characters, more than the " +
               std::to_string(kAppUserModelIdLimit) + " of an AppUserModelID";
    for (char c : id) {
        if (c == ' ') return "\"" + id + "\" contains a space" + form + " without spaces";
        if (static_cast<unsigned char>(c) < 0x21 || static_cast<unsigned char>(c) > 0x7E)
            return "\"" + id + "\" may hold only printable ASCII characters" + form;
    }
    std::vector<std::string> parts = splitList(id, '.');
    size_t dots = static_cast<size_t>(std::count(id.begin(), id.end(), '.'));
    if (parts.size() != dots + 1 || parts.size() < 2 || parts.size() > 4)
        return "\"" + id + "\" is not two to four non-empty parts separated by dots" + form;
    return std::string();
}

std::string moduleFlagsProblem(const std::string& text) {
    for (const std::string& item : moduleFlagItems(text.c_str()))
        if (!isModulePackage(item))
            return "\"" + item + "\" is not module/package (as java.base/java.lang): a module and a package name, " +
                   "each of Java identifiers separated by dots";
    return std::string();
}

}  // namespace

std::string valueProblem(int32_t key, const std::string& value) {
    if (value.size() > kTextSize - 1)
        return "is " + std::to_string(value.size()) + " bytes long; the launcher reads at most " +
               std::to_string(kTextSize - 1);
    const KeyInfo* info = findKey(key);
    if (info == nullptr) return std::string();
    if (key == KEY_CLASSPATH) return classPathTextProblem(value);
    if (key == KEY_SEARCH_SEQUENCE) return searchSequenceTextProblem(value);
    if (key == KEY_APP_USER_MODEL_ID) return appUserModelIdProblem(value);
    if (key == KEY_CONSOLE && value != "attach")
        return "\"" + value + "\" is not a console mode: the one mode is \"attach\"";
    if (key == KEY_ADD_OPENS || key == KEY_ADD_EXPORTS) return moduleFlagsProblem(value);
    if ((key == KEY_SPLASH_STATUS_FONT || key == KEY_SPLASH_LABEL_FONT) && value.size() > kFontNameSize - 1)
        return "\"" + value + "\" is " + std::to_string(value.size()) +
               " bytes long; the launcher reads font names of at most " + std::to_string(kFontNameSize - 1);
    if (info->kind == KeyKind::Colour && !isColourText(value))
        return "\"" + value + "\" is not a colour: three numbers 0..255 separated by commas";
    if (isSizeKey(key) && std::atoi(value.c_str()) < 0) return value + " is negative; a size cannot be";
    return std::string();
}

std::string versionLimitsProblem(const std::string& minimum, const std::string& maximum) {
    if (minimum.empty() || maximum.empty()) return std::string();
    // The launcher accepts a version when it passes both limits; when the minimum itself fails the
    // maximum, every version at or above the minimum does.
    if (isVersionAcceptable(minimum.c_str(), minimum.c_str(), maximum.c_str(), true)) return std::string();
    return "the minimum Java version " + minimum + " is above the maximum " + maximum +
           ", so no Java would ever be accepted";
}

std::string closestName(const std::string& name, const std::vector<std::string>& known) {
    std::string best;
    size_t bestDistance = 0;
    for (const std::string& candidate : known) {
        size_t distance = editDistance(name, candidate);
        if (best.empty() || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    size_t allowed = std::max<size_t>(2, name.size() / 5);
    return !best.empty() && bestDistance <= allowed ? best : std::string();
}

}  // namespace jaunt
