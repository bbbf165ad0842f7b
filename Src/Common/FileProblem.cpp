#include "FileProblem.hpp"

namespace Quillmere {

std::string FileProblem::Detail() const
{
    std::string detail = reason.empty() ? "system error " + std::to_string(error) : reason;
    if (line && byte)
        detail += " at line " + std::to_string(*line) + ", byte " + std::to_string(*byte);
    else if (byte)
        detail += " at byte " + std::to_string(*byte);
    return detail;
}

}  // namespace Quillmere
