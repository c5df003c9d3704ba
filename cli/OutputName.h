// OutputName.h: the names krv-repair gives its outputs, by the desktop window's rules.
//
// A name's extension starts at its last '.' when no separator follows it; separators are
// '/' and, as on the desktop, '\' and ':'. So "/m/data.old/box" has no extension.
#ifndef KRV_CLI_OUTPUTNAME_H
#define KRV_CLI_OUTPUTNAME_H

#include <string>

namespace krv::cli {

// The path without its extension ("/m/box.pst" -> "/m/box"; "/m/box" unchanged).
std::string StripExtension(const std::string& path);

// The extension with its dot, or empty.
std::string PathExtension(const std::string& path);

// The desktop window's rule: the source without its extension, "_fixed", then the
// extension ("box.pst" -> "box_fixed.pst", "box" -> "box_fixed"), except that an offline
// folder file's ".ost" becomes ".pst", since the output is a personal-folders file.
std::string DefaultOutputName(const std::string& source);

// DIR/ and the default output name of the source's file name.
std::string OutputInDirectory(const std::string& directory, const std::string& source);

// The name of the index-th follow-up file of a split output: "_<index>" before the
// extension ("/m/out.pst", 2 -> "/m/out_2.pst").
std::string FollowUpName(const std::string& output, unsigned index);

// The folder a path's file is created in ("." for a bare name).
std::string ParentFolder(const std::string& path);

} // namespace krv::cli

#endif
