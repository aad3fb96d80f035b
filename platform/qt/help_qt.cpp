// The help viewer: the HTML topics compiled into the program (resources/help,
// one page per context id) in a window of their own, reused for every request.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QHBoxLayout>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWidget>
#include <cstring>

#include "platform/common/helptopics.h"
#include "platform/help.h"
#include "platform/qt/dialog.h"
#include "platform/qt/dispatch.h"
#include "platform/qt/host.h"

namespace {

class HelpWindow : public QWidget {
  public:
    HelpWindow() : QWidget(nullptr, Qt::Window) {
        setWindowTitle(QString::fromLatin1(kHelpCaption));
        if (!QApplication::windowIcon().isNull()) setWindowIcon(QApplication::windowIcon());
        browser_ = new QTextBrowser(this);
        browser_->setSearchPaths({QStringLiteral(":/help")});
        browser_->setOpenExternalLinks(false);
        browser_->setOpenLinks(true);
        auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
        auto* back = new QPushButton(QStringLiteral("&Back"), this);
        auto* close = new QPushButton(QStringLiteral("C&lose"), this);
        back->setEnabled(false);
        connect(contents, &QPushButton::clicked, this,
                [this] { Show(QString::fromLatin1(kHelpContents)); });
        connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
        connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
        connect(close, &QPushButton::clicked, this, &QWidget::hide);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(contents);
        buttons->addWidget(back);
        buttons->addStretch(1);
        buttons->addWidget(close);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(buttons);
        layout->addWidget(browser_, 1);
        resize(560, 440);
    }

    void Show(const QString& page) {
        browser_->setSource(QUrl(QStringLiteral("qrc:/help/") + page));
        show();
        raise();
        activateWindow();
    }

    QTextBrowser* browser() const { return browser_; }

  private:
    QTextBrowser* browser_;
};

QPointer<HelpWindow> window;

HelpWindow& Viewer() {
    if (!window) window = new HelpWindow;
    return *window;
}

QString TopicPage(std::uint32_t context) {
    return QString::fromStdString(HelpTopicPage(context));
}

QWidget* OwnerWidget(int owner) {
    return owner ? qthost::Window(owner) : nullptr;
}

// Shows a page of the bundle; tells the user when it is missing.
bool ShowPage(int owner, const QString& page) {
    if (!QFile::exists(QStringLiteral(":/help/") + page)) {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kHelpCaption),
                        QString::fromStdString(MissingHelpTopicText(page.toStdString())),
                        QMessageBox::Ok, OwnerWidget(owner));
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return false;
    }
    Viewer().Show(page);
    return true;
}

bool Help(int owner, const char* file, unsigned command, const std::uint32_t* ids, int ctrlId) {
    if (!file || std::strcmp(file, kHelpBundle) != 0) {
        QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kHelpCaption),
                        QString::fromStdString(MissingHelpFileText(file)), QMessageBox::Ok,
                        OwnerWidget(owner));
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return false;
    }
    switch (command) {
        case HELP_FINDER:
            return ShowPage(owner, QString::fromLatin1(kHelpContents));
        case HELP_WM_HELP: {
            // A control without a topic gets nothing.
            std::uint32_t context = HelpContext(ids, ctrlId);
            return context != 0 && ShowPage(owner, TopicPage(context));
        }
        case HELP_CONTEXTMENU: {
            std::uint32_t context = HelpContext(ids, ctrlId);
            if (context == 0) return false;
            QMenu menu(OwnerWidget(owner));
            QAction* whatsThis = menu.addAction(QStringLiteral("What's This?"));
            if (menu.exec(QCursor::pos()) != whatsThis) return true;
            return ShowPage(owner, TopicPage(context));
        }
        default:
            return false;
    }
}

}  // namespace

namespace qthost {
QTextBrowser* HelpBrowser() {
    return window ? window->browser() : nullptr;
}
}  // namespace qthost

bool WinHelp(int owner, const char* file, unsigned command, const std::uint32_t* ids, int ctrlId) {
    return qtdispatch::Call(kNoWindow, false,
                            [&] { return Help(owner, file, command, ids, ctrlId); });
}
