// Whether a text can stand as an XML element's name.
#pragma once

#include <string_view>

namespace Quillmere {

// True when `name` is an XML 1.0 name (colon included) in UTF-8.
bool IsXmlName(std::string_view name);

}  // namespace Quillmere
