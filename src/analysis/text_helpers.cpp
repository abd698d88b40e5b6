#include "analysis/text_helpers.h"

namespace quorvane {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

std::string Trimmed(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    return text.substr(first, last - first);
}

std::string Plural(std::size_t count, std::string_view singular, std::string_view plural) {
    return std::to_string(count) + " " + std::string(count == 1 ? singular : plural);
}

std::vector<std::string> Words(const std::string& list) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (true) {
        while (at < list.size() && IsBlank(list[at])) ++at;
        if (at == list.size()) return words;
        const std::size_t start = at;
        while (at < list.size() && !IsBlank(list[at])) ++at;
        words.push_back(list.substr(start, at - start));
    }
}

}  // namespace quorvane
