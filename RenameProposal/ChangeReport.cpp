#include "ChangeReport.hpp"

namespace RenameProposal {

namespace {

std::size_t PropertyCount(const Edition& edition)
{
    std::size_t count = 0;
    for (const EditionGroup& group : edition.groups)
        count += group.properties.size();
    return count;
}

class ReportWriter {
public:
    ReportWriter(const Proposal& proposal, const EditionPair& editions) : proposal(proposal), editions(editions) {}

    std::string Write()
    {
        text = "Changes from " + EditionTitle(editions.olderFile, editions.older) + " to " +
               EditionTitle(editions.newerFile, editions.newer) + "\n\n";
        WriteCounts();
        WriteGroups();
        WriteProperties();
        const std::size_t choices = proposal.groupChoices.size() + proposal.propertyChoices.size();
        text += "\nRename table: " + Counted(proposal.groupEntries.size(), "group entry", "group entries") + ", " +
                Counted(proposal.propertyEntries.size(), "property entry", "property entries") + "; " +
                Counted(choices, "name", "names") + " to choose for in its comments\n";
        return std::move(text);
    }

private:
    std::size_t Moved() const
    {
        std::size_t moved = 0;
        for (const PropertyEntry& entry : proposal.propertyEntries)
            moved += entry.moved ? 1 : 0;
        return moved;
    }

    void WriteCounts()
    {
        text += "Groups: " + std::to_string(editions.older.groups.size()) + " before, " +
                std::to_string(editions.newer.groups.size()) + " after; " +
                std::to_string(proposal.groupsAdded.size()) + " added, " +
                std::to_string(proposal.groupsRemoved.size()) + " removed, " +
                std::to_string(proposal.groupEntries.size()) + " renamed, " +
                std::to_string(proposal.groupChoices.size()) + " to choose\n";
        text += "Properties: " + std::to_string(PropertyCount(editions.older)) + " before, " +
                std::to_string(PropertyCount(editions.newer)) + " after; " +
                std::to_string(proposal.propertiesAdded.size()) + " added, " +
                std::to_string(proposal.propertiesRemoved.size()) + " removed, " +
                std::to_string(proposal.retyped.size()) + " retyped, " + std::to_string(Moved()) + " moved, " +
                std::to_string(proposal.propertyEntries.size() - Moved()) + " renamed, " +
                std::to_string(proposal.propertyChoices.size()) + " to choose\n";
    }

    void Section(const char* title, const std::vector<std::string>& lines)
    {
        if (lines.empty())
            return;
        text += "\n" + std::string(title) + " (" + std::to_string(lines.size()) + ")\n";
        for (const std::string& line : lines)
            text += "  " + line + "\n";
    }

    void WriteGroups()
    {
        std::vector<std::string> renamed, choices, added, removed;
        for (const GroupEntry& entry : proposal.groupEntries)
            renamed.push_back(editions.older.groups[entry.older].name + " -> " + editions.newer.groups[entry.newer].name +
                              ": " + std::to_string(entry.carried) + " of " +
                              std::to_string(editions.older.groups[entry.older].properties.size()) + " property names");
        for (const GroupChoice& choice : proposal.groupChoices) {
            std::string line = editions.older.groups[choice.older].name + " -> ";
            for (std::size_t index = 0; index < choice.candidates.size(); ++index)
                line += (index == 0 ? "" : " or ") + editions.newer.groups[choice.candidates[index].newer].name;
            choices.push_back(line);
        }
        for (const std::uint32_t group : proposal.groupsAdded)
            added.push_back(GroupLine(editions.newer.groups[group]));
        for (const std::uint32_t group : proposal.groupsRemoved)
            removed.push_back(GroupLine(editions.older.groups[group]));
        Section("Groups renamed", renamed);
        Section("Groups to choose for", choices);
        Section("Groups added", added);
        Section("Groups removed", removed);
    }

    static std::string GroupLine(const EditionGroup& group)
    {
        return group.name + ": " + Counted(group.properties.size(), "property", "properties");
    }

    void WriteProperties()
    {
        std::vector<std::string> renamed, moved, retyped;
        for (const PropertyEntry& entry : proposal.propertyEntries)
            (entry.moved ? moved : renamed).push_back(EntryLine(entry.older, entry.newer));
        for (const Retype& retype : proposal.retyped)
            retyped.push_back(PropertyPath(editions.older, retype.older) + ": " +
                              ConversionText(Older(retype.older), Newer(retype.newer), "; "));
        Section("Properties renamed", renamed);
        Section("Properties moved", moved);
        Section("Properties retyped", retyped);
        Section("Properties to choose for", ChoiceLines());
        std::vector<std::string> removed, added;
        for (const PropertyAt at : proposal.propertiesRemoved)
            removed.push_back(PropertyPath(editions.older, at) + ": " + TypeText(Older(at)));
        for (const AddedProperty& property : proposal.propertiesAdded)
            added.push_back(AddedLine(property));
        Section("Properties removed", removed);
        Section("Properties added", added);
    }

    std::string EntryLine(PropertyAt older, PropertyAt newer) const
    {
        return PropertyPath(editions.older, older) + " -> " + PropertyPath(editions.newer, newer) + ": " +
               ConversionText(Older(older), Newer(newer), "; ");
    }

    std::vector<std::string> ChoiceLines() const
    {
        std::vector<std::string> lines;
        for (const PropertyChoice& choice : proposal.propertyChoices) {
            std::string line = PropertyPath(editions.older, choice.older) + " -> ";
            for (std::size_t index = 0; index < choice.candidates.size(); ++index)
                line += (index == 0 ? "" : " or ") + PropertyPath(editions.newer, choice.candidates[index].newer);
            lines.push_back(line + ": " + ReasonText(choice.reason));
        }
        return lines;
    }

    static const char* ReasonText(PropertyChoice::Reason reason)
    {
        switch (reason) {
            case PropertyChoice::Reason::SeveralPlaces: return "more than one place";
            case PropertyChoice::Reason::ContinuedTarget: return "continues a property of its own name";
            case PropertyChoice::Reason::SharedTarget: return "other names could go there too";
            case PropertyChoice::Reason::SimilarName: break;
        }
        return "a name that starts alike";
    }

    std::string AddedLine(const AddedProperty& added) const
    {
        std::string line = PropertyPath(editions.newer, added.newer) + ": " + TypeText(Newer(added.newer));
        if (added.otherSpelling)
            line += ", another spelling of " +
                    editions.newer.groups[added.newer.group].properties[*added.otherSpelling].name + ", which stays";
        return line;
    }

    const EditionProperty& Older(PropertyAt at) const { return editions.older.groups[at.group].properties[at.property]; }
    const EditionProperty& Newer(PropertyAt at) const { return editions.newer.groups[at.group].properties[at.property]; }

    const Proposal& proposal;
    const EditionPair& editions;
    std::string text;
};

}  // namespace

std::string ChangeReportText(const Proposal& proposal, const EditionPair& editions)
{
    return ReportWriter(proposal, editions).Write();
}

}  // namespace RenameProposal
