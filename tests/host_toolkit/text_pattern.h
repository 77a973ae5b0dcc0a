// Matching texts that hold a time: '#' in a pattern stands for any digit.
#ifndef TESTS_HOST_TOOLKIT_TEXT_PATTERN_H
#define TESTS_HOST_TOOLKIT_TEXT_PATTERN_H

#include <cctype>
#include <string>

inline bool MatchesPattern(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
    if (pattern[i] == '#' ? !digit : pattern[i] != text[i]) return false;
  }
  return true;
}

inline bool EndsWithPattern(const std::string& text, const std::string& pattern) {
  return text.size() >= pattern.size() &&
         MatchesPattern(text.substr(text.size() - pattern.size()), pattern);
}

#endif
