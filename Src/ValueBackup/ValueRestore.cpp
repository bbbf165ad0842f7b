#include "ValueRestore.hpp"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "Common/TextFiles.hpp"
#include "ConfigurationImport/OwnedGroups.hpp"
#include "DG/DG.hpp"
#include "Host/HostCalls.hpp"
#include "ValueBackupFile.hpp"

namespace {

using XmlNode = rapidxml::xml_node<char>;

bool NameIs(const XmlNode* node, const std::string& name)
{
    return node->name_size() == name.size() && std::memcmp(node->name(), name.data(), name.size()) == 0;
}

bool KeyAttributeIs(const XmlNode* node, const std::string& key)
{
    const rapidxml::xml_attribute<char>* attribute = node->first_attribute(KeyAttributeName);
    return attribute != nullptr && attribute->value_size() == key.size() &&
           std::memcmp(attribute->value(), key.data(), key.size()) == 0;
}

// The value elements of `entry` saved under `key`, in document order: elements named by the key
// or, for a key that cannot be an XML name, elements of the fixed name that carry the key.
std::vector<const XmlNode*> FindSavedValues(const XmlNode* entry, const std::string& key)
{
    std::vector<const XmlNode*> values;
    const bool keyIsName = IsXmlName(key);
    for (const XmlNode* child = entry->first_node(); child != nullptr; child = child->next_sibling()) {
        if (child->type() != rapidxml::node_element)
            continue;
        if (keyIsName ? NameIs(child, key) : (std::strcmp(child->name(), KeyedValueElementName) == 0 && KeyAttributeIs(child, key)))
            values.push_back(child);
    }
    return values;
}

bool AttributeIs(const rapidxml::xml_attribute<char>* attribute, const char* text)
{
    return attribute != nullptr && std::strcmp(attribute->value(), text) == 0;
}

// Sets the field of `value` that the saved "valType" names from the saved text.
void ConvertSavedValue(const XmlNode* saved, TypedValueRecord& value)
{
    const rapidxml::xml_attribute<char>* valType = saved->first_attribute("valType");
    const char* text = saved->value();
    if (AttributeIs(valType, "String")) {
        value.stringValue = text;
    } else if (AttributeIs(valType, "Real")) {
        value.realValue = std::atof(text);
    } else if (AttributeIs(valType, "Integer")) {
        GS::strtovalue(GS::UniString(text, CC_Default), value.intValue, 1, 0);
    } else if (AttributeIs(valType, "Boolean")) {
        value.boolValue = std::strcmp(text, "1") == 0;
    }
}

void RestoreDefinition(const API_Guid& element, const XmlNode* entry, const API_PropertyDefinition& definition)
{
    // A group that cannot be read leaves the name empty, so the definition counts as not owned.
    GS::UniString groupName;
    ReadPropertyGroupName(definition.groupGuid, groupName);
    if (!IsOwnedGroupName(groupName))
        return;
    for (const XmlNode* saved : FindSavedValues(entry, MakeValueKey(groupName, definition.name))) {
        ElementPropertyRecord property;
        property.definition = definition;
        property.status = 0;
        property.value.typeCode = definition.valueType;
        ConvertSavedValue(saved, property.value);
        property.isDefault = false;
        if (HostWriteElementPropertyValue(&element, &property) != NoError)
            ReportText(groupName + GS::UniString(" - ") + definition.name + GS::UniString(" error while importing property"));
    }
}

void RestoreEntry(const XmlNode* entry)
{
    const rapidxml::xml_attribute<char>* guidText = entry->first_attribute("guid");
    if (guidText == nullptr)
        return;
    const API_Guid element = GSGuid2APIGuid(GS::Guid(guidText->value()));
    GS::Array<API_PropertyDefinition> definitions;
    if (HostListElementPropertyDefinitions(&element, 0, &definitions) != NoError)
        return;
    for (USize index = 0; index < definitions.GetSize(); ++index)
        RestoreDefinition(element, entry, definitions[index]);
}

void ReportUnreadableBackup(const std::string& path, const std::string& reason)
{
    ReportText(GS::UniString(("The value backup \"" + path + "\" could not be read: " + reason +
                              "; no element values were restored").c_str()));
}

void ShowCompletionAlert()
{
    DGAlert(DG_INFORMATION, GS::UniString("Import Successful"),
            GS::UniString("IFC-SG Classifications and Properties are Imported Successfully!"), GS::UniString(""),
            GS::UniString("Ok"), GS::UniString(""), GS::UniString(""));
}

// Parses `text` in place and restores every element entry. Answers why the file cannot be used,
// or an empty text when it was read.
std::string RestoreFromText(std::string& text)
{
    if (text.empty())
        return "the file is empty";
    BackupDocument document;
    try {
        document.parse<0>(text.data());
    } catch (const rapidxml::parse_error& error) {
        const std::size_t offset = static_cast<std::size_t>(error.where<char>() - text.data());
        return std::string("it is not well-formed XML (") + error.what() + " at byte " + std::to_string(offset) + ")";
    }
    const XmlNode* root = document.first_node();
    if (root == nullptr)
        return "it has no root element";
    for (const XmlNode* entry = root->first_node("element"); entry != nullptr; entry = entry->next_sibling())
        RestoreEntry(entry);
    return {};
}

}  // namespace

void RestoreElementValues()
{
    const std::optional<std::string> path = BackupFilePath();
    if (!path)
        return;

    std::ifstream file(*path);
    if (!file.is_open()) {
        ReportUnreadableBackup(*path, "the file cannot be opened");
    } else {
        std::string text = ReadTextToEnd(file);
        file.close();
        const std::string problem = RestoreFromText(text);
        if (!problem.empty())
            ReportUnreadableBackup(*path, problem);
    }
    ShowCompletionAlert();
}
