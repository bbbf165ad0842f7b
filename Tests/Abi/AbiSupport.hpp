// What the module tests share: where the built files are, a service table of recording fakes,
// the debug output captured, and a test fixture that loads a fresh module file per test and
// checks that it really leaves the process afterwards.
#pragma once

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Api/Api.hpp"
#include "GSRoot/GSRoot.hpp"
#include "ModuleLoader.hpp"
#include "Support/Folders.hpp"

namespace Abi {

// Quillmere.so, quillmere_platform.so and the fixture module, where the build put them.
inline std::filesystem::path ModuleFile()
{
    return std::filesystem::absolute(Support::BinaryFolder() / "Quillmere.so").lexically_normal();
}

inline std::filesystem::path PlatformLibraryFile()
{
    return Support::BinaryFolder() / "quillmere_platform.so";
}

inline std::filesystem::path HalfModuleFile()
{
    return Support::BinaryFolder() / "QuillmereHalfModule.so";
}

// The module's texts, as the host must receive them.
inline const std::string AddOnName = "Import IFC-SG Classifications and  Properties";
inline const std::string AddOnDescription = "Import the IFC-SG Classifications and Properties for Corenet X Submission";
inline const std::string MenuText = "Import IFC-SG Classifications and Properties... ^E3 ^ES ^EE ^EI ^ED ^ET ^10001";

inline std::string Utf8(const GS::UniString& text)
{
    return text.ToCStr().Get();
}

// One call that reached a fake service.
struct ServiceCall {
    UInt32 entry = 0;
    API_HostContext* context = nullptr;
};

// The fakes' shared record and their answers; Reset() before each test.
struct FakeHost {
    static inline std::vector<ServiceCall> calls;              // every service that takes a context
    static inline std::vector<std::array<UInt8, 32>> menuRequests;
    static inline GSErrCode addMenuAnswer = NoError;
    static inline GSErrCode setHandlerAnswer = NoError;
    static inline Int16 handlerMenu = 0;
    static inline APIMenuCommandProc handler = nullptr;
    // What the other services answer: a failure, so each phase of the command ends early.
    static constexpr GSErrCode OtherServicesAnswer = static_cast<GSErrCode>(0x8100FFF0);

    static void Reset()
    {
        calls.clear();
        menuRequests.clear();
        addMenuAnswer = NoError;
        setHandlerAnswer = NoError;
        handlerMenu = 0;
        handler = nullptr;
    }
};

inline GSErrCode FakeAddMenu(const API_MenuRequest* request)
{
    std::array<UInt8, 32> bytes;
    std::memcpy(bytes.data(), request, bytes.size());
    FakeHost::menuRequests.push_back(bytes);
    return FakeHost::addMenuAnswer;
}

inline GSErrCode FakeSetMenuHandler(API_HostContext* context, Int16 menuResID, APIMenuCommandProc handler)
{
    FakeHost::calls.push_back({ServiceIndex::HostSetMenuHandler, context});
    FakeHost::handlerMenu = menuResID;
    FakeHost::handler = handler;
    return FakeHost::setHandlerAnswer;
}

// A fake for any other service: notes the entry and the context it received.
template <UInt32 Entry, typename Signature>
struct RecordingService;
template <UInt32 Entry, typename... Parameters>
struct RecordingService<Entry, GSErrCode (*)(API_HostContext*, Parameters...)> {
    static GSErrCode Call(API_HostContext* context, Parameters...)
    {
        FakeHost::calls.push_back({Entry, context});
        return FakeHost::OtherServicesAnswer;
    }
};

// A service table: all 648 entries zero but the ones set.
struct ServiceTable {
    std::array<API_ServiceEntry, HostServiceTableSize> entries{};

    template <typename Function>
    ServiceTable& Set(UInt32 entry, Function function)
    {
        entries.at(entry) = reinterpret_cast<API_ServiceEntry>(function);
        return *this;
    }
    // Leaves the service out, as a host without it does.
    ServiceTable& Remove(UInt32 entry)
    {
        entries.at(entry) = nullptr;
        return *this;
    }
    const API_ServiceEntry* Get() const { return entries.data(); }

    // Every service the module knows: the menu services above, recording fakes for the others.
    static ServiceTable Complete()
    {
        ServiceTable table;
#define QM_FAKE_Plain(name, entry) table.Set(entry, &RecordingService<entry, ServiceEntry::name>::Call);
#define QM_FAKE_Report(name, entry) QM_FAKE_Plain(name, entry)
#define QM_FAKE_AddMenu(name, entry)
#define QM_FAKE(shape, name, entry, params, args) QM_FAKE_##shape(name, entry)
        QM_HOST_SERVICES(QM_FAKE)
#undef QM_FAKE
#undef QM_FAKE_AddMenu
#undef QM_FAKE_Report
#undef QM_FAKE_Plain
        table.Set(ServiceIndex::HostAddMenu, &FakeAddMenu);
        table.Set(ServiceIndex::HostSetMenuHandler, &FakeSetMenuHandler);
        return table;
    }
};

// Collects every finished debug text while it lives.
class DebugCapture {
public:
    DebugCapture() { previous = DBSetPrintSink(&Collect, &texts); }
    ~DebugCapture() { DBSetPrintSink(previous, nullptr); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> texts;

private:
    static void Collect(const char* text, void* into) { static_cast<std::vector<std::string>*>(into)->push_back(text); }
    DBPrintSink previous = nullptr;
};

// Loads the module file before each test and unloads it after, failing a test after which the
// module stays in the process (the next test would then not get a fresh module).
class LoadedModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FakeHost::Reset();
        ASSERT_FALSE(TestHost::ModuleLoader::IsModuleFileLoaded(ModuleFile())) << "a module of an earlier test stayed";
        ASSERT_EQ(loader.Load(ModuleFile()), TestHost::ModuleError::None) << loader.ErrorDetail();
        ASSERT_EQ(loader.GetExports(exports), TestHost::ModuleError::None);
    }
    void TearDown() override
    {
        if (loader.IsLoaded()) {
            EXPECT_TRUE(loader.Unload()) << "dlclose left the module in the process";
        }
    }

    TestHost::ModuleLoader loader;
    ExportRecord exports;
};

}  // namespace Abi
