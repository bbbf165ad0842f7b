#include "RunStore.hpp"

#include <algorithm>
#include <unordered_map>

#include "Common/ExactText.hpp"
#include "Common/Messages.hpp"
#include "Host/HostCalls.hpp"
#include "KeptStore.hpp"

namespace Quillmere {

namespace {

// Tells of a damaged store set aside, once, and of a store that cannot be used, which the run then
// does without.
void TellOfStore(UpdateRun& run, const std::optional<FileProblem>& problem)
{
    if (run.store && !run.store->SetAside().empty() && !run.setAsideTold) {
        ReportLine(Messages::StoreSetAsideLine, {PathText(run.store->Path()), PathText(run.store->SetAside())});
        run.setAsideTold = true;
    }
    if (!problem)
        return;
    if (!run.storeProblem)
        ReportLine(Messages::StoreUnusableLine, {PathText(problem->path), problem->Detail()});
    run.storeProblem = problem;
    run.store.reset();
}

// The project's file as the host names it; nothing for a project without one, or when the host
// does not tell.
std::optional<ProjectIdentity> FileIdentity()
{
    API_ProjectInfo info;
    if (HostGetProjectInfo(&info) != NoError || info.untitled || info.location.IsEmpty())
        return std::nullopt;
    return "file:" + ExactUtf8(info.location);
}

// Finds the project's identity, once: its file, or for a project without one, its elements
// (`elements`, else the anchor noted when the store held nothing, else those listed now). Answers
// false when it cannot be known: a project whose elements cannot be listed is then the store's
// problem (a store that failed meanwhile has told its own).
bool KnowProject(UpdateRun& run, const ElementSet* elements)
{
    if (run.projectKnown)
        return true;
    std::optional<ProjectIdentity> known = FileIdentity();
    if (!known && elements == nullptr && !run.anchor.empty())
        known = run.anchor;
    if (known) {
        run.end.project = *known;
        return run.projectKnown = true;
    }
    GS::Array<API_Guid> listed;
    if (elements == nullptr && ListEveryElement(listed) != NoError) {
        run.storeProblem = FileProblem{run.store->Path(), 0, Messages::ProjectUnknownReason};
        return false;
    }
    TellOfStore(run, run.store->AnchorIdentity(elements != nullptr ? *elements : ElementSet(listed.begin(), listed.end()),
                                               run.end.project));
    return run.projectKnown = run.store != nullptr;
}

}  // namespace

void OpenStore(UpdateRun& run)
{
    run.end.started = LocalTimeText("%Y-%m-%d %H:%M");
    run.end.configuration = PathText(run.configuration);
    const std::optional<SystemPath> path = KeptStore::DefaultPath();
    if (!path) {
        run.storeProblem = FileProblem{SystemPath(), 0, Messages::NoProfileReason};
        return;
    }
    run.store = std::make_shared<KeptStore>(*path);
    TellOfStore(run, run.store->Open());
}

void ReadWhetherStoreHoldsAnything(UpdateRun& run)
{
    if (run.store)
        TellOfStore(run, run.store->HoldsAnything(run.storeHoldsAnything));
}

void ReadKeptData(UpdateRun& run, const GS::Array<API_Guid>* elements)
{
    if (!run.store)
        return;
    if (!run.storeHoldsAnything) {
        // Nothing to read; should the run keep something, a project without a file is known by
        // one of these elements.
        if (elements != nullptr)
            run.anchor = NewAnchor(*elements);
        return;
    }
    // Without the project's elements its part cannot be read, and a run that kept anything at its
    // end would leave the store as if nothing had been read: the run does without the store.
    GS::Array<API_Guid> listed;
    if (elements == nullptr && ListEveryElement(listed) != NoError)
        return TellOfStore(run, FileProblem{run.store->Path(), 0, Messages::ProjectUnknownReason});
    const GS::Array<API_Guid>& all = elements != nullptr ? *elements : listed;
    const ElementSet set(all.begin(), all.end());
    if (KnowProject(run, &set))
        TellOfStore(run, run.store->Read(run.end.project, &set, run.kept));
}

namespace {

// The run's lists that stay kept (all of them before the import), with why.
std::vector<KeptExpressionList> OwnLists(const UpdateRun& run)
{
    std::vector<KeptExpressionList> lists;
    for (const auto& [name, list] : run.expressions.lists) {
        const auto fate = run.listFates.find(name);
        const ValueFate reason = fate == run.listFates.end() ? ValueFate::Pending : fate->second;
        if (OwnStays(reason))
            lists.push_back(KeptExpressionList{name, list, KeptRecord{0, reason, false}});
    }
    return lists;
}

void ReportNotSafe(const UpdateRun& run, bool valuesSafe)
{
    const FileProblem store = run.storeProblem.value_or(FileProblem{});
    const FileProblem backup = run.backupProblem.value_or(FileProblem{});
    if (store.path.empty() && (valuesSafe || backup.path.empty()))
        ReportLine(Messages::NotSafeNoProfileLine, {});
    else if (valuesSafe)
        ReportLine(Messages::NotSafeListsLine, {PathText(store.path), store.Detail()});
    else
        ReportLine(Messages::NotSafeValuesLine, {PathText(backup.path), backup.Detail(), PathText(store.path), store.Detail()});
}

// The elements with values kept after the run; what the run left on them is what the restore
// noted, or, when the import removed the owned groups and made none, nothing at all.
void NoteWhatWasLeft(UpdateRun& run)
{
    if (run.propertiesImported)
        return;
    run.end.listsLeft = PropertyStates();
    const auto note = [&run](const ValueBackup& values, const std::vector<ValueFate>& fates, bool (*stays)(ValueFate)) {
        for (const ValueBackup::Entry& entry : values.Entries())
            if (std::any_of(fates.begin() + entry.firstValue, fates.begin() + entry.firstValue + entry.valueCount, stays))
                run.end.left.try_emplace(entry.element, PropertyStates());
    };
    if (run.backup)
        note(*run.backup, run.fates, OwnStays);
    note(run.kept.values, run.kept.fates, StaysKept);
}

// A kept value or list of a property for which this run keeps one of its own (its lists that stay
// are `run.end.ownLists`) ends: the run's is newer. Quietly, when it is the same.
void EndWhatOwnReplaces(UpdateRun& run)
{
    std::unordered_map<std::string, const ValueBackup::Value*> own;
    const auto keyOf = [](const API_Guid& element, const ValueBackup::Key& key) {
        return std::string(reinterpret_cast<const char*>(&element), sizeof element) + StateKey(key.group, key.property);
    };
    if (run.backup)
        for (const ValueBackup::Entry& entry : run.backup->Entries())
            for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index)
                if (OwnStays(run.fates[index]))
                    own.emplace(keyOf(entry.element, run.backup->Keys()[run.backup->Values()[index].key]), &run.backup->Values()[index]);
    for (const ValueBackup::Entry& entry : run.kept.values.Entries())
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index) {
            const ValueBackup::Value& kept = run.kept.values.Values()[index];
            const auto found = own.find(keyOf(entry.element, run.kept.values.Keys()[kept.key]));
            if (found != own.end() && StaysKept(run.kept.fates[index]))
                run.kept.fates[index] = SameSaved(*found->second, kept) ? ValueFate::AlreadyHeld : ValueFate::Superseded;
        }
    for (std::size_t index = 0; index < run.kept.lists.size(); ++index) {
        const KeptExpressionList& kept = run.kept.lists[index];
        const auto own = std::ranges::find(run.end.ownLists, kept.name, &KeptExpressionList::name);
        if (own != run.end.ownLists.end() && StaysKept(run.kept.listFates[index]))
            run.kept.listFates[index] = SameSaved(kept.list, own->list) ? ValueFate::AlreadyHeld : ValueFate::Superseded;
    }
}

// Whether the backup found the kept value itself in its own property ("valType:text").
bool SameAsKept(const PropertyStates* found, const std::string& key, const ValueBackup::Value& kept)
{
    if (found == nullptr)
        return false;
    const auto at = found->find(key);
    return at != found->end() &&
           at->second.value == std::string(ValueTypeName(kept.valueType)).append(":").append(kept.text, kept.textLength);
}

// A kept value or list whose own property the user has changed or cleared since the run that kept
// it left it ends: the user's stands. When the property holds that very value, it ends quietly.
void EndWhatChangedSince(UpdateRun& run)
{
    KeptData& kept = run.kept;
    std::vector<std::string> stateKeys;  // by key
    for (const ValueBackup::Key& key : kept.values.Keys())
        stateKeys.push_back(StateKey(key.group, key.property));
    for (const ValueBackup::Entry& entry : kept.values.Entries()) {
        const auto found = run.found.find(entry.element);
        const PropertyStates* states = found != run.found.end() ? &found->second : nullptr;
        for (UInt32 index = entry.firstValue; index < entry.firstValue + entry.valueCount; ++index) {
            const ValueBackup::Value& value = kept.values.Values()[index];
            const std::string& state = stateKeys[value.key];
            if (kept.fates[index] == ValueFate::Pending &&
                MatchLeft(kept.LeftFor(entry.element, index), states, state) == LeftMatch::Changed)
                kept.fates[index] = SameAsKept(states, state, value) ? ValueFate::AlreadyHeld : ValueFate::Changed;
        }
    }
    for (std::size_t index = 0; index < kept.lists.size(); ++index) {
        const KeptExpressionList& list = kept.lists[index];
        const std::string state = StateKey(ExactUtf8(list.name.group), ExactUtf8(list.name.property));
        if (kept.listFates[index] != ValueFate::Pending ||
            MatchLeft(kept.ListLeftFor(index), &run.expressions.found, state) != LeftMatch::Changed)
            continue;
        const auto found = run.expressions.found.find(state);
        const bool same = found != run.expressions.found.end() && found->second.value == ExpressionListState(true, list.list);
        kept.listFates[index] = same ? ValueFate::AlreadyHeld : ValueFate::Changed;
    }
}

}  // namespace

bool KeepSavedBeforeRemoval(UpdateRun& run)
{
    EndWhatChangedSince(run);
    const bool valuesSafe = !run.backup || run.backup->ValueCount() == 0 || !run.backupProblem;
    if (valuesSafe && run.expressions.lists.empty())
        return true;
    if (run.store && KnowProject(run, nullptr)) {
        run.end.ownLists = OwnLists(run);
        TellOfStore(run, run.store->WriteSaved(run.end, valuesSafe ? nullptr : &*run.backup));
        if (run.store) {
            run.end.ownValuesWritten = !valuesSafe;
            run.end.ownListsWritten = !run.end.ownLists.empty();
            return true;
        }
    }
    ReportNotSafe(run, valuesSafe);
    return false;
}

void KeepForLaterRuns(UpdateRun& run)
{
    if (!run.store)
        return;
    run.end.ownLists = OwnLists(run);
    const bool ownValuesStay = std::any_of(run.fates.begin(), run.fates.end(), OwnStays);
    if (run.kept.Empty() && !ownValuesStay && run.end.ownLists.empty() && !run.end.ownValuesWritten && !run.end.ownListsWritten)
        return;
    if (!KnowProject(run, nullptr))
        return;
    EndWhatOwnReplaces(run);
    NoteWhatWasLeft(run);
    TellOfStore(run, run.store->WriteRunEnd(run.end, run.kept, run.backup ? &*run.backup : nullptr, &run.fates));
    run.storeWritten = run.store != nullptr;
}

}  // namespace Quillmere
