#pragma once
// String and file-name helpers shared by every component. Strings hold bytes; "lower case"
// means ASCII lower case. File-name helpers treat both '/' and '\' as separators, because
// names from archives may carry either.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
#else
inline constexpr char kPathDelim = '/';
#endif

std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);  // equal ignoring ASCII case

// File names are compared as Windows compares them, ignoring case beyond ASCII: a name that is
// valid UTF-8 by Unicode simple case folding of its characters, any other name byte by byte,
// ignoring ASCII case (its other bytes map to U+DC80..U+DCFF, so they never equal a character).
// Names the program writes stay in ASCII lower case (LowerCase).
char32_t FoldCodePoint(char32_t c);
std::u32string FoldFileName(std::string_view name);
bool SameFileName(std::string_view a, std::string_view b);
std::string Trim(std::string_view s);  // blanks and control characters off both ends

// The text with every character that would start a new line or move the cursor shown as an
// escape: "\n", "\r", "\t", "\x1b" for control bytes, "\u2028" for the Unicode line and
// paragraph separators and the next-line character. Everything else, backslashes included,
// stays as it is.
std::string EscapeControlCharacters(std::string_view s);

// "a/b/c.txt" -> "c.txt"
std::string ExtractFileName(std::string_view path);
// "a/b/c.txt" -> "a/b/" (with the trailing separator; empty when there is no folder part)
std::string ExtractFilePath(std::string_view path);
// "a/b/c.txt" -> "a/b" (without the trailing separator)
std::string ExtractFileDir(std::string_view path);
// "a/b/c.txt" -> ".txt"; "a.b/c" -> ""
std::string ExtractFileExt(std::string_view path);
// "a/b/c.txt", ".bak" -> "a/b/c.bak"
std::string ChangeFileExt(std::string_view path, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view path);
std::string ExcludeTrailingPathDelimiter(std::string_view path);
// folder + kPathDelim + name, without doubling a separator that folder already ends in.
std::string JoinPath(std::string_view folder, std::string_view name);
// A path inside a package made plain: split at '/' or '\', empty and "." components dropped,
// ".." taking back the one before it, joined by '/'. False when a ".." would climb above the
// package's top or nothing is left.
bool NormalisePackagePath(std::string_view name, std::string& out);

// Decimal integer with optional sign and surrounding blanks; raises EConvertError
// ("'<text>' is not a valid integer value") otherwise.
int StrToInt(std::string_view s);
// Same rule, without raising: false when the text is not an integer.
bool TryStrToInt(std::string_view s, int& value);

}  // namespace platform
