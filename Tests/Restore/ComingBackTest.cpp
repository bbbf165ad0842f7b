// The shared decision of which saved value or list comes into one property (Restore/ComingBack.hpp),
// on lists that a stand-in write takes or refuses: what is written, in which order, and each fate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Restore/ComingBack.hpp"

using namespace Quillmere;

namespace {

ExpressionList List(const char* expression)
{
    ExpressionList list;
    list.Push(GS::UniString(expression));
    return list;
}

// Saved lists and their fates, laid out as a run and the store would hold them.
struct Saved {
    ExpressionList a = List("a"), b = List("b"), c = List("c");
    ValueFate ownFate = ValueFate::Pending, laterFate = ValueFate::Pending;
    ValueFate olderFate = ValueFate::Pending, newerFate = ValueFate::Pending;
    std::vector<const ExpressionList*> written;  // in the order the write was asked

    // The run's own `a` under name `name`, and the kept `b` (run 3) and `c` (run 7).
    Candidates<ExpressionList> Found(std::size_t name = 0)
    {
        Candidates<ExpressionList> found;
        found.AddOwn(name, a, ownFate);
        found.kept.push_back(Candidate<ExpressionList>{&b, &olderFate, 0, 3});
        found.kept.push_back(Candidate<ExpressionList>{&c, &newerFate, 1, 7});
        return found;
    }

    // A write that `refuses` one list and takes every other.
    auto Write(const ExpressionList* refused = nullptr)
    {
        return [this, refused](const Candidate<ExpressionList>& candidate) {
            written.push_back(candidate.saved);
            return candidate.saved == refused ? ValueFate::NotWritten : ValueFate::BroughtBack;
        };
    }
};

auto Matching(LeftMatch match)
{
    return [match](const Candidate<ExpressionList>& newest) {
        EXPECT_EQ(newest.run, 7u);  // the newest kept one is asked
        return match;
    };
}

}  // namespace

TEST(ComingBack, OwnUnderTheFirstNameThatHasOneAndTheLaterNamesGiveWay)
{
    Saved saved;
    Candidates<ExpressionList> found;
    found.AddOwn(1, saved.a, saved.ownFate);
    found.AddOwn(2, saved.b, saved.laterFate);
    ASSERT_EQ(found.own.size(), 1u);
    EXPECT_EQ(found.ownName, 1u);
    EXPECT_EQ(saved.laterFate, ValueFate::GaveWay);
    ComeBack(found, Matching(LeftMatch::AsLeft), saved.Write());
    EXPECT_EQ(saved.ownFate, ValueFate::BroughtBack);
    EXPECT_EQ(saved.written, std::vector<const ExpressionList*>{&saved.a});
}

TEST(ComingBack, KeptComesBackWhereThePropertyIsAsLeft)
{
    Saved saved;
    ComeBack(saved.Found(), Matching(LeftMatch::AsLeft), saved.Write());
    EXPECT_EQ(saved.written, std::vector<const ExpressionList*>{&saved.c});
    EXPECT_EQ(saved.newerFate, ValueFate::BroughtBack);
    EXPECT_EQ(saved.olderFate, ValueFate::GaveWay);
    EXPECT_EQ(saved.ownFate, ValueFate::Superseded);
}

TEST(ComingBack, RefusedKeptStaysAndTheOwnGoesIn)
{
    Saved saved;
    ComeBack(saved.Found(), Matching(LeftMatch::AsLeft), saved.Write(&saved.c));
    EXPECT_EQ(saved.written, (std::vector<const ExpressionList*>{&saved.c, &saved.a}));
    EXPECT_EQ(saved.newerFate, ValueFate::NotWritten);
    EXPECT_EQ(saved.olderFate, ValueFate::GaveWay);
    EXPECT_EQ(saved.ownFate, ValueFate::BroughtBack);
}

TEST(ComingBack, OwnUnderAnEarlierNameOrAPropertyNotAsLeftTakesIt)
{
    const struct {
        std::size_t ownName;
        LeftMatch match;
        bool sameAsKept;
        ValueFate kept;
    } cases[] = {
        {1, LeftMatch::AsLeft, false, ValueFate::Superseded},
        {0, LeftMatch::Taken, false, ValueFate::GaveWay},
        {0, LeftMatch::Changed, false, ValueFate::Changed},
        {0, LeftMatch::Changed, true, ValueFate::AlreadyHeld},
    };
    for (const auto& c : cases) {
        Saved saved;
        if (c.sameAsKept)
            saved.a = saved.c;
        ComeBack(saved.Found(c.ownName), Matching(c.match), saved.Write());
        EXPECT_EQ(saved.written, std::vector<const ExpressionList*>{&saved.a}) << static_cast<int>(c.match);
        EXPECT_EQ(saved.ownFate, ValueFate::BroughtBack);
        EXPECT_EQ(saved.newerFate, c.kept) << static_cast<int>(c.match);
        EXPECT_EQ(saved.olderFate, c.kept) << static_cast<int>(c.match);
    }
}

TEST(ComingBack, IntoAnotherGroupOnlyWhereThePropertyHoldsNothing)
{
    Saved held;
    ComeBackIntoOtherGroup(held.Found(1), ValueFate::Occupied, held.Write());
    EXPECT_TRUE(held.written.empty());
    EXPECT_EQ(held.ownFate, ValueFate::Occupied);
    EXPECT_EQ(held.newerFate, ValueFate::Occupied);

    Saved empty;
    ComeBackIntoOtherGroup(empty.Found(1), ValueFate::Pending, empty.Write());
    EXPECT_EQ(empty.written, std::vector<const ExpressionList*>{&empty.a});
    EXPECT_EQ(empty.ownFate, ValueFate::BroughtBack);
    EXPECT_EQ(empty.newerFate, ValueFate::Superseded);

    // Without an own one, the newest kept one goes in and the others give way.
    Saved keptOnly;
    Candidates<ExpressionList> found = keptOnly.Found(1);
    found.own.clear();
    ComeBackIntoOtherGroup(found, ValueFate::Pending, keptOnly.Write());
    EXPECT_EQ(keptOnly.written, std::vector<const ExpressionList*>{&keptOnly.c});
    EXPECT_EQ(keptOnly.newerFate, ValueFate::BroughtBack);
    EXPECT_EQ(keptOnly.olderFate, ValueFate::GaveWay);
}
