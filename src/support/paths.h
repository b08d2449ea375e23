// Path and file utilities. Paths written in definition files, cells and fields may use "\" or
// "/" as separator; the results are native paths with "/".
#pragma once

#include <string>
#include <string_view>

namespace tabrix {

// "\" becomes "/" (a leading "\\" network prefix becomes "//").
std::string NativePath(std::string_view path);
// Text before the last separator; empty when there is none.
std::string FolderPart(std::string_view path);
// Text after the last separator, cut before its last ".".
std::string BaseName(std::string_view path);
// At least two characters and each of the first two is "\" or "/".
bool IsNetworkPath(std::string_view path);
// Contains "://".
bool IsUrl(std::string_view text);
// Absolute path of `path` resolved against `baseFolder` by text ("." and ".." applied); an
// absolute path is returned as it stands; empty when the path climbs above the base's root.
std::string ResolveRelativePath(std::string_view baseFolder, std::string_view path);
// Absolute form of a path against a base folder (the process's current directory when the
// base is empty), normalised, native separators.
std::string AbsolutePath(std::string_view path, std::string_view baseFolder = "");
// A file (not a folder) that can be opened for reading.
bool FileExists(std::string_view path);
// Creates each missing level; true when the folder exists afterwards.
bool MakeFolderChain(std::string_view folder);
// Six characters drawn uniformly from codes 48..122.
std::string RandomPassword();
// Folder of the running program or library (where fmtconv.cfg lies).
std::string ComponentFolder();

}  // namespace tabrix
