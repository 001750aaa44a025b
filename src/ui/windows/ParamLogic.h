#pragma once
// The arithmetic of the parameters dialog, free of widgets: dB label texts,
// the input level meter's scale, the serial-port list, the text sizes and
// the step rule of the numeric edits.

#include <string>
#include <vector>

// Text of a dB label. The blanks keep one- and two-digit values aligned in
// a proportional font: "+12 dB", "+  5 dB", "    0 dB", "-   5 dB", "- 25 dB".
std::string FormatDb(int value);

// The meter for an analyser input level: gauge position (limited to
// gaugeMin..gaugeMax) and the dB value of the label.
struct TLevelReading {
    int gauge;
    int db;
};
TLevelReading LevelReading(int inputLevel, int gaugeMin = 20, int gaugeMax = 100);

// "COM<n>" for every detected port n (entry n-1 of the names) that has a
// name not containing "bluet" in any letter case; at most 256 ports.
std::vector<std::string> ListedPorts(const std::vector<std::string>& detectedNames);
// The same as port numbers.
std::vector<int> ListedPortNumbers(const std::vector<std::string>& detectedNames);
// The number after "COM" (up to three digits); 0 when the item is not a port.
int PortNumberOf(const std::string& item);

// The text sizes offered, in points; CharSizeItem indexes them.
extern const int kCharSizePoints[7];
// The points of a CharSizeItem; the first size for one out of range.
int CharSizePoints(int item);

// Modifier multiplier of a numeric edit's step: Shift x10, Shift+Ctrl x100,
// Ctrl alone or nothing x1.
int StepFactor(bool shift, bool ctrl);
