#include "RenameTable.hpp"

#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <system_error>

#include "rapidxml.hpp"

#include "Common/ExactText.hpp"
#include "Common/XmlDocument.hpp"
#include "Host/HostCalls.hpp"

namespace Quillmere {

namespace {

using XmlNode = rapidxml::xml_node<char>;
using XmlAttribute = rapidxml::xml_attribute<char>;

void ReportTable(const SystemPath& path, const std::string& text)
{
    ReportText(GS::UniString(("The rename table \"" + PathText(path) + "\" " + text).c_str()));
}

std::string_view NameOf(const XmlNode* node)
{
    return std::string_view(node->name(), node->name_size());
}

}  // namespace

SystemPath RenameTable::PathBeside(const SystemPath& configuration)
{
    SystemPath path = configuration;
    path.replace_extension(".renames.xml");
    return path;
}

RenameTable RenameTable::ReadBeside(const SystemPath& configuration)
{
    RenameTable table;
    const SystemPath path = PathBeside(configuration);
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored))
        return table;
    SystemError error = 0;
    std::optional<std::string> text = ReadTextFile(path, &error);
    if (!text) {
        ReportTable(path, "could not be read (system error " + std::to_string(error) +
                              "); values and expressions follow their own names only");
        return table;
    }

    XmlDocument document;
    try {
        document.parse<0>(text->data());
    } catch (const rapidxml::parse_error& failure) {
        const std::size_t offset = static_cast<std::size_t>(failure.where<char>() - text->data());
        ReportTable(path, std::string("is not well-formed XML (") + failure.what() + " at byte " + std::to_string(offset) +
                              "); values and expressions follow their own names only");
        return table;
    }
    const XmlNode* root = document.first_node();
    if (root == nullptr || NameOf(root) != "renames") {
        ReportTable(path, "has no \"renames\" root element; values and expressions follow their own names only");
        return table;
    }

    std::u16string units;
    const auto name = [&units](const XmlAttribute* attribute) {
        return ExactUtf8ToUniString(attribute->value(), attribute->value_size(), units);
    };
    std::size_t number = 0;
    for (const XmlNode* node = root->first_node(); node != nullptr; node = node->next_sibling()) {
        if (node->type() != rapidxml::node_element)
            continue;
        ++number;
        const std::string entry = "entry " + std::to_string(number) + " (\"" + std::string(NameOf(node)) + "\")";
        const bool isGroup = NameOf(node) == "group";
        if (!isGroup && NameOf(node) != "property") {
            ReportTable(path, entry + " is neither a group nor a property entry; it is skipped");
            continue;
        }
        const char* const required[] = {isGroup ? "from" : "group", isGroup ? "to" : "from", isGroup ? nullptr : "to"};
        const char* missing = nullptr;
        for (const char* attribute : required)
            if (attribute != nullptr && missing == nullptr && node->first_attribute(attribute) == nullptr)
                missing = attribute;
        if (missing != nullptr) {
            ReportTable(path, entry + " has no \"" + missing + "\" attribute; it is skipped");
            continue;
        }
        Entry renamed;
        renamed.isGroup = isGroup;
        if (isGroup) {
            renamed.group = name(node->first_attribute("from"));
            renamed.newGroup = name(node->first_attribute("to"));
        } else {
            renamed.group = name(node->first_attribute("group"));
            renamed.property = name(node->first_attribute("from"));
            const XmlAttribute* toGroup = node->first_attribute("toGroup");
            renamed.newGroup = toGroup != nullptr ? name(toGroup) : renamed.group;
            renamed.newProperty = name(node->first_attribute("to"));
        }
        table.entries.push_back(std::move(renamed));
    }
    return table;
}

bool RenameTable::HasPropertyEntry(const GS::UniString& group, const GS::UniString& property) const
{
    for (const Entry& entry : entries)
        if (!entry.isGroup && entry.group == group && entry.property == property)
            return true;
    return false;
}

std::vector<RenameTable::Name> RenameTable::EarlierNames(const GS::UniString& group, const GS::UniString& property) const
{
    std::vector<Name> names;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->isGroup) {
            if (entry->newGroup == group && !HasPropertyEntry(entry->group, property))
                names.push_back(Name{entry->group, property});
        } else if (entry->newGroup == group && entry->newProperty == property) {
            names.push_back(Name{entry->group, entry->property});
        }
    }
    return names;
}

}  // namespace Quillmere
