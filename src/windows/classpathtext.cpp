#include "classpathtext.h"

#include "pathtext.h"

namespace jaunt {

std::vector<ClassPathEntry> parseClassPathEntries(const std::string& text) {
    std::vector<ClassPathEntry> entries;
    for (const std::string& item : splitList(text, ';')) {
        if (item.size() < 2) continue;
        entries.push_back(ClassPathEntry{item[0], item[1] == '1', item.substr(2)});
    }
    return entries;
}

bool isClassPathType(char type) { return type == 'A' || type == 'D' || type == 'S' || type == 'E'; }

std::string unquoteClassPathValue(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
    return value;
}

}  // namespace jaunt
