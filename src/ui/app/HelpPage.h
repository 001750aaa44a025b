#pragma once
// Finding the help page beside the program (or where the package installs
// it) and opening it in the desktop's browser. The opener is an interface
// so tests see what would be opened without a browser.

#include "app/MessageBoxes.h"

#include <string>
#include <vector>

// Where the help page may be, in the order searched: beside the executable
// under help/, then the package's shared folder.
std::vector<std::string> HelpPageCandidates(const std::string& exeDir);
// The first candidate that exists, or empty.
std::string FindHelpPage(const std::string& exeDir);
// The help page as a file:// address, with an optional #anchor.
std::string HelpPageUrl(const std::string& page, const std::string& anchor = std::string());

class IUrlOpener {
public:
    virtual ~IUrlOpener() = default;
    // False when nothing on the desktop can open the address.
    virtual bool OpenUrl(const std::string& url) = 0;
};

class TDesktopUrlOpener : public IUrlOpener {
public:
    bool OpenUrl(const std::string& url) override;
};

// F1 (anchor empty) and the homepage item (the page's last section): opens
// the page or says why it cannot.
bool ShowHelpPage(IUrlOpener& opener, IMessageBoxes& boxes, const std::string& exeDir,
                  const std::string& anchor = std::string());

// Section of the help page the homepage menu item opens.
inline constexpr const char* kHomepageAnchor = "about";
