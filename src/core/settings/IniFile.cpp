#include "settings/IniFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A settings file is a few kilobytes; anything far larger is not one, and
// reading it whole would only waste memory.
constexpr std::streamoff MaxFileSize = 4 * 1024 * 1024;

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// "[name]" (blanks allowed around) gives true and the name.
bool SectionName(const std::string& line, std::string& name) {
    std::string t = Trim(line);
    if (t.size() < 2 || t[0] != '[')
        return false;
    size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = Trim(t.substr(1, close - 1));
    return true;
}

// "key=value" gives true, the key and the raw value; comment lines are not keys.
bool KeyLine(const std::string& line, std::string& key, std::string& value) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == ';')
        return false;
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
    key = Trim(line.substr(0, eq));
    value = line.substr(eq + 1);
    return !key.empty();
}

// A value must stay on its own line, or it would turn into keys of its own.
std::string OneLine(const std::string& s) {
    std::string r = s;
    for (char& c : r)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return r;
}

}  // namespace

bool IniFile::Load(std::string& error) {
    lines_.clear();
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return true;  // no file yet: all defaults
        error = "Error: cannot read " + path_;
        return false;
    }
    if (S_ISDIR(st.st_mode) || st.st_size > MaxFileSize) {
        error = "Error: cannot read " + path_;
        return false;
    }
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        error = "Error: cannot read " + path_;
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        error = "Error: cannot read " + path_;
        return false;
    }
    SetText(ss.str());
    return true;
}

void IniFile::SetText(const std::string& text) {
    lines_.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string::npos ? text.size() : nl;
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines_.push_back(std::move(line));
        if (nl == std::string::npos)
            break;
        pos = nl + 1;
    }
}

std::string IniFile::Text() const {
    std::string out;
    for (const std::string& l : lines_) {
        out += l;
        out += "\r\n";
    }
    return out;
}

IniFile::Found IniFile::Find(const std::string& section, const std::string& key) const {
    Found f;
    std::string name, k, v;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (SectionName(lines_[i], name)) {
            if (f.sectionLine >= 0) {
                f.sectionEnd = static_cast<long>(i);
                return f;
            }
            if (EqualNoCase(name, section))
                f.sectionLine = static_cast<long>(i);
            continue;
        }
        if (f.sectionLine >= 0 && f.keyLine < 0 && KeyLine(lines_[i], k, v) && EqualNoCase(k, key))
            f.keyLine = static_cast<long>(i);
    }
    if (f.sectionLine >= 0)
        f.sectionEnd = static_cast<long>(lines_.size());
    return f;
}

bool IniFile::RawValue(const std::string& section, const std::string& key, std::string& value) const {
    Found f = Find(section, key);
    if (f.keyLine < 0)
        return false;
    std::string k;
    KeyLine(lines_[static_cast<size_t>(f.keyLine)], k, value);
    value = Trim(value);
    // The profile functions drop one pair of enclosing quotes.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return true;
}

bool IniFile::HasKey(const std::string& section, const std::string& key) const {
    return Find(section, key).keyLine >= 0;
}

std::string IniFile::GetString(const std::string& section, const std::string& key,
                               const std::string& def) const {
    std::string v;
    if (!RawValue(section, key, v))
        return def;
    if (v.size() > MaxStringLength)
        v.resize(MaxStringLength);
    return v;
}

bool IniFile::ParseInt(const std::string& text, int32_t& value) {
    std::string t = Trim(text);
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        uint64_t v = 0;
        for (size_t i = 2; i < t.size(); ++i) {
            char c = t[i];
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                return false;
            v = v * 16 + static_cast<uint64_t>(d);
            if (v > 0xFFFFFFFFull)
                return false;
        }
        // Eight hex digits cover the whole 32-bit pattern, as "0xFFFFFFFF" = -1.
        value = static_cast<int32_t>(static_cast<uint32_t>(v));
        return true;
    }
    size_t i = 0;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        neg = t[i++] == '-';
    if (i >= t.size())
        return false;
    int64_t v = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < '0' || t[i] > '9')
            return false;
        v = v * 10 + (t[i] - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1)
            return false;
    }
    if (neg)
        v = -v;
    if (v > INT32_MAX || v < INT32_MIN)
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

int32_t IniFile::GetInt(const std::string& section, const std::string& key, int32_t def) const {
    std::string v;
    int32_t n;
    if (!RawValue(section, key, v) || !ParseInt(v, n))
        return def;
    return n;
}

bool IniFile::GetBool(const std::string& section, const std::string& key, bool def) const {
    return GetInt(section, key, def ? 1 : 0) != 0;
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    std::string line = key + "=" + OneLine(value);
    Found f = Find(section, key);
    if (f.keyLine >= 0) {
        lines_[static_cast<size_t>(f.keyLine)] = line;
        return;
    }
    if (f.sectionLine < 0) {
        // Separate a new section from what is above it, then add it at the end.
        while (!lines_.empty() && Trim(lines_.back()).empty())
            lines_.pop_back();
        if (!lines_.empty())
            lines_.emplace_back();
        lines_.push_back("[" + section + "]");
        lines_.push_back(line);
        return;
    }
    // After the section's last non-blank line, so blank separators stay below.
    long at = f.sectionEnd;
    while (at - 1 > f.sectionLine && Trim(lines_[static_cast<size_t>(at - 1)]).empty())
        --at;
    lines_.insert(lines_.begin() + at, line);
}

void IniFile::WriteInt(const std::string& section, const std::string& key, int32_t value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

bool IniFile::DeleteKey(const std::string& section, const std::string& key) {
    Found f = Find(section, key);
    if (f.keyLine < 0)
        return false;
    lines_.erase(lines_.begin() + f.keyLine);
    return true;
}

bool IniFile::Save(std::string& error) const {
    const std::string tmp = path_ + ".new";
    const std::string text = Text();
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<size_t>(n);
    }
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    if (ok && std::rename(tmp.c_str(), path_.c_str()) != 0)
        ok = false;
    if (!ok) {
        if (fd >= 0)
            ::unlink(tmp.c_str());
        error = "Error: cannot save to " + path_;
    }
    return ok;
}
