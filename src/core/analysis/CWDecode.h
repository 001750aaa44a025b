#pragma once
// Turns a pattern code (leading 1 marker bit, then one bit per mark, 0 = dot,
// 1 = dash, first mark most significant) into the text shown to the operator.
// Text is Windows-1252 bytes; letters are lower case.

#include <cstdint>
#include <string>

class TCWDecode {
public:
    // Extended characters (umlauts, punctuation beyond the basic set, "<ch>").
    bool SpecialChars() const { return specialChars_; }
    void SetSpecialChars(bool v) { specialChars_ = v; }
    // Show <ar> and <bt> as '+' and '='.
    bool Display2Prosigns() const { return display2Prosigns_; }
    void SetDisplay2Prosigns(bool v) { display2Prosigns_ = v; }
    // Show unlisted codes as "<?>" instead of their elements.
    bool ErrQm() const { return errQm_; }
    void SetErrQm(bool v) { errQm_ = v; }
    // Show a-acute as a-ring. Acirc is a second name of the same switch.
    bool Aring() const { return aring_; }
    void SetAring(bool v) { aring_ = v; }
    bool Acirc() const { return aring_; }
    void SetAcirc(bool v) { aring_ = v; }

    // Text of one character; bl appends one blank (the character ended a word).
    std::string Decode(uint32_t data, bool bl) const;
    // "<", one '.' or '-' per element (at least one), ">".
    static std::string RenderElements(uint32_t data);

private:
    bool specialChars_ = true;
    bool display2Prosigns_ = false;
    bool errQm_ = false;
    bool aring_ = false;
};
