#include "ExpressionPreservation.hpp"

#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"

namespace Quillmere {

ExpressionKey MakeExpressionKey(const GS::UniString& groupName, const GS::UniString& definitionName)
{
    ExpressionKey key(groupName);
    key += GS::UniString(";");
    key += definitionName;
    return key;
}

namespace {

// The list saved under the definition's own key or else, through the run's rename table, under an
// earlier name of it.
ExpressionMap::const_iterator FindSavedExpressions(const RenameTable& renames, const GS::UniString& groupName,
                                                   const GS::UniString& definitionName)
{
    const auto direct = ExpressionStore.find(MakeExpressionKey(groupName, definitionName));
    if (direct != ExpressionStore.end() || renames.IsEmpty())
        return direct;
    for (const RenameTable::Name& earlier : renames.EarlierNames(groupName, definitionName)) {
        const auto renamed = ExpressionStore.find(MakeExpressionKey(earlier.group, earlier.property));
        if (renamed != ExpressionStore.end())
            return renamed;
    }
    return ExpressionStore.end();
}

}  // namespace

bool ExportExpressions()
{
    GS::Array<API_PropertyDefinition> definitions;
    const GSErrCode code = HostListPropertyDefinitions(&APINULLGuid, &definitions);
    if (code != NoError) {
        ReportErrorCode(Messages::ExpressionsExportError, code);
        return false;
    }

    PropertyGroupCache groups;
    for (USize index = 0; index < definitions.GetSize(); ++index) {
        const API_PropertyDefinition& definition = definitions[index];
        const PropertyGroupCache::Group* group = nullptr;
        const bool owned = IsOwnedDefinition(definition, groups, group);
        // A custom definition whose group cannot be read may be owned: its list cannot be saved.
        if (definition.kind == API_PropertyCustomDefinitionKind && group->readCode != NoError) {
            ReportErrorCode(Messages::ExpressionsExportError, group->readCode);
            return false;
        }
        if (!owned || definition.expressionFlag == 0)
            continue;
        ExpressionStore[MakeExpressionKey(group->name, definition.name)] = definition.expressions;
    }
    return true;
}

bool ImportExpressions(const UpdateRun& run)
{
    GS::Array<API_PropertyDefinition> definitions;
    const GSErrCode listCode = HostListPropertyDefinitions(&APINULLGuid, &definitions);
    if (listCode != NoError) {
        ReportErrorCode(Messages::ExpressionsListError, listCode);
        return false;
    }

    PropertyGroupCache groups;
    for (USize index = 0; index < definitions.GetSize(); ++index) {
        const PropertyGroupCache::Group* group = nullptr;
        if (!IsOwnedDefinition(definitions[index], groups, group))
            continue;
        const auto saved = FindSavedExpressions(run.renames, group->name, definitions[index].name);
        if (saved == ExpressionStore.end())
            continue;

        definitions[index].expressionFlag = 1;
        definitions[index].expressions = saved->second;
        // The host runs the callable before the command returns, so it reads the list in place.
        auto updateDefinition = [&definitions, &index]() { return HostUpdatePropertyDefinition(&definitions[index]); };
        const GSErrCode code = RunUndoableCommand(Messages::ImportExpressionsStep, updateDefinition);
        if (code != NoError)
            ReportErrorCode(Messages::ExpressionsImportError, code);
    }

    ExpressionStore.clear();
    return true;
}

}  // namespace Quillmere
