// Records exchanged between the host and the module. Field order and the values of a fresh record
// are part of the binary contract; sizes and offsets that both sides rely on are asserted.
#pragma once

#include <cstddef>

#include "../GSRoot/GSRoot.hpp"

// A 128-bit identifier of elements, property groups and property definitions. 16 zero bytes is the
// nil GUID, which asks the host for every item.
struct API_Guid {
    UInt32 data1 = 0;
    UInt16 data2 = 0;
    UInt16 data3 = 0;
    UInt8 data4[8] = {};

    bool operator==(const API_Guid& other) const noexcept = default;
};
static_assert(sizeof(API_Guid) == 16);

inline constexpr API_Guid APINULLGuid{};

inline GS::Guid APIGuid2GSGuid(const API_Guid& guid) noexcept
{
    return GS::Guid(guid.data1, guid.data2, guid.data3, guid.data4);
}

inline API_Guid GSGuid2APIGuid(const GS::Guid& guid) noexcept
{
    API_Guid result;
    result.data1 = guid.data1;
    result.data2 = guid.data2;
    result.data3 = guid.data3;
    for (int i = 0; i < 8; ++i)
        result.data4[i] = guid.data4[i];
    return result;
}

// Value type codes of property definitions and typed values.
enum API_PropertyValueType : Int32 {
    API_PropertyUndefinedValueType = 0,
    API_PropertyIntegerValueType = 1,
    API_PropertyRealValueType = 2,
    API_PropertyStringValueType = 3,
    API_PropertyBooleanValueType = 4,
};

// Measure type codes of property definitions.
enum API_PropertyMeasureType : Int32 {
    API_PropertyDefaultMeasureType = 1,
    API_PropertyLengthMeasureType = 2,
    API_PropertyAreaMeasureType = 3,
    API_PropertyVolumeMeasureType = 4,
    API_PropertyAngleMeasureType = 5,
};

// The kind of user-defined (custom) property groups and definitions.
constexpr Int32 API_PropertyCustomDefinitionKind = 2;

// Status of a property value that the element really has.
constexpr Int32 API_VariantStatusNormal = 2;

struct API_Variant {
    Int32 type = 0;
    Int32 intValue = 0;
    double doubleValue = 0.0;
    bool boolValue = false;
    GS::UniString uniStringValue;
    API_Guid guidValue;
};

struct API_SingleEnumerationVariant {
    API_Variant keyVariant;
    API_Variant displayVariant;
};

// One typed value. A fresh record is all zero or empty, with variant status 2.
struct TypedValueRecord {
    Int32 typeCode = 0;
    Int32 intValue = 0;
    double realValue = 0.0;
    bool boolValue = false;
    GS::UniString stringValue;
    API_Guid guidValue;
    GS::Array<API_Variant> listValue;
    Int32 variantStatus = API_VariantStatusNormal;
};

struct API_PropertyGroup {
    Int32 kind = API_PropertyCustomDefinitionKind;
    API_Guid guid;
    GS::UniString name;
    GS::UniString description;
};

// A property definition. A fresh record has kind 2, measure type 1, a fresh default value and
// every other field zero or empty.
struct API_PropertyDefinition {
    Int32 kind = API_PropertyCustomDefinitionKind;
    API_Guid guid;
    API_Guid groupGuid;
    GS::UniString name;
    GS::UniString description;
    Int32 collectionType = 0;  // copied along, never read by the module
    Int32 valueType = API_PropertyUndefinedValueType;
    Int32 measureType = API_PropertyDefaultMeasureType;
    TypedValueRecord defaultValue;
    GS::Array<GS::UniString> expressions;
    UInt8 expressionFlag = 0;
    GS::Array<API_Guid> availability;  // classification items the definition applies to
    GS::Array<API_SingleEnumerationVariant> possibleEnumValues;
    UInt8 canValueBeEditable = 0;
};

// One property of one element. A fresh record has a fresh definition, status 0, a fresh value and
// the default flag set.
struct ElementPropertyRecord {
    API_PropertyDefinition definition;
    Int32 status = 0;
    TypedValueRecord value;
    bool isDefault = true;
};

// What the host tells of the open project: whether it has been saved to a file yet, and the full
// path of that file.
struct API_ProjectInfo {
    bool untitled = true;
    GS::UniString location;
};

// The record handed to the menu handler: the menu's string resource and the chosen item (1-based).
struct MenuCommandParams {
    Int16 menuResID = 0;
    Int16 reserved0 = 0;
    Int32 itemIndex = 0;
    Int64 reserved1 = 0;
};
static_assert(offsetof(MenuCommandParams, menuResID) == 0 && sizeof(MenuCommandParams::menuResID) == 2);
static_assert(offsetof(MenuCommandParams, itemIndex) == 4 && sizeof(MenuCommandParams::itemIndex) == 4);

// The 24-byte element type selector; all zero selects every element.
struct API_ElemType {
    Int32 typeID = 0;
    Int32 variationID = 0;
    API_Guid classificationID;
};
static_assert(sizeof(API_ElemType) == 24);

// The record that HostAddMenu hands the host: 32 bytes, zero after byte 12.
struct API_MenuRequest {
    Int16 menuStrResID = 0;
    Int16 promptStrResID = 0;
    Int32 menuPosCode = 0;
    Int32 menuFlags = 0;
    UInt8 reserved[20] = {};
};
static_assert(sizeof(API_MenuRequest) == 32);
static_assert(offsetof(API_MenuRequest, promptStrResID) == 2);
static_assert(offsetof(API_MenuRequest, menuPosCode) == 4);
static_assert(offsetof(API_MenuRequest, menuFlags) == 8);
static_assert(offsetof(API_MenuRequest, reserved) == 12);

// The add-on's name and description, filled in by the identify entry point.
struct API_AddOnInfo {
    GS::UniString name;
    GS::UniString description;
};

// The host's environment record, handed to the identify entry point.
struct API_EnvirParams {
    Int32 hostVersion = 0;
    Int32 hostBuild = 0;
    UInt8 hostReserved[40] = {};
    API_AddOnInfo addOnInfo;
    UInt8 tailReserved[16] = {};
};
static_assert(offsetof(API_EnvirParams, addOnInfo) + offsetof(API_AddOnInfo, name) == 48);
static_assert(offsetof(API_EnvirParams, addOnInfo) + offsetof(API_AddOnInfo, description) == 64);

// Opaque handles the host gives the module.
struct API_HostContextTag;
using API_HostContext = API_HostContextTag;
struct API_RegistrationContextTag;
using API_RegistrationContext = API_RegistrationContextTag;

// The callable of an undoable command: the host calls invoke(state) once, synchronously, inside
// the command, and the command's result is what it returns.
struct API_CommandCallable {
    GSErrCode (*invoke)(void* state) = nullptr;
    void* state = nullptr;
};

using APIMenuCommandProc = GSErrCode (*)(const MenuCommandParams* params);

// Entry points the module gives the host through ExportRecord.
using API_IdentifyProc = Int32 (*)(API_EnvirParams* environment);
using API_RegisterProc = GSErrCode (*)(API_RegistrationContext* registration);
using API_InitializeProc = GSErrCode (*)(API_HostContext* context);
using API_ReleaseProc = GSErrCode (*)();

// Filled by GetExportedFuncAddrs: 120 bytes, little-endian.
struct ExportRecord {
    UInt32 version = 0;  // 0x001B0001
    UInt32 reserved0 = 0;
    API_IdentifyProc identify = nullptr;
    API_RegisterProc registerMenu = nullptr;
    API_InitializeProc initialize = nullptr;
    API_ReleaseProc release = nullptr;
    Int32 apiVersion = 0;  // 27000
    UInt8 reserved1[76] = {};
};
static_assert(sizeof(ExportRecord) == 120);
static_assert(offsetof(ExportRecord, identify) == 8);
static_assert(offsetof(ExportRecord, registerMenu) == 16);
static_assert(offsetof(ExportRecord, initialize) == 24);
static_assert(offsetof(ExportRecord, release) == 32);
static_assert(offsetof(ExportRecord, apiVersion) == 40);

constexpr UInt32 ExportRecordVersion = 0x001B0001;
constexpr Int32 ExportRecordApiVersion = 27000;
