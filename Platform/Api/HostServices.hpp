// The host services the module uses: one list of name, table entry and arguments, from which the
// module's forwarders, the entry indices, the entry signatures and the test host's table are made.
#pragma once

#include <cstdarg>

#include "ApiRecords.hpp"

// The host's service table: 648 code addresses of 8 bytes; an entry of 0 is a service the host
// does not offer.
using API_ServiceEntry = void (*)();
constexpr UInt32 HostServiceTableSize = 648;
static_assert(sizeof(API_ServiceEntry) * HostServiceTableSize == 5184);

// Error codes of the host binding.
constexpr GSErrCode ServiceNotAvailable = static_cast<GSErrCode>(0x81060387);
constexpr GSErrCode ModuleNotBound = static_cast<GSErrCode>(0x81060001);

// X(shape, name, entry, (parameters after the context), (arguments))
//   Plain:   the entry takes the host context first, then the parameters.
//   AddMenu: the entry takes no context, only the 32-byte request record.
//   Report:  like Plain, with the address of the caller's variable arguments last; a missing
//            entry answers 0 instead of ServiceNotAvailable.
#define QM_HOST_SERVICES(X)                                                                                       \
    X(AddMenu, HostAddMenu, 5, (const API_MenuRequest* request), (request))                                       \
    X(Plain, HostSetMenuHandler, 26, (Int16 menuResID, APIMenuCommandProc handler), (menuResID, handler))          \
    X(Plain, HostGetProjectInfo, 41, (API_ProjectInfo * info), (info))                                            \
    X(Report, HostReportMessage, 69, (const GS::UniString* text, UInt8 flag, va_list* arguments),                 \
      (text, flag, arguments))                                                                                    \
    X(Plain, HostRunUndoableCommand, 71, (const GS::UniString* name, const API_CommandCallable* callable),        \
      (name, callable))                                                                                           \
    X(Plain, HostListElements, 273,                                                                               \
      (const API_ElemType* selector, GS::Array<API_Guid>* elements, Int32 filterBits, const API_Guid* parent),    \
      (selector, elements, filterBits, parent))                                                                   \
    X(Plain, HostListElementPropertyDefinitions, 285,                                                             \
      (const API_Guid* element, Int32 filter, GS::Array<API_PropertyDefinition>* definitions),                    \
      (element, filter, definitions))                                                                             \
    X(Plain, HostReadElementPropertyValue, 286,                                                                   \
      (const API_Guid* element, const API_Guid* definition, ElementPropertyRecord* property),                     \
      (element, definition, property))                                                                           \
    X(Plain, HostWriteElementPropertyValue, 289, (const API_Guid* element, const ElementPropertyRecord* property), \
      (element, property))                                                                                        \
    X(Plain, HostListPropertyGroups, 496, (GS::Array<API_PropertyGroup> * groups), (groups))                      \
    X(Plain, HostListPropertyDefinitions, 497,                                                                    \
      (const API_Guid* group, GS::Array<API_PropertyDefinition>* definitions), (group, definitions))              \
    X(Plain, HostReadPropertyGroup, 498, (API_PropertyGroup * group), (group))                                    \
    X(Plain, HostUpdatePropertyDefinition, 503, (const API_PropertyDefinition* definition), (definition))         \
    X(Plain, HostRemovePropertyGroup, 504, (const API_Guid* group), (group))                                      \
    X(Plain, HostImportPropertyXml, 506, (const GS::UniString* text, Int32 option), (text, option))               \
    X(Plain, HostImportClassificationXml, 527, (const GS::UniString* text, Int32 option1, Int32 option2),         \
      (text, option1, option2))

#define QM_UNPAREN(...) __VA_ARGS__

#define QM_ENTRY_TYPE_Plain(params) GSErrCode (*)(API_HostContext * context, QM_UNPAREN params)
#define QM_ENTRY_TYPE_Report(params) GSErrCode (*)(API_HostContext * context, QM_UNPAREN params)
#define QM_ENTRY_TYPE_AddMenu(params) GSErrCode (*)(QM_UNPAREN params)

// ServiceIndex::HostListPropertyGroups is the entry of that service in the table.
namespace ServiceIndex {
#define QM_SERVICE_INDEX(shape, name, entry, params, args) constexpr UInt32 name = entry;
QM_HOST_SERVICES(QM_SERVICE_INDEX)
#undef QM_SERVICE_INDEX
}  // namespace ServiceIndex

// ServiceEntry::HostListPropertyGroups is the signature of that service's table entry.
namespace ServiceEntry {
#define QM_SERVICE_ENTRY(shape, name, entry, params, args) using name = QM_ENTRY_TYPE_##shape(params);
QM_HOST_SERVICES(QM_SERVICE_ENTRY)
#undef QM_SERVICE_ENTRY
}  // namespace ServiceEntry
