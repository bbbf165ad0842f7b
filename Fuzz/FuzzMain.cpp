// The libFuzzer driver of one target, chosen by QM_FUZZ_TARGET when compiled: 1 the value
// restore, 2 the project reader, 3 the configuration import, 4 the rename table. A finding aborts with its text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzTargets.hpp"
#include "Support/Folders.hpp"

namespace {

void Check(const std::string& problem)
{
    if (!problem.empty()) {
        std::fprintf(stderr, "FUZZ FINDING: %s\n", problem.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
#if QM_FUZZ_TARGET == 1
    static Fuzz::BackupRestoreTarget target(Support::SourceFolder());
    Check(target.Run(input));
#elif QM_FUZZ_TARGET == 2
    Check(Fuzz::RunProjectReader(input));
#elif QM_FUZZ_TARGET == 3
    static Fuzz::ConfigurationImportTarget target(Support::SourceFolder());
    Check(target.Run(input));
#elif QM_FUZZ_TARGET == 4
    static Fuzz::RenameTableTarget target;
    Check(target.Run(input));
#else
#error "QM_FUZZ_TARGET selects the target"
#endif
    return 0;
}
