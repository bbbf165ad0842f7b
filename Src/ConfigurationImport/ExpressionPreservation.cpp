#include "ExpressionPreservation.hpp"

#include <algorithm>
#include <vector>

#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"
#include "Renames/ReferenceRewriting.hpp"
#include "Restore/ComingBack.hpp"

namespace Quillmere {

namespace {

std::string StateKeyOf(const PropertyName& name)
{
    return StateKey(ExactUtf8(name.group), ExactUtf8(name.property));
}

using FoundList = Candidate<ExpressionList>;

// Writes `list` into `definition`, its references following the run's rename table, in one undoable
// command "Import Expressions"; answers what became of the list.
ValueFate WriteList(const UpdateRun& run, API_PropertyDefinition& definition, const ExpressionList& list)
{
    definition.expressionFlag = 1;
    definition.expressions = list;
    for (GS::UniString& expression : definition.expressions)
        RewriteReferences(run.renames, expression);
    // The host runs the callable before the command returns, so it reads the list in place.
    auto updateDefinition = [&definition]() { return HostUpdatePropertyDefinition(&definition); };
    const GSErrCode code = RunUndoableCommand(Messages::ImportExpressionsStep, Messages::ExpressionsImportError, updateDefinition);
    return code == NoError ? ValueFate::BroughtBack : ValueFate::NotWritten;
}

// The run's lists under the definition's name or the earlier names the rename table gives it (in
// the order to try), and the kept lists still pending under any of them; nothing when the
// definition is not owned and has no earlier name.
Candidates<ExpressionList> FindLists(UpdateRun& run, const PropertyName& name, bool owned)
{
    std::vector<PropertyName> names{name};
    for (const RenameTable::Name& earlier : run.renames.EarlierNames(name.group, name.property))
        names.push_back(PropertyName{earlier.group, earlier.property});
    Candidates<ExpressionList> found;
    if (!owned && names.size() == 1)
        return found;
    for (std::size_t index = 0; index < names.size(); ++index)
        if (const auto list = run.expressions.lists.find(names[index]); list != run.expressions.lists.end())
            found.AddOwn(index, list->second, run.listFates[names[index]]);
    for (std::size_t index = 0; index < run.kept.lists.size(); ++index)
        if (run.kept.listFates[index] == ValueFate::Pending && std::ranges::count(names, run.kept.lists[index].name) > 0)
            found.kept.push_back(FoundList{&run.kept.lists[index].list, &run.kept.listFates[index], index,
                                           run.kept.lists[index].record.run});
    return found;
}

// Brings the saved lists back into the re-imported definition `definition` of the name `name`: the
// run's own under its name or an earlier one, or a list the store keeps where the definition is as
// it was left. A definition of a group that is not owned takes a saved list only when the rename
// table leads there, and only when it has no list of its own; nothing else of it is touched.
// Answers whether the definition took a list.
bool ImportList(UpdateRun& run, API_PropertyDefinition& definition, const PropertyName& name, bool owned)
{
    const Candidates<ExpressionList> found = FindLists(run, name, owned);
    bool took = false;
    auto write = [&](const FoundList& list) {
        const ValueFate fate = WriteList(run, definition, *list.saved);
        took = took || fate == ValueFate::BroughtBack;
        // Of two definitions of one name, one that took the list is enough.
        return *list.fate == ValueFate::BroughtBack ? ValueFate::BroughtBack : fate;
    };
    auto match = [&](const FoundList& kept) {
        return MatchLeft(run.kept.ListLeftFor(kept.index), &run.expressions.found, StateKeyOf(name));
    };
    if (owned) {
        ComeBack(found, match, write);
    } else if (!found.own.empty() || !found.kept.empty()) {
        const bool held = definition.expressionFlag != 0 && !definition.expressions.IsEmpty();
        ComeBackIntoOtherGroup(found, held ? ValueFate::Occupied : ValueFate::Pending, write);
    }
    return took;
}

// What found no definition: its property is not in the configuration (nor a rename of it), as far
// as the groups that could be read tell. A list of the run's own that met a definition has its fate;
// one only looked up under a name (FindLists makes its entry Pending) has not.
void SettlePending(UpdateRun& run, bool groupUnread)
{
    const ValueFate unplaced = groupUnread ? ValueFate::NotWritten : ValueFate::NotDefined;
    for (const auto& [name, list] : run.expressions.lists)
        if (ValueFate& fate = run.listFates[name]; fate == ValueFate::Pending)
            fate = unplaced;
    std::ranges::replace(run.kept.listFates, ValueFate::Pending, unplaced);
}

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
    for (const API_PropertyDefinition& definition : definitions) {
        const PropertyGroupCache::Group& group = groups.Get(definition.groupGuid);
        const bool custom = definition.kind == API_PropertyCustomDefinitionKind;
        // A custom definition whose group cannot be read may be owned: its list cannot be saved.
        if (custom && group.readCode != NoError) {
            ReportErrorCode(Messages::ExpressionsExportError, group.readCode);
            return false;
        }
        if (!custom || !group.owned)
            continue;
        PropertyName name{group.name, definition.name};
        if (definition.expressionFlag != 0)
            run.expressions.lists[name] = definition.expressions;
        run.expressions.found[StateKeyOf(name)] =
            PropertyState{ExpressionListState(definition.expressionFlag != 0, definition.expressions), false};
    }
    return true;
}

bool ImportExpressions(UpdateRun& run)
{
    GS::Array<API_PropertyDefinition> definitions;
    const GSErrCode listCode = HostListPropertyDefinitions(&APINULLGuid, &definitions);
    if (listCode != NoError) {
        ReportErrorCode(Messages::ExpressionsListError, listCode);
        SettlePending(run, true);
        return false;
    }
    run.imported.emplace();
    run.end.listsLeft.emplace();
    PropertyGroupCache groups;
    bool groupUnread = false;
    for (API_PropertyDefinition& definition : definitions) {
        const PropertyGroupCache::Group& group = groups.Get(definition.groupGuid);
        groupUnread = groupUnread || group.readCode != NoError;
        if (group.readCode != NoError)
            continue;
        PropertyName name{group.name, definition.name};
        run.imported->insert(name);
        if (definition.kind != API_PropertyCustomDefinitionKind)
            continue;
        // An owned definition is left as the import made it, unless a list goes in: a list that does
        // not keeps it so.
        PropertyState left{ExpressionListState(definition.expressionFlag != 0, definition.expressions), false};
        if (ImportList(run, definition, name, group.owned))
            left = PropertyState{ExpressionListState(true, definition.expressions), true};
        if (group.owned)
            (*run.end.listsLeft)[StateKeyOf(name)] = std::move(left);
    }
    SettlePending(run, groupUnread);
    return true;
}

}  // namespace Quillmere
