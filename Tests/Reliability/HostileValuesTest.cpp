// Property-based round trip of the value backup with a fixed seed: generated group and property
// names and values of every kind go through the backup phase and come back through the restore,
// from this command's backup in memory and from the file, exactly; a strict XML parser (xmllint)
// accepts every file unless a name or value holds what XML 1.0 cannot carry.
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <set>

#include "ReliabilitySupport.hpp"
#include "BackupFile/ValueBackupFile.hpp"

#include "GSRoot/UnicodeCodec.hpp"

#include "BackupFile/ValueBackupWriter.hpp"
#include "Restore/ValueRestore.hpp"

using namespace Reliability;

namespace {

constexpr int Rounds = 24;
constexpr int ElementsPerRound = 12;

void AppendCodePoint(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {  // lone surrogates too, in the three-byte form the model keeps
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// What a round's texts may hold.
enum class Hostility {
    Everything,       // controls, NUL and lone surrogates too
    XmlCarries,       // only what XML 1.0 can carry
    Noncharacters,    // that and U+FFFE, U+FFFF
};

// Texts from pieces of every class of code point, and what a strict XML 1.0 parser makes of them.
class TextGenerator {
public:
    TextGenerator(std::mt19937& random, Hostility hostility) : random(random), hostility(hostility) {}

    std::string Text(std::size_t pieces)
    {
        std::string text;
        for (std::size_t i = 0; i < pieces; ++i)
            AppendPiece(text);
        return Canonical(text);
    }

    // A host text is UTF-16: two surrogates that happen to meet are one pair, a code point of four
    // bytes in the model's form.
    static std::string Canonical(const std::string& text)
    {
        std::u16string units;
        GS::Unicode::AppendUtf8AsUtf16(units, text.data(), text.size(), GS::Unicode::Surrogates::Keep);
        std::string canonical;
        GS::Unicode::AppendUtf16AsUtf8(canonical, units.data(), units.size(), GS::Unicode::Surrogates::Keep);
        return canonical;
    }

    // Mostly short texts; now and then one of white space alone, an empty one or a very long one.
    std::string Value()
    {
        switch (Pick(12)) {
            case 0: return "";
            case 1: {
                static const char* const blanks[] = {" ", "\t", "\n", "\r", "\r\n", " \t\n ", "   "};
                return blanks[Pick(7)];
            }
            case 2: {
                if (Pick(3) != 0)
                    break;
                std::string text;
                while (text.size() < 100000)
                    AppendPiece(text);
                return Canonical(text);
            }
            default: break;
        }
        return Text(1 + Pick(6));
    }

    // Whether XML 1.0 can carry the text: no control character but tab, line feed and carriage
    // return, no surrogate, and neither of the noncharacters U+FFFE and U+FFFF, which XML's
    // characters leave out as well.
    static bool XmlCanCarry(const std::string& text)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const unsigned char byte = static_cast<unsigned char>(text[i]);
            if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
                return false;
            if (byte == 0xED && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0xA0)
                return false;
            if (byte == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                static_cast<unsigned char>(text[i + 2]) >= 0xBE)
                return false;
        }
        return true;
    }

    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random); }

private:
    void AppendPiece(std::string& text)
    {
        static const char* const specials[] = {"<", ">", "&", "\"", "'", "]]>", "&amp;", "&#38;", "<!--", "-->",
                                               "<![CDATA[", "?>", "=", "/", "SGPset_", "-", ":", "."};
        static const char32_t scripts[][2] = {{0x4E00, 0x9FFF}, {0x0391, 0x03C9}, {0x0600, 0x06FF}, {0x0900, 0x097F},
                                              {0x0400, 0x04FF}, {0xAC00, 0xD7A3}, {0x0300, 0x036F}, {0x1F300, 0x1FAFF},
                                              {0x10000, 0x10FFFD}, {0x0080, 0x00FF}};
        static const char32_t singles[] = {0xFEFF, 0xFFFD, 0x2028, 0x2029, 0x0085, 0x00A0, 0x200B, 0xFFFE, 0xFFFF};
        int piece = Pick(9);
        if (hostility != Hostility::Everything && (piece == 2 || piece == 8))
            piece = 0;
        switch (piece) {
            case 0:
            case 1:
                for (int n = 1 + Pick(8); n > 0; --n)
                    text += static_cast<char>(0x20 + Pick(0x5F));
                break;
            case 2: text += static_cast<char>(Pick(0x20)); break;  // a control character, NUL included
            case 3: text += static_cast<char>(0x7F); break;
            case 4: text += specials[Pick(sizeof specials / sizeof *specials)]; break;
            case 5:
            case 6: {
                const auto& range = scripts[Pick(sizeof scripts / sizeof *scripts)];
                AppendCodePoint(text, std::uniform_int_distribution<char32_t>(range[0], range[1])(random));
                break;
            }
            case 7: AppendCodePoint(text, singles[Pick(hostility == Hostility::XmlCarries ? 7 : 9)]); break;
            case 8: AppendCodePoint(text, std::uniform_int_distribution<char32_t>(0xD800, 0xDFFF)(random)); break;
        }
    }

    std::mt19937& random;
    Hostility hostility;
};

double Real(std::mt19937& random, int pick)
{
    static const double specials[] = {0.0, -0.0, 0.1234567, 1e-7, 123456.7890123, -1e300, 4.9e-324, -2.2250738585072009e-308,
                                      std::numeric_limits<double>::min(), std::numeric_limits<double>::max(),
                                      -std::numeric_limits<double>::max(), std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(), 0.1, 1.0 / 3.0, 9007199254740993.0};
    if (pick < 16)
        return specials[pick];
    // Any finite double, from its bits.
    for (;;) {
        const UInt64 bits = (UInt64{random()} << 32) | random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (std::isfinite(value))
            return value;
    }
}

Int32 Integer(std::mt19937& random, int pick)
{
    static const Int32 specials[] = {std::numeric_limits<Int32>::min(), std::numeric_limits<Int32>::max(), 0, -1, 1};
    return pick < 5 ? specials[pick] : static_cast<Int32>(random());
}

class HostileValues : public ProfileTest {
protected:
    void SetUp() override
    {
        ProfileTest::SetUp();
        SetImportedFuncAddrs(host.ServiceTable());
        ASSERT_EQ(GuardedInitialize(host.Context()), NoError);
    }

    void TearDown() override
    {
        GuardedRelease();
        ProfileTest::TearDown();
    }

    // A project of generated owned groups and definitions (their keys all different) whose
    // elements hold a generated value for every definition. Answers whether XML can carry all of it.
    bool MakeProject(std::mt19937& random, Hostility hostility)
    {
        TextGenerator texts(random, hostility);
        bool xmlCanCarry = true;
        TestHost::Project project;
        const API_Guid system = project.AddSystem("IFC-SG", "");
        const API_Guid item = project.AddItem(system, APINULLGuid, "IfcWall", "Wall");
        std::set<std::string> keys;
        std::vector<const TestHost::PropertyDefinition*> definitions;
        std::vector<API_Guid> definitionGuids;
        for (int g = 1 + texts.Pick(3); g > 0; --g) {
            const std::string groupName = texts.Text(texts.Pick(3)) + "SGPset_" + texts.Text(texts.Pick(4));
            const API_Guid group = project.AddGroup(groupName, "");
            for (int d = 1 + texts.Pick(6); d > 0; --d) {
                TestHost::PropertyDefinition definition;
                definition.group = group;
                definition.name = texts.Text(1 + texts.Pick(4));
                if (!keys.insert(groupName + "-" + definition.name).second)
                    continue;
                xmlCanCarry = xmlCanCarry && TextGenerator::XmlCanCarry(groupName) &&
                              TextGenerator::XmlCanCarry(definition.name);
                definition.valueType = 1 + texts.Pick(5) % 4;  // integer, real, string (twice as often), Boolean
                if (texts.Pick(10) == 0)
                    definition.valueType = API_PropertyUndefinedValueType;
                definition.defaultValue = TestHost::MakeZeroValue(definition.valueType);
                definition.availability = {item};
                definitionGuids.push_back(project.AddDefinition(definition));
                EXPECT_NE(definitionGuids.back(), APINULLGuid);
            }
        }
        for (int e = 0; e < ElementsPerRound; ++e) {
            const API_Guid element = project.AddElement("E" + std::to_string(e), "IfcWall", item);
            for (const API_Guid& guid : definitionGuids) {
                const Int32 type = project.FindDefinition(guid)->valueType;
                TestHost::Value value = TestHost::MakeZeroValue(type);
                if (type == API_PropertyStringValueType) {
                    value.text = texts.Value();
                    xmlCanCarry = xmlCanCarry && TextGenerator::XmlCanCarry(value.text);
                } else if (type == API_PropertyRealValueType) {
                    value.real = Real(random, texts.Pick(32));
                } else if (type == API_PropertyIntegerValueType) {
                    value.integer = Integer(random, texts.Pick(10));
                } else if (type == API_PropertyBooleanValueType) {
                    value.boolean = texts.Pick(2) == 1;
                }
                EXPECT_EQ(project.SetElementValue(element, guid, value), 0);
            }
        }
        EXPECT_TRUE(host.ReplaceProject(std::move(project)));
        return xmlCanCarry;
    }

    void ResetOwnedValues()
    {
        TestHost::Project& project = host.GetProject();
        std::vector<std::pair<API_Guid, API_Guid>> held;
        project.ForEachValue([&](const API_Guid& element, const API_Guid& definition, const TestHost::Value&) {
            held.emplace_back(element, definition);
        });
        for (const auto& [element, definition] : held)
            project.ResetElementValue(element, definition);
    }

    static std::string Describe(const TestHost::Value& value)
    {
        char real[40];
        std::snprintf(real, sizeof real, "%.17g", value.real);
        return "type " + std::to_string(value.type) + " " + std::to_string(value.integer) + " " + real + " " +
               (value.boolean ? "true" : "false") + " \"" + value.text.substr(0, 60) + "\" (" +
               std::to_string(value.text.size()) + " bytes)";
    }

    // The names of the values that did not come back as they were.
    static std::vector<std::string> Differences(const Support::ValueMap& before, const Support::ValueMap& after)
    {
        std::vector<std::string> differences;
        for (const auto& [name, value] : before) {
            const auto found = after.find(name);
            if (found == after.end() || !Support::SameValue(found->second, value))
                differences.push_back(std::get<1>(name) + " / " + std::get<2>(name) + " of " + std::get<0>(name) +
                                      ": " + Describe(value) + " became " +
                                      (found == after.end() ? std::string("nothing") : Describe(found->second)));
        }
        if (after.size() != before.size())
            differences.push_back(std::to_string(after.size()) + " values instead of " + std::to_string(before.size()));
        return differences;
    }

    TestHost::Host host;
};

}  // namespace

TEST_F(HostileValues, EveryGeneratedValueComesBackExactlyFromMemoryAndFromTheFile)
{
    std::mt19937 random(20261209);
    std::size_t values = 0, filesCarried = 0, filesRefused = 0;
    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const Hostility hostility = round % 3 == 0 ? Hostility::Everything
                                    : round % 3 == 1 ? Hostility::XmlCarries
                                                     : Hostility::Noncharacters;
        const bool xmlCanCarry = MakeProject(random, hostility);
        if (hostility == Hostility::XmlCarries) {
            ASSERT_TRUE(xmlCanCarry);
        }
        const Support::ValueMap before = Support::OwnedValues(host.GetProject());
        ASSERT_FALSE(before.empty());
        values += before.size();

        // From this command's backup in memory.
        host.ClearOutput();
        run = UpdateRun();
        BackupElementValues(run);
        ResetOwnedValues();
        EXPECT_TRUE(RestoreElementValues(run));
        EXPECT_TRUE(host.ReportLines().empty()) << host.ReportLines()[0].text;
        EXPECT_EQ(Differences(before, Support::OwnedValues(host.GetProject())), std::vector<std::string>{});

        // From the file, as an earlier version's files are read into the store.
        run = UpdateRun();
        ValueBackupReading reading = ParseValueBackup(ReadTextFile(profile.BackupFile()).value());
        ASSERT_TRUE(reading.backup) << reading.problem->Detail();
        run.backup = std::move(reading.backup);
        run.fates.assign(run.backup->ValueCount(), ValueFate::Pending);
        host.ClearOutput();
        ResetOwnedValues();
        RestoreElementValues(run);
        EXPECT_TRUE(host.ReportLines().empty()) << host.ReportLines()[0].text;
        EXPECT_EQ(Differences(before, Support::OwnedValues(host.GetProject())), std::vector<std::string>{});

        // A strict parser reads the file exactly when XML can carry every name and value.
        const std::string command = "xmllint --noout '" + profile.BackupFile().string() + "' 2>/dev/null";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 127) << "xmllint is not installed";
        EXPECT_EQ(WEXITSTATUS(status) == 0, xmlCanCarry) << Support::ReadBytes(profile.BackupFile()).substr(0, 2000);
        ++(WEXITSTATUS(status) == 0 ? filesCarried : filesRefused);
    }
    std::cout << "[ values   ] " << values << " generated values in " << Rounds << " rounds; xmllint read "
              << filesCarried << " files and refused " << filesRefused << "\n";
}
