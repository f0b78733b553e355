#pragma once

namespace lumbo::tools {

// The client at work: commits inserts, updates and deletes of its own rows in
// transactions held open for tens to hundreds of milliseconds, reopening its
// connection every few transactions, as a client that comes and goes does.
//
//   client_simulator.exe --churn DATABASE SYNC_FOLDER SECONDS rollback|wal [DONE_EVENT CLOSE_EVENT]
//
// Rows are only ever those under SYNC_FOLDER\churn\. It prints "ready" once
// the journal mode is set. After SECONDS it commits no more; with the two
// event names it then sets DONE_EVENT and keeps its connection open until
// CLOSE_EVENT is set, so that it closes last and takes its side files along.
int RunChurn(int argc, wchar_t** argv);

}  // namespace lumbo::tools
