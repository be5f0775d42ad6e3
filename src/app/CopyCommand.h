#pragma once

#include <QStringList>
#include <optional>

// `cjpos --copy-database FROM TO [--overwrite]`: copies the restaurant's whole database between a file and
// a server (either way, or file to file), without opening a window. Returns the exit code, or nothing
// when the arguments ask for no copy.
std::optional<int> RunCopyCommand(const QStringList& arguments);
