#pragma once

#include "core/core_errors.h"

#include <gtest/gtest.h>

#include <string>

// Runs fn and checks that it throws ParameterError with exactly this message.
template <typename Fn> void expectParameterError(Fn&& fn, const std::string& message)
{
    try {
        fn();
        ADD_FAILURE() << "expected ParameterError \"" << message << "\"";
    } catch (const tarvesk::core::ParameterError& e) {
        EXPECT_EQ(e.what(), message);
    }
}

// As above, but only checks that the message contains the given text.
template <typename Fn> void expectParameterErrorContaining(Fn&& fn, const std::string& part)
{
    try {
        fn();
        ADD_FAILURE() << "expected ParameterError containing \"" << part << "\"";
    } catch (const tarvesk::core::ParameterError& e) {
        EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
}
