#pragma once

// Desktop entries (the .desktop files of installed applications) as the
// workspace opens them: where an id is looked up, what an entry says, and
// its Exec line split into a program and its arguments without a shell.
//
// Pure functions and file reads; no state. Any thread.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace notch {

struct DesktopEntry {
  std::string path;           // the file read
  std::string exec;           // the Exec value, string escapes already decoded
  std::string startupWMClass; // the class its windows announce, when given
};

// The directories an id like "workbuddy.desktop" is looked up in, most
// important first: $XDG_DATA_HOME/applications (default ~/.local/share),
// then each of $XDG_DATA_DIRS (default /usr/local/share:/usr/share).
std::vector<std::string> xdgApplicationDirectories();

// The entry at `location`: an absolute path of a .desktop file, or an id
// looked up in `directories`. nullopt when there is none, it is no
// application, it is hidden, or it has no Exec line.
std::optional<DesktopEntry> findDesktopEntry(const std::string& location, const std::vector<std::string>& directories);

// Reads the [Desktop Entry] group of the file at `path`, as findDesktopEntry.
std::optional<DesktopEntry> readDesktopEntry(const std::string& path);

// The program and its arguments of an Exec value: arguments are separated
// by spaces and may be double-quoted, where a backslash escapes ", `, $
// and \. Field codes (%f, %F, %u, %U, %i, %c, %k and the deprecated ones)
// are dropped, an argument made only of them with them; %% is a percent
// sign. nullopt for an unterminated quote, an unknown field code, or no
// program at all.
std::optional<std::vector<std::string>> splitExecLine(std::string_view exec);

} // namespace notch
