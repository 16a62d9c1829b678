#pragma once

namespace quillet {

// Adds the columns "file" (a data file's name) and "bytes" (content it cannot decode) and one
// row per kind of damage.
void addBadFileRows();

} // namespace quillet
