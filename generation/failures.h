#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace generation {

// The ways a generation run can fail. Each is raised where it arises and
// carries a message meant for a person: what went wrong and where.
class GenerationFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    // A short name of the kind of failure: the first words of a report.
    virtual std::string_view Kind() const noexcept = 0;
};

// A whole number that does not fit the signed 16-bit range (or a typed
// number beyond the double range).
class OverflowFailure : public GenerationFailure {
public:
    using GenerationFailure::GenerationFailure;
    static constexpr std::string_view kKind = "Number out of range";
    std::string_view Kind() const noexcept override { return kKind; }
};

// A text that the list would hold as typed but that cannot stand on a line
// of its own: it holds a line break, which would move every later line.
class TextFailure : public GenerationFailure {
public:
    using GenerationFailure::GenerationFailure;
    static constexpr std::string_view kKind = "Text that cannot be written";
    std::string_view Kind() const noexcept override { return kKind; }
};

// The population list file could not be created, written or replaced.
class FileFailure : public GenerationFailure {
public:
    // `action` says what was attempted ("create", "write", ...), `path` the
    // file or folder concerned (empty when there is none) and `reason` the
    // system's reason.
    FileFailure(std::string_view action, const std::filesystem::path& path, std::string reason);
    FileFailure(std::string_view action, const std::filesystem::path& path, std::error_code error);

    static constexpr std::string_view kKind = "File error";
    std::string_view Kind() const noexcept override { return kKind; }
    const std::filesystem::path& Path() const noexcept { return path_; }
    const std::string& Reason() const noexcept { return reason_; }

private:
    std::filesystem::path path_;
    std::string reason_;
};

// The kind named when something other than a run's own failure escapes it.
inline constexpr std::string_view kUnexpectedFailureKind = "Unexpected error";

// The path as UTF-8 text, for messages.
std::string PathText(const std::filesystem::path& path);

// A field text as it appears inside a message: quoted, and shortened when long.
std::string QuotedText(std::string_view text);

}  // namespace generation
