#include "Services.hpp"

#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

#include "Host.hpp"
#include "HostErrors.hpp"
#include "RecordConversion.hpp"

namespace TestHost {

// mingw's va_list carries the may_alias attribute, which a template argument drops; the types
// still compare as they should.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
#define QM_CHECK_SIGNATURE(shape, name, entry, params, args)                                \
    static_assert(std::is_same_v<decltype(&Services::name), ServiceEntry::name>,             \
                  #name " must have the signature of its table entry");
QM_HOST_SERVICES(QM_CHECK_SIGNATURE)
#undef QM_CHECK_SIGNATURE
#pragma GCC diagnostic pop

void FillServiceTable(API_ServiceEntry* table)
{
    for (UInt32 i = 0; i < HostServiceTableSize; ++i)
        table[i] = nullptr;
#define QM_FILL_ENTRY(shape, name, entry, params, args) \
    table[ServiceIndex::name] = reinterpret_cast<API_ServiceEntry>(&Services::name);
    QM_HOST_SERVICES(QM_FILL_ENTRY)
#undef QM_FILL_ENTRY
}

void ServiceClock::Reset() noexcept
{
    total = 0;
    calls.fill(0);
    nanoseconds.fill(0);
}

void ServiceClock::Add(UInt32 index, UInt64 elapsed) noexcept
{
    nanoseconds[index] += elapsed;
}

ServiceClock::Call::Call(ServiceClock& clock, UInt32 index) noexcept
    : clock(clock.enabled && index < HostServiceTableSize ? &clock : nullptr), index(index)
{
    if (this->clock == nullptr)
        return;
    ++clock.calls[index];
    Return();
}

ServiceClock::Call::~Call()
{
    Leave();
}

void ServiceClock::Call::Leave() noexcept
{
    if (clock == nullptr || !inside)
        return;
    const auto now = std::chrono::steady_clock::now();
    clock->Add(index, static_cast<UInt64>(std::chrono::duration_cast<std::chrono::nanoseconds>(now - start).count()));
    inside = false;
    if (--clock->depth == 0)
        clock->total += static_cast<UInt64>(std::chrono::duration_cast<std::chrono::nanoseconds>(now - clock->outerStart).count());
}

void ServiceClock::Call::Return() noexcept
{
    if (clock == nullptr || inside)
        return;
    start = std::chrono::steady_clock::now();
    inside = true;
    if (clock->depth++ == 0)
        clock->outerStart = start;
}

namespace {

// Finds the host behind `context` and counts the call. Gives the code to answer at once: that of
// an injected fault, or BadParameter for a context that is not the living host's.
std::optional<GSErrCode> Enter(API_HostContext* context, UInt32 index, Host*& host)
{
    host = Host::FromContext(context);
    if (host == nullptr)
        return HostError::BadParameter;
    return host->GetFaults().OnCall(index);
}

bool IsNil(const API_Guid& guid)
{
    return guid == APINULLGuid;
}

// Answers a call that breaks the contract: the debug line says which service, what it got and what
// the contract fixes.
GSErrCode BrokenContract(GSErrCode code, UInt32 index, const std::string& what)
{
    DBPrintf("Test host: %s called with %s\n", ServiceName(index), what.c_str());
    return code;
}

std::string Quoted(const GS::UniString& text)
{
    return "\"" + ToUtf8(text) + "\"";
}

// The contract's checks, each answering 0 or the code of BrokenContract.
GSErrCode CheckFilter(UInt32 index, Int32 filter)
{
    if (filter == 0)
        return NoError;
    return BrokenContract(HostError::UnexpectedFilter, index,
                          "the filter " + std::to_string(filter) + ", but the contract fixes 0");
}

GSErrCode CheckElementListing(const API_ElemType& selector, Int32 filterBits, const API_Guid& parent)
{
    constexpr UInt32 index = ServiceIndex::HostListElements;
    if (selector.typeID != 0 || selector.variationID != 0 || !IsNil(selector.classificationID))
        return BrokenContract(HostError::UnexpectedElementSelector, index,
                              "the type selector " + std::to_string(selector.typeID) + "/" +
                                  std::to_string(selector.variationID) + "/" + GuidToText(selector.classificationID) +
                                  ", but the contract fixes all 24 bytes zero");
    if (const GSErrCode error = CheckFilter(index, filterBits))
        return error;
    if (!IsNil(parent))
        return BrokenContract(HostError::UnexpectedParent, index,
                              "the parent " + GuidToText(parent) + ", but the contract fixes the nil GUID");
    return NoError;
}

GSErrCode CheckGroupRequest(const API_PropertyGroup& group)
{
    if (group.kind == API_PropertyCustomDefinitionKind && group.name.IsEmpty() && group.description.IsEmpty())
        return NoError;
    return BrokenContract(HostError::UnexpectedGroupRequest, ServiceIndex::HostReadPropertyGroup,
                          "a request of kind " + std::to_string(group.kind) + ", name " + Quoted(group.name) +
                              " and description " + Quoted(group.description) +
                              ", but the contract fixes kind 2 with empty texts");
}

GSErrCode CheckWrittenRecord(const PropertyDefinition& stored, const ElementPropertyRecord& property)
{
    constexpr UInt32 index = ServiceIndex::HostWriteElementPropertyValue;
    API_PropertyDefinition listed;
    FillDefinitionRecord(stored, listed);
    if (const char* field = FirstDifferentField(property.definition, listed))
        return BrokenContract(HostError::DefinitionNotAsListed, index,
                              "a definition whose field " + std::string(field) + " differs from the listed " +
                                  GuidToText(stored.guid) + ", but the contract fixes a full copy of the listing");
    if (property.status != 0)
        return BrokenContract(HostError::UnexpectedStatus, index,
                              "the status " + std::to_string(property.status) + ", but the contract fixes 0");
    if (property.value.typeCode != stored.valueType)
        return BrokenContract(HostError::ValueTypeMismatch, index,
                              "a value of type code " + std::to_string(property.value.typeCode) +
                                  ", but the contract fixes the definition's " + std::to_string(stored.valueType));
    if (property.isDefault)
        return BrokenContract(HostError::DefaultFlagSet, index, "the default flag set, but the contract fixes false");
    return NoError;
}

GSErrCode CheckImportOptions(UInt32 index, Int32 option1, Int32 option2, Int32 expected1, Int32 expected2)
{
    if (option1 == expected1 && option2 == expected2)
        return NoError;
    const bool two = index == ServiceIndex::HostImportClassificationXml;
    return BrokenContract(HostError::UnexpectedImportOption, index,
                          "the options " + std::to_string(option1) + (two ? ", " + std::to_string(option2) : "") +
                              ", but the contract fixes " + std::to_string(expected1) +
                              (two ? ", " + std::to_string(expected2) : ""));
}

std::string FormatReport(const std::string& format, va_list* arguments)
{
    va_list measure;
    va_copy(measure, *arguments);
    const int length = std::vsnprintf(nullptr, 0, format.c_str(), measure);
    va_end(measure);
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    va_list print;
    va_copy(print, *arguments);
    std::vsnprintf(buffer.data(), buffer.size(), format.c_str(), print);
    va_end(print);
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

// Element and definition known, and the definition applies to the element.
GSErrCode CheckElementProperty(const Project& project, const API_Guid& element, const API_Guid& definition)
{
    if (project.FindElement(element) == nullptr || project.FindDefinition(definition) == nullptr)
        return HostError::BadId;
    if (!project.AppliesTo(definition, element))
        return HostError::NotApplicable;
    return NoError;
}

void FillDefinitionList(const std::vector<const PropertyDefinition*>& source, GS::Array<API_PropertyDefinition>& target)
{
    target.Clear();
    for (const PropertyDefinition* definition : source)
        FillDefinitionRecord(*definition, target.Emplace());
}

}  // namespace

GSErrCode Services::HostAddMenu(const API_MenuRequest* request)
{
    // No context comes with this call: it serves the host that exists.
    Host* host = Host::Current();
    if (host == nullptr)
        return HostError::BadParameter;
    if (const auto fault = host->GetFaults().OnCall(ServiceIndex::HostAddMenu))
        return *fault;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostAddMenu);
    if (request == nullptr)
        return HostError::BadParameter;
    host->menuRequests.push_back(*request);
    return NoError;
}

GSErrCode Services::HostSetMenuHandler(API_HostContext* context, Int16 menuResID, APIMenuCommandProc handler)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostSetMenuHandler, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostSetMenuHandler);
    if (handler == nullptr)
        return HostError::BadParameter;
    host->menuHandlers[menuResID] = handler;
    return NoError;
}

GSErrCode Services::HostGetProjectInfo(API_HostContext* context, API_ProjectInfo* info)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostGetProjectInfo, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostGetProjectInfo);
    if (info == nullptr)
        return HostError::BadParameter;
    info->untitled = host->projectLocation.empty();
    info->location = GS::UniString(host->projectLocation.c_str());
    return NoError;
}

GSErrCode Services::HostReportMessage(API_HostContext* context, const GS::UniString* text, UInt8 flag,
                                      va_list* arguments)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostReportMessage, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostReportMessage);
    if (text == nullptr || (flag != 0 && arguments == nullptr))
        return HostError::BadParameter;
    const std::string line = ToUtf8(*text);
    host->reportLines.push_back(Host::ReportLine{flag, flag == 0 ? line : FormatReport(line, arguments)});
    host->Notify().ReportLineAdded(host->reportLines.back());
    return NoError;
}

GSErrCode Services::HostRunUndoableCommand(API_HostContext* context, const GS::UniString* name,
                                           const API_CommandCallable* callable)
{
    // The listener hears of every command asked for, also of one refused before it runs.
    Host* host = Host::FromContext(context);
    const std::string commandName = name != nullptr ? ToUtf8(*name) : std::string();
    if (host != nullptr)
        host->Notify().CommandStarting(commandName);
    const auto finish = [host, &commandName](GSErrCode result) {
        if (host != nullptr)
            host->Notify().CommandFinished(commandName, result);
        return result;
    };
    if (const auto early = Enter(context, ServiceIndex::HostRunUndoableCommand, host))
        return finish(*early);
    ServiceClock::Call timed(host->clock, ServiceIndex::HostRunUndoableCommand);
    if (name == nullptr || callable == nullptr || callable->invoke == nullptr)
        return finish(HostError::BadParameter);
    const std::size_t run = host->commands.size();
    host->commands.push_back(Host::CommandRun{commandName, NoError, host->history.IsStepOpen()});
    host->history.OpenStep(host->commands[run].name);
    GSErrCode result = NoError;
    try {
        // The callable is module code: its time is not the host's.
        timed.Leave();
        result = callable->invoke(callable->state);
        timed.Return();
    } catch (...) {
        host->history.CloseStep(false);
        throw;
    }
    // What a failed command did is taken back, as the host discards a failed undo step.
    host->history.CloseStep(result == NoError);
    host->commands[run].result = result;
    return finish(result);
}

GSErrCode Services::HostListElements(API_HostContext* context, const API_ElemType* selector,
                                     GS::Array<API_Guid>* elements, Int32 filterBits, const API_Guid* parent)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostListElements, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostListElements);
    if (selector == nullptr || elements == nullptr || parent == nullptr)
        return HostError::BadParameter;
    if (host->contractChecks)
        if (const GSErrCode error = CheckElementListing(*selector, filterBits, *parent))
            return error;
    elements->Clear();
    for (const Element& element : host->project.Elements())
        elements->Push(element.guid);
    return NoError;
}

GSErrCode Services::HostListElementPropertyDefinitions(API_HostContext* context, const API_Guid* element,
                                                       Int32 filter, GS::Array<API_PropertyDefinition>* definitions)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostListElementPropertyDefinitions, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostListElementPropertyDefinitions);
    if (element == nullptr || definitions == nullptr)
        return HostError::BadParameter;
    if (host->contractChecks)
        if (const GSErrCode error = CheckFilter(ServiceIndex::HostListElementPropertyDefinitions, filter))
            return error;
    const Element* found = host->project.FindElement(*element);
    if (found == nullptr)
        return HostError::BadId;
    if (IsNil(found->classification))
        definitions->Clear();
    else
        FillDefinitionList(host->project.DefinitionsForItem(found->classification), *definitions);
    return NoError;
}

GSErrCode Services::HostReadElementPropertyValue(API_HostContext* context, const API_Guid* element,
                                                 const API_Guid* definition, ElementPropertyRecord* property)
{
    Host* listening = Host::FromContext(context);
    if (listening != nullptr && element != nullptr && definition != nullptr)
        listening->Notify().ElementValueAsked(*element, *definition);
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostReadElementPropertyValue, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostReadElementPropertyValue);
    if (element == nullptr || definition == nullptr || property == nullptr)
        return HostError::BadParameter;
    if (const GSErrCode error = CheckElementProperty(host->project, *element, *definition))
        return error;
    const PropertyDefinition& stored = *host->project.FindDefinition(*definition);
    const Value* own = host->project.FindElementValue(*element, *definition);
    FillDefinitionRecord(stored, property->definition);
    property->status = API_VariantStatusNormal;
    FillValueRecord(own != nullptr ? *own : stored.defaultValue, stored.valueType, property->value);
    property->isDefault = own == nullptr;
    return NoError;
}

GSErrCode Services::HostWriteElementPropertyValue(API_HostContext* context, const API_Guid* element,
                                                  const ElementPropertyRecord* property)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostWriteElementPropertyValue, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostWriteElementPropertyValue);
    if (element == nullptr || property == nullptr)
        return HostError::BadParameter;
    const API_Guid& definition = property->definition.guid;
    if (const GSErrCode error = CheckElementProperty(host->project, *element, definition))
        return error;
    const PropertyDefinition& stored = *host->project.FindDefinition(definition);
    if (host->contractChecks)
        if (const GSErrCode error = CheckWrittenRecord(stored, *property))
            return error;
    if (property->isDefault)
        return host->project.ResetElementValue(*element, definition);
    return host->project.SetElementValue(*element, definition, ValueFromRecord(property->value, stored.valueType));
}

GSErrCode Services::HostListPropertyGroups(API_HostContext* context, GS::Array<API_PropertyGroup>* groups)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostListPropertyGroups, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostListPropertyGroups);
    if (groups == nullptr)
        return HostError::BadParameter;
    groups->Clear();
    for (const PropertyGroup& group : host->project.Groups())
        FillGroupRecord(group, groups->Emplace());
    return NoError;
}

GSErrCode Services::HostListPropertyDefinitions(API_HostContext* context, const API_Guid* group,
                                                GS::Array<API_PropertyDefinition>* definitions)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostListPropertyDefinitions, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostListPropertyDefinitions);
    if (group == nullptr || definitions == nullptr)
        return HostError::BadParameter;
    if (IsNil(*group)) {
        definitions->Clear();
        for (const PropertyDefinition& definition : host->project.Definitions())
            FillDefinitionRecord(definition, definitions->Emplace());
        return NoError;
    }
    if (host->project.FindGroup(*group) == nullptr)
        return HostError::BadId;
    FillDefinitionList(host->project.DefinitionsOfGroup(*group), *definitions);
    return NoError;
}

GSErrCode Services::HostReadPropertyGroup(API_HostContext* context, API_PropertyGroup* group)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostReadPropertyGroup, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostReadPropertyGroup);
    if (group == nullptr)
        return HostError::BadParameter;
    if (host->contractChecks)
        if (const GSErrCode error = CheckGroupRequest(*group))
            return error;
    const PropertyGroup* found = host->project.FindGroup(group->guid);
    if (found == nullptr)
        return HostError::BadId;
    FillGroupRecord(*found, *group);
    return NoError;
}

GSErrCode Services::HostUpdatePropertyDefinition(API_HostContext* context, const API_PropertyDefinition* definition)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostUpdatePropertyDefinition, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostUpdatePropertyDefinition);
    if (definition == nullptr)
        return HostError::BadParameter;
    const GSErrCode result = host->project.UpdateDefinition(DefinitionFromRecord(*definition));
    if (result == NoError)
        host->Notify().DefinitionUpdated(definition->guid);
    return result;
}

GSErrCode Services::HostRemovePropertyGroup(API_HostContext* context, const API_Guid* group)
{
    if (Host* listening = Host::FromContext(context); listening != nullptr && group != nullptr)
        listening->Notify().GroupRemovalAsked(*group);
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostRemovePropertyGroup, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostRemovePropertyGroup);
    if (group == nullptr)
        return HostError::BadParameter;
    return host->project.RemoveGroup(*group);
}

GSErrCode Services::HostImportPropertyXml(API_HostContext* context, const GS::UniString* text, Int32 option)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostImportPropertyXml, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostImportPropertyXml);
    if (text == nullptr)
        return HostError::BadParameter;
    if (host->contractChecks)
        if (const GSErrCode error = CheckImportOptions(ServiceIndex::HostImportPropertyXml, option, 0, 1, 0))
            return error;
    host->lastImport = ImportPropertyXml(host->project, ToUtf8(*text));
    return host->lastImport.code;
}

GSErrCode Services::HostImportClassificationXml(API_HostContext* context, const GS::UniString* text,
                                                Int32 option1, Int32 option2)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostImportClassificationXml, host))
        return *early;
    ServiceClock::Call timed(host->clock, ServiceIndex::HostImportClassificationXml);
    if (text == nullptr)
        return HostError::BadParameter;
    if (host->contractChecks)
        if (const GSErrCode error = CheckImportOptions(ServiceIndex::HostImportClassificationXml, option1, option2, 0, 0))
            return error;
    host->lastImport = ImportClassificationXml(host->project, ToUtf8(*text));
    return host->lastImport.code;
}

}  // namespace TestHost
