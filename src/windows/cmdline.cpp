#include "cmdline.h"

#include <cstring>

namespace jaunt {

const char* commandLineTail(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

bool isRebootRequest(const char* tail) { return std::strcmp(tail, "__bkt_reboot") == 0; }

bool isQuietRequest(const char* tail) { return std::strncmp(tail, "-q_bkt_internal", 15) == 0; }

}  // namespace jaunt
