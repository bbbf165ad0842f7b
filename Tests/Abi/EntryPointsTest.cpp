// The exported functions and the four entry points, called as a host calls them on a module file
// loaded for each test.
#include <cstring>

#include "AbiSupport.hpp"
#include "Win/DialogProviders.hpp"
#include "Win/Win.hpp"

namespace {

using Abi::FakeHost;
using Abi::ServiceTable;

class EntryPoints : public Abi::LoadedModuleTest {};

UInt32 ReadUInt32(const unsigned char* at)
{
    UInt32 value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

TEST_F(EntryPoints, ExportRecordIsWrittenOverForeignBytes)
{
    alignas(8) unsigned char record[sizeof(ExportRecord)];
    std::memset(record, 0xAB, sizeof record);
    loader.ExportedFunctions()(reinterpret_cast<ExportRecord*>(record));

    EXPECT_EQ(ReadUInt32(record), 0x001B0001u);
    for (std::size_t at = 4; at < 8; ++at)
        EXPECT_EQ(record[at], 0) << "byte " << at;
    void* entryPoints[4];
    std::memcpy(entryPoints, record + 8, sizeof entryPoints);
    for (int i = 0; i < 4; ++i) {
        EXPECT_NE(entryPoints[i], nullptr) << "entry point " << i;
        for (int j = 0; j < i; ++j)
            EXPECT_NE(entryPoints[i], entryPoints[j]) << "entry points " << j << " and " << i;
    }
    EXPECT_EQ(ReadUInt32(record + 40), 27000u);
    for (std::size_t at = 44; at < sizeof record; ++at)
        EXPECT_EQ(record[at], 0) << "byte " << at;
}

TEST_F(EntryPoints, IdentifyBeforeBindingAnswersZeroAndChangesNothing)
{
    API_EnvirParams environment;
    environment.hostVersion = 27;
    environment.addOnInfo.name = "the host's name";
    environment.addOnInfo.description = "the host's description";

    EXPECT_EQ(exports.identify(&environment), 0);
    EXPECT_EQ(environment.hostVersion, 27);
    EXPECT_EQ(Abi::Utf8(environment.addOnInfo.name), "the host's name");
    EXPECT_EQ(Abi::Utf8(environment.addOnInfo.description), "the host's description");
}

TEST_F(EntryPoints, IdentifyAfterBindingGivesTheResourceTexts)
{
    const ServiceTable table;  // identify needs no service
    ASSERT_EQ(loader.ImportedFunctions()(table.Get()), NoError);
    API_EnvirParams environment;
    environment.addOnInfo.name = "to be replaced";

    EXPECT_EQ(exports.identify(&environment), 1);
    EXPECT_EQ(Abi::Utf8(environment.addOnInfo.name), Abi::AddOnName);  // two blanks before "Properties"
    EXPECT_EQ(Abi::Utf8(environment.addOnInfo.description), Abi::AddOnDescription);
    // What the host read from the file before loading it says the same.
    EXPECT_EQ(loader.Description().name, Abi::AddOnName);
    EXPECT_EQ(loader.Description().description, Abi::AddOnDescription);
    EXPECT_EQ(loader.Description().menuText, Abi::MenuText);
}

TEST_F(EntryPoints, UnboundEntryPointsAnswerModuleNotBound)
{
    auto* registration = reinterpret_cast<API_RegistrationContext*>(0x1000);
    auto* context = reinterpret_cast<API_HostContext*>(0x2000);
    EXPECT_EQ(exports.registerMenu(registration), static_cast<GSErrCode>(0x81060001));
    EXPECT_EQ(exports.initialize(context), static_cast<GSErrCode>(0x81060001));
    EXPECT_EQ(exports.release(), static_cast<GSErrCode>(0x81060001));

    // Binding afterwards finds a module that did nothing: initialize now reaches the host.
    const ServiceTable table = ServiceTable::Complete();
    ASSERT_EQ(loader.ImportedFunctions()(table.Get()), NoError);
    EXPECT_TRUE(FakeHost::calls.empty());
    EXPECT_EQ(exports.initialize(context), NoError);
    ASSERT_EQ(FakeHost::calls.size(), 1u);
    EXPECT_EQ(FakeHost::calls[0].context, context);
    EXPECT_EQ(exports.release(), NoError);
}

TEST_F(EntryPoints, RegisterSendsTheMenuRequestAndPassesTheAnswerOn)
{
    const ServiceTable table = ServiceTable::Complete();
    ASSERT_EQ(loader.ImportedFunctions()(table.Get()), NoError);
    auto* registration = reinterpret_cast<API_RegistrationContext*>(0x1000);

    EXPECT_EQ(exports.registerMenu(registration), NoError);
    std::array<UInt8, 32> expected{};
    const Int16 menu = 32500;
    const Int32 position = 5;
    std::memcpy(expected.data(), &menu, 2);
    std::memcpy(expected.data() + 4, &position, 4);
    ASSERT_EQ(FakeHost::menuRequests.size(), 1u);
    EXPECT_EQ(FakeHost::menuRequests[0], expected);

    FakeHost::addMenuAnswer = static_cast<GSErrCode>(0x81060393);
    EXPECT_EQ(exports.registerMenu(registration), static_cast<GSErrCode>(0x81060393));
    FakeHost::addMenuAnswer = 7;
    EXPECT_EQ(exports.registerMenu(registration), 7);
    ASSERT_EQ(FakeHost::menuRequests.size(), 3u);
    EXPECT_EQ(FakeHost::menuRequests[2], expected);
    EXPECT_TRUE(FakeHost::calls.empty()) << "registration calls no service that takes the context";
}

TEST_F(EntryPoints, RegisterWithoutTheMenuServiceAnswersServiceNotAvailable)
{
    ServiceTable table = ServiceTable::Complete();
    table.Remove(ServiceIndex::HostAddMenu);
    ASSERT_EQ(loader.ImportedFunctions()(table.Get()), NoError);

    EXPECT_EQ(exports.registerMenu(nullptr), static_cast<GSErrCode>(0x81060387));
    EXPECT_TRUE(FakeHost::menuRequests.empty());
}

TEST_F(EntryPoints, InitializeInstallsTheHandlerWithTheContextFirst)
{
    const ServiceTable table = ServiceTable::Complete();
    ASSERT_EQ(loader.ImportedFunctions()(table.Get()), NoError);
    auto* context = reinterpret_cast<API_HostContext*>(0x2000);

    FakeHost::setHandlerAnswer = static_cast<GSErrCode>(0x81060123);
    EXPECT_EQ(exports.initialize(context), static_cast<GSErrCode>(0x81060123));
    ASSERT_EQ(FakeHost::calls.size(), 1u);
    EXPECT_EQ(FakeHost::calls[0].entry, ServiceIndex::HostSetMenuHandler);
    EXPECT_EQ(FakeHost::calls[0].context, context);
    EXPECT_EQ(FakeHost::handlerMenu, 32500);
    EXPECT_NE(FakeHost::handler, nullptr);

    FakeHost::setHandlerAnswer = NoError;
    EXPECT_EQ(exports.initialize(context), NoError);
    EXPECT_EQ(exports.release(), NoError);
}

TEST_F(EntryPoints, InitializeWithoutTheHandlerServiceAnswersServiceNotAvailable)
{
    ServiceTable table = ServiceTable::Complete();
    table.Remove(ServiceIndex::HostSetMenuHandler);
    ASSERT_EQ(loader.ImportedFunctions()(table.Get()), NoError);

    EXPECT_EQ(exports.initialize(reinterpret_cast<API_HostContext*>(0x2000)), static_cast<GSErrCode>(0x81060387));
    EXPECT_EQ(exports.release(), NoError);
}

TEST_F(EntryPoints, ReleaseClearsTheContextThatLaterCallsPass)
{
    const Support::ScratchFolder home;  // where a backup file would go
    const Support::UserProfile user(home.Path());
    // The command's file dialog chooses a configuration twice, so that the command goes on to call
    // the host.
    const std::filesystem::path configuration = home.Write("config.xml", "<configuration/>");
    ScriptedFileDialog dialog;
    dialog.QueueChoice(configuration.string());
    dialog.QueueChoice(configuration.string());
    const OpenFileDialogProvider previous = dialog.Install();
    const ServiceTable table = ServiceTable::Complete();
    ASSERT_EQ(loader.ImportedFunctions()(table.Get()), NoError);
    auto* context = reinterpret_cast<API_HostContext*>(0x2000);
    ASSERT_EQ(exports.initialize(context), NoError);
    ASSERT_NE(FakeHost::handler, nullptr);
    const MenuCommandParams chosen{32500, 0, 1, 0};

    FakeHost::calls.clear();
    EXPECT_EQ(FakeHost::handler(&chosen), NoError);
    ASSERT_FALSE(FakeHost::calls.empty()) << "the command calls the host";
    for (const Abi::ServiceCall& call : FakeHost::calls)
        EXPECT_EQ(call.context, context) << "service entry " << call.entry;

    EXPECT_EQ(exports.release(), NoError);
    FakeHost::calls.clear();
    EXPECT_EQ(FakeHost::handler(&chosen), NoError);
    ASSERT_FALSE(FakeHost::calls.empty());
    for (const Abi::ServiceCall& call : FakeHost::calls)
        EXPECT_EQ(call.context, nullptr) << "service entry " << call.entry;
    QmSetOpenFileDialogProvider(previous, nullptr);
}

TEST_F(EntryPoints, EntryPointsWorkThroughTheLoadersStartSequence)
{
    const ServiceTable table = ServiceTable::Complete();
    API_EnvirParams environment;
    auto* context = reinterpret_cast<API_HostContext*>(0x2000);
    GSErrCode code = -1;

    EXPECT_EQ(loader.Start(table.Get(), environment, nullptr, context, &code), TestHost::ModuleError::None);
    EXPECT_EQ(code, NoError);
    EXPECT_EQ(Abi::Utf8(environment.addOnInfo.name), Abi::AddOnName);
    EXPECT_EQ(FakeHost::menuRequests.size(), 1u);
    EXPECT_EQ(FakeHost::handlerMenu, 32500);
    EXPECT_EQ(loader.Release(&code), TestHost::ModuleError::None);
    EXPECT_EQ(code, NoError);
}

}  // namespace
