// RegisterWindowMessageW where Windows is absent: one number per exact name, from 0xC000 on, the
// same for every thread.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "Win/Win.hpp"

namespace {

std::u16string Utf16Of(const std::string& ascii)
{
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

TEST(WindowMessage, RegisterWindowMessageGivesOneNumberPerExactName)
{
    EXPECT_EQ(RegisterWindowMessageW(nullptr), 0u);
    EXPECT_EQ(RegisterWindowMessageW(u""), 0u);

    const UINT fileNameOk = RegisterWindowMessageW(u"commdlg_FileNameOK");
    EXPECT_EQ(fileNameOk, 0xC000u);  // the first name of this process
    const UINT other = RegisterWindowMessageW(u"commdlg_help");
    EXPECT_EQ(other, 0xC001u);
    const std::u16string copy = u"commdlg_FileNameOK";
    EXPECT_EQ(RegisterWindowMessageW(copy.c_str()), fileNameOk);
    EXPECT_EQ(RegisterWindowMessageW(u"COMMDLG_FILENAMEOK"), 0xC002u);
    EXPECT_EQ(RegisterWindowMessageW(u"commdlg_help"), other);

    // Threads registering the same names at once agree on every number.
    constexpr int nameCount = 50;
    std::vector<std::vector<UINT>> seen(4, std::vector<UINT>(nameCount));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &seen] {
            for (int i = 0; i < nameCount; ++i) {
                const int n = (i * 7 + t * 13) % nameCount;
                const std::u16string name = u"Quillmere.Message." + Utf16Of(std::to_string(n));
                seen[t][n] = RegisterWindowMessageW(name.c_str());
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    std::vector<UINT> numbers = seen[0];
    for (int t = 1; t < 4; ++t)
        EXPECT_EQ(seen[t], numbers);
    std::sort(numbers.begin(), numbers.end());
    for (int i = 0; i < nameCount; ++i)
        EXPECT_EQ(numbers[i], 0xC003u + i);
}
