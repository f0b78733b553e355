#include "tools/client_simulator/churn.h"

#include <cstdio>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>

#include <sqlite3.h>
#include <windows.h>

#include "store/unique_handle.h"
#include "text/conversions.h"

namespace lumbo::tools {

namespace {

constexpr int kChurnRows = 64;

class Connection {
public:
    Connection(const std::string& path, bool wal) {
        if (sqlite3_open_v2(path.c_str(), &m_connection, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open the database");
        sqlite3_busy_timeout(m_connection, 10000);
        Execute(wal ? "pragma journal_mode = wal" : "pragma journal_mode = delete");
    }
    ~Connection() { sqlite3_close(m_connection); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void Execute(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(m_connection, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error != nullptr ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(message + " in: " + sql);
        }
    }

private:
    sqlite3* m_connection = nullptr;
};

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

int RunChurn(int argc, wchar_t** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: client_simulator --churn DATABASE SYNC_FOLDER SECONDS rollback|wal "
                             "[DONE_EVENT CLOSE_EVENT]\n");
        return 2;
    }
    const std::string database = WideToUtf8(argv[2]);
    const std::string churnFolder = WideToUtf8(argv[3]) + "\\churn\\";
    const double seconds = _wtof(argv[4]);
    const bool wal = std::wstring(argv[5]) == L"wal";
    UniqueHandle done;
    UniqueHandle close;
    if (argc >= 8) {
        done.Reset(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[6]));
        close.Reset(OpenEventW(SYNCHRONIZE, FALSE, argv[7]));
        if (!done || !close) throw std::runtime_error("cannot open the churn events");
    }

    std::mt19937 random(12345);
    const auto pick = [&](int below) { return static_cast<int>(random() % static_cast<unsigned>(below)); };
    const auto row = [&] { return Quoted(churnFolder + "c" + std::to_string(pick(kChurnRows)) + ".txt"); };

    auto connection = std::make_unique<Connection>(database, wal);
    std::printf("ready\n");
    std::fflush(stdout);

    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
    int transactions = 0;
    while (GetTickCount64() < end) {
        connection->Execute("begin immediate");
        for (int i = 0, statements = 1 + pick(6); i < statements; ++i) {
            switch (pick(3)) {
                case 0:
                    connection->Execute("insert into file_status values (" + row() + ", " + std::to_string(pick(3)) +
                                        ")");
                    break;
                case 1:
                    connection->Execute("update file_status set status = " + std::to_string(pick(3)) +
                                        " where local_filename = " + row());
                    break;
                default: connection->Execute("delete from file_status where local_filename = " + row()); break;
            }
        }
        // Held open, as a client that writes while it works on a file.
        Sleep(static_cast<DWORD>(10 + pick(190)));
        connection->Execute("commit");
        ++transactions;
        // A client that comes and goes: each new connection meets readers in
        // the middle of their calls, and in WAL mode makes the side files anew.
        if (transactions % 4 == 0) {
            connection.reset();
            connection = std::make_unique<Connection>(database, wal);
        }
    }
    std::printf("churn: %d transactions\n", transactions);
    std::fflush(stdout);
    if (done) {
        SetEvent(done.Get());
        WaitForSingleObject(close.Get(), 60000);
    }
    return 0;
}

}  // namespace lumbo::tools
