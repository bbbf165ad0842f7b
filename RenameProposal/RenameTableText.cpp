#include "RenameTableText.hpp"

#include "XmlText.hpp"

namespace RenameProposal {

namespace {

constexpr std::size_t LineWidth = 100;
constexpr const char* Indent = "  ";

class TableWriter {
public:
    TableWriter(const Proposal& proposal, const EditionPair& editions) : proposal(proposal), editions(editions) {}

    std::string Write()
    {
        text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
        Comment(HeaderText(), "");
        text += "<renames>\n";
        for (const GroupEntry& entry : proposal.groupEntries)
            WriteGroupEntry(entry);
        for (const GroupChoice& choice : proposal.groupChoices)
            WriteGroupChoice(choice);
        WritePropertyItems();
        text += "</renames>\n";
        return std::move(text);
    }

private:
    std::string HeaderText() const
    {
        const std::size_t choices = proposal.groupChoices.size() + proposal.propertyChoices.size();
        return "Rename table proposed by quillmere-renames for the upgrade from " +
               EditionTitle(editions.olderFile, editions.older) + " to " + EditionTitle(editions.newerFile, editions.newer) +
               ": " + Counted(proposal.groupEntries.size(), "group entry", "group entries") + ", " +
               Counted(proposal.propertyEntries.size(), "property entry", "property entries") + ", " +
               Counted(choices, "name", "names") +
               " to choose for. Review it before the import reads it (docs/upgrading.md): each entry says why "
               "it is proposed; where a name could go to more than one place, or the rules are not sure, the "
               "entries are comments, and taking one out of its comment makes the choice.";
    }

    // Entries and choices of properties, merged in the older edition's order.
    void WritePropertyItems()
    {
        const auto position = [](PropertyAt at) { return std::pair(at.group, at.property); };
        std::size_t choice = 0;
        for (const PropertyEntry& entry : proposal.propertyEntries) {
            while (choice < proposal.propertyChoices.size() &&
                   position(proposal.propertyChoices[choice].older) < position(entry.older))
                WritePropertyChoice(proposal.propertyChoices[choice++]);
            WritePropertyEntry(entry);
        }
        while (choice < proposal.propertyChoices.size())
            WritePropertyChoice(proposal.propertyChoices[choice++]);
    }

    void WriteGroupEntry(const GroupEntry& entry)
    {
        Separate();
        Comment(GroupEntryText(entry), Indent);
        text += std::string(Indent) + GroupElement(entry) + "\n";
    }

    std::string GroupEntryText(const GroupEntry& entry) const
    {
        const EditionGroup& gone = editions.older.groups[entry.older];
        const EditionGroup& target = editions.newer.groups[entry.newer];
        std::string why = gone.name + " is gone, and " + target.name + " has " + std::to_string(entry.carried) +
                          " of its " + std::to_string(gone.properties.size()) +
                          " property names, new to it: the group was renamed.";
        for (const EditionProperty& property : gone.properties)
            for (const EditionProperty& kept : target.properties)
                if (kept.name == property.name && (kept.valueType != property.valueType || kept.measure != property.measure))
                    why += " \"" + property.name + "\": " + ConversionText(property, kept) + ".";
        return why + TargetKindText(target.name);
    }

    void WriteGroupChoice(const GroupChoice& choice)
    {
        const EditionGroup& gone = editions.older.groups[choice.older];
        Separate();
        Comment("Choose one or none: " + gone.name + " is gone, and more than half of its " +
                    Counted(gone.properties.size(), "property name", "property names") +
                    " are new to each of these groups; a group is renamed to one group only.",
                Indent);
        for (const GroupEntry& candidate : choice.candidates) {
            Comment(editions.newer.groups[candidate.newer].name + " has " + std::to_string(candidate.carried) + " of them.",
                    Indent);
            CommentedEntry(GroupElement(candidate));
        }
    }

    void WritePropertyEntry(const PropertyEntry& entry)
    {
        Separate();
        Comment(GoneText(entry.older) + " " + CandidateText(entry.older, Candidate{entry.newer, entry.moved, false}),
                Indent);
        text += std::string(Indent) + PropertyElement(entry.older, entry.newer) + "\n";
    }

    void WritePropertyChoice(const PropertyChoice& choice)
    {
        Separate();
        Comment(ChoiceText(choice), Indent);
        for (const Candidate& candidate : choice.candidates) {
            if (choice.candidates.size() > 1)
                Comment(CandidateText(choice.older, candidate), Indent);
            CommentedEntry(PropertyElement(choice.older, candidate.newer));
        }
    }

    std::string ChoiceText(const PropertyChoice& choice) const
    {
        const std::string gone = GoneText(choice.older);
        switch (choice.reason) {
            case PropertyChoice::Reason::SeveralPlaces:
                return "Choose one or none: " + gone + " It could go to " + std::to_string(choice.candidates.size()) +
                       " places, and a name goes to one place only.";
            case PropertyChoice::Reason::ContinuedTarget:
                return "Take it or leave it: " + gone + " " + CandidateText(choice.older, choice.candidates.front());
            case PropertyChoice::Reason::SharedTarget: {
                std::string rivals;
                for (const PropertyAt rival : choice.rivals)
                    rivals += (rivals.empty() ? "" : ", ") + PropertyPath(editions.older, rival);
                return "Take it or leave it: " + gone + " " + CandidateText(choice.older, choice.candidates.front()) +
                       " But " + rivals + " could go there too; where an element holds values of both, the later "
                       "entry's value comes over.";
            }
            case PropertyChoice::Reason::SimilarName: break;
        }
        return "Perhaps: " + gone + " Its group gained a property of the same type whose name starts alike; no rule "
               "links the two names, so take the entry only where it is the same property. " + SimilarText(choice);
    }

    std::string SimilarText(const PropertyChoice& choice) const
    {
        std::string names;
        for (const Candidate& candidate : choice.candidates)
            names += (names.empty() ? "" : ", ") + ("\"" + NewerProperty(candidate.newer).name + "\"");
        return "New: " + names + "; " + ConversionText(OlderProperty(choice.older), NewerProperty(choice.candidates.front().newer)) + ".";
    }

    // Where the older property is gone from.
    std::string GoneText(PropertyAt at) const
    {
        const std::string& group = editions.older.groups[at.group].name;
        const std::string name = "\"" + OlderProperty(at).name + "\"";
        const std::optional<std::uint32_t> continuation = ContinuationOf(proposal, at.group);
        if (!continuation)
            return name + " is gone with its group " + group + ".";
        const std::string& now = editions.newer.groups[*continuation].name;
        if (now == group)
            return name + " is gone from " + group + ".";
        return name + " of " + group + " is not in " + now + ", which the group entry gives " + group + "'s properties to.";
    }

    std::string CandidateText(PropertyAt older, const Candidate& candidate) const
    {
        const EditionProperty& target = NewerProperty(candidate.newer);
        const std::string& group = editions.newer.groups[candidate.newer.group].name;
        std::string text = candidate.moved
                               ? "Moved to " + group + " / \"" + target.name + "\"; both apply to " +
                                     ItemsText(editions.newer, SharedItems(editions, older, candidate.newer)) + "."
                               : "Renamed to \"" + target.name + "\" in " + group +
                                     ", the same name but for accents, letter case, blanks, \"-\" and \"_\".";
        if (candidate.continuesOlder)
            text += " That property continues the older edition's property of its own name, whose values come first.";
        return text + TargetKindText(group) + " " + ConversionText(OlderProperty(older), target) + ".";
    }

    static std::string TargetKindText(const std::string& group)
    {
        return IsOwnedGroup(group) ? std::string()
                                   : " " + group + " is a standard set: a value goes only to an element that holds "
                                                   "none of that property.";
    }

    std::string GroupElement(const GroupEntry& entry) const
    {
        return "<group from=\"" + AttributeText(editions.older.groups[entry.older].name) + "\" to=\"" +
               AttributeText(editions.newer.groups[entry.newer].name) + "\"/>";
    }

    std::string PropertyElement(PropertyAt older, PropertyAt newer) const
    {
        const std::string& group = editions.older.groups[older.group].name;
        const std::string& toGroup = editions.newer.groups[newer.group].name;
        return "<property group=\"" + AttributeText(group) + "\" from=\"" + AttributeText(OlderProperty(older).name) + "\"" +
               (toGroup == group ? std::string() : " toGroup=\"" + AttributeText(toGroup) + "\"") + " to=\"" +
               AttributeText(NewerProperty(newer).name) + "\"/>";
    }

    // "<!-- PROSE -->", its words wrapped at LineWidth, continued lines under the first word.
    void Comment(const std::string& prose, const std::string& indent)
    {
        const std::string safe = CommentText(prose);
        std::string line = indent + "<!--";
        const std::size_t continued = line.size() + 1;
        for (std::size_t at = 0; at < safe.size();) {
            const std::size_t end = std::min(safe.find(' ', at), safe.size());
            const std::string word = safe.substr(at, end - at);
            if (line.size() > continued && line.size() + 1 + word.size() > LineWidth) {
                text += line + "\n";
                line = std::string(continued - 1, ' ');
            }
            line += " " + word;
            at = end + 1;
        }
        text += line + " -->\n";
    }

    // A blank line between one entry or choice and the one before it.
    void Separate()
    {
        if (written > 0)
            text += "\n";
        ++written;
    }

    void CommentedEntry(const std::string& element) { text += std::string(Indent) + "<!-- " + CommentText(element) + " -->\n"; }

    const EditionProperty& OlderProperty(PropertyAt at) const { return editions.older.groups[at.group].properties[at.property]; }
    const EditionProperty& NewerProperty(PropertyAt at) const { return editions.newer.groups[at.group].properties[at.property]; }

    const Proposal& proposal;
    const EditionPair& editions;
    std::string text;
    std::size_t written = 0;  // entries and choices
};

}  // namespace

std::string RenameTableText(const Proposal& proposal, const EditionPair& editions)
{
    return TableWriter(proposal, editions).Write();
}

}  // namespace RenameProposal
