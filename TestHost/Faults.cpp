#include "Faults.hpp"

#include <charconv>

namespace TestHost {

namespace {

struct NamedService {
    const char* name;
    UInt32 index;
};

constexpr NamedService Services[] = {
#define QM_NAMED_SERVICE(shape, name, entry, params, args) {#name, entry},
    QM_HOST_SERVICES(QM_NAMED_SERVICE)
#undef QM_NAMED_SERVICE
};

// Reads an unsigned number, decimal or with a 0x prefix, over the whole text.
bool ParseUnsigned(std::string_view text, UInt64& value)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::optional<UInt32> FindServiceIndex(std::string_view name)
{
    for (const NamedService& service : Services)
        if (name == service.name)
            return service.index;
    return std::nullopt;
}

const char* ServiceName(UInt32 index)
{
    for (const NamedService& service : Services)
        if (service.index == index)
            return service.name;
    return nullptr;
}

bool ParseFault(std::string_view text, InjectedFault& fault, std::string& error)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        error = "\"" + std::string(text) + "\": expected SERVICE=CODE or SERVICE@N=CODE";
        return false;
    }
    std::string_view service = text.substr(0, equals);
    std::string_view codeText = text.substr(equals + 1);

    InjectedFault parsed;
    if (const std::size_t at = service.find('@'); at != std::string_view::npos) {
        UInt64 nth = 0;
        const std::string_view nthText = service.substr(at + 1);
        if (!ParseUnsigned(nthText, nth) || nth == 0 || nth > 0xFFFFFFFFu) {
            error = "\"" + std::string(text) + "\": the call number \"" + std::string(nthText) +
                    "\" is not a whole number from 1";
            return false;
        }
        parsed.nthCall = static_cast<UInt32>(nth);
        service = service.substr(0, at);
    }

    const std::optional<UInt32> index = FindServiceIndex(service);
    if (!index.has_value()) {
        error = "\"" + std::string(text) + "\": unknown service \"" + std::string(service) + "\"";
        return false;
    }
    parsed.index = *index;

    const bool negative = !codeText.empty() && codeText.front() == '-';
    UInt64 magnitude = 0;
    if (!ParseUnsigned(negative ? codeText.substr(1) : codeText, magnitude) ||
        (negative ? magnitude > 0x80000000u : magnitude > 0xFFFFFFFFu)) {
        error = "\"" + std::string(text) + "\": the code \"" + std::string(codeText) +
                "\" is not a 32-bit number (decimal or 0x hexadecimal)";
        return false;
    }
    // Codes above 0x7FFFFFFF are the usual way of writing negative ones.
    parsed.code = static_cast<GSErrCode>(static_cast<UInt32>(negative ? 0u - static_cast<UInt32>(magnitude)
                                                                      : static_cast<UInt32>(magnitude)));
    fault = parsed;
    return true;
}

void Faults::FailAlways(UInt32 index, GSErrCode code)
{
    if (index < HostServiceTableSize)
        services[index].always = code;
}

void Faults::FailNthCall(UInt32 index, UInt32 nthCall, GSErrCode code)
{
    if (index < HostServiceTableSize && nthCall > 0)
        services[index].nth[nthCall] = code;
}

void Faults::Add(const InjectedFault& fault)
{
    if (fault.nthCall == 0)
        FailAlways(fault.index, fault.code);
    else
        FailNthCall(fault.index, fault.nthCall, fault.code);
}

void Faults::SetRemoved(UInt32 index, bool removed)
{
    if (index >= HostServiceTableSize)
        return;
    services[index].removed = removed;
    if (removalListener)
        removalListener();
}

bool Faults::IsRemoved(UInt32 index) const
{
    return index < HostServiceTableSize && services[index].removed;
}

void Faults::Clear()
{
    for (ServiceFaults& service : services)
        service = ServiceFaults{};
    if (removalListener)
        removalListener();
}

std::optional<GSErrCode> Faults::OnCall(UInt32 index)
{
    if (index >= HostServiceTableSize)
        return std::nullopt;
    const UInt64 call = ++calls[index];
    if (callListener)
        callListener(index, call);
    const ServiceFaults& service = services[index];
    if (service.nth.empty())
        return service.always;
    if (const auto nth = service.nth.find(static_cast<UInt32>(call)); nth != service.nth.end() && call <= 0xFFFFFFFFu)
        return nth->second;
    return service.always;
}

UInt64 Faults::CallCount(UInt32 index) const
{
    return index < HostServiceTableSize ? calls[index] : 0;
}

void Faults::ResetCallCounts()
{
    calls.fill(0);
}

}  // namespace TestHost
