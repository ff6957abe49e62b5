// Small text helpers of the shell: trimming, splitting, joining, and column-aligned tables.
#ifndef SVCSH_TEXT_H
#define SVCSH_TEXT_H

#include <cstddef>
#include <string>
#include <vector>

namespace svcsh {

// Without leading and trailing blanks (space, tab, CR, LF).
std::string trim(const std::string& text);
std::string join(const std::vector<std::string>& pieces, const std::string& separator);
// Blank-separated words; runs of blanks count once.
std::vector<std::string> splitWords(const std::string& text);
// Lines without their "\n"; a final "\n" adds no empty line.
std::vector<std::string> splitLines(const std::string& text);

// Rows printed with every column as wide as its widest cell, two blanks apart, the last column
// unpadded; a header row comes first when given.
class Table {
  public:
    explicit Table(std::vector<std::string> header, std::string indent = "");
    void add(std::vector<std::string> row);
    std::vector<std::string> lines() const;

  private:
    std::vector<std::vector<std::string>> rows_;
    std::string indent_;
};

}  // namespace svcsh

#endif  // SVCSH_TEXT_H
