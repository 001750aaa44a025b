#pragma once
// Text files of the File menu: the decoded text saved for the operator's
// records and a text loaded into the lower panel for sending. Owns the file
// rules (trimming, line endings, the load limit, the normalisation to what
// the generator can send), the character sets (files are Windows-1252; a
// UTF-8 file is recognised by its content) and the safe save (a temporary
// file renamed over the old one). Plain C++: failures come back as message
// texts for the caller to show.

#include <cstddef>
#include <string>

class TCWout;

namespace textfiles {

// Characters loaded at most, each line ending counted as CR LF.
constexpr size_t kMaxLoadChars = 10000;
// Bytes read at most: more than enough for kMaxLoadChars characters, so a
// huge file costs no more than a small one.
constexpr size_t kReadLimit = 64 * 1024;

// True for valid UTF-8 holding at least one multi-byte sequence (plain
// ASCII is the same in both character sets and reads as Windows-1252).
bool LooksUtf8(const std::string& bytes);
// UTF-8 to Windows-1252; characters Windows-1252 lacks are dropped.
std::string Utf8ToCp1252(const std::string& utf8);
// Upper case for Windows-1252 text (ASCII and the accented letters).
std::string UpperCp1252(std::string s);

// What Ctrl+S writes for the upper panel's text: trimmed of blanks and
// control characters at both ends, upper-cased with allCaps, one line
// ending in CR LF (the bare CRs between keying bursts stay).
std::string DecodedTextForSave(const std::string& panelText, bool allCaps);
// Writes data to path through a temporary file in the same folder that is
// renamed over it, so a failed save leaves the old file whole.
bool SaveTextFile(const std::string& path, const std::string& data, std::string& error);

struct LoadedText {
    std::string text;   // Windows-1252, lines joined with CR LF
    bool cut = false;   // longer than kMaxLoadChars and cut there
    bool utf8 = false;  // the file was read as UTF-8
};
// Reads a text file: lines joined with CR LF (the last one too), cut at
// kMaxLoadChars. False with a message for a file that cannot be read or is
// binary.
bool ReadTextFile(const std::string& path, LoadedText& out, std::string& error);

// Reduces loaded text to what the generator can send: blanks and tabs to
// single spaces, no leading space, no trailing line breaks, bracketed
// prosigns kept whole, unknown brackets and unsendable characters dropped.
// With displayPros "+" and "=" stay, otherwise they become "<ar>" / "<bt>".
std::string NormaliseText(const std::string& text, const TCWout& gen, bool displayPros);

}  // namespace textfiles
