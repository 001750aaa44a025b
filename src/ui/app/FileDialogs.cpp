#include "app/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <sstream>

std::vector<std::string> QtNameFilters(const std::string& filter) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(filter);
    while (std::getline(in, part, '|'))
        parts.push_back(part);
    std::vector<std::string> result;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::string desc = parts[i];
        // The description may show its patterns in brackets: drop them, the
        // brackets added below are the ones Qt reads.
        const size_t open = desc.rfind('(');
        if (open != std::string::npos && desc.back() == ')')
            desc.erase(open);
        while (!desc.empty() && desc.back() == ' ')
            desc.pop_back();
        std::vector<std::string> pats;
        std::istringstream ps(parts[i + 1]);
        std::string p;
        while (std::getline(ps, p, ';')) {
            if (p.empty())
                continue;
            if (p == "*.*")
                p = "*";
            std::string lower = p, upper = p;
            for (char& c : lower)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            for (const std::string& v : {lower, upper})
                if (std::find(pats.begin(), pats.end(), v) == pats.end())
                    pats.push_back(v);
        }
        std::string joined;
        for (const std::string& v : pats)
            joined += (joined.empty() ? "" : " ") + v;
        result.push_back(desc + " (" + joined + ")");
    }
    return result;
}

bool TQtFileDialogs::Execute(const TFileDialogRequest& request, std::string& path) {
    QFileDialog dlg(parent_, QString::fromStdString(request.title));
    dlg.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (request.save && !request.confirmOverwrite)
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
    QStringList filters;
    for (const std::string& f : QtNameFilters(request.filter))
        filters << QString::fromStdString(f);
    if (!filters.isEmpty())
        dlg.setNameFilters(filters);
    dlg.setDefaultSuffix(QString::fromStdString(request.defaultSuffix));
    const QString folder = QString::fromStdString(request.folder);
    if (!folder.isEmpty() && QDir(folder).exists())
        dlg.setDirectory(folder);
    if (!request.fileName.empty()) {
        const QFileInfo fi(QString::fromStdString(request.fileName));
        if (fi.isAbsolute() && QDir(fi.absolutePath()).exists())
            dlg.setDirectory(fi.absolutePath());
        dlg.selectFile(fi.fileName());
    }
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return false;
    path = QDir::toNativeSeparators(dlg.selectedFiles().first()).toStdString();
    return true;
}
