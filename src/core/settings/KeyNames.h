#pragma once
// Names of keyboard keys as the settings file gives them: X key-symbol
// names ("Right", "Control_L", "space", single letters and digits) and
// their key-symbol values, which the window system reports with each key
// event. A small table of the keys that make sense as a Morse key; no
// window system needed to read it.

#include <cstdint>
#include <string>
#include <vector>

// The key-symbol value of a name, 0 when the name is not in the table.
// Longer names match without regard to case; a single letter names its key
// ("a" and "A" are the same key, reported as the lower-case symbol).
uint32_t KeySymFromName(const std::string& name);
// The name the table gives a key-symbol value ("" when it has none).
std::string KeySymName(uint32_t sym);
// The names offered for choosing a key, in a sensible order.
const std::vector<std::string>& KeyNameChoices();
