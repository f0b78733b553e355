#pragma once

#include <string>

namespace lumbo::tools {

// A client installation for the bench: install folder, synchronised folder
// with the measured item, a 20-line filter file, and a database of any size.
class BenchLayout {
public:
    explicit BenchLayout(std::wstring workFolder);

    // Replaces the database by one of `rows` rows (the measured item among
    // them, listed as synchronised), with or without the client's index.
    void WriteDatabase(int rows, bool withFilenameIndex) const;

    // An existing file inside the synchronised folder.
    std::wstring ItemPath() const;

private:
    std::wstring m_install;
    std::wstring m_sync;
};

}  // namespace lumbo::tools
