#pragma once
// Small helpers of the program's texts.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// The text without the blanks and control characters around it.
std::string Trimmed(const std::string& text);
// "1 line", "3 lines": a count with the word that fits it.
std::string Plural(std::size_t count, std::string_view singular, std::string_view plural);
// A blank-separated list (blanks, tabs or line ends between the words) as its words.
std::vector<std::string> Words(const std::string& list);

}  // namespace quorvane
