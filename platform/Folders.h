// Folders and files by the names the sensor code uses. Paths are 8-bit
// (local encoding) text joined with '/'.
#pragma once

#include <QString>

#include <string>

// The name of one file or folder made from sensor text (8-bit Latin-1, as
// the images hold it), in the paths' encoding: the same characters the
// windows show, so the Qt and C library file calls, the file lists and the
// user all meet the same file. A path separator ('/', and the backslash,
// which separates folders where the files may be copied to) becomes '_', so
// the name never leads out of its folder.
std::string Latin1ToPath(const std::string& text);

// A path in the paths' encoding as the windows show it: the name the file
// system gives it. Also for a message of the system that may hold a path
// (an exception's text, a file error).
QString PathText(const std::string& path);

// The per-user application-data folder (normally ~/.local/share), without a
// trailing '/'; made when it is missing.
std::string GetAppDataFolder();

bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);
// Creates one folder (its parent must exist); true on success.
bool CreateDir(const std::string& path);
bool DeleteFile(const std::string& path);
