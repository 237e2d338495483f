// The program's built-in texts (ids 1 to 86) as a C++ table: the same bytes that windres
// puts into the Windows program's string table, for back-ends that have no resources (the
// simulated machine serves its LoadStringText from here).
#pragma once

constexpr int kFirstTextId = 1;
constexpr int kLastTextId = 86;

// The text of id, or null for an id without text.
const char* StringTableText(int id);
