#pragma once
// The open and save dialogs of the File commands behind an interface, so
// that tests answer them and the program shows Qt's file dialog. Filters
// are given as the settings and messages know them ("Text files
// (*.txt)|*.TXT|all files (*.*)|*.*"); the Qt backend translates them.

#include <string>
#include <vector>

struct TFileDialogRequest {
    bool save = false;  // a save dialog, else an open dialog
    std::string title;
    std::string folder;             // initial folder
    std::string fileName;           // initial file name (may carry a folder)
    std::string defaultSuffix;      // added when the name given has none
    std::string filter;             // "description|patterns|description|patterns"
    bool confirmOverwrite = false;  // save: ask before replacing a file
    bool mustExist = false;         // open: only existing files
};

class IFileDialogs {
public:
    virtual ~IFileDialogs() = default;
    // Shows the dialog; false when cancelled, else path is the chosen file.
    virtual bool Execute(const TFileDialogRequest& request, std::string& path) = 0;
};

// A "desc|pat|desc|pat" filter as Qt name filters: the patterns of each
// pair in both cases ("*.txt *.TXT"), "*.*" as "*" so that files without
// an extension show too.
std::vector<std::string> QtNameFilters(const std::string& filter);

class QWidget;

// The Qt file dialog, modal on parent (or on no window).
class TQtFileDialogs : public IFileDialogs {
public:
    explicit TQtFileDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }
    bool Execute(const TFileDialogRequest& request, std::string& path) override;

private:
    QWidget* parent_;
};
