#pragma once
// Names and paths on the controller as the project and file operations send them, and the
// controller's answer to an import.
//
// A controller path is "project/<project>[/<task or file>[/<file>]]"; its components become
// directory and file names on the controller. A component that is empty, "." or ".." would
// name another directory than the caller meant (the project itself, or its parent), so such a
// path is refused before anything is sent. Backslashes are separators in controller paths
// only: a local path is used as given, because on this platform a backslash is an ordinary
// character of a file name and rewriting it would open another file.

#include <json/value.h>

#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace velmora::internal {

/// The components of a controller path: every backslash becomes "/", then the text splits as
/// lines split with "/" as the line end ("a/b/" gives a and b, "a//b" gives a, "" and b, ""
/// gives none).
std::vector<std::string> splitControllerPath(std::string path);

/// Whether `name` can be one component of a controller path: not empty, not "." or "..", and
/// free of "/" and "\".
bool isPlainName(std::string_view name) noexcept;

/// A plain name, or the empty text: what the path operations send as a name the controller keeps
/// as a file (the empty one is the controller's to refuse, as it always was).
bool isPlainOrEmptyName(std::string_view name) noexcept;

/// Whether every component is a plain name.
bool allPlainNames(const std::vector<std::string>& components) noexcept;

/// The extension of a path's final component as a file-system path has it: the last "." and
/// what follows; "" when there is no ".", or when the name's only "." is its first character.
/// Compared exactly, case included.
std::string fileExtension(const std::string& path);
/// The final component without its extension.
std::string fileStem(const std::string& path);

/// The code of one of the controller's import failure texts ("function_error",
/// "false_project_zip", "empty_data", "wrong_file_type", "non-exist task", "open_file_error");
/// 0 for any other text.
int importFailureCode(std::string_view text) noexcept;

/// The answer to a successful import command: an integer is the code (0: imported, no name);
/// null imports with no name; an object's "data"."f" failure text sets its code, else the
/// result is "data".`nameKey`. Any other shape, or members of kinds that cannot be read, give
/// -260. The name is returned only while `ec` stays clear.
std::string readImportReply(const Json::Value& reply, const char* nameKey, std::error_code& ec);

}  // namespace velmora::internal
