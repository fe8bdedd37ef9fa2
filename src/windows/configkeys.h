// The one list of configuration keys, shared by the launcher and the build tool.
// The launcher uses only the numbers; the build tool also uses the names and kinds
// (configkeys.cpp), so the two can never disagree about a key.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jaunt {

enum ConfigKey : int32_t {
    // Application and start-up
    KEY_APP_NAME = 101,
    KEY_REDIRECT_STDERR = 102,
    KEY_STDERR_FILE = 103,
    KEY_REDIRECT_STDOUT = 104,
    KEY_STDOUT_FILE = 105,
    KEY_REDIRECT_APPEND = 106,
    KEY_EXECUTABLE_TYPE = 107,
    KEY_SPLASH = 108,
    // The AppUserModelID the launcher gives its process (taskbar grouping and pinning), and
    // "attach": a GUI launcher started from a console writes the application's output there.
    KEY_APP_USER_MODEL_ID = 109,
    KEY_CONSOLE = 110,
    // Java
    KEY_CLASSPATH = 121,
    KEY_MAIN_CLASS = 122,
    KEY_VM_OPTIONS = 123,
    KEY_ARGUMENTS = 124,
    KEY_FORWARD_J_ARGUMENTS = 125,
    KEY_MIN_VERSION = 126,
    KEY_MAX_VERSION = 127,
    KEY_SEARCH_SEQUENCE = 128,
    KEY_ALLOW_PRERELEASE = 130,
    KEY_REQUIRE_JDK = 131,
    // Module flags for Java 9 and later: "module/package" items separated by blanks (the main
    // jar's manifest and the configuration together), and native access for the class path.
    KEY_ADD_OPENS = 132,
    KEY_ADD_EXPORTS = 133,
    KEY_ENABLE_NATIVE_ACCESS = 134,
    // Class-data sharing through a per-user archive of the application's classes.
    KEY_CDS = 135,
    KEY_PREFERRED_VM_TYPE = 152,
    // Windows, splash and process
    KEY_SPLASH_WIDTH = 141,
    KEY_SPLASH_HEIGHT = 142,
    KEY_SPLASH_HIDE_ON_WINDOW = 145,
    KEY_WORKING_DIRECTORY = 146,
    KEY_SPLASH_TOPMOST = 147,
    KEY_SPLASH_STATUS_X = 10109,
    KEY_SPLASH_STATUS_Y = 10110,
    KEY_SPLASH_STATUS_TEXT = 10111,
    KEY_SPLASH_STATUS_FONT = 10112,
    KEY_SPLASH_STATUS_SIZE = 10113,
    KEY_SPLASH_STATUS_COLOR = 10114,
    KEY_SPLASH_STATUS_WEIGHT = 10115,
    KEY_SPLASH_LABEL_X = 10116,
    KEY_SPLASH_LABEL_Y = 10117,
    KEY_SPLASH_LABEL_TEXT = 10118,
    KEY_SPLASH_LABEL_FONT = 10119,
    KEY_SPLASH_LABEL_SIZE = 10120,
    KEY_SPLASH_LABEL_COLOR = 10121,
    KEY_SPLASH_LABEL_WEIGHT = 10122,
    KEY_SINGLE_INSTANCE = 10005,
    // Installation and files
    KEY_FLAVOUR = 2001,
    KEY_FILE_COUNT = 2002,
    KEY_FILE_NAMES = 2003,
    // The packed runtime: "<offset after the payload position> <size> <content hash>", its Java
    // version (from its release file), and the application it belongs to (whose older runtimes a
    // launcher may remove).
    KEY_RUNTIME_PACK = 2010,
    KEY_RUNTIME_VERSION = 2011,
    KEY_RUNTIME_APPLICATION = 2012,
    KEY_INSTALLATION_DIRECTORY = 10003,
    KEY_PATH_PREFIX = 10004,
    // Stored by the build tool, not read by the launcher
    KEY_APP_VERSION = 149,
    KEY_APP_VENDOR = 150,
    KEY_APP_DESCRIPTION = 151,
    KEY_APP_COPYRIGHT = 153,
    // Messages
    MSG_ERROR_CAPTION = 1000,
    MSG_NO_JVM = 1001,
    MSG_JVM_IN_PATH_DAMAGED = 1002,
    MSG_JVM_ENV_VAR_UNUSABLE = 1003,
    MSG_JVM_AT_PATH_DAMAGED = 1004,
    MSG_LAUNCH_FAILED = 1005,
    MSG_CLASSPATH_ENTRY_MISSING = 1006,
    MSG_BAD_ARGUMENTS = 1007,
    MSG_ENV_VAR_UNDEFINED = 1008,
    MSG_INTERNAL_ERROR = 1009,
    MSG_MAIN_CLASS_NOT_FOUND = 1010,
    MSG_MAIN_METHOD_NOT_FOUND = 1011,
    MSG_DIALOG_CAPTION = 1012,
    MSG_DIALOG_OK = 1013,
    MSG_DIALOG_HEADER = 1014,
    MSG_RUNTIME_FAILED = 1015,
};

enum class KeyKind { Text, Number, Flag, Colour };

struct KeyInfo {
    int32_t number;
    const char* name;  // dotted name used in configuration files, e.g. "jvm.min_version"
    KeyKind kind;
    bool launcherReads;  // false for keys that only the build tool stores
};

// The whole list, in ascending key order.
const KeyInfo* allKeys(size_t* count);
const KeyInfo* findKey(int32_t number);
const KeyInfo* findKeyByName(const char* name);

}  // namespace jaunt
