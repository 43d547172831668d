#include "generation/platform/file_replacement.h"

#include <string>

namespace generation {

bool FileReplacement::IsTemporaryName(const std::filesystem::path& name, const std::filesystem::path& target)
{
    const std::string text = name.filename().string();
    const std::string prefix = "." + target.filename().string() + ".";
    const std::string suffix = ".tmp";
    return text.size() > prefix.size() + suffix.size() && text.compare(0, prefix.size(), prefix) == 0 &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace generation
