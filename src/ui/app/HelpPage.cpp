#include "app/HelpPage.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

#include <sys/stat.h>

std::vector<std::string> HelpPageCandidates(const std::string& exeDir) {
    std::string dir = exeDir;
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return {dir + "help/helporvotapmtr.htm", dir + "../share/orvo-tapmeter/help/helporvotapmtr.htm"};
}

std::string FindHelpPage(const std::string& exeDir) {
    for (const std::string& p : HelpPageCandidates(exeDir)) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return p;
    }
    return std::string();
}

std::string HelpPageUrl(const std::string& page, const std::string& anchor) {
    QUrl url = QUrl::fromLocalFile(QString::fromLocal8Bit(page.c_str()));
    if (!anchor.empty())
        url.setFragment(QString::fromStdString(anchor));
    return url.toString(QUrl::FullyEncoded).toStdString();
}

bool TDesktopUrlOpener::OpenUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

bool ShowHelpPage(IUrlOpener& opener, IMessageBoxes& boxes, const std::string& exeDir,
                  const std::string& anchor) {
    const std::string page = FindHelpPage(exeDir);
    if (page.empty()) {
        boxes.Message(QStringLiteral("Error: cannot find the help page ") +
                      QString::fromLocal8Bit(HelpPageCandidates(exeDir).front().c_str()));
        return false;
    }
    const std::string url = HelpPageUrl(page, anchor);
    if (!opener.OpenUrl(url)) {
        boxes.Message(QStringLiteral("Error: no web browser found to show ") + QString::fromStdString(url));
        return false;
    }
    return true;
}
