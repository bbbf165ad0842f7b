// The DG part of the platform: modal alerts, delivered to a sink that the host installs.
#pragma once

#include "../GSRoot/GSRoot.hpp"
#include "../PlatformExport.hpp"

// Alert types of DGAlert.
constexpr Int16 DG_ERROR = -1;
constexpr Int16 DG_WARNING = -2;
constexpr Int16 DG_INFORMATION = -3;

struct DGAlertRequest {
    Int16 type;
    const GS::UniString* title;
    const GS::UniString* mainText;
    const GS::UniString* secondaryText;
    const GS::UniString* button1;
    const GS::UniString* button2;
    const GS::UniString* button3;
};

// Answers an alert with the number of the chosen button (1 to 3).
using DGAlertSink = Int16 (*)(const DGAlertRequest& request, void* userData);

// Shows an alert and returns the chosen button. Without an installed sink the alert is written to
// stderr and 1 is returned, as if the first button had been pressed.
PLATFORM_API Int16 DGAlert(Int16 type, const GS::UniString& title, const GS::UniString& mainText,
                           const GS::UniString& secondaryText, const GS::UniString& button1,
                           const GS::UniString& button2, const GS::UniString& button3);
// Installs `sink` (nullptr restores the default) and returns the previous one.
PLATFORM_API DGAlertSink DGSetAlertSink(DGAlertSink sink, void* userData);
