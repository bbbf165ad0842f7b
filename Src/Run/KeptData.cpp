#include "KeptData.hpp"

#include "Common/ExactText.hpp"

namespace Quillmere {

std::string StateKey(std::string_view group, std::string_view property)
{
    return std::string(group).append(1, '\0').append(property);
}

LeftMatch MatchLeft(const std::optional<PropertyStates>& left, const PropertyStates* found, const std::string& key)
{
    const PropertyState* now = nullptr;
    if (found != nullptr)
        if (const auto at = found->find(key); at != found->end())
            now = &at->second;
    if (!left)
        return now == nullptr || !now->value ? LeftMatch::AsLeft : LeftMatch::Changed;
    const auto then = left->find(key);
    if (then == left->end())
        return now == nullptr ? LeftMatch::AsLeft : LeftMatch::Changed;
    if (now == nullptr || now->value != then->second.value)
        return LeftMatch::Changed;
    return then->second.written ? LeftMatch::Taken : LeftMatch::AsLeft;
}

namespace {

const std::optional<PropertyStates> Unknown;

}  // namespace

const std::optional<PropertyStates>& KeptData::LeftFor(const API_Guid& element, std::size_t index) const
{
    const auto at = records[index].earlierVersion ? left.end() : left.find(element);
    return at != left.end() ? at->second : Unknown;
}

const std::optional<PropertyStates>& KeptData::ListLeftFor(std::size_t index) const
{
    return lists[index].record.earlierVersion ? Unknown : listsLeft;
}

void AppendField(std::string& packed, std::string_view field)
{
    packed.append(std::to_string(field.size())).append(1, ':').append(field);
}

std::optional<std::string> ExpressionListState(bool flag, const ExpressionList& list)
{
    if (!flag)
        return std::nullopt;
    std::string state;
    for (const GS::UniString& expression : list)
        AppendField(state, ExactUtf8(expression));
    return state;
}

}  // namespace Quillmere
