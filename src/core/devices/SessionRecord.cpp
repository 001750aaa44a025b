#include "devices/SessionRecord.h"
#include "settings/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

bool Set(const char* v) { return v != nullptr && *v != '\0'; }

std::tm LocalTime(std::chrono::system_clock::time_point t) {
    const std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return tm;
}

std::string Format(const std::tm& tm, const char* fmt) {
    char buf[64];
    const size_t n = std::strftime(buf, sizeof buf, fmt, &tm);
    return std::string(buf, n);
}

// Makes the folder and its missing parents; false when it is not there after.
bool MakeFolder(const std::string& folder) {
    std::string path;
    for (size_t i = 0; i < folder.size(); ++i) {
        path += folder[i];
        if ((folder[i] == '/' && i > 0) || i + 1 == folder.size())
            ::mkdir(path.c_str(), 0700);
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

TSessionRecord::TSessionRecord(std::string folder, std::chrono::system_clock::time_point start, Header header)
    : folder_(std::move(folder)), start_(start), header_(std::move(header)) {
    if (!folder_.empty() && folder_.back() != '/')
        folder_ += '/';
}

TSessionRecord::~TSessionRecord() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::string TSessionRecord::FolderFrom(const char* xdgDataHome, const char* home) {
    std::string base;
    if (Set(xdgDataHome) && xdgDataHome[0] == '/')
        base = xdgDataHome;
    else if (Set(home))
        base = std::string(home) + "/.local/share";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    if (base.empty() || base == "/")
        return {};
    return base + "/orvo-tapmeter/sessions/";
}

std::string TSessionRecord::DefaultFolder() {
    return FolderFrom(std::getenv("XDG_DATA_HOME"), HomeFolder().c_str());
}

std::string TSessionRecord::FileStem(std::chrono::system_clock::time_point t) {
    return Format(LocalTime(t), "%Y-%m-%d_%H-%M-%S");
}

std::string TSessionRecord::IsoTime(std::chrono::system_clock::time_point t) {
    std::string s = Format(LocalTime(t), "%Y-%m-%dT%H:%M:%S%z");
    // %z gives +0100; ISO 8601's extended form wants +01:00.
    if (s.size() >= 5)
        s.insert(s.end() - 2, ':');
    return s;
}

void TSessionRecord::Fail(const std::string& message) {
    failed_ = true;
    error_ = message;
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (OnError)
        OnError(message);
}

bool TSessionRecord::Open() {
    if (fd_ >= 0)
        return true;
    if (failed_)
        return false;
    if (folder_.empty()) {
        Fail("Error: cannot record the session: no home folder");
        return false;
    }
    if (!MakeFolder(folder_)) {
        Fail("Error: cannot record the session in " + folder_ + ": " + std::strerror(errno));
        return false;
    }
    // Two runs started in the same second: the later one gets a suffix that
    // still sorts after the first.
    const std::string stem = folder_ + FileStem(start_);
    for (int n = 1; n < 100 && fd_ < 0; ++n) {
        path_ = stem;
        if (n > 1)
            path_.append(1, '_').append(std::to_string(n));
        path_ += ".keys";
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        const int err = errno;
        path_.clear();
        Fail("Error: cannot record the session in " + folder_ + ": " + std::strerror(err));
        return false;
    }
    Line("# " + header_.program);
    Line("# started: " + IsoTime(start_));
    Line("# speed: " + std::to_string(header_.speed));
    Line("# input: " + header_.input);
    return fd_ >= 0;
}

void TSessionRecord::Line(const std::string& text) {
    if (fd_ < 0)
        return;
    // Straight to the system, no buffer of our own: a killed program keeps
    // every line written.
    const std::string line = text + "\n";
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail("Error: cannot write " + path_ + ": " + std::strerror(errno));
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void TSessionRecord::Key(uint64_t ms, bool down) {
    if (!enabled_ || !Open())
        return;
    last_ = std::max(last_, ms);
    Line(std::to_string(last_) + (down ? " down" : " up"));
}

void TSessionRecord::InputMode(uint64_t ms, const std::string& name) {
    if (!enabled_)
        return;
    if (fd_ < 0) {
        // Not yet opened: the header names the mode keying starts in.
        header_.input = name;
        return;
    }
    Line("# input: " + name + ", from " + std::to_string(std::max(last_, ms)) + " ms");
}

void TSessionRecord::Speed(uint64_t ms, int32_t cpm) {
    if (!enabled_)
        return;
    if (fd_ < 0) {
        header_.speed = cpm;
        return;
    }
    Line("# speed: " + std::to_string(cpm) + ", from " + std::to_string(std::max(last_, ms)) + " ms");
}

SessionHeader ReadSessionHeader(std::istream& in) {
    SessionHeader h;
    std::string line;
    const std::streampos start = in.tellg();
    while (std::getline(in, line)) {
        size_t b = line.find_first_not_of(" \t\r");
        if (b == std::string::npos)
            continue;
        if (line[b] != '#')
            break;
        const std::string body = line.substr(line.find_first_not_of(" \t", b + 1) == std::string::npos
                                                 ? line.size()
                                                 : line.find_first_not_of(" \t", b + 1));
        auto value = [&](const char* key) -> std::string {
            const size_t k = std::strlen(key);
            if (body.compare(0, k, key) != 0)
                return {};
            std::string v = body.substr(k);
            while (!v.empty() && (v.back() == '\r' || v.back() == ' '))
                v.pop_back();
            return v;
        };
        if (std::string v = value("started: "); !v.empty() && h.started.empty())
            h.started = v;
        if (std::string v = value("speed: "); !v.empty() && h.speed == 0 && v.find(',') == std::string::npos)
            h.speed = std::atoi(v.c_str());
    }
    in.clear();
    if (start != std::streampos(-1))
        in.seekg(start);
    return h;
}
