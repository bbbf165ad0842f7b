#include "ExpressionPreservation.hpp"

#include <algorithm>
#include <set>
#include <vector>

#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "Host/PropertyGroupCache.hpp"
#include "Renames/ReferenceRewriting.hpp"

namespace Quillmere {

namespace {

std::string StateKeyOf(const PropertyName& name)
{
    return StateKey(ExactUtf8(name.group), ExactUtf8(name.property));
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
    for (USize index = 0; index < definitions.GetSize(); ++index) {
        const API_PropertyDefinition& definition = definitions[index];
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

namespace {

// Brings the saved lists back into the re-imported definitions: the run's own under a definition's
// name or an earlier one, or a list the store keeps where the definition is as it was left.
class ListImport {
public:
    ListImport(UpdateRun& run, GS::Array<API_PropertyDefinition>& definitions) : run(run), definitions(definitions) {}

    void ImportInto(USize index, const PropertyName& name)
    {
        const std::vector<PropertyName> names = NamesOf(name);
        const Own own = FindOwn(names);
        const std::optional<std::size_t> kept = FindKept(names);
        if (!kept) {
            WriteOwn(index, own);
            return;
        }
        const KeptExpressionList& keptList = run.kept.lists[*kept];
        const LeftMatch match = MatchLeft(keptList.record.earlierVersion ? std::nullopt : run.kept.listsLeft,
                                          &run.expressions.found, StateKeyOf(name));
        if (match == LeftMatch::AsLeft && !own.renamed) {
            const ValueFate fate = Write(index, keptList.list);
            MarkKept(names, ValueFate::GaveWay);
            run.kept.listFates[*kept] = fate;
            if (own.list != nullptr)
                *own.fate = fate == ValueFate::BroughtBack ? ValueFate::Superseded : Write(index, *own.list);
            return;
        }
        WriteOwn(index, own);
        const bool same = own.list != nullptr && std::ranges::equal(*own.list, keptList.list);
        MarkKept(names, match == LeftMatch::Taken ? ValueFate::GaveWay
                        : match == LeftMatch::AsLeft ? ValueFate::Superseded
                        : same ? ValueFate::AlreadyHeld : ValueFate::Changed);
    }

    // A definition of a group that is not owned takes a saved list only when the rename table leads
    // there, and only when it has no list of its own; nothing else of it is touched.
    void ImportIntoOtherGroup(USize index, const PropertyName& name)
    {
        const std::vector<PropertyName> names = NamesOf(name);
        if (names.size() == 1)
            return;
        const Own own = FindOwn(names);
        const std::optional<std::size_t> kept = FindKept(names);
        if (own.list == nullptr && !kept)
            return;
        const bool held = definitions[index].expressionFlag != 0 && !definitions[index].expressions.IsEmpty();
        if (own.list != nullptr) {
            *own.fate = held ? ValueFate::Occupied : Write(index, *own.list);
            MarkKept(names, held ? ValueFate::Occupied : ValueFate::Superseded);
            return;
        }
        run.kept.listFates[*kept] = held ? ValueFate::Occupied : Write(index, run.kept.lists[*kept].list);
        MarkKept(names, ValueFate::GaveWay);
    }

    // Whether the listed definition at `index` took a list in this run.
    bool Written(USize index) const { return written.count(index) != 0; }

private:
    // The definition's name, then the earlier names the rename table gives it, in the order to try.
    std::vector<PropertyName> NamesOf(const PropertyName& name) const
    {
        std::vector<PropertyName> names{name};
        for (const RenameTable::Name& earlier : run.renames.EarlierNames(name.group, name.property))
            names.push_back(PropertyName{earlier.group, earlier.property});
        return names;
    }

    struct Own {
        const ExpressionList* list = nullptr;
        ValueFate* fate = nullptr;
        bool renamed = false;
    };

    // The run's list under the first of `names` that has one; those of the names after it gave way.
    Own FindOwn(const std::vector<PropertyName>& names)
    {
        Own own;
        for (std::size_t index = 0; index < names.size(); ++index) {
            const auto found = run.expressions.lists.find(names[index]);
            if (found == run.expressions.lists.end())
                continue;
            ValueFate& fate = run.listFates[names[index]];
            if (own.list == nullptr)
                own = Own{&found->second, &fate, index != 0};
            else if (fate == ValueFate::Pending)
                fate = ValueFate::GaveWay;
        }
        return own;
    }

    bool PendingUnder(std::size_t kept, const std::vector<PropertyName>& names) const
    {
        return run.kept.listFates[kept] == ValueFate::Pending &&
               std::ranges::find(names, run.kept.lists[kept].name) != names.end();
    }

    // The newest kept list still pending under one of `names`.
    std::optional<std::size_t> FindKept(const std::vector<PropertyName>& names) const
    {
        std::optional<std::size_t> best;
        for (std::size_t index = 0; index < run.kept.lists.size(); ++index)
            if (PendingUnder(index, names) && (!best || run.kept.lists[index].record.run > run.kept.lists[*best].record.run))
                best = index;
        return best;
    }

    void MarkKept(const std::vector<PropertyName>& names, ValueFate fate)
    {
        for (std::size_t index = 0; index < run.kept.lists.size(); ++index)
            if (PendingUnder(index, names))
                run.kept.listFates[index] = fate;
    }

    void WriteOwn(USize index, const Own& own)
    {
        if (own.list == nullptr)
            return;
        const ValueFate fate = Write(index, *own.list);
        // Of two definitions of one name, one that took the list is enough.
        if (*own.fate != ValueFate::BroughtBack)
            *own.fate = fate;
    }

    // Writes `list` into the listed definition at `index`, its references following the run's
    // rename table, in one undoable command "Import Expressions"; answers what became of the list.
    ValueFate Write(USize index, const ExpressionList& list)
    {
        definitions[index].expressionFlag = 1;
        definitions[index].expressions = list;
        for (GS::UniString& expression : definitions[index].expressions)
            RewriteReferences(run.renames, expression);
        // The host runs the callable before the command returns, so it reads the list in place.
        auto updateDefinition = [this, &index]() { return HostUpdatePropertyDefinition(&definitions[index]); };
        const GSErrCode code = RunUndoableCommand(Messages::ImportExpressionsStep, updateDefinition);
        if (code == NoError) {
            written.insert(index);
            return ValueFate::BroughtBack;
        }
        ReportErrorCode(Messages::ExpressionsImportError, code);
        return ValueFate::NotWritten;
    }

    UpdateRun& run;
    GS::Array<API_PropertyDefinition>& definitions;
    std::set<USize> written;
};

// What found no definition: its property is not in the configuration (nor a rename of it), as far
// as the groups that could be read tell.
void SettlePending(UpdateRun& run, bool groupUnread)
{
    const ValueFate unplaced = groupUnread ? ValueFate::NotWritten : ValueFate::NotDefined;
    for (auto& [name, list] : run.expressions.lists) {
        ValueFate& fate = run.listFates[name];
        if (fate == ValueFate::Pending)
            fate = unplaced;
    }
    std::ranges::replace(run.kept.listFates, ValueFate::Pending, unplaced);
}

}  // namespace

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
    ListImport import(run, definitions);
    PropertyGroupCache groups;
    bool groupUnread = false;
    for (USize index = 0; index < definitions.GetSize(); ++index) {
        const PropertyGroupCache::Group& group = groups.Get(definitions[index].groupGuid);
        groupUnread = groupUnread || group.readCode != NoError;
        if (group.readCode != NoError)
            continue;
        PropertyName name{group.name, definitions[index].name};
        run.imported->insert(name);
        if (definitions[index].kind != API_PropertyCustomDefinitionKind)
            continue;
        if (!group.owned) {
            import.ImportIntoOtherGroup(index, name);
            continue;
        }
        // As the import made it, unless a list goes in: a list that does not keeps it so.
        PropertyState left{ExpressionListState(definitions[index].expressionFlag != 0, definitions[index].expressions), false};
        import.ImportInto(index, name);
        if (import.Written(index))
            left = PropertyState{ExpressionListState(true, definitions[index].expressions), true};
        (*run.end.listsLeft)[StateKeyOf(name)] = std::move(left);
    }
    SettlePending(run, groupUnread);
    return true;
}

}  // namespace Quillmere
