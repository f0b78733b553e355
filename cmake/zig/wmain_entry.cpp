// The entry of a -municode program built with zig, whose MinGW start-up code
// knows only main(): the C runtime's own wide arguments go to wmain.
#include <wchar.h>

extern "C" int wmain(int argc, wchar_t** argv);

namespace {
struct StartupInfo {
    int newMode;
};
}  // namespace

extern "C" int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** environment, int expandWildcards,
                              StartupInfo* startupInfo);

int main() {
    int argc = 0;
    wchar_t** argv = nullptr;
    wchar_t** environment = nullptr;
    StartupInfo startupInfo{0};
    if (__wgetmainargs(&argc, &argv, &environment, 0, &startupInfo) < 0) return 255;
    return wmain(argc, argv);
}
