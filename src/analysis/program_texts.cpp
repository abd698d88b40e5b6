#include "analysis/program_texts.h"

#include <cctype>
#include <cstddef>

namespace quorvane {

std::string TestName(AnalysisTest test) {
    return test == AnalysisTest::Dissociation ? "dissociation" : "deficit";
}

std::optional<AnalysisTest> TestNamed(std::string_view name) {
    for (const AnalysisTest test : {AnalysisTest::Deficit, AnalysisTest::Dissociation})
        if (name == TestName(test)) return test;
    return std::nullopt;
}

std::string LimitName(LimitType limit) {
    std::string name = kLimitCaptions[static_cast<std::size_t>(limit)];
    for (char& c : name) c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

std::optional<LimitType> LimitNamed(std::string_view name) {
    for (const LimitType limit : {LimitType::TwoSided, LimitType::OneSidedLower, LimitType::OneSidedUpper})
        if (name == LimitName(limit)) return limit;
    return std::nullopt;
}

std::string AlternativeName(Alternative alternative) {
    switch (alternative) {
        case Alternative::Less: return "less";
        case Alternative::Greater: return "greater";
        case Alternative::TwoSided: break;
    }
    return "two-sided";
}

std::optional<Alternative> AlternativeNamed(std::string_view name) {
    for (const Alternative alternative : {Alternative::Less, Alternative::Greater, Alternative::TwoSided})
        if (name == AlternativeName(alternative)) return alternative;
    return std::nullopt;
}

}  // namespace quorvane
