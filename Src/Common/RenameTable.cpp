#include "RenameTable.hpp"

#include <system_error>

#include "rapidxml.hpp"

#include "Common/ExactText.hpp"
#include "Common/XmlDocument.hpp"

namespace Quillmere {

namespace {

using XmlNode = rapidxml::xml_node<char>;
using XmlAttribute = rapidxml::xml_attribute<char>;
using Problem = RenameTableProblem;

std::string_view NameOf(const XmlNode* node)
{
    return std::string_view(node->name(), node->name_size());
}

// The first attribute the entry `node` needs and lacks; nullptr when it has them all.
const char* MissingAttribute(const XmlNode* node, bool isGroup)
{
    const char* const required[] = {isGroup ? "from" : "group", isGroup ? "to" : "from", isGroup ? nullptr : "to"};
    for (const char* attribute : required)
        if (attribute != nullptr && node->first_attribute(attribute) == nullptr)
            return attribute;
    return nullptr;
}

RenameTable::Entry MakeEntry(const XmlNode* node, bool isGroup, std::u16string& units)
{
    const auto name = [&units](const XmlAttribute* attribute) {
        return ExactUtf8ToUniString(attribute->value(), attribute->value_size(), units);
    };
    RenameTable::Entry entry;
    entry.isGroup = isGroup;
    if (isGroup) {
        entry.group = name(node->first_attribute("from"));
        entry.newGroup = name(node->first_attribute("to"));
    } else {
        entry.group = name(node->first_attribute("group"));
        entry.property = name(node->first_attribute("from"));
        const XmlAttribute* toGroup = node->first_attribute("toGroup");
        entry.newGroup = toGroup != nullptr ? name(toGroup) : entry.group;
        entry.newProperty = name(node->first_attribute("to"));
    }
    return entry;
}

}  // namespace

SystemPath RenameTablePathBeside(const SystemPath& configuration)
{
    SystemPath path = configuration;
    path.replace_extension(".renames.xml");
    return path;
}

RenameTableReading ParseRenameTable(std::string text)
{
    RenameTableReading reading;
    XmlDocument document;
    try {
        document.parse<0>(text.data());
    } catch (const rapidxml::parse_error& failure) {
        Problem problem(Problem::Kind::NotWellFormed);
        problem.byte = static_cast<std::size_t>(failure.where<char>() - text.data());
        problem.detail = failure.what();
        reading.problems.push_back(std::move(problem));
        return reading;
    }
    const XmlNode* root = document.first_node();
    if (root == nullptr || NameOf(root) != "renames") {
        reading.problems.emplace_back(Problem::Kind::NoRenamesRoot);
        return reading;
    }

    std::u16string units;
    std::size_t number = 0;
    for (const XmlNode* node = root->first_node(); node != nullptr; node = node->next_sibling()) {
        if (node->type() != rapidxml::node_element)
            continue;
        ++number;
        const bool isGroup = NameOf(node) == "group";
        Problem problem(Problem::Kind::UnknownEntry);
        problem.entry = number;
        problem.element = std::string(NameOf(node));
        if (!isGroup && NameOf(node) != "property") {
            reading.problems.push_back(std::move(problem));
            continue;
        }
        if (const char* missing = MissingAttribute(node, isGroup)) {
            problem.kind = Problem::Kind::MissingAttribute;
            problem.detail = missing;
            reading.problems.push_back(std::move(problem));
            continue;
        }
        reading.table.Add(MakeEntry(node, isGroup, units));
    }
    return reading;
}

RenameTableReading ReadRenameTable(const SystemPath& path)
{
    std::error_code ignored;
    if (!std::filesystem::exists(path, ignored))
        return RenameTableReading{};
    SystemError error = 0;
    std::optional<std::string> text = ReadTextFile(path, &error);
    if (!text) {
        RenameTableReading reading;
        Problem problem(Problem::Kind::Unreadable);
        problem.error = error;
        reading.problems.push_back(std::move(problem));
        return reading;
    }
    return ParseRenameTable(std::move(*text));
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
