// MessageText: every text the program shows, by id (1 to 86). The text comes from the
// program's string table unless the settings file's section "Language" replaces it with a
// key "Msg<id>"; in a replacement "|" stands for a line break and "~" for a space.
#pragma once

#include <cstddef>

// Fills buffer (size bytes) with the zero-terminated text of id; never writes past size.
void MessageText(int id, char* buffer, size_t size);

// Rewrites a replacement text in place: each "|" becomes CR LF, then each "~" a space,
// stepping over double-byte characters; the text is cut to fit size bytes.
void ExpandLanguageText(char* text, size_t size);

// MessageText with the application title put in place of its first "%s" (texts such as
// "Welcome to the %s uninstall program."). Any other '%' stays as written.
void MessageTextWithTitle(int id, char* buffer, size_t size);

// Fills the first count "%s" of format with arguments, in order, and reads "%%" as "%", as
// the texts' own formatter does; any other '%' is copied as it stands, so that a text
// replaced from the settings file can never make a formatter misread the arguments. A text
// that does not fit is cut on a whole character.
void FillText(char* out, size_t size, const char* format, const char* const* arguments,
              int count);
