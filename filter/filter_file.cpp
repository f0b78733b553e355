#include "filter/filter_file.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace lumbo {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string ReadFileText(const std::wstring& path) {
    const std::unique_ptr<std::FILE, FileCloser> file(_wfopen(path.c_str(), L"rt"));
    if (!file) return {};
    std::string text;
    char line[1024];
    while (std::fgets(line, sizeof line, file.get()) != nullptr) {
        text.append(line, std::strlen(line));
        text += '\n';
    }
    return text;
}

}  // namespace lumbo
