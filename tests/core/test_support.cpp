#include "test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#ifdef _WIN32
#include <random>
#endif

namespace testing_support {

TempDir::TempDir()
{
#ifdef _WIN32
    // No mkdtemp here; creating the folder fails when the name is taken.
    static std::mt19937_64 names{std::random_device{}()};
    for (int attempt = 0; path_.empty(); ++attempt) {
        const std::filesystem::path candidate =
            std::filesystem::temp_directory_path() / ("popgen-test-" + std::to_string(names()));
        if (std::filesystem::create_directory(candidate)) {
            path_ = candidate;
        } else if (attempt >= 100) {
            throw std::runtime_error("cannot create a temporary folder");
        }
    }
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "popgen-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
#endif
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TempDir::WithFilesFolder() const
{
    std::filesystem::create_directories(path_ / "files");
    return path_;
}

std::filesystem::path TempDir::ListPath() const { return path_ / "files" / "game_list.txt"; }

std::string ReadBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << "cannot read " << path;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::vector<std::string> CrlfLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "content does not end with CRLF";
            break;
        }
        std::string line = bytes.substr(start, end - start);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "bare CR or LF in line " << lines.size() + 1;
        lines.push_back(std::move(line));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> FolderNames(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace testing_support
