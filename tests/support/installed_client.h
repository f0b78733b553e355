#pragma once

#include <optional>
#include <string>

#include "tests/support/client_fixture.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/test_database.h"

namespace lumbo::test {

// A client installed in a scratch folder: its install-folder value points
// there and its database lives there. It runs (holds its event) from Start()
// to Stop() or the end of the test.
class InstalledClient {
public:
    InstalledClient() { m_installKey.SetFolder(m_installFolder.Path()); }

    void Start() {
        if (!m_event) m_event.emplace();
    }
    void Stop() { m_event.reset(); }

    void WriteDatabase(const ClientDatabase& database) const { database.WriteTo(DatabaseFile()); }

    const std::wstring& InstallFolder() const { return m_installFolder.Path(); }
    std::wstring DatabaseFile() const { return m_installFolder / L"mydatabase.db"; }
    InstallPathKey& InstallKey() { return m_installKey; }

private:
    ScratchFolder m_installFolder;
    InstallPathKey m_installKey;
    std::optional<ClientEvent> m_event;
};

}  // namespace lumbo::test
