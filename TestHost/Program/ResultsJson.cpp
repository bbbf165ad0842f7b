#include "ResultsJson.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Project.hpp"
#include "ResultsText.hpp"

namespace HostProgram {

namespace {

// Writes JSON with values in the order given; the caller keeps objects and arrays balanced.
class JsonWriter {
public:
    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    void EndArray() { Close(']'); }

    // The key of the next value in an object.
    void Key(const std::string& key)
    {
        Separate();
        AppendString(key);
        text += ": ";
        afterKey = true;
    }

    void String(const std::string& value)
    {
        Separate();
        AppendString(value);
    }
    void Number(long long value)
    {
        Separate();
        text += std::to_string(value);
    }
    void Boolean(bool value)
    {
        Separate();
        text += value ? "true" : "false";
    }
    void Null()
    {
        Separate();
        text += "null";
    }

    void Field(const std::string& key, const std::string& value)
    {
        Key(key);
        String(value);
    }
    void Field(const std::string& key, long long value)
    {
        Key(key);
        Number(value);
    }

    std::string Finish() { return text + "\n"; }

private:
    void Open(char bracket)
    {
        Separate();
        text += bracket;
        counts.push_back(0);
    }
    void Close(char bracket)
    {
        const bool empty = counts.back() == 0;
        counts.pop_back();
        if (!empty)
            Indent();
        text += bracket;
    }
    // Puts the comma and the line break before a value, unless it follows its key.
    void Separate()
    {
        if (afterKey) {
            afterKey = false;
            return;
        }
        if (counts.empty())
            return;
        if (counts.back()++ != 0)
            text += ',';
        Indent();
    }
    void Indent()
    {
        text += '\n';
        text.append(counts.size() * 2, ' ');
    }
    void AppendString(const std::string& value)
    {
        text += '"';
        for (const char c : value) {
            switch (c) {
                case '"': text += "\\\""; break;
                case '\\': text += "\\\\"; break;
                case '\n': text += "\\n"; break;
                case '\r': text += "\\r"; break;
                case '\t': text += "\\t"; break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20) {
                        char escaped[8];
                        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                        text += escaped;
                    } else {
                        text += c;
                    }
            }
        }
        text += '"';
    }

    std::string text;
    std::vector<int> counts;  // values written so far at each open level
    bool afterKey = false;
};

void WriteValue(JsonWriter& json, const TestHost::Value& value)
{
    json.BeginObject();
    json.Field("type", ValueTypeName(value.type));
    json.Field("text", ValueText(value));
    json.EndObject();
}

// A later value: the value, or null; and whether a definition of those names applies.
void WriteLater(JsonWriter& json, const std::string& key, const LaterValue& later)
{
    json.Key(key);
    if (later.value.has_value())
        WriteValue(json, *later.value);
    else
        json.Null();
    json.Key(key + "HasDefinition");
    json.Boolean(later.hasDefinition);
}

void WriteStrings(JsonWriter& json, const std::string& key, const std::vector<std::string>& strings)
{
    json.Key(key);
    json.BeginArray();
    for (const std::string& text : strings)
        json.String(text);
    json.EndArray();
}

void WriteExpressionLists(JsonWriter& json, const std::string& key, const std::vector<ExpressionList>& lists)
{
    json.Key(key);
    json.BeginArray();
    for (const ExpressionList& list : lists) {
        json.BeginObject();
        json.Field("group", list.group);
        json.Field("definition", list.definition);
        WriteStrings(json, "expressions", list.expressions);
        json.EndObject();
    }
    json.EndArray();
}

}  // namespace

std::string ResultsToJson(const RunResults& results)
{
    JsonWriter json;
    json.BeginObject();
    json.Field("project", results.project);
    json.Key("module");
    json.BeginObject();
    json.Field("file", results.moduleShownAs);
    json.Field("name", results.module.name);
    json.Field("description", results.module.description);
    json.Field("menuText", results.module.menuText);
    json.EndObject();
    json.Field("dialog", results.dialog);
    json.Key("configuration");
    if (results.dialog == "choose")
        json.String(results.configuration);
    else
        json.Null();
    json.Field("profile", results.profile);
    json.Field("backupFile", results.backupFile);
    json.Key("backupFilePresent");
    json.Boolean(results.backupFilePresent);

    json.Key("steps");
    json.BeginArray();
    for (const CommandStep& step : results.commands) {
        json.BeginObject();
        json.Field("name", step.name);
        json.Field("result", step.result);
        json.EndObject();
    }
    json.EndArray();
    WriteStrings(json, "undoHistory", results.history);

    json.Key("reportLines");
    json.BeginArray();
    for (const TestHost::Host::ReportLine& line : results.reportLines) {
        json.BeginObject();
        json.Field("flag", line.flag);
        json.Field("text", line.text);
        json.EndObject();
    }
    json.EndArray();

    json.Key("alert");
    if (results.alerts.empty()) {
        json.Null();
    } else {
        const TestHost::Host::Alert& alert = results.alerts.back();
        json.BeginObject();
        json.Field("type", alert.type);
        json.Field("title", alert.title);
        json.Field("mainText", alert.mainText);
        json.Field("secondaryText", alert.secondaryText);
        WriteStrings(json, "buttons", {alert.button1, alert.button2, alert.button3});
        json.EndObject();
    }
    json.Field("alertCount", static_cast<long long>(results.alerts.size()));

    json.Key("values");
    json.BeginArray();
    for (const ValueRow& row : results.values) {
        json.BeginObject();
        json.Field("element", row.before.elementName);
        json.Field("elementGuid", TestHost::GuidToText(row.before.element));
        json.Field("group", row.before.group);
        json.Field("property", row.before.property);
        json.Key("before");
        WriteValue(json, row.before.value);
        WriteLater(json, "after", row.after);
        if (row.afterUndo.has_value())
            WriteLater(json, "afterUndo", *row.afterUndo);
        json.Field("status", StatusName(row.status));
        json.EndObject();
    }
    json.EndArray();
    json.Key("otherValues");
    json.BeginObject();
    json.Field("before", static_cast<long long>(results.otherValuesBefore));
    json.Field("unchanged", static_cast<long long>(results.otherValuesUnchanged));
    json.EndObject();

    WriteExpressionLists(json, "expressionsReapplied", results.reapplied);
    WriteExpressionLists(json, "expressionsNotReapplied", results.notReapplied);

    json.Key("undo");
    if (!results.undo.has_value()) {
        json.Null();
    } else {
        json.BeginObject();
        json.Field("requested", static_cast<long long>(results.undo->requested));
        WriteStrings(json, "steps", results.undo->steps);
        WriteStrings(json, "groupsBack", results.undo->groupsBack);
        WriteStrings(json, "groupsGone", results.undo->groupsGone);
        json.EndObject();
    }

    json.Key("serviceCalls");
    json.BeginObject();
    for (const auto& [name, count] : results.serviceCalls)
        json.Field(name, static_cast<long long>(count));
    json.EndObject();

    json.Key("summary");
    json.BeginObject();
    json.Field("kept", static_cast<long long>(results.Count(ValueStatus::Kept)));
    json.Field("changed", static_cast<long long>(results.Count(ValueStatus::Changed)));
    json.Field("lost", static_cast<long long>(results.Count(ValueStatus::Lost)));
    json.Field("expressionListsReapplied", static_cast<long long>(results.reapplied.size()));
    json.Field("reportLines", static_cast<long long>(results.reportLines.size()));
    json.Field("text", SummaryLine(results));
    json.EndObject();
    json.EndObject();
    return json.Finish();
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    if (std::fclose(file) != 0 || !written) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace HostProgram
