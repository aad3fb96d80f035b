// The desktop shell: "open" of a web address or a file with the user's program.
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <functional>

#include "platform/qt/dispatch.h"
#include "platform/qt/host.h"
#include "platform/qt/text.h"
#include "platform/shell.h"

namespace {
std::function<bool(const std::string&)> shellHook;  // window's thread only

QUrl TargetUrl(const std::string& target) {
    QString text = qttext::ToQ(target);
    // A path that exists is a file, whatever it looks like; else an address
    // with a scheme, else a bare host ("www.example.com") on the web.
    if (QFileInfo::exists(text)) return QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
    QUrl url(text, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty() && url.scheme().size() > 1) return url;
    return QUrl::fromUserInput(text);
}
}  // namespace

namespace qthost {
void SetShellHook(std::function<bool(const std::string&)> hook) {
    shellHook = std::move(hook);
}
}  // namespace qthost

bool ShellOpen(int owner, const std::string& target) {
    (void)owner;
    if (target.empty()) return false;
    return qtdispatch::Call(kNoWindow, false, [&] {
        if (shellHook) return shellHook(target);
        QUrl url = TargetUrl(target);
        return url.isValid() && QDesktopServices::openUrl(url);
    });
}
