#pragma once

// Normalises names inside texts shown to the user (hook details, command-line
// output, settings texts): older forms of the program's own name become its
// display name, and any casing of the outside application's name its proper
// casing.

#include <string>
#include <string_view>

namespace notch::PublicText {

std::string administrative(std::string_view text);

} // namespace notch::PublicText
