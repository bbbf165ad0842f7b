#include "ExpressionPreservation.hpp"

#include "Common/OwnedGroups.hpp"
#include "Host/HostCalls.hpp"
#include "ValueBackup/ValueRestore.hpp"

// Constructed ahead of the objects of default priority, among them the module's load hook, so the
// store exists before the load steps and outlives the unload steps.
#if defined(__GNUC__)
__attribute__((init_priority(200)))
#endif
std::map<ExpressionKey, ExpressionList> ExpressionStore;

ExpressionKey MakeExpressionKey(const GS::UniString& groupName, const GS::UniString& definitionName)
{
    ExpressionKey key(groupName);
    key += GS::UniString(";");
    key += definitionName;
    return key;
}

void ExportExpressions()
{
    GS::Array<API_PropertyDefinition> definitions;
    const GSErrCode code = HostListPropertyDefinitions(&APINULLGuid, &definitions);
    if (code != NoError) {
        ReportErrorCode("Expressions Export Error: %d", code);
        return;
    }

    PropertyGroupCache groups;
    for (USize index = 0; index < definitions.GetSize(); ++index) {
        const API_PropertyDefinition& definition = definitions[index];
        const PropertyGroupCache::Group* group = nullptr;
        if (!IsOwnedDefinition(definition, groups, group) || definition.expressionFlag == 0)
            continue;
        ExpressionStore[MakeExpressionKey(group->name, definition.name)] = definition.expressions;
    }
}

void ImportExpressions()
{
    GS::Array<API_PropertyDefinition> definitions;
    const GSErrCode listCode = HostListPropertyDefinitions(&APINULLGuid, &definitions);
    if (listCode != NoError) {
        ReportErrorCode("Error: %d", listCode);
        return;
    }

    PropertyGroupCache groups;
    for (USize index = 0; index < definitions.GetSize(); ++index) {
        const PropertyGroupCache::Group* group = nullptr;
        if (!IsOwnedDefinition(definitions[index], groups, group))
            continue;
        const auto saved = ExpressionStore.find(MakeExpressionKey(group->name, definitions[index].name));
        if (saved == ExpressionStore.end())
            continue;

        definitions[index].expressionFlag = 1;
        definitions[index].expressions = saved->second;
        // The host runs the callable before the command returns, so it reads the list in place.
        auto updateDefinition = [&definitions, &index]() { return HostUpdatePropertyDefinition(&definitions[index]); };
        const GSErrCode code = RunUndoableCommand("Import Expressions", updateDefinition);
        if (code != NoError)
            ReportErrorCode("Expressions Import Error: %d", code);
    }

    ExpressionStore.clear();
    RestoreElementValues();
}
