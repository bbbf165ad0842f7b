// The test host's 15 services, each with exactly the signature of its table entry. The context is
// the Host (Host::Context()); HostAddMenu, which gets none, works on Host::Current(). Every service
// first counts the call and answers an injected fault's code without doing anything else; a null
// pointer argument gives HostError::BadParameter.
#pragma once

#include "Api/HostServices.hpp"

namespace TestHost {

struct Services {
    // Keeps a copy of the 32-byte request record; returns 0.
    static GSErrCode HostAddMenu(const API_MenuRequest* request);
    // Installs `handler` for the menu (replacing an earlier one); returns 0.
    static GSErrCode HostSetMenuHandler(API_HostContext* context, Int16 menuResID, APIMenuCommandProc handler);
    // Adds a report line: with flag 0 the text as it stands, with any other flag the text used as a
    // printf format over *arguments. Returns 0.
    static GSErrCode HostReportMessage(API_HostContext* context, const GS::UniString* text, UInt8 flag,
                                       va_list* arguments);
    // Runs the callable once as an undoable step named `name` (inside the open step when nested) and
    // returns its code. A command whose callable returns non-zero is rolled back and leaves no step.
    static GSErrCode HostRunUndoableCommand(API_HostContext* context, const GS::UniString* name,
                                            const API_CommandCallable* callable);
    // All element GUIDs in host order; the selector, filter and parent are not interpreted.
    static GSErrCode HostListElements(API_HostContext* context, const API_ElemType* selector,
                                      GS::Array<API_Guid>* elements, Int32 filterBits, const API_Guid* parent);
    // The definitions that apply to the element's classification item, in host order; the filter
    // is not interpreted. HostError::BadId for an unknown element.
    static GSErrCode HostListElementPropertyDefinitions(API_HostContext* context, const API_Guid* element,
                                                        Int32 filter, GS::Array<API_PropertyDefinition>* definitions);
    // The element's value for the definition: its own (isDefault false) or the definition's default
    // (isDefault true), status 2 either way. BadId for an unknown element or definition,
    // NotApplicable when the definition does not apply to the element.
    static GSErrCode HostReadElementPropertyValue(API_HostContext* context, const API_Guid* element,
                                                  const API_Guid* definition, ElementPropertyRecord* property);
    // Sets the element's value of property->definition.guid from the field of property->value that
    // the stored definition's value type names; isDefault true resets it to the default. Errors as
    // for reading.
    static GSErrCode HostWriteElementPropertyValue(API_HostContext* context, const API_Guid* element,
                                                   const ElementPropertyRecord* property);
    static GSErrCode HostListPropertyGroups(API_HostContext* context, GS::Array<API_PropertyGroup>* groups);
    // Nil group: the definitions of all groups; otherwise that group's. BadId for an unknown group.
    static GSErrCode HostListPropertyDefinitions(API_HostContext* context, const API_Guid* group,
                                                 GS::Array<API_PropertyDefinition>* definitions);
    // Fills kind, name and description of the group with group->guid; BadId leaves the record as it was.
    static GSErrCode HostReadPropertyGroup(API_HostContext* context, API_PropertyGroup* group);
    // The stored definition with definition->guid takes the record's content (not its group). BadId
    // for an unknown definition, BadParameter for bad codes or unknown availability items.
    static GSErrCode HostUpdatePropertyDefinition(API_HostContext* context, const API_PropertyDefinition* definition);
    // Removes the group, its definitions and the values elements hold for them; BadId if unknown.
    static GSErrCode HostRemovePropertyGroup(API_HostContext* context, const API_Guid* group);
    // Imports the property groups of the configuration text; the option is not interpreted.
    static GSErrCode HostImportPropertyXml(API_HostContext* context, const GS::UniString* text, Int32 option);
    // Imports the classification systems of the configuration text; the options are not interpreted.
    static GSErrCode HostImportClassificationXml(API_HostContext* context, const GS::UniString* text, Int32 option1,
                                                 Int32 option2);
};

// Writes every service's address into its entry of `table` (648 entries) and zeroes the others.
void FillServiceTable(API_ServiceEntry* table);

}  // namespace TestHost
