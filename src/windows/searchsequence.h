// Text rules of the JVM search, free of any platform call: the search-sequence grammar, the line of
// a location file, and the product's own Java home variable.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace jaunt {

// One entry of the search sequence: a type letter and its argument (the rest of the entry).
struct SearchEntry {
    char letter;
    std::string argument;
};

// Splits a search sequence at ";"; empty entries (runs of separators, a leading or trailing one)
// are skipped. Letters are kept as written, unknown ones included: the caller decides.
std::vector<SearchEntry> parseSearchSequence(const char* sequence);

// The letters the search acts on: A, B and R (a JVM home), E (a variable), S (the search path) and
// Y (the registry). Other letters are only logged; the build tool refuses them with this test.
bool isSearchLetter(char letter);

// The fallback pass's notion of an absolute argument: at least two characters, and a ":" second
// or a leading "\\". Everything else ("\x", "jre", one character) is relative.
bool isAbsoluteSearchArgument(const char* argument);

// Whether the fallback pass tries an entry: B entries always, A and R entries only when relative,
// no other letter.
bool isTriedInFallbackPass(const SearchEntry& entry);

// The location written in a location file, from the bytes read at its start: the first line, at
// most capacity - 1 characters, without its trailing carriage returns and line feeds. False when
// the file is empty (no location); a blank first line gives the empty location.
bool locationFromFileText(const char* text, size_t length, char* location, size_t capacity);

// The environment variable naming the product's Java home for a flavour letter: "JAUNT_JAVA_HOME"
// for 'e', "BUNDLEKIT_JAVA_HOME" for 'i', none (null) for any other.
const char* productJavaHomeVariable(char flavour);

}  // namespace jaunt
