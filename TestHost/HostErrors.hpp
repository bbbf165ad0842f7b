// Error codes that the test host's services answer with. They lie apart from the host binding's
// codes (ServiceNotAvailable, ModuleNotBound), so a test can tell who failed.
#pragma once

#include "GSRoot/GSTypes.hpp"

namespace TestHost::HostError {

constexpr GSErrCode BadParameter = static_cast<GSErrCode>(0x81062001);     // a null or out-of-range argument
constexpr GSErrCode BadId = static_cast<GSErrCode>(0x81062002);            // no element, group, definition or item with that GUID
constexpr GSErrCode NotApplicable = static_cast<GSErrCode>(0x81062003);    // the definition does not apply to the element
constexpr GSErrCode DuplicateGuid = static_cast<GSErrCode>(0x81062004);    // a GUID asked for is already in use
constexpr GSErrCode NoMenuHandler = static_cast<GSErrCode>(0x81062005);    // no handler installed for that menu
constexpr GSErrCode StepOpen = static_cast<GSErrCode>(0x81062006);         // undo asked for while a command runs

// Configuration import.
constexpr GSErrCode EmptyConfiguration = static_cast<GSErrCode>(0x81062101);
constexpr GSErrCode MalformedXml = static_cast<GSErrCode>(0x81062102);
constexpr GSErrCode UnknownRoot = static_cast<GSErrCode>(0x81062103);
constexpr GSErrCode UnknownElement = static_cast<GSErrCode>(0x81062104);
constexpr GSErrCode MissingAttribute = static_cast<GSErrCode>(0x81062105);
constexpr GSErrCode UnknownValueType = static_cast<GSErrCode>(0x81062106);
constexpr GSErrCode UnknownMeasure = static_cast<GSErrCode>(0x81062107);
constexpr GSErrCode BadDefaultValue = static_cast<GSErrCode>(0x81062108);
constexpr GSErrCode UnknownItem = static_cast<GSErrCode>(0x81062109);
constexpr GSErrCode DuplicateName = static_cast<GSErrCode>(0x8106210A);

// A call that breaks what the host's contract fixes for the module's calls: each service checks
// its constant arguments and answers one of these, with a debug line that says what was wrong.
constexpr GSErrCode UnexpectedImportOption = static_cast<GSErrCode>(0x81062201);   // not 0, 0 (classifications) or 1 (properties)
constexpr GSErrCode UnexpectedElementSelector = static_cast<GSErrCode>(0x81062202);  // a type selector that is not all zero
constexpr GSErrCode UnexpectedFilter = static_cast<GSErrCode>(0x81062203);         // filter bits other than 0
constexpr GSErrCode UnexpectedParent = static_cast<GSErrCode>(0x81062204);         // a parent other than the nil GUID
constexpr GSErrCode UnexpectedGroupRequest = static_cast<GSErrCode>(0x81062205);   // a group request not of kind 2 with empty texts
constexpr GSErrCode DefinitionNotAsListed = static_cast<GSErrCode>(0x81062206);    // a written record's definition differs from the listing
constexpr GSErrCode UnexpectedStatus = static_cast<GSErrCode>(0x81062207);         // a written record's status other than 0
constexpr GSErrCode ValueTypeMismatch = static_cast<GSErrCode>(0x81062208);        // a written value's type code not the definition's
constexpr GSErrCode DefaultFlagSet = static_cast<GSErrCode>(0x81062209);           // a written record with the default flag true

// The constant's name for a code of this list ("BadId"), or nullptr for any other code.
inline const char* ErrorName(GSErrCode code) noexcept
{
    switch (code) {
        case BadParameter: return "BadParameter";
        case BadId: return "BadId";
        case NotApplicable: return "NotApplicable";
        case DuplicateGuid: return "DuplicateGuid";
        case NoMenuHandler: return "NoMenuHandler";
        case StepOpen: return "StepOpen";
        case EmptyConfiguration: return "EmptyConfiguration";
        case MalformedXml: return "MalformedXml";
        case UnknownRoot: return "UnknownRoot";
        case UnknownElement: return "UnknownElement";
        case MissingAttribute: return "MissingAttribute";
        case UnknownValueType: return "UnknownValueType";
        case UnknownMeasure: return "UnknownMeasure";
        case BadDefaultValue: return "BadDefaultValue";
        case UnknownItem: return "UnknownItem";
        case DuplicateName: return "DuplicateName";
        case UnexpectedImportOption: return "UnexpectedImportOption";
        case UnexpectedElementSelector: return "UnexpectedElementSelector";
        case UnexpectedFilter: return "UnexpectedFilter";
        case UnexpectedParent: return "UnexpectedParent";
        case UnexpectedGroupRequest: return "UnexpectedGroupRequest";
        case DefinitionNotAsListed: return "DefinitionNotAsListed";
        case UnexpectedStatus: return "UnexpectedStatus";
        case ValueTypeMismatch: return "ValueTypeMismatch";
        case DefaultFlagSet: return "DefaultFlagSet";
        default: return nullptr;
    }
}

}  // namespace TestHost::HostError
