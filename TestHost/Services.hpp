// The test host's 16 services, each with exactly the signature of its table entry. The context is
// the Host (Host::Context()); HostAddMenu, which gets none, works on Host::Current(). Every service
// first counts the call and answers an injected fault's code without doing anything else; a null
// pointer argument gives HostError::BadParameter. Then it checks the arguments that the host's
// contract fixes for the module's calls (import options, the element selector, filters, the parent,
// the group request, the written property record): a call that breaks it is answered with one of
// HostError's contract codes and a debug line (DBPrintf, so Host::DebugLines() holds it), and does
// nothing else. Host::SetContractChecks(false) lets a test use a service beyond that contract.
#pragma once

#include <array>
#include <chrono>

#include "Api/HostServices.hpp"

namespace TestHost {

// Time spent inside each service and the number of calls timed, for benchmarks. Off by default:
// a service then only tests one flag. A service's time excludes the module code it calls back
// (the callable of HostRunUndoableCommand) but includes the services that code calls, which are
// timed under their own entries as well; TotalNanoseconds() counts every moment once.
class ServiceClock {
public:
    void Enable(bool enabled) noexcept { this->enabled = enabled; }
    bool IsEnabled() const noexcept { return enabled; }
    // Forgets the times and counts (not whether the clock is on).
    void Reset() noexcept;

    UInt64 Calls(UInt32 index) const noexcept { return index < HostServiceTableSize ? calls[index] : 0; }
    UInt64 Nanoseconds(UInt32 index) const noexcept { return index < HostServiceTableSize ? nanoseconds[index] : 0; }
    // Time inside any service, nested calls counted once.
    UInt64 TotalNanoseconds() const noexcept { return total; }

    // Times one service call from construction to destruction, apart from the spans between
    // Leave() and Return() (module code run by the service); does nothing when the clock is off.
    class Call {
    public:
        Call(ServiceClock& clock, UInt32 index) noexcept;
        ~Call();
        Call(const Call&) = delete;
        Call& operator=(const Call&) = delete;
        void Leave() noexcept;
        void Return() noexcept;

    private:
        ServiceClock* clock;
        UInt32 index;
        std::chrono::steady_clock::time_point start;
        bool inside = false;
    };

private:
    void Add(UInt32 index, UInt64 elapsed) noexcept;

    bool enabled = false;
    // Calls now inside a service (not counting those that left for module code).
    UInt32 depth = 0;
    std::chrono::steady_clock::time_point outerStart;
    UInt64 total = 0;
    std::array<UInt64, HostServiceTableSize> calls{};
    std::array<UInt64, HostServiceTableSize> nanoseconds{};
};

struct Services {
    // Keeps a copy of the 32-byte request record; returns 0.
    static GSErrCode HostAddMenu(const API_MenuRequest* request);
    // Installs `handler` for the menu (replacing an earlier one); returns 0.
    static GSErrCode HostSetMenuHandler(API_HostContext* context, Int16 menuResID, APIMenuCommandProc handler);
    // Whether the project has a file and its path (Host::SetProjectLocation). Returns 0.
    static GSErrCode HostGetProjectInfo(API_HostContext* context, API_ProjectInfo* info);
    // Adds a report line: with flag 0 the text as it stands, with any other flag the text used as a
    // printf format over *arguments. Returns 0.
    static GSErrCode HostReportMessage(API_HostContext* context, const GS::UniString* text, UInt8 flag,
                                       va_list* arguments);
    // Runs the callable once as an undoable step named `name` (inside the open step when nested) and
    // returns its code. A command whose callable returns non-zero is rolled back and leaves no step.
    static GSErrCode HostRunUndoableCommand(API_HostContext* context, const GS::UniString* name,
                                            const API_CommandCallable* callable);
    // All element GUIDs in host order. The contract fixes an all-zero selector, filter 0 and the
    // nil parent.
    static GSErrCode HostListElements(API_HostContext* context, const API_ElemType* selector,
                                      GS::Array<API_Guid>* elements, Int32 filterBits, const API_Guid* parent);
    // The definitions that apply to the element's classification item, in host order; the contract
    // fixes filter 0. HostError::BadId for an unknown element.
    static GSErrCode HostListElementPropertyDefinitions(API_HostContext* context, const API_Guid* element,
                                                        Int32 filter, GS::Array<API_PropertyDefinition>* definitions);
    // The element's value for the definition: its own (isDefault false) or the definition's default
    // (isDefault true), status 2 either way. BadId for an unknown element or definition,
    // NotApplicable when the definition does not apply to the element.
    static GSErrCode HostReadElementPropertyValue(API_HostContext* context, const API_Guid* element,
                                                  const API_Guid* definition, ElementPropertyRecord* property);
    // Sets the element's value of property->definition.guid from the field of property->value that
    // the stored definition's value type names. Errors as for reading. The contract fixes the rest of
    // the record: its definition as the host lists it now (every field), status 0, the value's type
    // code the definition's, and the default flag false. Beyond the contract (checks off), a record
    // with the default flag true resets the value to the default.
    static GSErrCode HostWriteElementPropertyValue(API_HostContext* context, const API_Guid* element,
                                                   const ElementPropertyRecord* property);
    static GSErrCode HostListPropertyGroups(API_HostContext* context, GS::Array<API_PropertyGroup>* groups);
    // Nil group: the definitions of all groups; otherwise that group's. BadId for an unknown group.
    static GSErrCode HostListPropertyDefinitions(API_HostContext* context, const API_Guid* group,
                                                 GS::Array<API_PropertyDefinition>* definitions);
    // Fills kind, name and description of the group with group->guid; BadId leaves the record as it
    // was. The contract fixes the request: kind 2, empty name and description.
    static GSErrCode HostReadPropertyGroup(API_HostContext* context, API_PropertyGroup* group);
    // The stored definition with definition->guid takes the record's content (not its group). BadId
    // for an unknown definition, BadParameter for bad codes or unknown availability items.
    static GSErrCode HostUpdatePropertyDefinition(API_HostContext* context, const API_PropertyDefinition* definition);
    // Removes the group, its definitions and the values elements hold for them; BadId if unknown.
    static GSErrCode HostRemovePropertyGroup(API_HostContext* context, const API_Guid* group);
    // Imports the property groups of the configuration text; the contract fixes the option 1.
    static GSErrCode HostImportPropertyXml(API_HostContext* context, const GS::UniString* text, Int32 option);
    // Imports the classification systems of the configuration text; the contract fixes the options 0, 0.
    static GSErrCode HostImportClassificationXml(API_HostContext* context, const GS::UniString* text, Int32 option1,
                                                 Int32 option2);
};

// Writes every service's address into its entry of `table` (648 entries) and zeroes the others.
void FillServiceTable(API_ServiceEntry* table);

}  // namespace TestHost
