#include "generation/failures.h"

#ifdef _WIN32
#include "generation/platform/utf16.h"
#endif

namespace generation {

std::string PathText(const std::filesystem::path& path)
{
#ifdef _WIN32
    return Utf8(path.native());  // a broken surrogate in a name shows as U+FFFD
#else
    const std::u8string utf8 = path.u8string();
    return std::string(utf8.begin(), utf8.end());
#endif
}

std::string QuotedText(std::string_view text)
{
    constexpr std::size_t kLongest = 40;
    std::string quoted = "\"";
    if (text.size() <= kLongest) {
        quoted.append(text);
    } else {
        // Cut on a UTF-8 character boundary so the message stays valid text.
        std::size_t cut = kLongest;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        quoted.append(text.substr(0, cut));
        quoted.append("...");
    }
    quoted.push_back('"');
    return quoted;
}

namespace {

std::string FileMessage(std::string_view action, const std::filesystem::path& path, const std::string& reason)
{
    std::string message = "Could not ";
    message.append(action);
    if (!path.empty()) {
        message.append(" \"");
        message.append(PathText(path));
        message.append("\"");
    }
    message.append(": ");
    message.append(reason);
    return message;
}

}  // namespace

FileFailure::FileFailure(std::string_view action, const std::filesystem::path& path, std::string reason)
    : GenerationFailure(FileMessage(action, path, reason)), path_(path), reason_(std::move(reason))
{
}

FileFailure::FileFailure(std::string_view action, const std::filesystem::path& path, std::error_code error)
    : FileFailure(action, path, error.message())
{
}

}  // namespace generation
