// Plays Explorer's part for lumboExt.dll, reaching the registered DLL only
// through COM as Explorer does.
//
//   shell_host.exe tree FOLDER [--picture FILE.bmp]
//       every item of the folder with the badges the registered overlay
//       handlers give it; optionally a picture of the listing
//   shell_host.exe menu PATH... [--invoke]
//       the context menu the registered handler gives the selection; with
//       --invoke, picks its item (the copy into the synchronised folder)
//   shell_host.exe diagnose PATH
//       each handler's answer for the path, and why, from the DLL's trace
#include <cstdio>
#include <string>

#include "tools/shell_host/com_apartment.h"
#include "tools/shell_host/console_output.h"
#include "tools/shell_host/context_menu_probe.h"
#include "tools/shell_host/diagnosis.h"
#include "tools/shell_host/listing_picture.h"
#include "tools/shell_host/overlay_set.h"
#include "tools/shell_host/tree_listing.h"

namespace {

using namespace lumbo::tools;

int Usage() {
    std::fprintf(stderr,
                 "usage: shell_host tree FOLDER [--picture FILE.bmp]\n"
                 "       shell_host menu PATH... [--invoke]\n"
                 "       shell_host diagnose PATH\n");
    return 2;
}

int Tree(int argc, wchar_t** argv) {
    if (argc < 3) return Usage();
    const std::wstring folder = argv[2];
    std::vector<OverlayHandler> handlers = LoadRegisteredOverlays();
    if (handlers.empty()) {
        std::fprintf(stderr, "shell_host: no overlay handler could be created\n");
        return 1;
    }
    for (const OverlayHandler& handler : handlers) {
        PrintUtf8(L"overlay " + handler.name + L": icon " + std::to_wstring(handler.iconIndex) + L" (" +
                  BadgeName(handler.iconIndex) + L"), priority " + std::to_wstring(handler.priority) + L"\n");
    }
    const std::vector<ListedItem> items = ListTree(folder, handlers);
    PrintUtf8(FormatTree(folder, items));
    if (argc >= 5 && std::wstring(argv[3]) == L"--picture") {
        if (!WriteListingPicture(argv[4], folder, items, handlers)) {
            std::fprintf(stderr, "shell_host: could not write the picture\n");
            return 1;
        }
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const ComApartment apartment;
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    if (command == L"tree") return Tree(argc, argv);
    if (command == L"menu" && argc >= 3) {
        std::vector<std::wstring> selection;
        bool invoke = false;
        for (int i = 2; i < argc; ++i) {
            if (std::wstring(argv[i]) == L"--invoke") invoke = true;
            else selection.push_back(argv[i]);
        }
        return ProbeContextMenu(selection, invoke);
    }
    if (command == L"diagnose" && argc == 3) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        return DiagnosePath(self, argv[2]);
    }
    if (command == L"answers" && argc == 3) return AnswerForDiagnosis(argv[2]);
    return Usage();
}
