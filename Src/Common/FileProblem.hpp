// Why a file could not be read or written, as one value: the file, the system's error where there
// is one, and what was wrong with its content with the line and byte where it was found. Readers
// and file calls make it; the phase that meets it turns it into its report line, which names the
// file and gives Detail().
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "SystemFiles.hpp"

namespace Quillmere {

struct FileProblem {
    FileProblem() = default;
    FileProblem(SystemPath path, SystemError error, std::string reason = {}) : path(std::move(path)), error(error), reason(std::move(reason)) {}

    SystemPath path;
    SystemError error = 0;   // the system's number for why a file call failed; 0 when the content is at fault
    std::string reason;      // what is wrong with the content, in the words of its reader
    std::optional<std::size_t> line;
    std::optional<std::size_t> byte;

    // "system error 13", "file is not a database", "mismatched tag at line 3, byte 120".
    std::string Detail() const
    {
        std::string detail = reason.empty() ? "system error " + std::to_string(error) : reason;
        if (line && byte)
            detail += " at line " + std::to_string(*line) + ", byte " + std::to_string(*byte);
        else if (byte)
            detail += " at byte " + std::to_string(*byte);
        return detail;
    }
};

}  // namespace Quillmere
