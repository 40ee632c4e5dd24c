// Folders and files by the names the sensor code uses. Paths are 8-bit
// (local encoding) text joined with '/'.
#pragma once

#include <string>

// A file or folder name made from sensor text (8-bit Latin-1, as the images
// hold it), in the paths' encoding: the same characters the windows show, so
// the Qt and C library file calls, the file lists and the user all meet the
// same file.
std::string Latin1ToPath(const std::string& text);

// The per-user application-data folder (normally ~/.local/share), without a
// trailing '/'; made when it is missing.
std::string GetAppDataFolder();

bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);
// Creates one folder (its parent must exist); true on success.
bool CreateDir(const std::string& path);
bool DeleteFile(const std::string& path);
