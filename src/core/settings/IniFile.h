#pragma once
// A private-profile INI file kept line by line: reading and rewriting keys
// leaves every other line (comments, unknown sections and keys, blank lines)
// where it was, so a user's hand edits survive a save.

#include <cstdint>
#include <string>
#include <vector>

class IniFile {
public:
    // Longest string value handed out by GetString.
    static constexpr size_t MaxStringLength = 2047;

    IniFile() = default;
    explicit IniFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }
    void SetPath(std::string path) { path_ = std::move(path); }

    // Reads the file at Path(). A missing file is not an error: the content
    // is simply empty. Returns false with a message when the file exists but
    // cannot be read; the content is then empty as well.
    bool Load(std::string& error);
    // Replaces the content with the given text (CR LF or LF line ends).
    void SetText(const std::string& text);
    // The content as it would be written (CR LF line ends).
    std::string Text() const;

    // Section and key names match without regard to ASCII case; the first
    // matching section and key win, as with the system's profile functions.
    bool HasKey(const std::string& section, const std::string& key) const;
    std::string GetString(const std::string& section, const std::string& key, const std::string& def) const;
    // Decimal, or hexadecimal after "0x"/"0X"; anything else gives def.
    int32_t GetInt(const std::string& section, const std::string& key, int32_t def) const;
    // Read as an integer; any non-zero value is true.
    bool GetBool(const std::string& section, const std::string& key, bool def) const;

    // Replaces the value on the key's line, or appends the key at the end of
    // its section (the section at the end of the file when it is absent).
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInt(const std::string& section, const std::string& key, int32_t value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    // Removes the key's line; false when there was none.
    bool DeleteKey(const std::string& section, const std::string& key);

    // Writes the content to Path() through a temporary file that replaces the
    // old one only when complete, so a failed write never truncates the file.
    // On failure returns false and sets error to "Error: cannot save to " and
    // the path.
    bool Save(std::string& error) const;

    // Parses an integer the way GetInt does; false when malformed.
    static bool ParseInt(const std::string& text, int32_t& value);

private:
    struct Found {
        long sectionLine = -1;  // line of the "[section]" header
        long sectionEnd = -1;   // one past the last line of the section
        long keyLine = -1;      // line holding the key, or -1
    };
    Found Find(const std::string& section, const std::string& key) const;
    bool RawValue(const std::string& section, const std::string& key, std::string& value) const;

    std::string path_;
    std::vector<std::string> lines_;
};
