#include "Proposal.hpp"

#include <algorithm>
#include <iterator>
#include <map>
#include <string>
#include <unordered_map>

#include "NameFolding.hpp"

namespace RenameProposal {

namespace {

constexpr std::uint32_t NoGroup = 0xFFFFFFFFu;

// A newer name of the same group and type is offered as a possible new name (SimilarName) when the
// folded names start with at least this many characters alike, and with at least half of the
// shorter one.
constexpr std::size_t SimilarStart = 5;

// Look-ups into one edition by name.
class EditionIndex {
public:
    explicit EditionIndex(const Edition& edition) : edition(edition), byName(edition.groups.size())
    {
        for (std::uint32_t group = 0; group < edition.groups.size(); ++group) {
            groupByName.emplace(edition.groups[group].name, group);
            const std::vector<EditionProperty>& properties = edition.groups[group].properties;
            for (std::uint32_t property = 0; property < properties.size(); ++property)
                byName[group].emplace(properties[property].name, property);
        }
    }

    std::uint32_t GroupNamed(std::string_view name) const
    {
        const auto found = groupByName.find(name);
        return found != groupByName.end() ? found->second : NoGroup;
    }

    std::optional<std::uint32_t> PropertyNamed(std::uint32_t group, std::string_view name) const
    {
        if (group == NoGroup)
            return std::nullopt;
        const auto found = byName[group].find(name);
        return found != byName[group].end() ? std::optional(found->second) : std::nullopt;
    }

    bool Has(std::string_view group, std::string_view property) const
    {
        return PropertyNamed(GroupNamed(group), property).has_value();
    }

    const EditionProperty& operator[](PropertyAt at) const { return edition.groups[at.group].properties[at.property]; }

    const Edition& edition;

private:
    std::unordered_map<std::string_view, std::uint32_t> groupByName;
    std::vector<std::unordered_map<std::string_view, std::uint32_t>> byName;
};

template <typename Value>
using PerProperty = std::vector<std::vector<Value>>;

template <typename Value>
PerProperty<Value> ForEachProperty(const Edition& edition, Value value)
{
    PerProperty<Value> table;
    for (const EditionGroup& group : edition.groups)
        table.emplace_back(group.properties.size(), value);
    return table;
}

bool MayReceive(std::string_view group)
{
    return IsOwnedGroup(group) || IsStandardSet(group);
}

std::size_t CommonStart(std::string_view left, std::string_view right)
{
    const std::size_t shorter = std::min(left.size(), right.size());
    std::size_t length = 0;
    while (length < shorter && left[length] == right[length])
        ++length;
    return length;
}

class Proposer {
public:
    Proposer(const Edition& older, const Edition& newer)
        : older(older), newer(newer), continuation(older.groups.size(), NoGroup),
          kept(ForEachProperty(older, std::optional<PropertyAt>())), claimed(ForEachProperty(newer, false)),
          decided(ForEachProperty(older, false)), newerFolded(ForEachProperty(newer, std::string()))
    {
        IndexNewerNames();
        MapItems();
    }

    Proposal Propose()
    {
        ProposeGroupEntries();
        FollowKeptNames();
        ProposePropertyEntries();
        ListChanges();
        return std::move(proposal);
    }

private:
    void IndexNewerNames()
    {
        for (std::uint32_t group = 0; group < newer.edition.groups.size(); ++group) {
            const std::vector<EditionProperty>& properties = newer.edition.groups[group].properties;
            for (std::uint32_t property = 0; property < properties.size(); ++property) {
                byName[properties[property].name].push_back({group, property});
                newerFolded[group][property] = FoldedName(properties[property].name);
                if (!newerFolded[group][property].empty())
                    byFoldedName[newerFolded[group][property]].push_back({group, property});
            }
        }
    }

    // The newer edition's index of each older item of the same system and id.
    void MapItems()
    {
        std::map<std::pair<std::string_view, std::string_view>, std::uint32_t> newerItems;
        for (std::uint32_t item = 0; item < newer.edition.items.size(); ++item)
            newerItems.emplace(std::pair<std::string_view, std::string_view>(newer.edition.items[item].system,
                                                                             newer.edition.items[item].id),
                               item);
        for (const EditionItem& item : older.edition.items) {
            const auto found = newerItems.find({item.system, item.id});
            olderItemInNewer.push_back(found != newerItems.end() ? found->second : EditionItem::NoParent);
        }
    }

    // Whether the older property `at` and the newer property `candidate` apply to elements of the
    // same type: to one item, or to items of which one holds the other.
    bool ShareAnItem(PropertyAt at, PropertyAt candidate) const
    {
        for (const std::uint32_t item : older[at].items) {
            const std::uint32_t mapped = olderItemInNewer[item];
            if (mapped == EditionItem::NoParent)
                continue;
            for (const std::uint32_t theirs : newer[candidate].items)
                if (ItemsRelated(newer.edition, mapped, theirs))
                    return true;
        }
        return false;
    }

    // The groups that more than half of the older group's names reappear in, new to them and for
    // elements of the same type.
    std::vector<GroupEntry> GroupCandidates(std::uint32_t group) const
    {
        const EditionGroup& gone = older.edition.groups[group];
        std::map<std::uint32_t, std::size_t> carried;
        for (std::uint32_t property = 0; property < gone.properties.size(); ++property) {
            const auto found = byName.find(gone.properties[property].name);
            if (found == byName.end())
                continue;
            for (const PropertyAt at : found->second) {
                const std::string& name = newer.edition.groups[at.group].name;
                if (MayReceive(name) && !older.Has(name, gone.properties[property].name) &&
                    ShareAnItem(PropertyAt{group, property}, at))
                    ++carried[at.group];
            }
        }
        std::vector<GroupEntry> candidates;
        for (const auto& [target, count] : carried)
            if (2 * count > gone.properties.size())
                candidates.push_back({group, target, count});
        return candidates;
    }

    void ProposeGroupEntries()
    {
        for (std::uint32_t group = 0; group < older.edition.groups.size(); ++group) {
            const std::string& name = older.edition.groups[group].name;
            if (!IsOwnedGroup(name) || newer.GroupNamed(name) != NoGroup)
                continue;
            std::vector<GroupEntry> candidates = GroupCandidates(group);
            if (candidates.size() == 1)
                proposal.groupEntries.push_back(candidates.front());
            else if (!candidates.empty())
                proposal.groupChoices.push_back({group, std::move(candidates)});
        }
    }

    // Each older group's continuation (the group of its name, or its group entry's), the older
    // properties kept there by name and the newer properties that continue them.
    void FollowKeptNames()
    {
        for (std::uint32_t group = 0; group < older.edition.groups.size(); ++group)
            continuation[group] = newer.GroupNamed(older.edition.groups[group].name);
        for (const GroupEntry& entry : proposal.groupEntries)
            continuation[entry.older] = entry.newer;
        for (const std::uint32_t group : continuation)
            proposal.continuations.push_back(group != NoGroup ? std::optional(group) : std::nullopt);
        for (std::uint32_t group = 0; group < older.edition.groups.size(); ++group) {
            const std::vector<EditionProperty>& properties = older.edition.groups[group].properties;
            for (std::uint32_t property = 0; property < properties.size(); ++property) {
                const std::optional<std::uint32_t> same = newer.PropertyNamed(continuation[group], properties[property].name);
                if (!same)
                    continue;
                kept[group][property] = PropertyAt{continuation[group], *same};
                claimed[continuation[group]][*same] = true;
            }
        }
    }

    std::vector<Candidate> Matching(PropertyAt at, const std::vector<PropertyAt>* found, bool inOwnGroup) const
    {
        std::vector<Candidate> candidates;
        if (found == nullptr)
            return candidates;
        const std::uint32_t own = continuation[at.group];
        for (const PropertyAt candidate : *found) {
            // (A property of its own name in its own group would have kept it.)
            const bool sameGroup = candidate.group == own;
            const bool fits = inOwnGroup ? sameGroup
                                         : !sameGroup && MayReceive(newer.edition.groups[candidate.group].name) &&
                                               ShareAnItem(at, candidate);
            if (fits)
                candidates.push_back({candidate, !sameGroup, claimed[candidate.group][candidate.property]});
        }
        return candidates;
    }

    template <typename Key>
    const std::vector<PropertyAt>* Find(const std::unordered_map<Key, std::vector<PropertyAt>>& index, const Key& key) const
    {
        const auto found = index.find(key);
        return found != index.end() ? &found->second : nullptr;
    }

    // Renames in its own group first, then moves by its name, then moves by its name but for spelling.
    std::vector<Candidate> CandidatesFor(PropertyAt at) const
    {
        const std::string folded = FoldedName(older[at].name);
        const std::vector<PropertyAt>* spelt = folded.empty() ? nullptr : Find(byFoldedName, folded);
        std::vector<Candidate> candidates = Matching(at, spelt, true);
        if (candidates.empty())
            candidates = Matching(at, Find(byName, std::string_view(older[at].name)), false);
        if (candidates.empty())
            candidates = Matching(at, spelt, false);
        return candidates;
    }

    void ProposePropertyEntries()
    {
        std::map<std::pair<std::uint32_t, std::uint32_t>, std::vector<PropertyAt>> byTarget;
        std::vector<PropertyEntry> single;
        ForEachOwnedGoneProperty([&](PropertyAt at) {
            std::vector<Candidate> candidates = CandidatesFor(at);
            if (candidates.size() == 1 && !candidates.front().continuesOlder) {
                single.push_back({at, candidates.front().newer, candidates.front().moved});
                byTarget[{candidates.front().newer.group, candidates.front().newer.property}].push_back(at);
            } else if (!candidates.empty()) {
                const auto reason = candidates.size() > 1 ? PropertyChoice::Reason::SeveralPlaces
                                                          : PropertyChoice::Reason::ContinuedTarget;
                choices.push_back({at, reason, std::move(candidates), {}});
            }
        });
        for (const PropertyEntry& entry : single) {
            const std::vector<PropertyAt>& sources = byTarget[{entry.newer.group, entry.newer.property}];
            if (sources.size() == 1) {
                proposal.propertyEntries.push_back(entry);
                continue;
            }
            std::vector<PropertyAt> rivals;
            std::copy_if(sources.begin(), sources.end(), std::back_inserter(rivals),
                         [&](PropertyAt source) { return !(source == entry.older); });
            choices.push_back({entry.older, PropertyChoice::Reason::SharedTarget,
                               {{entry.newer, entry.moved, false}}, std::move(rivals)});
        }
        for (const PropertyEntry& entry : proposal.propertyEntries)
            decided[entry.older.group][entry.older.property] = true;
        for (const PropertyChoice& choice : choices)
            decided[choice.older.group][choice.older.property] = true;
        ProposeSimilarNames();
        SortChoices();
    }

    template <typename Visit>
    void ForEachOwnedGoneProperty(Visit visit) const
    {
        for (std::uint32_t group = 0; group < older.edition.groups.size(); ++group) {
            if (!IsOwnedGroup(older.edition.groups[group].name))
                continue;
            for (std::uint32_t property = 0; property < older.edition.groups[group].properties.size(); ++property)
                if (!kept[group][property])
                    visit(PropertyAt{group, property});
        }
    }

    // For each owned property gone without entry or choice: newer names of its group's continuation
    // that no entry leads to and no older name continues, of the same type, that start alike.
    void ProposeSimilarNames()
    {
        PerProperty<bool> targeted = ForEachProperty(newer.edition, false);
        for (const PropertyEntry& entry : proposal.propertyEntries)
            targeted[entry.newer.group][entry.newer.property] = true;
        ForEachOwnedGoneProperty([&](PropertyAt at) {
            const std::uint32_t own = continuation[at.group];
            if (decided[at.group][at.property] || own == NoGroup)
                return;
            const std::string folded = FoldedName(older[at].name);
            std::vector<Candidate> candidates;
            const std::vector<EditionProperty>& properties = newer.edition.groups[own].properties;
            for (std::uint32_t property = 0; property < properties.size(); ++property) {
                if (claimed[own][property] || targeted[own][property] || properties[property].valueType != older[at].valueType)
                    continue;
                const std::string& theirs = newerFolded[own][property];
                const std::size_t alike = CommonStart(folded, theirs);
                if (alike >= SimilarStart && 2 * alike >= std::min(folded.size(), theirs.size()))
                    candidates.push_back({PropertyAt{own, property}, false, false});
            }
            if (!candidates.empty()) {
                choices.push_back({at, PropertyChoice::Reason::SimilarName, std::move(candidates), {}});
                decided[at.group][at.property] = true;
            }
        });
    }

    void SortChoices()
    {
        std::stable_sort(choices.begin(), choices.end(), [](const PropertyChoice& left, const PropertyChoice& right) {
            return std::pair(left.older.group, left.older.property) < std::pair(right.older.group, right.older.property);
        });
        proposal.propertyChoices = std::move(choices);
    }

    void ListChanges()
    {
        ListGroupChanges();
        PerProperty<bool> targeted = ForEachProperty(newer.edition, false);
        for (const PropertyEntry& entry : proposal.propertyEntries)
            targeted[entry.newer.group][entry.newer.property] = true;
        for (std::uint32_t group = 0; group < older.edition.groups.size(); ++group)
            for (std::uint32_t property = 0; property < older.edition.groups[group].properties.size(); ++property) {
                const PropertyAt at{group, property};
                if (!kept[group][property] && !decided[group][property])
                    proposal.propertiesRemoved.push_back(at);
                if (kept[group][property] && (older[at].valueType != newer[*kept[group][property]].valueType ||
                                              older[at].measure != newer[*kept[group][property]].measure))
                    proposal.retyped.push_back({at, *kept[group][property]});
            }
        for (std::uint32_t group = 0; group < newer.edition.groups.size(); ++group)
            for (std::uint32_t property = 0; property < newer.edition.groups[group].properties.size(); ++property)
                if (!claimed[group][property] && !targeted[group][property])
                    proposal.propertiesAdded.push_back({PropertyAt{group, property}, OtherSpelling({group, property})});
    }

    // A property of the same group with the same name but for spelling that continues an older one.
    std::optional<std::uint32_t> OtherSpelling(PropertyAt at) const
    {
        const std::string& folded = newerFolded[at.group][at.property];
        const std::vector<PropertyAt>* spelt = folded.empty() ? nullptr : Find(byFoldedName, folded);
        if (spelt != nullptr)
            for (const PropertyAt other : *spelt)
                if (other.group == at.group && other.property != at.property && claimed[other.group][other.property])
                    return other.property;
        return std::nullopt;
    }

    void ListGroupChanges()
    {
        std::vector<bool> continued(newer.edition.groups.size(), false);
        for (std::uint32_t group = 0; group < older.edition.groups.size(); ++group) {
            if (continuation[group] != NoGroup)
                continued[continuation[group]] = true;
            else
                proposal.groupsRemoved.push_back(group);
        }
        for (std::uint32_t group = 0; group < newer.edition.groups.size(); ++group)
            if (!continued[group])
                proposal.groupsAdded.push_back(group);
    }

    const EditionIndex older;
    const EditionIndex newer;
    std::unordered_map<std::string_view, std::vector<PropertyAt>> byName;  // newer properties by name
    std::unordered_map<std::string, std::vector<PropertyAt>> byFoldedName;  // newer properties by folded name
    std::vector<std::uint32_t> olderItemInNewer;
    std::vector<std::uint32_t> continuation;        // per older group: its newer group, or NoGroup
    PerProperty<std::optional<PropertyAt>> kept;    // per older property: the newer one that continues it
    PerProperty<bool> claimed;                      // per newer property: whether it continues an older one
    PerProperty<bool> decided;                      // per older property: whether an entry or choice names it
    PerProperty<std::string> newerFolded;           // per newer property: its name folded (NameFolding.hpp)
    std::vector<PropertyChoice> choices;
    Proposal proposal;
};

}  // namespace

bool IsOwnedGroup(std::string_view name)
{
    return name.find("SGPset_") != std::string_view::npos;
}

bool IsStandardSet(std::string_view name)
{
    return name.substr(0, 5) == "Pset_";
}

Proposal ProposeRenames(const Edition& older, const Edition& newer)
{
    return Proposer(older, newer).Propose();
}

}  // namespace RenameProposal
