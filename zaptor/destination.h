// Choosing the converted copy's name, and making sure it is not the source.
#pragma once

#include <string>
#include <string_view>

namespace zaptor {

// The source's name cut before the first "." of its base name, followed by
// ".win": "../x.c" gives "../x.win", "a.b.c" gives "a.win", "makefile"
// gives "makefile.win".
std::string derived_destination(std::string_view src);

// True when `dst` names the file `src` names: the same name, another path to
// it, a hard link or a symbolic link to it.
bool is_same_file(const std::string& src, const std::string& dst);

}  // namespace zaptor
