// The value backup file: where it lives, how values are named and typed in it, and the rapidxml
// document type both the writer and the restore use.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "rapidxml.hpp"

#include "GSRoot/GSRoot.hpp"

// "USERPROFILE" followed by "\Documents\IFC_SG_Properties.xml" (with the system's separators).
// Nothing when "USERPROFILE" is not set.
std::optional<std::string> BackupFilePath();

// The group name, "-" and the property name, in their 8-bit forms, as they stand.
std::string MakeValueKey(const GS::UniString& groupName, const GS::UniString& definitionName);

// True when `name` can stand as an XML element name as it is (so the value element may carry it).
// Keys that cannot are written as a KeyedValueElementName element with the key in KeyAttributeName.
bool IsXmlName(std::string_view name);
constexpr const char* KeyedValueElementName = "value";
constexpr const char* KeyAttributeName = "key";

// "valType" text of a definition's value type code: "Undefined", "Integer", "Real", "String",
// "Boolean", or empty for any other code.
const char* ValueTypeName(Int32 valueType);
// "MType" text of a definition's measure type code: "Default", "Length", "Area", "Volume",
// "Angle", or empty for any other code.
const char* MeasureTypeName(Int32 measureType);

// A rapidxml document whose memory pool draws its further blocks from GS::MemoryManager.
class BackupDocument : public rapidxml::xml_document<char> {
public:
    BackupDocument();
};
