// Build-time checks of the values a configuration writes: whatever the launcher would refuse, cut
// or silently ignore on the user's machine is found here, before a launcher is made.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jaunt {

// The font names of the splash text lines are read into a buffer of this many bytes.
constexpr size_t kFontNameSize = 32;

// The longest AppUserModelID Windows takes.
constexpr size_t kAppUserModelIdLimit = 128;

// What is wrong with the value of one key, in a few words; empty when the launcher reads it as
// written. Covers the class-path and search-sequence grammars, texts longer than the launcher's
// 8192-byte buffers, font names longer than theirs, colours outside 0..255, negative sizes, an
// AppUserModelID (key 109) not of Windows' form, a console mode (key 110) other than "attach" and
// module flags (keys 132, 133) that are not module/package items.
std::string valueProblem(int32_t key, const std::string& value);

// The minimum and maximum Java version allow no version at all: the minimum is above the maximum
// in the launcher's version order (each compared over its own components). Empty when they fit.
std::string versionLimitsProblem(const std::string& minimum, const std::string& maximum);

// The known name nearest to name when it is close enough to be a slip of the keyboard; else empty.
std::string closestName(const std::string& name, const std::vector<std::string>& known);

}  // namespace jaunt
