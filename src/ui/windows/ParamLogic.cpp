#include "windows/ParamLogic.h"

#include <algorithm>
#include <cctype>
#include <cmath>

std::string FormatDb(int value) {
    std::string text;
    const std::string magnitude = std::to_string(value < 0 ? -static_cast<long long>(value) : value);
    if (value >= 10)
        text = "+" + magnitude;
    else if (value >= 1)
        text = "+  " + magnitude;
    else if (value == 0)
        text = "    0";
    else if (value >= -9)
        text = "-   " + magnitude;
    else
        text = "- " + magnitude;
    return text + " dB";
}

TLevelReading LevelReading(int inputLevel, int gaugeMin, int gaugeMax) {
    const int v = std::max(inputLevel, 1);
    const int level = static_cast<int>(20.0 * std::log10(static_cast<double>(v)));  // toward zero
    return {std::clamp(level, gaugeMin, gaugeMax), level - 74};
}

std::vector<int> ListedPortNumbers(const std::vector<std::string>& detectedNames) {
    std::vector<int> numbers;
    const size_t n = std::min<size_t>(detectedNames.size(), 256);
    for (size_t i = 0; i < n; ++i) {
        std::string lower = detectedNames[i];
        if (lower.empty())
            continue;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower.find("bluet") != std::string::npos)
            continue;
        numbers.push_back(static_cast<int>(i + 1));
    }
    return numbers;
}

std::vector<std::string> ListedPorts(const std::vector<std::string>& detectedNames) {
    std::vector<std::string> items;
    for (int n : ListedPortNumbers(detectedNames))
        items.push_back("COM" + std::to_string(n));
    return items;
}

int PortNumberOf(const std::string& item) {
    if (item.compare(0, 3, "COM") != 0)
        return 0;
    int n = 0;
    for (size_t i = 3; i < item.size() && i < 6; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(item[i])))
            break;
        n = n * 10 + (item[i] - '0');
    }
    return n;
}

int StepFactor(bool shift, bool ctrl) {
    if (shift && ctrl)
        return 100;
    if (shift)
        return 10;
    return 1;
}

const int kCharSizePoints[7] = {12, 14, 18, 24, 30, 36, 48};

int CharSizePoints(int item) { return item >= 0 && item < 7 ? kCharSizePoints[item] : kCharSizePoints[0]; }
