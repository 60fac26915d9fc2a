#include "include_checker.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <regex>

namespace fs = std::filesystem;

namespace tarvesk::test {

namespace {

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

// '*' matches any run of characters, '/' included.
bool matchesPattern(const std::string& pattern, const std::string& text)
{
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string::npos;
    std::size_t starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starText = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// The header an include names, relative to the root, looked up where the
// compiler looks: a quoted name first beside the including file, then under
// the include roots (the file's own tree first). Nothing for a header that is
// not ours (Qt, the standard library).
std::optional<std::string> resolve(
    const fs::path& root, const std::string& file, const std::string& name, bool quoted)
{
    const bool inSim = startsWith(file, "sim/");
    std::vector<fs::path> bases;
    if (quoted)
        bases.push_back(fs::path(file).parent_path());
    bases.emplace_back(inSim ? "sim" : "src");
    bases.emplace_back(inSim ? "src" : "sim");
    for (const fs::path& base : bases) {
        const fs::path candidate = (base / name).lexically_normal();
        std::error_code error;
        if (fs::is_regular_file(root / candidate, error))
            return candidate.generic_string();
    }
    return std::nullopt;
}

// ", src/core, src/log" (the folders after "itself").
std::string joined(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items)
        text += ", " + item;
    return text;
}

bool isSourceFile(const fs::path& path)
{
    const std::string extension = path.extension().string();
    return extension == ".h" || extension == ".cpp" || extension == ".hpp" || extension == ".c";
}

} // namespace

std::string IncludeViolation::text() const
{
    std::string where = line > 0 ? file + ":" + std::to_string(line) : file;
    if (!include.empty())
        where += ": \"" + include + "\"";
    return where + ": " + problem;
}

IncludeChecker::IncludeChecker(std::vector<LayerRule> layers, std::vector<IncludeException> exceptions)
    : _layers(std::move(layers))
    , _exceptions(std::move(exceptions))
{ }

const LayerRule* IncludeChecker::layerOf(const std::string& path) const
{
    const LayerRule* best = nullptr;
    for (const LayerRule& layer : _layers) {
        if (startsWith(path, layer.folder + "/") && (!best || layer.folder.size() > best->folder.size()))
            best = &layer;
    }
    return best;
}

bool IncludeChecker::isAllowed(
    const LayerRule& from, const std::string& file, const std::string& header, std::vector<bool>& used) const
{
    const LayerRule* to = layerOf(header);
    if (to
        && (to == &from
            || std::find(from.mayInclude.begin(), from.mayInclude.end(), to->folder)
                != from.mayInclude.end()))
        return true;
    for (std::size_t i = 0; i < _exceptions.size(); ++i) {
        if (_exceptions[i].header == header && matchesPattern(_exceptions[i].filePattern, file)) {
            used[i] = true;
            return true;
        }
    }
    return false;
}

void IncludeChecker::checkFile(
    const fs::path& root, const std::string& file, IncludeReport& report, std::vector<bool>& used) const
{
    const LayerRule* from = layerOf(file);
    if (!from) {
        report.violations.push_back({file, 0, {}, "its folder has no layer rule"});
        return;
    }
    static const std::regex includeLine(R"(^\s*#\s*include\s*([<"])([^">]+)[">])");
    std::ifstream in(root / file);
    if (!in) {
        report.violations.push_back({file, 0, {}, "cannot be read"});
        return;
    }
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        std::smatch match;
        if (!std::regex_search(text, match, includeLine))
            continue;
        const bool quoted = match[1] == "\"";
        const std::string name = match[2];
        const std::optional<std::string> header = resolve(root, file, name, quoted);
        if (!header) {
            if (quoted)
                report.violations.push_back(
                    {file, line, name, "not found beside the file, in src/ or in sim/"});
            continue;
        }
        if (!isAllowed(*from, file, *header, used))
            report.violations.push_back({file, line, name,
                "is " + *header + ", but " + from->folder + " may include only from itself"
                    + joined(from->mayInclude)});
    }
}

IncludeReport IncludeChecker::check(const fs::path& root) const
{
    std::vector<std::string> files;
    for (const char* tree : {"src", "sim"}) {
        std::error_code error;
        if (!fs::is_directory(root / tree, error))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / tree)) {
            if (entry.is_regular_file() && isSourceFile(entry.path()))
                files.push_back(entry.path().lexically_relative(root).generic_string());
        }
    }
    std::sort(files.begin(), files.end());

    IncludeReport report;
    std::vector<bool> used(_exceptions.size(), false);
    for (const std::string& file : files)
        checkFile(root, file, report, used);
    for (std::size_t i = 0; i < _exceptions.size(); ++i) {
        if (!used[i])
            report.unusedExceptions.push_back(_exceptions[i]);
    }
    return report;
}

} // namespace tarvesk::test
