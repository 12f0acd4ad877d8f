#pragma once
// Reference pages made from the library's own tables: `velmora-docgen` writes them into docs/
// and the test of the same name fails when a checked-in page differs from what it would write.

#include <filesystem>
#include <string>

namespace velmora::docs {

/// The first lines of every generated page.
inline constexpr const char* kGeneratedNote =
    "<!-- Written by velmora-docgen from the library's tables; edit the generator, not this file. -->\n\n";

/// Every code of the error category with both texts, grouped, with the operations whose doc
/// lines in the public headers (`headers`) name it; then the real-time motion errors.
std::string errorCodesPage(const std::filesystem::path& headers);

/// The state stream's fields of each arm size, with their types, sizes and units.
/// Throws `std::runtime_error` when a field of the library's tables has no description here.
std::string stateFieldsPage();

}  // namespace velmora::docs
