#include "ResultsJson.hpp"

#include <optional>

#include <nlohmann/json.hpp>

#include "Project.hpp"
#include "ResultsText.hpp"
#include "TypeNames.hpp"

namespace HostProgram {

namespace {

// Objects keep their members in the order they are added, as the documented layout has them.
using Json = nlohmann::ordered_json;

Json ValueJson(const TestHost::Value& value)
{
    return Json{{"type", TestHost::ValueTypeName(value.type)}, {"text", ValueText(value)}};
}

// A later value: the value, or null; and whether a definition of those names applies.
void AddLater(Json& row, const std::string& key, const LaterValue& later)
{
    row[key] = later.value.has_value() ? ValueJson(*later.value) : Json(nullptr);
    row[key + "HasDefinition"] = later.hasDefinition;
}

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

Json ValuesJson(const std::vector<ValueRow>& rows)
{
    Json array = Json::array();
    for (const ValueRow& row : rows) {
        Json entry{{"element", row.before.elementName},
                   {"elementGuid", TestHost::GuidToText(row.before.element)},
                   {"group", row.renamedTo ? row.renamedTo->first : row.before.group},
                   {"property", row.renamedTo ? row.renamedTo->second : row.before.property},
                   {"before", ValueJson(row.before.value)}};
        AddLater(entry, "after", row.after);
        if (row.afterUndo.has_value())
            AddLater(entry, "afterUndo", *row.afterUndo);
        entry["status"] = StatusName(row.status);
        if (row.renamedTo)
            entry["renamedFrom"] = ValueKeyText(row.before.group, row.before.property);
        array.push_back(std::move(entry));
    }
    return array;
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

std::string ResultsToJson(const RunResults& results)
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

    json["values"] = ValuesJson(results.values);
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
    // Texts that are not valid UTF-8 (a project may hold any bytes) get U+FFFD instead of an error.
    return json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace HostProgram
