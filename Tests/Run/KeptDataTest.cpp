// The still-as-left rule: a kept value or list may come back into a property only when the property
// is as the run that kept it left it; a value that run wrote there makes it wait; anything else is
// the user's change, which stands.
#include <initializer_list>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Run/KeptData.hpp"

namespace {

using namespace Quillmere;

const std::string Key = StateKey("SGPset_Wall", "FireRating");

// A property as a run left or found it.
enum class Seen {
    Absent,         // the element did not have the property
    NoValue,        // it had the property without a value
    Value,          // it held "String:REI 60"
    WrittenValue,   // it held "String:REI 60", which that run wrote (only as left)
    OtherValue,     // it held "String:REI 90"
    WrittenNoValue, // it had no value, and that run counts it written (only as left)
    Unknown,        // what the run left is not known (only as left)
};

std::optional<PropertyStates> Left(Seen seen)
{
    PropertyStates states;
    // Another property beside it, left and found alike, changes nothing.
    states[StateKey("SGPset_Wall", "Thickness")] = PropertyState{"Real:0.2", true};
    switch (seen) {
        case Seen::Unknown: return std::nullopt;
        case Seen::Absent: break;
        case Seen::NoValue: states[Key] = PropertyState{std::nullopt, false}; break;
        case Seen::Value: states[Key] = PropertyState{"String:REI 60", false}; break;
        case Seen::WrittenValue: states[Key] = PropertyState{"String:REI 60", true}; break;
        case Seen::OtherValue: states[Key] = PropertyState{"String:REI 90", false}; break;
        case Seen::WrittenNoValue: states[Key] = PropertyState{std::nullopt, true}; break;
    }
    return states;
}

PropertyStates Found(Seen seen)
{
    PropertyStates states;
    states[StateKey("SGPset_Wall", "Thickness")] = PropertyState{"Real:0.2", false};
    if (seen == Seen::NoValue)
        states[Key] = PropertyState{std::nullopt, false};
    else if (seen == Seen::Value)
        states[Key] = PropertyState{"String:REI 60", false};
    else if (seen == Seen::OtherValue)
        states[Key] = PropertyState{"String:REI 90", false};
    return states;
}

ExpressionList List(std::initializer_list<const char*> expressions)
{
    ExpressionList list;
    for (const char* expression : expressions)
        list.Push(GS::UniString(expression));
    return list;
}

const char* Name(LeftMatch match)
{
    return match == LeftMatch::AsLeft ? "AsLeft" : match == LeftMatch::Taken ? "Taken" : "Changed";
}

}  // namespace

TEST(KeptData, MatchLeftComparesWhatTheRunLeftWithWhatThisRunFound)
{
    using enum Seen;
    struct Case {
        Seen left;
        Seen found;
        LeftMatch expected;
    };
    const Case cases[] = {
        // Not known (an earlier version's value, or an element whose definitions could not be
        // listed): only a property without a value counts as left.
        {Unknown, Absent, LeftMatch::AsLeft},
        {Unknown, NoValue, LeftMatch::AsLeft},
        {Unknown, Value, LeftMatch::Changed},
        {Unknown, OtherValue, LeftMatch::Changed},
        // Absent then: only absent now is as left; the property made since is the user's.
        {Absent, Absent, LeftMatch::AsLeft},
        {Absent, NoValue, LeftMatch::Changed},
        {Absent, Value, LeftMatch::Changed},
        // Present without a value then.
        {NoValue, NoValue, LeftMatch::AsLeft},
        {NoValue, Absent, LeftMatch::Changed},
        {NoValue, Value, LeftMatch::Changed},
        // Present with a value the run did not write.
        {Value, Value, LeftMatch::AsLeft},
        {Value, Absent, LeftMatch::Changed},
        {Value, NoValue, LeftMatch::Changed},
        {Value, OtherValue, LeftMatch::Changed},
        // The run wrote a saved value into it: still that value, the kept one waits.
        {WrittenValue, Value, LeftMatch::Taken},
        {WrittenValue, Absent, LeftMatch::Changed},
        {WrittenValue, NoValue, LeftMatch::Changed},
        {WrittenValue, OtherValue, LeftMatch::Changed},
        {WrittenNoValue, NoValue, LeftMatch::Taken},
        {WrittenNoValue, Value, LeftMatch::Changed},
        // The run left another value, which the user has set back to the kept one: changed too.
        {OtherValue, Value, LeftMatch::Changed},
        {OtherValue, OtherValue, LeftMatch::AsLeft},
    };
    for (const Case& row : cases) {
        const PropertyStates found = Found(row.found);
        const LeftMatch match = MatchLeft(Left(row.left), &found, Key);
        EXPECT_EQ(match, row.expected) << "left " << static_cast<int>(row.left) << ", found "
                                       << static_cast<int>(row.found) << ": " << Name(match);
        // Nothing found at all (the backup noted nothing for the element) is the property absent.
        if (row.found == Absent) {
            EXPECT_EQ(MatchLeft(Left(row.left), nullptr, Key), row.expected) << static_cast<int>(row.left);
        }
    }
}

TEST(KeptData, StatesKeepNamesAndExpressionsApart)
{
    // A group or property name with "-" in it does not make two names one.
    EXPECT_NE(StateKey("SGPset_Wall-Fire", "Rating"), StateKey("SGPset_Wall", "Fire-Rating"));
    EXPECT_NE(StateKey("SGPset_Wall", "FireRating"), StateKey("SGPset_WallFire", "Rating"));

    // A list whose flag is off holds no list; an empty one is a list, and no two lists share a state.
    EXPECT_EQ(ExpressionListState(false, List({})), std::nullopt);
    EXPECT_EQ(ExpressionListState(false, List({"{Wall.Width}"})), std::nullopt);
    ASSERT_NE(ExpressionListState(true, List({})), std::nullopt);
    const ExpressionList lists[] = {
        List({}),
        List({""}),
        List({"", ""}),
        List({"1:a"}),
        List({"1", "a"}),
        List({"a1:b"}),
        List({"a", "b"}),
        List({"b", "a"}),
    };
    for (std::size_t a = 0; a < std::size(lists); ++a)
        for (std::size_t b = 0; b < std::size(lists); ++b)
            EXPECT_EQ(ExpressionListState(true, lists[a]) == ExpressionListState(true, lists[b]), a == b) << a << " " << b;
}
