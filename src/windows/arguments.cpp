#include "arguments.h"

#include <windows.h>

#include "argsplit.h"
#include "boundedtext.h"
#include "cmdline.h"
#include "configkeys.h"
#include "errors.h"

namespace jaunt {

void splitArguments(const wchar_t* text, WideArgumentList* list) {
    std::u16string wide(reinterpret_cast<const char16_t*>(text));
    if (splitArgumentText(wide, list) != SplitResult::Ok) failWithMessage(MSG_BAD_ARGUMENTS, nullptr, nullptr);
}

void splitCommandLine(const wchar_t* commandLine, WideArgumentList* list) {
    const char16_t* text = reinterpret_cast<const char16_t*>(commandLine);
    list->push_back(commandLineProgramName(text));
    splitArguments(reinterpret_cast<const wchar_t*>(commandLineTail(text)), list);
}

void splitNarrowArguments(const char* text, NarrowArgumentList* list) {
    std::u16string wide;
    int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units > 0) {
        wide.assign(static_cast<size_t>(units), u'\0');
        MultiByteToWideChar(CP_UTF8, 0, text, -1, reinterpret_cast<wchar_t*>(&wide[0]), units);
        wide.resize(static_cast<size_t>(units) - 1);
        if (wide.size() > kTextSize - 1) wide.resize(kTextSize - 1);
    }
    WideArgumentList wideList;
    splitArguments(reinterpret_cast<const wchar_t*>(wide.c_str()), &wideList);
    for (const std::u16string& argument : wideList) {
        const wchar_t* source = reinterpret_cast<const wchar_t*>(argument.c_str());
        // Sized by the conversion itself, so double-byte code pages cannot overflow.
        int bytes = WideCharToMultiByte(CP_UTF8, 0, source, -1, nullptr, 0, nullptr, nullptr);
        std::string narrow;
        if (bytes > 0) {
            narrow.assign(static_cast<size_t>(bytes), '\0');
            WideCharToMultiByte(CP_UTF8, 0, source, -1, &narrow[0], bytes, nullptr, nullptr);
            narrow.resize(static_cast<size_t>(bytes) - 1);
        }
        list->push_back(std::move(narrow));
    }
}

}  // namespace jaunt
