// The status report for a software-distribution system: at the end of a run the outcome is
// handed to the distribution system's library, or written as a MIF file into the Windows
// directory from a built-in template (or the settings file's "Msg1000" template).
#pragma once

#include <cstddef>

// Writes the report named by the log's "Uninstall MIF: " record; nothing when it names none.
void WriteStatusMif();

// The texts put in for %1% .. %8% (index 0 for %1%).
struct MifValues {
  const char* value[8];
};

// Replaces each "^" of text by CR LF in place; text is a buffer of size bytes. When the
// text would outgrow the buffer its end is cut. Returns true when something was cut.
bool ExpandCarets(char* text, size_t size);

// Replaces the placeholders %1% .. %8% of text in one pass, in place; an inserted value is
// not scanned again. text is a buffer of size bytes; when the result would outgrow it, the
// part that does not fit (the end of the text, then the end of a value) is cut off at a
// character boundary. Returns true when something was cut.
bool ExpandMifPlaceholders(char* text, size_t size, const MifValues& values);
