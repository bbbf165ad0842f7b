#include "ExpressionPreservation.hpp"

#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"
#include "Renames/ReferenceRewriting.hpp"

namespace Quillmere {

namespace {

// Finds the list to write into one re-imported definition: the run's own under the definition's
// name or an earlier one; else, when the project did not have the definition at the export, the
// newest list an earlier run kept under one of those names.
class ListFinder {
public:
    explicit ListFinder(UpdateRun& run) : run(run) {}

    struct Found {
        const ExpressionList* list = nullptr;
        ValueFate* fate = nullptr;  // to be set to what became of it
    };

    Found Find(const PropertyName& name)
    {
        std::vector<PropertyName> names{name};
        for (const RenameTable::Name& earlier : run.renames.EarlierNames(name.group, name.property))
            names.push_back(PropertyName{earlier.group, earlier.property});
        for (const PropertyName& candidate : names)
            if (const auto own = run.expressions.lists.find(candidate); own != run.expressions.lists.end())
                return Found{&own->second, &run.listFates[candidate]};
        // A definition the project had at the export holds the user's choice, unless an earlier
        // run left it without its list.
        const bool defined = run.expressions.defined.count(name) != 0;
        for (std::size_t index = ExpressionStore.size(); index-- > 0;)
            for (const PropertyName& candidate : names)
                if (ExpressionStore[index].run != run.number && ExpressionStore[index].name == candidate &&
                    (!defined || ExpressionStore[index].unwritten))
                    return Found{&ExpressionStore[index].list, &run.keptListFates[index]};
        return Found{};
    }

private:
    UpdateRun& run;
};

}  // namespace

bool ExportExpressions(UpdateRun& run)
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
        if (!owned)
            continue;
        PropertyName name{group->name, definition.name};
        if (definition.expressionFlag != 0)
            run.expressions.lists[name] = definition.expressions;
        run.expressions.defined.insert(std::move(name));
    }
    return true;
}

void KeepSavedExpressions(const UpdateRun& run)
{
    for (const auto& [name, list] : run.expressions.lists)
        ExpressionStore.push_back(KeptExpressionList{name, list, run.number, run.started, false});
}

namespace {

// Writes `list` into the listed definition at `index`, its references following the run's rename
// table, in one undoable command "Import Expressions"; answers what became of the list.
ValueFate WriteList(const UpdateRun& run, GS::Array<API_PropertyDefinition>& definitions, USize index,
                    const ExpressionList& list)
{
    definitions[index].expressionFlag = 1;
    definitions[index].expressions = list;
    if (!run.renames.IsEmpty())
        for (GS::UniString& expression : definitions[index].expressions)
            RewriteReferences(run.renames, expression);
    // The host runs the callable before the command returns, so it reads the list in place.
    auto updateDefinition = [&definitions, &index]() { return HostUpdatePropertyDefinition(&definitions[index]); };
    const GSErrCode code = RunUndoableCommand(Messages::ImportExpressionsStep, updateDefinition);
    if (code == NoError)
        return ValueFate::BroughtBack;
    ReportErrorCode(Messages::ExpressionsImportError, code);
    return ValueFate::NotWritten;
}

}  // namespace

bool ImportExpressions(UpdateRun& run)
{
    GS::Array<API_PropertyDefinition> definitions;
    const GSErrCode listCode = HostListPropertyDefinitions(&APINULLGuid, &definitions);
    if (listCode != NoError) {
        ReportErrorCode(Messages::ExpressionsListError, listCode);
        for (const auto& [name, list] : run.expressions.lists)
            run.listFates[name] = ValueFate::NotWritten;
        return false;
    }

    run.keptListFates.resize(ExpressionStore.size(), ValueFate::Pending);
    run.importedOwned.emplace();
    ListFinder finder(run);
    PropertyGroupCache groups;
    bool groupUnread = false;
    for (USize index = 0; index < definitions.GetSize(); ++index) {
        const PropertyGroupCache::Group* group = nullptr;
        const bool owned = IsOwnedDefinition(definitions[index], groups, group);
        groupUnread = groupUnread || group->readCode != NoError;
        if (!owned)
            continue;
        PropertyName name{group->name, definitions[index].name};
        const ListFinder::Found saved = finder.Find(name);
        run.importedOwned->insert(std::move(name));
        if (saved.list != nullptr) {
            const ValueFate fate = WriteList(run, definitions, index, *saved.list);
            // Of two definitions of one name, one that took the list is enough.
            if (*saved.fate != ValueFate::BroughtBack)
                *saved.fate = fate;
        }
    }
    // What found no definition: its property is not in the configuration (nor a rename of it), as
    // far as the groups that could be read tell.
    for (auto& [name, list] : run.expressions.lists) {
        ValueFate& fate = run.listFates[name];
        if (fate == ValueFate::Pending)
            fate = groupUnread ? ValueFate::NotWritten : ValueFate::NotDefined;
    }
    return true;
}

}  // namespace Quillmere
