#pragma once

// The running user's home directory: $HOME when it is set and absolute, else
// the password database's entry. The one place it is computed.
//
// The result is resolved with realpath, so that a home directory that itself
// sits behind a symbolic link (/home pointing into /var on image-based
// systems) still works with the settings layer's walk, which refuses
// symbolic links at every component below it. nullopt when there is none.

#include <optional>
#include <string>

namespace notch {

std::optional<std::string> homeDirectory();

} // namespace notch
