#include <string>

#include <gtest/gtest.h>

#include "DG/DG.hpp"
#include "LeakCheck.hpp"

using GS::UniString;

namespace {

struct SeenAlert {
    int calls = 0;
    Int16 type = 0;
    const UniString* title = nullptr;
    std::string texts;
    Int16 answer = 0;
};

Int16 AnswerAlert(const DGAlertRequest& request, void* userData)
{
    auto& seen = *static_cast<SeenAlert*>(userData);
    ++seen.calls;
    seen.type = request.type;
    seen.title = request.title;
    for (const UniString* text : {request.title, request.mainText, request.secondaryText, request.button1,
                                  request.button2, request.button3})
        seen.texts += std::string(text->ToCStr().Get()) + "|";
    return seen.answer;
}

class DG : public LeakCheckedTest {};

}  // namespace

TEST_F(DG, AlertDeliversTheRequestToTheInstalledSink)
{
    SeenAlert seen;
    seen.answer = 2;
    EXPECT_EQ(DGSetAlertSink(AnswerAlert, &seen), nullptr);

    const UniString title("Quillmere");
    const UniString mainText("Import Successful");
    const UniString empty;
    const UniString ok("OK"), cancel("Cancel");
    EXPECT_EQ(DGAlert(DG_INFORMATION, title, mainText, empty, ok, cancel, empty), 2);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.type, DG_INFORMATION);
    EXPECT_EQ(seen.title, &title);  // the caller's strings, not copies
    EXPECT_EQ(seen.texts, "Quillmere|Import Successful||OK|Cancel||");

    seen.answer = 3;
    EXPECT_EQ(DGAlert(DG_ERROR, empty, empty, empty, empty, empty, empty), 3);
    EXPECT_EQ(seen.type, DG_ERROR);
    EXPECT_EQ(seen.calls, 2);

    EXPECT_EQ(DGSetAlertSink(nullptr, nullptr), &AnswerAlert);
}

TEST_F(DG, AlertByDefaultWritesToStandardErrorAndTakesTheFirstButton)
{
    ASSERT_EQ(DGSetAlertSink(nullptr, nullptr), nullptr);
    testing::internal::CaptureStderr();
    const Int16 answer = DGAlert(DG_WARNING, UniString("Caf\xC3\xA9"), UniString("Import Successful"),
                                 UniString("details"), UniString("OK"), UniString(), UniString());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "[alert] Caf\xC3\xA9: Import Successful\n");
    EXPECT_EQ(answer, 1);
}
