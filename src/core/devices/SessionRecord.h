#pragma once
// The record of one program run: every key transition, as it happens, in the
// command-line tool's key-list format (milliseconds from the session's
// start, '#' lines for the header and for input-mode changes), one file per
// run named by its local start time. The file is made at the first key
// transition, so a run without keying leaves none; each line goes to the
// system at once, so a killed program loses at most the character being
// keyed. A folder that cannot be written to is reported once and the record
// then stops.

#include <chrono>
#include <cstdint>
#include <functional>
#include <istream>
#include <string>

class TSessionRecord {
public:
    struct Header {
        std::string program;  // "orvo-tapmeter 0.1.0"
        int32_t speed = 60;   // target speed, CpM
        std::string input;    // the input mode's name
    };

    // folder: where the file goes (made when missing); start: the session's
    // start, its local time naming the file.
    TSessionRecord(std::string folder, std::chrono::system_clock::time_point start, Header header);
    ~TSessionRecord();
    TSessionRecord(const TSessionRecord&) = delete;
    TSessionRecord& operator=(const TSessionRecord&) = delete;

    // $XDG_DATA_HOME/orvo-tapmeter/sessions/ (an absolute XDG_DATA_HOME
    // only), else ~/.local/share/orvo-tapmeter/sessions/; empty without a home.
    static std::string DefaultFolder();
    static std::string FolderFrom(const char* xdgDataHome, const char* home);
    // "2026-12-06_21-04-33" and "2026-12-06T21:04:33+01:00" of a time point.
    static std::string FileStem(std::chrono::system_clock::time_point t);
    static std::string IsoTime(std::chrono::system_clock::time_point t);

    // Off: nothing more is written (what is written stays).
    void SetEnabled(bool on) { enabled_ = on; }
    bool Enabled() const { return enabled_; }

    // ms from the session's start; earlier key times than the last are
    // written as the last. The '#' lines do not move that time on: a key
    // clock that runs a little behind the caller's (a file's samples) keeps
    // its spacing.
    void Key(uint64_t ms, bool down);
    void InputMode(uint64_t ms, const std::string& name);
    void Speed(uint64_t ms, int32_t cpm);

    // The file written; empty while nothing was keyed.
    const std::string& Path() const { return path_; }
    const std::string& Folder() const { return folder_; }
    bool Failed() const { return failed_; }
    const std::string& LastError() const { return error_; }
    // Called once, with the message, when the record cannot be written.
    std::function<void(const std::string&)> OnError;

private:
    bool Open();
    void Line(const std::string& text);
    void Fail(const std::string& message);

    std::string folder_;
    std::chrono::system_clock::time_point start_;
    Header header_;
    std::string path_;
    std::string error_;
    int fd_ = -1;
    bool enabled_ = true;
    bool failed_ = false;
    uint64_t last_ = 0;
};

// The header of a session file as read back; fields absent are empty / 0.
struct SessionHeader {
    std::string started;  // ISO 8601 with offset
    int32_t speed = 0;    // target speed at the start, CpM
};
// Reads the '#' lines before the first key line; leaves the stream at its start.
SessionHeader ReadSessionHeader(std::istream& in);
