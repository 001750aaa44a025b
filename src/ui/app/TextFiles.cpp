#include "app/TextFiles.h"

#include "morse/CWout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include "morse/Cp1252.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace textfiles {
namespace {

std::string ErrnoText(int err) { return std::strerror(err); }

}  // namespace

bool LooksUtf8(const std::string& bytes) {
    bool multi = false;
    char32_t cp;
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = cp1252::Utf8Sequence(bytes, i, cp);
        if (n == 0)
            return false;
        multi = multi || n > 1;
        i += n;
    }
    return multi;
}

std::string Utf8ToCp1252(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    char32_t cp;
    for (size_t i = 0; i < utf8.size();) {
        size_t n = cp1252::Utf8Sequence(utf8, i, cp);
        if (n == 0) {  // not expected after LooksUtf8; skip the byte
            ++i;
            continue;
        }
        const int c = cp1252::FromUnicode(cp);
        if (c >= 0)
            out += static_cast<char>(c);
        i += n;
    }
    return out;
}

std::string UpperCp1252(std::string s) {
    for (char& ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            ch = static_cast<char>(c - 0x20);
        else if (c == 0x9A || c == 0x9C || c == 0x9E)
            ch = static_cast<char>(c - 0x10);
        else if (c == 0xFF)
            ch = static_cast<char>(0x9F);
    }
    return s;
}

std::string DecodedTextForSave(const std::string& panelText, bool allCaps) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    size_t b = 0, e = panelText.size();
    while (b < e && blank(panelText[b]))
        ++b;
    while (e > b && blank(panelText[e - 1]))
        --e;
    std::string s = panelText.substr(b, e - b);
    if (allCaps)
        s = UpperCp1252(std::move(s));
    return s + "\r\n";
}

bool SaveTextFile(const std::string& path, const std::string& data, std::string& error) {
    // Write beside the target so the rename stays on one file system; a
    // symbolic link is followed so the file it names is the one replaced.
    std::string target = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    const size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    struct stat st {};
    mode_t mode = 0;
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        error = "Error: cannot save to " + path + ": " + ErrnoText(EISDIR);
        return false;
    }
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    std::string tmp = target + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = "Error: cannot save to " + path + ": " + ErrnoText(errno) + " (folder " + folder + ")";
        return false;
    }
    tmp = name.data();
    const auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        error = "Error: cannot save to " + path + ": " + ErrnoText(err);
        return false;
    };
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        error = "Error: cannot save to " + path + ": " + ErrnoText(err);
        return false;
    }
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        error = "Error: cannot save to " + path + ": " + ErrnoText(err);
        return false;
    }
    return true;
}

bool ReadTextFile(const std::string& path, LoadedText& out, std::string& error) {
    out = LoadedText{};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = "Error: cannot read file " + path + ": " + ErrnoText(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        error = "Error: cannot read file " + path + ": " +
                (err == EISDIR ? ErrnoText(err) : "not a regular file");
        return false;
    }
    std::string bytes(kReadLimit, '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            error = "Error: cannot read file " + path + ": " + ErrnoText(err);
            return false;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    char probe;
    const bool more = got == bytes.size() && ::read(fd, &probe, 1) == 1;
    ::close(fd);
    bytes.resize(got);
    if (bytes.find('\0') != std::string::npos) {
        error = "Error: not a text file: " + path;
        return false;
    }
    if (more) {
        // A multi-byte character cut at the read limit must not make the
        // whole text look like Windows-1252.
        size_t keep = bytes.size();
        for (size_t k = 0; k < 3 && keep > 0; ++k) {
            const unsigned char c = static_cast<unsigned char>(bytes[keep - 1]);
            if (c < 0x80)
                break;
            --keep;
            if (c >= 0xC0)
                break;
        }
        if (LooksUtf8(bytes.substr(0, keep)))
            bytes.resize(keep);
    }
    out.utf8 = LooksUtf8(bytes);
    const std::string text = out.utf8 ? Utf8ToCp1252(bytes) : bytes;
    // Lines end in CR LF, LF or CR; each, the last one included, becomes CR LF.
    std::string joined;
    joined.reserve(text.size() + text.size() / 8 + 2);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            joined += "\r\n";
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            joined += c;
        }
    }
    if (!text.empty() && text.back() != '\r' && text.back() != '\n')
        joined += "\r\n";
    if (joined.size() > kMaxLoadChars) {
        joined.resize(kMaxLoadChars);
        out.cut = true;
    }
    out.cut = out.cut || more;
    out.text = std::move(joined);
    return true;
}

std::string NormaliseText(const std::string& text, const TCWout& gen, bool displayPros) {
    // Blanks: tabs are spaces, runs of spaces one space, no leading space.
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c == '\t')
            c = ' ';
        if (c == ' ' && !s.empty() && s.back() == ' ')
            continue;
        s += c;
    }
    if (!s.empty() && s.front() == ' ')
        s.erase(0, 1);
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n'))
        s.pop_back();

    std::string out;
    out.reserve(s.size() + 16);
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '<') {
            size_t close = std::string::npos;
            for (size_t k = i + 1; k <= i + 4 && k < s.size(); ++k)
                if (s[k] == '>') {
                    close = k;
                    break;
                }
            if (close == std::string::npos)
                continue;  // only the "<" goes
            const std::string bracket = s.substr(i, close - i + 1);
            if (gen.ProsignIndexOfText(bracket) > 0)
                out += bracket;
            i = close;
            continue;
        }
        if (!gen.IsSendable(c))
            continue;
        if (TCWout::ProsignIndexOfChar(c) > 0) {
            if (c == '+' || c == '=') {
                if (displayPros)
                    out += c;
                else
                    out += c == '+' ? "<ar>" : "<bt>";
            }
            continue;
        }
        out += c;
    }
    return out;
}

}  // namespace textfiles
