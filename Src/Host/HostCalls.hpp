// Small helpers over the forwarders for the shapes the add-on's phases repeat: an undoable command
// around a callable, and a report line.
#pragma once

#include <initializer_list>
#include <string_view>

#include "Common/MessageFormat.hpp"
#include "HostBinding.hpp"

namespace Quillmere {

// Reports `code` with `format`, a host format ending in ": %d", as one report-window line.
inline void ReportErrorCode(const char* format, GSErrCode code)
{
    const GS::UniString text(format);
    HostReportMessage(&text, 1, code);
}

// Runs `callable` (no arguments, returns GSErrCode) as the undoable command `name`, reporting a
// failure with `errorFormat` (ReportErrorCode), and answers the code. The name is made into a
// GS::UniString here and released when the command returns. The host runs the callable before
// this returns, so it may refer to the caller's locals.
template <typename Callable>
GSErrCode RunUndoableCommand(const char* name, const char* errorFormat, Callable& callable)
{
    const GS::UniString commandName(name);
    API_CommandCallable command;
    command.invoke = [](void* state) -> GSErrCode { return (*static_cast<Callable*>(state))(); };
    command.state = &callable;
    const GSErrCode code = HostRunUndoableCommand(&commandName, &command);
    if (code != NoError)
        ReportErrorCode(errorFormat, code);
    return code;
}

// Lists every element of the project, of any type, in the host's order.
inline GSErrCode ListEveryElement(GS::Array<API_Guid>& elements)
{
    const API_ElemType everyType;
    return HostListElements(&everyType, &elements, 0, &APINULLGuid);
}

// Gives every field a read of a property's value looks at its fresh value, keeping the strings'
// storage: one record serves many reads.
inline void MakeFresh(ElementPropertyRecord& record)
{
    record.status = 0;
    record.isDefault = true;
    TypedValueRecord& value = record.value;
    value.typeCode = API_PropertyUndefinedValueType;
    value.intValue = 0;
    value.realValue = 0.0;
    value.boolValue = false;
    value.stringValue = "";
    value.guidValue = APINULLGuid;
    value.listValue.Clear();
    value.variantStatus = API_VariantStatusNormal;
}

// Reports `pattern` (Common/Messages.hpp) with its "{}" filled in as one report-window line.
inline void ReportLine(std::string_view pattern, std::initializer_list<MessageArgument> arguments)
{
    const GS::UniString line = FormatLine(pattern, arguments);
    HostReportMessage(&line, 0);
}

}  // namespace Quillmere
