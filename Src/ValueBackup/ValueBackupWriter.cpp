#include "ValueBackupWriter.hpp"

#include <cerrno>
#include <cstdio>
#include <iterator>
#include <string>

#include "rapidxml_print.hpp"

#include "ConfigurationImport/OwnedGroups.hpp"
#include "Host/HostCalls.hpp"
#include "ValueBackupFile.hpp"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using XmlNode = rapidxml::xml_node<char>;

// Copies `text` into the document's pool, so the tree owns it.
const char* PoolText(BackupDocument& document, const std::string& text)
{
    return document.allocate_string(text.c_str(), text.size() + 1);
}

const char* FormatReal(BackupDocument& document, double value)
{
    const int length = std::snprintf(nullptr, 0, "%f", value);
    char* text = document.allocate_string(nullptr, static_cast<std::size_t>(length) + 1);
    std::snprintf(text, static_cast<std::size_t>(length) + 1, "%f", value);
    return text;
}

// The value text of `value` for a definition of type `valueType`.
const char* FormatValue(BackupDocument& document, Int32 valueType, const TypedValueRecord& value)
{
    switch (valueType) {
        case API_PropertyIntegerValueType: return PoolText(document, std::to_string(value.intValue));
        case API_PropertyRealValueType: return FormatReal(document, value.realValue);
        case API_PropertyStringValueType: {
            const GS::UniString::CStr text = value.stringValue.ToCStr();
            return document.allocate_string(text.Get(), text.GetLength() + 1);
        }
        case API_PropertyBooleanValueType: return value.boolValue ? "1" : "0";
        default: return "";
    }
}

// One saved value: named by its key, or, where the key cannot be an XML name, under a fixed name
// with the key as an attribute.
XmlNode* MakeValueNode(BackupDocument& document, const std::string& key, const API_PropertyDefinition& definition,
                       const TypedValueRecord& value)
{
    const bool keyIsName = IsXmlName(key);
    XmlNode* node = document.allocate_node(rapidxml::node_element, keyIsName ? PoolText(document, key) : KeyedValueElementName,
                                           FormatValue(document, definition.valueType, value));
    if (!keyIsName)
        node->append_attribute(document.allocate_attribute(KeyAttributeName, PoolText(document, key)));
    node->append_attribute(document.allocate_attribute("valType", ValueTypeName(definition.valueType)));
    node->append_attribute(document.allocate_attribute("MType", MeasureTypeName(definition.measureType)));
    return node;
}

// Adds the saved values of one element to `entry`. Answers the code of a failed definition
// listing, which ends the backup.
GSErrCode CollectElementValues(BackupDocument& document, const API_Guid& element, XmlNode* entry)
{
    GS::Array<API_PropertyDefinition> definitions;
    const GSErrCode listCode = HostListElementPropertyDefinitions(&element, 0, &definitions);
    if (listCode != NoError)
        return listCode;

    for (USize index = 0; index < definitions.GetSize(); ++index) {
        const API_PropertyDefinition& definition = definitions[index];
        GS::UniString groupName;
        const GSErrCode groupCode = ReadPropertyGroupName(definition.groupGuid, groupName);
        if (groupCode != NoError) {
            ReportErrorCode("Error 3: %d", groupCode);
            continue;
        }
        if (!IsOwnedGroupName(groupName))
            continue;

        ElementPropertyRecord property;
        const GSErrCode valueCode = HostReadElementPropertyValue(&element, &definition.guid, &property);
        if (valueCode != NoError) {
            ReportErrorCode("Error 4: %d", valueCode);
            continue;
        }
        if (property.isDefault || property.status != API_VariantStatusNormal)
            continue;
        entry->append_node(MakeValueNode(document, MakeValueKey(groupName, definition.name), definition, property.value));
    }
    return NoError;
}

#if defined(_WIN32)
int ReplaceFile(const std::string& from, const std::string& to)
{
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : static_cast<int>(GetLastError());
}
#else
int ReplaceFile(const std::string& from, const std::string& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}
#endif

// Writes `text` to `path` through a temporary file beside it, in text mode, and puts it in place
// only when it was written and closed without error. Answers 0 or the system's error number.
int WriteFileReplacing(const std::string& path, const std::string& text)
{
    const std::string temporaryPath = path + ".tmp";
    errno = 0;
    std::FILE* file = std::fopen(temporaryPath.c_str(), "w");
    if (file == nullptr)
        return errno != 0 ? errno : EIO;

    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    if (std::fclose(file) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;
    if (error == 0)
        error = ReplaceFile(temporaryPath, path);
    if (error != 0)
        std::remove(temporaryPath.c_str());
    return error;
}

}  // namespace

void BackupElementValues()
{
    GS::Array<API_Guid> elements;
    const API_ElemType everyType;
    const GSErrCode listCode = HostListElements(&everyType, &elements, 0, &APINULLGuid);
    if (listCode != NoError) {
        ReportErrorCode("Error 1: %d", listCode);
        return;
    }

    BackupDocument document;
    XmlNode* declaration = document.allocate_node(rapidxml::node_declaration);
    declaration->append_attribute(document.allocate_attribute("version", "1.0"));
    declaration->append_attribute(document.allocate_attribute("encoding", "utf-8"));
    document.append_node(declaration);
    XmlNode* root = document.allocate_node(rapidxml::node_element, "project");
    document.append_node(root);

    for (USize index = 0; index < elements.GetSize(); ++index) {
        const GS::UniString guidText = APIGuid2GSGuid(elements[index]).ConvertToString();
        XmlNode* entry = document.allocate_node(rapidxml::node_element, "element");
        entry->append_attribute(document.allocate_attribute("guid", PoolText(document, guidText.ToCStr().Get())));
        root->append_node(entry);

        const GSErrCode code = CollectElementValues(document, elements[index], entry);
        if (code != NoError) {
            ReportErrorCode("Error 2: %d", code);
            return;
        }
        if (entry->first_node() == nullptr)
            root->remove_node(entry);
    }

    const std::optional<std::string> path = BackupFilePath();
    if (!path)
        return;
    std::string text;
    rapidxml::print(std::back_inserter(text), document, 0);
    const int error = WriteFileReplacing(*path, text);
    if (error != 0)
        ReportErrorCode("Backup Write Error: %d", error);
}
