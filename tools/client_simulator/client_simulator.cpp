// Plays the lumbo client's side of the contract, and nothing more: it holds
// the client's named event while it runs, writes the install-folder value and
// the shell folder's "Target", keeps mydatabase.db (file_status, config) and
// the client's files\filefilter and files\config, and changes rows on request.
//
//   client_simulator.exe INSTALL_FOLDER SYNC_FOLDER [--index] [--sample]
//
// It prints "ready" once everything is in place, then reads commands, one a
// line, from standard input:
//   status <0|1|2> <path>    list the path with that status (replacing its row)
//   forget <path>            remove the path's rows
//   quit                     stop (the event goes with the process)
//
//   client_simulator.exe --churn ...  commits to an existing database (churn.h)
#include <cstdio>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include <sqlite3.h>
#include <windows.h>
#include <shlobj.h>

#include "store/client_contract.h"
#include "store/unique_handle.h"
#include "text/conversions.h"
#include "tools/client_simulator/churn.h"
#include "tools/client_simulator/sample_tree.h"
#include "tools/client_simulator/simulated_database.h"

namespace {

using lumbo::tools::SimulatedDatabase;

void WriteRegistryString(const wchar_t* subKey, const wchar_t* name, const std::wstring& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create a registry key");
    const LONG result = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) throw std::runtime_error("cannot write a registry value");
}

void WriteTextFile(const std::wstring& path, const std::string& text) {
    SHCreateDirectoryExW(nullptr, path.substr(0, path.rfind(L'\\')).c_str(), nullptr);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot write a client file");
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

std::wstring WithoutTrailingBackslash(std::wstring path) {
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

int Run(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: client_simulator INSTALL_FOLDER SYNC_FOLDER [--index] [--sample]\n");
        return 2;
    }
    const std::wstring installFolder = WithoutTrailingBackslash(argv[1]);
    const std::wstring syncFolder = WithoutTrailingBackslash(argv[2]);
    bool withIndex = false;
    bool withSample = false;
    for (int i = 3; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--index") withIndex = true;
        if (option == L"--sample") withSample = true;
    }

    SHCreateDirectoryExW(nullptr, installFolder.c_str(), nullptr);
    SHCreateDirectoryExW(nullptr, syncFolder.c_str(), nullptr);
    WriteRegistryString(lumbo::kInstallPathKey, nullptr, installFolder);
    WriteRegistryString(lumbo::kSyncFolderKey, lumbo::kSyncFolderValue, syncFolder);
    WriteTextFile(installFolder + L"\\files\\filefilter", "^~\\$\n\\.tmp$\n");
    WriteTextFile(installFolder + L"\\files\\config",
                  "version 1\nwebaddress = https://disk.orvek.example/lumbo\nuser demo\n");

    SimulatedDatabase database(installFolder + lumbo::kDatabaseFileSuffix, withIndex);
    database.SetConfig("lumbo_path", lumbo::WideToUtf8(syncFolder));
    database.SetConfig("ignore_dirs", "[\"Ignored\"]");
    if (withSample) lumbo::tools::CreateSampleTree(syncFolder, database);

    const lumbo::UniqueHandle event(CreateEventW(nullptr, FALSE, FALSE, lumbo::kClientEventName));
    if (!event) throw std::runtime_error("cannot create the client event");
    std::printf("ready\n");
    std::fflush(stdout);

    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string command;
        words >> command;
        std::string path;
        if (command == "quit") break;
        if (command == "status") {
            int status = 0;
            words >> status;
            std::getline(words >> std::ws, path);
            database.SetStatus(path, status);
        } else if (command == "forget") {
            std::getline(words >> std::ws, path);
            database.Forget(path);
        } else if (!command.empty()) {
            std::fprintf(stderr, "unknown command: %s\n", command.c_str());
            continue;
        }
        std::printf("ok\n");
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        if (argc > 1 && std::wstring(argv[1]) == L"--churn") return lumbo::tools::RunChurn(argc, argv);
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "client_simulator: %s\n", error.what());
        return 1;
    }
}
