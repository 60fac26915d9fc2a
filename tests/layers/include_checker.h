#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tarvesk::test {

// One folder of the tree (relative to the source root, e.g. "src/core") and
// the folders its files may include from. A file always may include from its
// own folder; a file belongs to the longest folder that contains it.
struct LayerRule
{
    std::string folder;
    std::vector<std::string> mayInclude;
};

// An include the folder rules forbid but the design needs: files matching the
// pattern ('*' stands for any run of characters, '/' included) may include
// the header (relative to the source root, e.g. "src/core/itf_error.h").
struct IncludeException
{
    std::string filePattern;
    std::string header;
    std::string reason;
};

struct IncludeViolation
{
    std::string file;
    int line = 0;
    std::string include;
    std::string problem;

    // "src/network/http_server.h:3: \"app/service.h\": <problem>"
    std::string text() const;
};

struct IncludeReport
{
    std::vector<IncludeViolation> violations;
    // Exceptions that no include used: the reason for them is gone.
    std::vector<IncludeException> unusedExceptions;
};

// Reads every #include of the .h and .cpp files under <root>/src and
// <root>/sim, resolves it as the build does (the including file's folder
// first, then the src/ and sim/ roots) and tests it against the rules.
class IncludeChecker
{
public:
    IncludeChecker(std::vector<LayerRule> layers, std::vector<IncludeException> exceptions);

    IncludeReport check(const std::filesystem::path& root) const;

private:
    const LayerRule* layerOf(const std::string& path) const;
    bool isAllowed(const LayerRule& from, const std::string& file, const std::string& header,
        std::vector<bool>& used) const;
    void checkFile(const std::filesystem::path& root, const std::string& file, IncludeReport& report,
        std::vector<bool>& used) const;

    std::vector<LayerRule> _layers;
    std::vector<IncludeException> _exceptions;
};

} // namespace tarvesk::test
