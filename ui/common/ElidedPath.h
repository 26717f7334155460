#pragma once

#include <QString>

#include <functional>

// Shortens the folders of a path inside a text until the text fits, in the middle, so that the start
// of the path (the drive, or the first folder) and its end (the folder that holds the file, and the file)
// stay: "Exported 78 records to C:\Users\…\Documents\data.dat". The path is taken as it appears in the
// text, in either system's form. Returns the text whole when it fits, the first shortening that fits
// (the fewest folders left out), or an empty string when none does.
QString elidePathInText(const QString& text, const QString& path,
                        const std::function<bool(const QString&)>& fits);
