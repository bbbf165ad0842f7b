#include "DG.hpp"

#include <cstdio>
#include <mutex>

namespace {

// Without a host dialog the alert goes to standard error and the first button is taken.
Int16 WriteAlertToStandardError(const DGAlertRequest& request, void* /*userData*/)
{
    const GS::UniString::CStr title = request.title->ToCStr();
    const GS::UniString::CStr mainText = request.mainText->ToCStr();
    std::fprintf(stderr, "[alert] %s: %s\n", title.Get(), mainText.Get());
    std::fflush(stderr);
    return 1;
}

std::mutex alertSinkMutex;
DGAlertSink alertSink = nullptr;  // nullptr: standard error
void* alertSinkData = nullptr;

}  // namespace

Int16 DGAlert(Int16 type, const GS::UniString& title, const GS::UniString& mainText,
              const GS::UniString& secondaryText, const GS::UniString& button1, const GS::UniString& button2,
              const GS::UniString& button3)
{
    const DGAlertRequest request{type, &title, &mainText, &secondaryText, &button1, &button2, &button3};
    DGAlertSink sink;
    void* userData;
    {
        std::lock_guard<std::mutex> lock(alertSinkMutex);
        sink = alertSink;
        userData = alertSinkData;
    }
    return (sink != nullptr ? sink : WriteAlertToStandardError)(request, userData);
}

DGAlertSink DGSetAlertSink(DGAlertSink sink, void* userData)
{
    std::lock_guard<std::mutex> lock(alertSinkMutex);
    DGAlertSink previous = alertSink;
    alertSink = sink;
    alertSinkData = sink != nullptr ? userData : nullptr;
    return previous;
}
