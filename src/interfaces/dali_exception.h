#pragma once

#include <stdexcept>
#include <string>

namespace tarvesk::itf {

// A failure of the DALI memory-bank machinery: the bus status code (or one of
// the memory-bank codes below) and a text saying what failed.
class DaliException : public std::runtime_error
{
public:
    // A memory location gave no answer where one was required.
    static constexpr int NoAnswer = -42;
    // A memory location answered another value than the one written.
    static constexpr int WrongAnswer = -43;

    DaliException(const std::string& message, int code)
        : std::runtime_error(message)
        , _code(code)
    { }

    int code() const { return _code; }

private:
    int _code;
};

} // namespace tarvesk::itf
