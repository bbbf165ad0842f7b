// Which saved value or expression list comes into one property, decided alike by the value restore
// (ValueRestore.cpp) and the expression import (ConfigurationImport/ExpressionPreservation.cpp):
// the run's own, saved under the property's name or an earlier one, or one the store keeps.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "Run/KeptData.hpp"

namespace Quillmere {

// A saved value or list that may come into the property, and where its fate goes; of a kept one
// also its index in the kept data and the run that kept it.
template <typename Saved>
struct Candidate {
    const Saved* saved = nullptr;
    ValueFate* fate = nullptr;
    std::size_t index = 0;
    UInt32 run = 0;
};

// What may come into one property.
template <typename Saved>
struct Candidates {
    // The run's own, saved under the property's name or else under the first of its earlier names
    // (number `ownName` of its names) that has some; written in turn, so the last one stays.
    std::vector<Candidate<Saved>> own;
    std::size_t ownName = 0;
    // The kept ones still pending under any of the property's names.
    std::vector<Candidate<Saved>> kept;

    // Takes the run's own saved under the property's name number `name` (0: its own name), unless
    // some came under a name before it: those of the names after go nowhere else through the table.
    void AddOwn(std::size_t name, const Saved& saved, ValueFate& fate)
    {
        if (own.empty() || name == ownName) {
            own.push_back(Candidate<Saved>{&saved, &fate});
            ownName = name;
        } else if (fate == ValueFate::Pending) {
            fate = ValueFate::GaveWay;
        }
    }

    // The newest kept one (of one run, the first added).
    const Candidate<Saved>& Newest() const { return *std::ranges::max_element(kept, {}, &Candidate<Saved>::run); }

    void MarkKept(ValueFate fate) const
    {
        for (const Candidate<Saved>& candidate : kept)
            if (*candidate.fate == ValueFate::Pending)
                *candidate.fate = fate;
    }

    // `write(candidate)` writes one into the property and answers its fate.
    template <typename Write>
    void WriteOwn(Write& write) const
    {
        for (const Candidate<Saved>& candidate : own)
            *candidate.fate = write(candidate);
    }
};

// Into a property of an owned group. The newest kept one comes back when the property is as the
// run that kept it left it (`match(newest)`) and the run's own was not saved under an earlier name;
// the run's own is then the state the import left, not the user's, and goes in only where the kept
// one does not. Otherwise the run's own comes back, and the kept ones stay where that run's own
// value still holds the property (Taken); they end otherwise: superseded by the run's own, or the
// user's edit stands (Changed, or AlreadyHeld when the run's own is the kept one itself).
template <typename Saved, typename Match, typename Write>
void ComeBack(const Candidates<Saved>& found, Match match, Write write)
{
    if (found.kept.empty()) {
        found.WriteOwn(write);
        return;
    }
    const Candidate<Saved>& newest = found.Newest();
    const LeftMatch left = match(newest);
    if (left == LeftMatch::AsLeft && found.ownName == 0) {
        *newest.fate = write(newest);
        found.MarkKept(ValueFate::GaveWay);
        if (*newest.fate != ValueFate::BroughtBack)
            found.WriteOwn(write);
        else
            for (const Candidate<Saved>& candidate : found.own)
                *candidate.fate = ValueFate::Superseded;
        return;
    }
    found.WriteOwn(write);
    const bool same = !found.own.empty() && SameSaved(*newest.saved, *found.own.back().saved);
    found.MarkKept(left == LeftMatch::Taken    ? ValueFate::GaveWay
                   : left == LeftMatch::AsLeft ? ValueFate::Superseded
                   : same                      ? ValueFate::AlreadyHeld
                                               : ValueFate::Changed);
}

// Into a property of a group that is not owned, which the rename table leads to: the run's own, or
// else the newest kept one, goes in only where the property holds nothing (`held` Pending);
// otherwise it takes `held` as its fate (Occupied, or NotWritten when that could not be read).
template <typename Saved, typename Write>
void ComeBackIntoOtherGroup(const Candidates<Saved>& found, ValueFate held, Write write)
{
    if (!found.own.empty()) {
        for (const Candidate<Saved>& candidate : found.own)
            *candidate.fate = held != ValueFate::Pending ? held : write(candidate);
        found.MarkKept(held != ValueFate::Pending ? held : ValueFate::Superseded);
        return;
    }
    const Candidate<Saved>& newest = found.Newest();
    *newest.fate = held != ValueFate::Pending ? held : write(newest);
    found.MarkKept(ValueFate::GaveWay);
}

}  // namespace Quillmere
