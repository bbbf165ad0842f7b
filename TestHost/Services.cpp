#include "Services.hpp"

#include <cstdio>
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
    if (handler == nullptr)
        return HostError::BadParameter;
    host->menuHandlers[menuResID] = handler;
    return NoError;
}

GSErrCode Services::HostReportMessage(API_HostContext* context, const GS::UniString* text, UInt8 flag,
                                      va_list* arguments)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostReportMessage, host))
        return *early;
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
    if (name == nullptr || callable == nullptr || callable->invoke == nullptr)
        return finish(HostError::BadParameter);
    const std::size_t run = host->commands.size();
    host->commands.push_back(Host::CommandRun{commandName, NoError, host->history.IsStepOpen()});
    host->history.OpenStep(host->commands[run].name);
    GSErrCode result = NoError;
    try {
        result = callable->invoke(callable->state);
    } catch (...) {
        host->history.CloseStep(false);
        throw;
    }
    // What a failed command did is taken back, as the host discards a failed undo step.
    host->history.CloseStep(result == NoError);
    host->commands[run].result = result;
    return finish(result);
}

GSErrCode Services::HostListElements(API_HostContext* context, const API_ElemType* /*selector*/,
                                     GS::Array<API_Guid>* elements, Int32 /*filterBits*/, const API_Guid* /*parent*/)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostListElements, host))
        return *early;
    if (elements == nullptr)
        return HostError::BadParameter;
    elements->Clear();
    for (const Element& element : host->project.Elements())
        elements->Push(element.guid);
    return NoError;
}

GSErrCode Services::HostListElementPropertyDefinitions(API_HostContext* context, const API_Guid* element,
                                                       Int32 /*filter*/, GS::Array<API_PropertyDefinition>* definitions)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostListElementPropertyDefinitions, host))
        return *early;
    if (element == nullptr || definitions == nullptr)
        return HostError::BadParameter;
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
    if (element == nullptr || property == nullptr)
        return HostError::BadParameter;
    const API_Guid& definition = property->definition.guid;
    if (const GSErrCode error = CheckElementProperty(host->project, *element, definition))
        return error;
    if (property->isDefault)
        return host->project.ResetElementValue(*element, definition);
    const Int32 valueType = host->project.FindDefinition(definition)->valueType;
    return host->project.SetElementValue(*element, definition, ValueFromRecord(property->value, valueType));
}

GSErrCode Services::HostListPropertyGroups(API_HostContext* context, GS::Array<API_PropertyGroup>* groups)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostListPropertyGroups, host))
        return *early;
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
    if (group == nullptr)
        return HostError::BadParameter;
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
    if (group == nullptr)
        return HostError::BadParameter;
    return host->project.RemoveGroup(*group);
}

GSErrCode Services::HostImportPropertyXml(API_HostContext* context, const GS::UniString* text, Int32 /*option*/)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostImportPropertyXml, host))
        return *early;
    if (text == nullptr)
        return HostError::BadParameter;
    host->lastImport = ImportPropertyXml(host->project, ToUtf8(*text));
    return host->lastImport.code;
}

GSErrCode Services::HostImportClassificationXml(API_HostContext* context, const GS::UniString* text,
                                                Int32 /*option1*/, Int32 /*option2*/)
{
    Host* host = nullptr;
    if (const auto early = Enter(context, ServiceIndex::HostImportClassificationXml, host))
        return *early;
    if (text == nullptr)
        return HostError::BadParameter;
    host->lastImport = ImportClassificationXml(host->project, ToUtf8(*text));
    return host->lastImport.code;
}

}  // namespace TestHost
