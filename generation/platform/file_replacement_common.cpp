#include "generation/platform/file_replacement.h"

#include <atomic>
#include <string>

namespace generation {

bool FileReplacement::IsTemporaryName(const std::filesystem::path& name, const std::filesystem::path& target)
{
    const std::string text = name.filename().string();
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about a
    // string literal + std::string here.
    std::string prefix(1, '.');
    prefix += target.filename().string();
    prefix += '.';
    const std::string suffix = ".tmp";
    return text.size() > prefix.size() + suffix.size() && text.compare(0, prefix.size(), prefix) == 0 &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::filesystem::path FileReplacement::NextTemporaryPath(const std::filesystem::path& folder,
                                                        unsigned long processId) const
{
    static std::atomic<unsigned> sequence{0};
    std::filesystem::path name = ".";
    name += target_.filename();
    std::string unique(1, '.');
    unique += std::to_string(processId);
    unique += '-';
    unique += std::to_string(sequence++);
    unique += ".tmp";
    name += unique;
    return folder / name;
}

}  // namespace generation
