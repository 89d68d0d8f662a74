// The export table: the 114 names resolve, and the DLL exports nothing else.
#include <algorithm>
#include <set>

#include "expected_exports.h"
#include "harness.h"

namespace {

// The names in the DLL's export directory, as the loaded image has them.
std::vector<std::string> exportDirectoryNames(HMODULE module, DWORD* functionCount) {
    std::vector<std::string> names;
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    *functionCount = 0;
    if (dir.VirtualAddress == 0) return names;
    auto* exp = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    *functionCount = exp->NumberOfFunctions;
    auto* rvas = reinterpret_cast<DWORD*>(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames; ++i)
        names.emplace_back(reinterpret_cast<char*>(base + rvas[i]));
    return names;
}

}  // namespace

WT_CASE(every_export_resolves_by_name) {
    const std::size_t expected = sizeof kExpectedExports / sizeof kExpectedExports[0];
    WT_CHECK_EQ(static_cast<int>(expected), 114);
    int missing = 0;
    for (const char* name : kExpectedExports) {
        if (!wt::exportAddress(name)) {
            ++missing;
            wt::fail(__FILE__, __LINE__, std::string("GetProcAddress finds no ") + name);
        }
    }
    WT_CHECK_EQ(missing, 0);
    // A name that is not in the table must not resolve either.
    WT_CHECK(wt::exportAddress("_Z16sendcommand_multiPc") == nullptr);
    WT_CHECK(wt::exportAddress("sendcommand_mult") == nullptr);
}

WT_CASE(export_directory_holds_exactly_the_table) {
    DWORD functions = 0;
    std::vector<std::string> names = exportDirectoryNames(wt::library(), &functions);
    std::set<std::string> actual(names.begin(), names.end());
    std::set<std::string> wanted(std::begin(kExpectedExports), std::end(kExpectedExports));
    WT_CHECK_EQ(static_cast<long long>(names.size()), 114);
    WT_CHECK_EQ(static_cast<long long>(functions), 114);  // no export by ordinal only
    for (const std::string& n : actual)
        if (!wanted.count(n)) wt::fail(__FILE__, __LINE__, "unexpected export " + n);
    for (const std::string& n : wanted)
        if (!actual.count(n)) wt::fail(__FILE__, __LINE__, "missing export " + n);
    // The name pointer table is sorted, as the loader's binary search needs.
    WT_CHECK(std::is_sorted(names.begin(), names.end()));
}
