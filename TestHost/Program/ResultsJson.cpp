#include "ResultsJson.hpp"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "Project.hpp"
#include "ResultsText.hpp"
#include "TypeNames.hpp"

namespace HostProgram {

namespace {

// Objects keep their members in the order they are added, as the documented layout has them.
using Json = nlohmann::ordered_json;

Json ExpressionListsJson(const std::vector<ExpressionList>& lists)
{
    Json array = Json::array();
    for (const ExpressionList& list : lists) {
        Json entry{{"group", list.group}, {"definition", list.definition}, {"expressions", list.expressions}};
        if (!list.renamedFrom.empty())
            entry["renamedFrom"] = list.renamedFrom;
        array.push_back(std::move(entry));
    }
    return array;
}

Json AlertJson(const std::vector<TestHost::Host::Alert>& alerts)
{
    if (alerts.empty())
        return nullptr;
    const TestHost::Host::Alert& alert = alerts.back();
    return Json{{"type", alert.type},
                {"title", alert.title},
                {"mainText", alert.mainText},
                {"secondaryText", alert.secondaryText},
                {"buttons", {alert.button1, alert.button2, alert.button3}}};
}

// Puts the text of a JSON file together and hands it to the sink in pieces of about a MiB.
class JsonText {
public:
    explicit JsonText(const TextSink& sink) : sink(sink) {}
    JsonText(const JsonText&) = delete;
    JsonText& operator=(const JsonText&) = delete;

    JsonText& operator<<(std::string_view piece)
    {
        text.append(piece);
        return *this;
    }

    // `json` as the whole document's dump shows it at `indent` blanks: the dump of the value alone,
    // its later lines indented further. Strings hold no line break of their own (it is escaped).
    void Add(const Json& json, std::size_t indent)
    {
        const std::string dumped = json.dump(2, ' ', false, Json::error_handler_t::replace);
        for (const char c : dumped) {
            text += c;
            if (c == '\n')
                text.append(indent, ' ');
        }
    }

    // A JSON string: plain printable ASCII as it is, any other text as the library escapes it (and
    // replaces what is not UTF-8).
    void AddString(std::string_view value)
    {
        const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
            return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
        });
        if (plain) {
            text += '"';
            text.append(value);
            text += '"';
        } else {
            text += Json(std::string(value)).dump(-1, ' ', false, Json::error_handler_t::replace);
        }
    }

    // Hands what is there to the sink once it is large enough, or always with `all`.
    void Flush(bool all)
    {
        if (all || text.size() >= (std::size_t{1} << 20)) {
            sink(text);
            text.clear();
        }
    }

private:
    std::string text;
    const TextSink& sink;
};

// A value as {"type", "text"}, members at `indent` blanks.
void AddValue(JsonText& out, const TestHost::Value& value, const char* indent)
{
    out << "{\n" << indent << "  \"type\": ";
    out.AddString(TestHost::ValueTypeName(value.type));
    out << ",\n" << indent << "  \"text\": ";
    out.AddString(ValueText(value));
    out << "\n" << indent << "}";
}

// A later value under `key`: the value, or null; and whether a definition of those names applies.
void AddLater(JsonText& out, const char* key, const LaterValue& later)
{
    out << ",\n      \"" << key << "\": ";
    if (later.value.has_value())
        AddValue(out, *later.value, "      ");
    else
        out << "null";
    out << ",\n      \"" << key << "HasDefinition\": " << (later.hasDefinition ? "true" : "false");
}

// One row of the values, as an object in the "values" array.
void AddRow(JsonText& out, const ValueRow& row)
{
    const std::string guid = TestHost::GuidToText(row.element);
    const std::pair<const char*, const std::string*> names[] = {
        {"element", &row.elementName}, {"elementGuid", &guid}, {"group", &row.group}, {"property", &row.property}};
    out << "    {";
    for (const auto& [key, text] : names) {
        out << "\n      \"" << key << "\": ";
        out.AddString(*text);
        out << ",";
    }
    out << "\n      \"before\": ";
    AddValue(out, row.before, "      ");
    AddLater(out, "after", row.after);
    if (row.afterUndo.has_value())
        AddLater(out, "afterUndo", *row.afterUndo);
    out << ",\n      \"status\": ";
    out.AddString(StatusName(row.status));
    if (row.renamed) {
        out << ",\n      \"renamedFrom\": ";
        out.AddString(ValueKeyText(row.savedGroup, row.savedProperty));
    }
    out << "\n    }";
}

// The "values" array, row by row, as the whole document's dump would show it.
void AddValues(JsonText& out, const ValueTable& table)
{
    if (table.Size() == 0) {
        out << "[]";
        return;
    }
    out << "[\n";
    for (std::size_t index = 0; index < table.Size(); ++index) {
        if (index != 0)
            out << ",\n";
        AddRow(out, table.Row(index));
        out.Flush(false);
    }
    out << "\n  ]";
}

Json UndoJson(const std::optional<UndoOutcome>& undo)
{
    if (!undo.has_value())
        return nullptr;
    return Json{{"requested", undo->requested},
                {"steps", undo->steps},
                {"groupsBack", undo->groupsBack},
                {"groupsGone", undo->groupsGone}};
}

}  // namespace

void WriteResultsJson(const RunResults& results, const TextSink& sink)
{
    Json json;
    json["project"] = results.project;
    json["module"] = Json{{"file", results.moduleShownAs},
                          {"name", results.module.name},
                          {"description", results.module.description},
                          {"menuText", results.module.menuText}};
    json["dialog"] = results.dialog;
    json["configuration"] = results.dialog == "choose" ? Json(results.configuration) : Json(nullptr);
    json["profile"] = results.profile;
    json["backupFile"] = results.backupFile;
    json["backupFilePresent"] = results.backupFilePresent;

    Json& steps = json["steps"] = Json::array();
    for (const CommandStep& step : results.commands)
        steps.push_back(Json{{"name", step.name}, {"result", step.result}});
    json["undoHistory"] = results.history;
    Json& reportLines = json["reportLines"] = Json::array();
    for (const TestHost::Host::ReportLine& line : results.reportLines)
        reportLines.push_back(Json{{"flag", line.flag}, {"text", line.text}});
    json["alert"] = AlertJson(results.alerts);
    json["alertCount"] = results.alerts.size();

    json["values"] = nullptr;  // written row by row below
    json["otherValues"] = Json{{"before", results.otherValuesBefore}, {"unchanged", results.otherValuesUnchanged}};
    json["expressionsReapplied"] = ExpressionListsJson(results.reapplied);
    json["expressionsNotReapplied"] = ExpressionListsJson(results.notReapplied);
    json["undo"] = UndoJson(results.undo);

    Json& calls = json["serviceCalls"] = Json::object();
    for (const auto& [name, count] : results.serviceCalls)
        calls[name] = count;

    json["summary"] = Json{{"kept", results.Count(ValueStatus::Kept)},
                           {"renamed", results.CountRenamed()},
                           {"changed", results.Count(ValueStatus::Changed)},
                           {"lost", results.Count(ValueStatus::Lost)},
                           {"expressionListsReapplied", results.reapplied.size()},
                           {"reportLines", results.reportLines.size()},
                           {"text", SummaryLine(results)}};
    // The document as its dump would show it, member by member, the values row by row. Texts that
    // are not valid UTF-8 (a project may hold any bytes) get U+FFFD instead of an error.
    JsonText out(sink);
    out << "{";
    bool first = true;
    for (const auto& [key, value] : json.items()) {
        out << (first ? "\n  \"" : ",\n  \"") << key << "\": ";
        first = false;
        if (key == "values")
            AddValues(out, results.values);
        else
            out.Add(value, 2);
    }
    out << "\n}\n";
    out.Flush(true);
}

}  // namespace HostProgram
