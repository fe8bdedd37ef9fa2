#include "configkeys.h"

#include <cstring>

namespace jaunt {

namespace {

const KeyInfo kKeys[] = {
    {KEY_APP_NAME, "application.name", KeyKind::Text, true},
    {KEY_REDIRECT_STDERR, "redirect.stderr", KeyKind::Flag, true},
    {KEY_STDERR_FILE, "redirect.stderr_file", KeyKind::Text, true},
    {KEY_REDIRECT_STDOUT, "redirect.stdout", KeyKind::Flag, true},
    {KEY_STDOUT_FILE, "redirect.stdout_file", KeyKind::Text, true},
    {KEY_REDIRECT_APPEND, "redirect.append", KeyKind::Flag, true},
    {KEY_EXECUTABLE_TYPE, "application.executable_type", KeyKind::Number, true},
    {KEY_SPLASH, "splash.enabled", KeyKind::Flag, true},
    {KEY_APP_USER_MODEL_ID, "application.id", KeyKind::Text, true},
    {KEY_CONSOLE, "application.console", KeyKind::Text, true},
    {KEY_CLASSPATH, "java.classpath", KeyKind::Text, true},
    {KEY_MAIN_CLASS, "java.main_class", KeyKind::Text, true},
    {KEY_VM_OPTIONS, "java.vm_options", KeyKind::Text, true},
    {KEY_ARGUMENTS, "java.arguments", KeyKind::Text, true},
    {KEY_FORWARD_J_ARGUMENTS, "java.forward_j_arguments", KeyKind::Flag, true},
    {KEY_MIN_VERSION, "jvm.min_version", KeyKind::Text, true},
    {KEY_MAX_VERSION, "jvm.max_version", KeyKind::Text, true},
    {KEY_SEARCH_SEQUENCE, "jvm.search_sequence", KeyKind::Text, true},
    {KEY_ALLOW_PRERELEASE, "jvm.allow_prerelease", KeyKind::Flag, true},
    {KEY_REQUIRE_JDK, "jvm.require_jdk", KeyKind::Flag, true},
    {KEY_ADD_OPENS, "java.add_opens", KeyKind::Text, true},
    {KEY_ADD_EXPORTS, "java.add_exports", KeyKind::Text, true},
    {KEY_ENABLE_NATIVE_ACCESS, "java.enable_native_access", KeyKind::Flag, true},
    {KEY_CDS, "jvm.cds", KeyKind::Flag, true},
    {KEY_SPLASH_WIDTH, "splash.width", KeyKind::Number, true},
    {KEY_SPLASH_HEIGHT, "splash.height", KeyKind::Number, true},
    {KEY_SPLASH_HIDE_ON_WINDOW, "splash.hide_on_first_window", KeyKind::Flag, true},
    {KEY_WORKING_DIRECTORY, "application.working_directory", KeyKind::Text, true},
    {KEY_SPLASH_TOPMOST, "splash.topmost", KeyKind::Flag, true},
    {KEY_APP_VERSION, "application.version", KeyKind::Text, false},
    {KEY_APP_VENDOR, "application.vendor", KeyKind::Text, false},
    {KEY_APP_DESCRIPTION, "application.description", KeyKind::Text, false},
    {KEY_PREFERRED_VM_TYPE, "jvm.preferred_vm_type", KeyKind::Text, true},
    {KEY_APP_COPYRIGHT, "application.copyright", KeyKind::Text, false},
    {MSG_ERROR_CAPTION, "messages.error_caption", KeyKind::Text, true},
    {MSG_NO_JVM, "messages.no_jvm", KeyKind::Text, true},
    {MSG_JVM_IN_PATH_DAMAGED, "messages.jvm_in_path_damaged", KeyKind::Text, true},
    {MSG_JVM_ENV_VAR_UNUSABLE, "messages.jvm_env_var_unusable", KeyKind::Text, true},
    {MSG_JVM_AT_PATH_DAMAGED, "messages.jvm_at_path_damaged", KeyKind::Text, true},
    {MSG_LAUNCH_FAILED, "messages.launch_failed", KeyKind::Text, true},
    {MSG_CLASSPATH_ENTRY_MISSING, "messages.classpath_entry_missing", KeyKind::Text, true},
    {MSG_BAD_ARGUMENTS, "messages.bad_arguments", KeyKind::Text, true},
    {MSG_ENV_VAR_UNDEFINED, "messages.env_var_undefined", KeyKind::Text, true},
    {MSG_INTERNAL_ERROR, "messages.internal_error", KeyKind::Text, true},
    {MSG_MAIN_CLASS_NOT_FOUND, "messages.main_class_not_found", KeyKind::Text, true},
    {MSG_MAIN_METHOD_NOT_FOUND, "messages.main_method_not_found", KeyKind::Text, true},
    {MSG_DIALOG_CAPTION, "messages.dialog_caption", KeyKind::Text, false},
    {MSG_DIALOG_OK, "messages.dialog_ok", KeyKind::Text, false},
    {MSG_DIALOG_HEADER, "messages.dialog_header", KeyKind::Text, false},
    {MSG_RUNTIME_FAILED, "messages.runtime_failed", KeyKind::Text, true},
    {KEY_FLAVOUR, "build.flavour", KeyKind::Text, true},
    {KEY_FILE_COUNT, "files.count", KeyKind::Number, true},
    {KEY_FILE_NAMES, "files.names", KeyKind::Text, true},
    {KEY_RUNTIME_PACK, "runtime.pack", KeyKind::Text, true},
    {KEY_RUNTIME_VERSION, "runtime.version", KeyKind::Text, true},
    {KEY_RUNTIME_APPLICATION, "runtime.application", KeyKind::Text, true},
    {KEY_INSTALLATION_DIRECTORY, "application.installation_directory", KeyKind::Text, true},
    {KEY_PATH_PREFIX, "application.path_prefix", KeyKind::Text, true},
    {KEY_SINGLE_INSTANCE, "application.single_instance", KeyKind::Flag, true},
    {KEY_SPLASH_STATUS_X, "splash.status.x", KeyKind::Number, true},
    {KEY_SPLASH_STATUS_Y, "splash.status.y", KeyKind::Number, true},
    {KEY_SPLASH_STATUS_TEXT, "splash.status.text", KeyKind::Text, true},
    {KEY_SPLASH_STATUS_FONT, "splash.status.font", KeyKind::Text, true},
    {KEY_SPLASH_STATUS_SIZE, "splash.status.size", KeyKind::Number, true},
    {KEY_SPLASH_STATUS_COLOR, "splash.status.color", KeyKind::Colour, true},
    {KEY_SPLASH_STATUS_WEIGHT, "splash.status.weight", KeyKind::Number, true},
    {KEY_SPLASH_LABEL_X, "splash.label.x", KeyKind::Number, true},
    {KEY_SPLASH_LABEL_Y, "splash.label.y", KeyKind::Number, true},
    {KEY_SPLASH_LABEL_TEXT, "splash.label.text", KeyKind::Text, true},
    {KEY_SPLASH_LABEL_FONT, "splash.label.font", KeyKind::Text, true},
    {KEY_SPLASH_LABEL_SIZE, "splash.label.size", KeyKind::Number, true},
    {KEY_SPLASH_LABEL_COLOR, "splash.label.color", KeyKind::Colour, true},
    {KEY_SPLASH_LABEL_WEIGHT, "splash.label.weight", KeyKind::Number, true},
};

}  // namespace

const KeyInfo* allKeys(size_t* count) {
    *count = sizeof(kKeys) / sizeof(kKeys[0]);
    return kKeys;
}

const KeyInfo* findKey(int32_t number) {
    for (const KeyInfo& k : kKeys)
        if (k.number == number) return &k;
    return nullptr;
}

const KeyInfo* findKeyByName(const char* name) {
    for (const KeyInfo& k : kKeys)
        if (std::strcmp(k.name, name) == 0) return &k;
    return nullptr;
}

}  // namespace jaunt
