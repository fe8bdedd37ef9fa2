// Splitting of argument texts into argument lists; an unterminated quote ends the launcher with
// the configured message 1007.
#pragma once

#include <string>
#include <vector>

namespace jaunt {

typedef std::vector<std::u16string> WideArgumentList;
typedef std::vector<std::string> NarrowArgumentList;

void splitArguments(const wchar_t* text, WideArgumentList* list);
// A whole command line: the program name first, taken by the platform's rule (quotes around it
// removed), then the rest split with splitArguments.
void splitCommandLine(const wchar_t* commandLine, WideArgumentList* list);
// For a narrow text in the ANSI code page (key 123). Texts beyond kTextSize UTF-16 units are cut
// there before splitting.
void splitNarrowArguments(const char* text, NarrowArgumentList* list);

}  // namespace jaunt
