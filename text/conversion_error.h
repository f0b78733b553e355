#pragma once

#include <stdexcept>

namespace lumbo {

// Raised by the strict conversions. Its message is one of
// "Error in conversion.", "Invalid UTF-8 sequence." or "La falla!".
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const char* message) : std::runtime_error(message) {}
};

}  // namespace lumbo
