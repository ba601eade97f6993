#include "platform/ui/file_filter.h"

namespace ui {

namespace {

constexpr const char* kBlanks = " \t";

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::vector<std::string> SplitPatterns(const std::string& text)
{
    std::vector<std::string> patterns;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(';', pos);
        if (end == std::string::npos)
            end = text.size();
        if (std::string pattern = Trimmed(text.substr(pos, end - pos)); !pattern.empty())
            patterns.push_back(std::move(pattern));
        pos = end + 1;
    }
    return patterns;
}

} // namespace

std::vector<FilterPair> ParseFilter(const std::string& filter)
{
    std::vector<FilterPair> pairs;
    size_t pos = 0;
    while (pos < filter.size()) {
        const size_t labelEnd = filter.find('|', pos);
        if (labelEnd == std::string::npos || labelEnd == pos)
            break; // an empty label, or one without a pattern after it
        size_t patternEnd = filter.find('|', labelEnd + 1);
        if (patternEnd == std::string::npos)
            patternEnd = filter.size();
        FilterPair pair{
            filter.substr(pos, labelEnd - pos), SplitPatterns(filter.substr(labelEnd + 1, patternEnd - labelEnd - 1))};
        if (pair.patterns.empty())
            break; // a label without a pattern
        pairs.push_back(std::move(pair));
        pos = patternEnd + 1;
    }
    return pairs;
}

std::string PlainExtension(const std::string& defaultExtension)
{
    const std::string text = Trimmed(defaultExtension);
    const size_t start = text.find_first_not_of("*.");
    if (start == std::string::npos)
        return std::string();
    std::string ext = text.substr(start);
    if (ext.find_first_of("*?./\\| \t") != std::string::npos)
        return std::string();
    return ext;
}

} // namespace ui
