#pragma once

#include <string>

namespace lumbo::tools {

// A client installation for the bench: install folder, synchronised folder
// with the measured item, a 20-line filter file, and a database of any size.
class BenchLayout {
public:
    explicit BenchLayout(std::wstring workFolder);

    // Replaces the database by one of `rows` rows, with or without the
    // client's index. The synchronised and the failed item sit in the middle
    // of the table; the pending one is not listed (the longest road).
    void WriteDatabase(int rows, bool withFilenameIndex) const;

    // Existing files inside the synchronised folder that each handler badges:
    // 0 listed synchronised, 1 not listed yet, 2 listed failed.
    std::wstring ItemPath(int status) const;

private:
    std::wstring m_install;
    std::wstring m_sync;
};

}  // namespace lumbo::tools
