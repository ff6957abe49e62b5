// Platform core utilities: text and number conversions, splitting, case-blind comparison, file
// paths and thread identity.
//
// Threading: every function may be called from any thread; none keeps state between calls.
// Failure: the number parsers are strict. The whole text (blanks around it allowed) must be one
// number of the target type, else they throw std::invalid_argument; a number outside the type's
// range throws std::out_of_range. Both messages quote the text and name the type. Everything else
// reports through its result and never throws.
#ifndef KORCOREUTILS_H
#define KORCOREUTILS_H

#include <cstdint>
#include <string>
#include <vector>

namespace KORCoreUtils {

// Appends to `out` the pieces of `text` between occurrences of the whole `delimiter`, in order.
// Empty pieces are kept, also at the start and the end ("/a//b/" gives "", "a", "", "b", ""); an
// empty text yields no piece; an empty delimiter yields the whole text as one piece.
void split(const std::string& text, std::vector<std::string>& out, const std::string& delimiter);

// Decimal digits with an optional leading "+" (or "-" for the signed types); no base prefix, no
// inner blanks. The "C" rules apply whatever the global locale. toUnsignedInt refuses any minus
// sign, "-0" included.
int toInt(const std::string& text);
unsigned int toUnsignedInt(const std::string& text);
long toLong(const std::string& text);
long long toLongLong(const std::string& text);
// Decimal and exponent forms ("1.5", ".5", "-2e3"), "nan" and "inf"/"infinity" in any letter case,
// with an optional sign; no hexadecimal form. A finite text whose value rounds to infinity, or to
// zero although it is not zero ("1e-50"), is out of range.
float toFloat(const std::string& text);
// Accepts true/false, 1/0 and yes/no in any letter case, blanks around allowed.
bool toBool(const std::string& text);

// Never throws: returns `defaultValue` when the text is not one unsigned int.
unsigned int toUnsignedInt(const std::string& text, unsigned int defaultValue);

std::string toString(int value);
std::string toString(unsigned int value);
std::string toString(long value);
std::string toString(long long value);
// The shortest text that reads back to the same float ("0.1", "1e+30", "nan", "inf").
std::string toString(float value);
// "true" or "false".
std::string toString(bool value);

// Character for character: each wide character becomes the char of the same code (truncated to
// eight bits), each char the wide character of the same unsigned code.
std::string toString(const std::wstring& text);
std::wstring toWideString(const std::string& text);

// Letter case is compared in the "C" locale (ASCII letters only).
bool caseInsensitiveStringEquals(const std::string& a, const std::string& b);
// 0 when equal ignoring letter case; otherwise negative or positive like strcmp, with letters
// folded to lower case and bytes compared as unsigned, as strcasecmp does in the "C" locale.
int caseInsensitiveStringCompare(const std::string& a, const std::string& b);

namespace FileUtils {

// True when anything (a file, a directory, ...) exists at the path; symbolic links are followed.
bool fileExists(const std::string& path);
// The last path component ("/a/b/c.xml" gives "c.xml", "/a/b/" gives "b", "/" gives "/", ""
// gives "").
std::string getFileName(const std::string& path);
// "/" on Linux.
std::string FileSeparator();
// The path made absolute against the current directory, with "." and ".." components resolved
// lexically and repeated or trailing separators dropped; symbolic links are not followed. An empty
// text when a relative path meets a current directory that cannot be read.
std::string getAbsolutePath(const std::string& path);
// The directory that contains the path ("/a/b/c" gives "/a/b", "c" gives ".", "/" gives "/").
std::string getParentDirectory(const std::string& path);
// ZAM_RESOURCES_DIR as it is when set and not empty, else <directory of the running
// executable>/../resources with ".." resolved lexically; empty if the executable is unknown.
std::string getResourcesDirectory();

}  // namespace FileUtils

namespace ThreadUtils {

// The kernel thread id of the calling thread.
std::uint64_t getCurrentThreadId();

}  // namespace ThreadUtils

}  // namespace KORCoreUtils

#endif  // KORCOREUTILS_H
