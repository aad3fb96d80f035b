#include "platform/qt/dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTreeView>
#include <QValidator>
#include <QWhatsThis>
#include <cmath>

#include "platform/qt/host.h"
#include "platform/qt/listmodel.h"
#include "platform/qt/text.h"

namespace qthost {
namespace {

// Scroll codes beyond those of platform/ui.h: the keyboard's Home and End.
constexpr unsigned kScrollToStart = 6;
constexpr unsigned kScrollToEnd = 7;

// What the user may type into an edit: at most limit characters (a text
// the program put there may be longer; the user can still shorten it) and,
// for a number field, digits only. Text set by the program is not checked.
class EditValidator : public QValidator {
  public:
    EditValidator(QLineEdit* edit, bool digitsOnly)
        : QValidator(edit), digits_(digitsOnly), before_(static_cast<int>(edit->text().size())) {
        // The edit's text before a change: the edit asks about a change
        // only once it has made it.
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& text) { Accepted(text); });
    }
    void SetLimit(int chars) { limit_ = chars; }
    void Accepted(const QString& text) { before_ = static_cast<int>(text.size()); }

    State validate(QString& input, int&) const override {
        if (digits_) {
            for (QChar c : input)
                if (!c.isDigit()) return Invalid;
        }
        if (limit_ > 0 && input.size() > limit_ && input.size() > before_) return Invalid;
        return Acceptable;
    }

  private:
    bool digits_;
    int limit_ = 0;
    int before_;
};

// A group box as dialogs draw it: an etched frame whose top line runs
// through the middle of the title, whatever the widget style.
class GroupFrame : public QGroupBox {
  public:
    using QGroupBox::QGroupBox;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        QFontMetrics fm(font());
        QRect frame = rect().adjusted(0, fm.height() / 2, -1, -1);
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(frame.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::Light));
        p.drawRect(frame.adjusted(1, 1, 0, 0));
        if (title().isEmpty()) return;
        int indent = fm.horizontalAdvance(QLatin1Char('x'));
        QRect label(indent, 0, fm.horizontalAdvance(title()) + 4, fm.height());
        p.fillRect(label, palette().color(QPalette::Window));
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(label, Qt::AlignCenter | Qt::TextSingleLine, title());
    }
};

// Breaks text at blanks so that each line fits width pixels.
QString Wrap(const QString& text, const QFontMetrics& fm, int width) {
    QStringList lines;
    QString line;
    for (const QString& word : text.split(' ', Qt::SkipEmptyParts)) {
        QString candidate = line.isEmpty() ? word : line + ' ' + word;
        if (!line.isEmpty() && fm.horizontalAdvance(candidate) > width) {
            lines << line;
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.isEmpty()) lines << line;
    return lines.join('\n');
}

QFont MakeDialogFont() {
    // "Helv" and "MS Sans Serif" at 8 points: the desktop's sans-serif.
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

int MulDiv(int value, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

}  // namespace

QFont DialogFont() {
    static const QFont font = MakeDialogFont();
    return font;
}

BaseUnits DialogBaseUnits() {
    static const BaseUnits units = [] {
        QFontMetrics fm(DialogFont());
        int width = fm.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        return BaseUnits{static_cast<int>(std::lround(width / 52.0)), fm.height()};
    }();
    return units;
}

PixelRect TemplateRect(int templateId, int controlId) {
    const DialogTemplate* t = FindDialogTemplate(templateId);
    if (!t) return {};
    BaseUnits u = DialogBaseUnits();
    if (controlId == 0)
        return {MulDiv(t->x, u.x, 4), MulDiv(t->y, u.y, 8), MulDiv(t->cx, u.x, 4),
                MulDiv(t->cy, u.y, 8)};
    const ControlTemplate* c = FindControlTemplate(*t, controlId);
    if (!c) return {};
    return {MulDiv(c->x, u.x, 4), MulDiv(c->y, u.y, 8), MulDiv(c->cx, u.x, 4),
            MulDiv(c->cy, u.y, 8)};
}

DialogWindow::DialogWindow(const DialogTemplate& tmpl, DialogProc proc, QWidget* owner)
    : QWidget(owner, owner ? Qt::Dialog : Qt::Window), tmpl_(tmpl), proc_(proc) {
    Qt::WindowFlags flags = windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    flags &= ~(Qt::WindowMinMaxButtonsHint);
    if (tmpl.contextHelp) flags |= Qt::WindowContextHelpButtonHint;
    setWindowFlags(flags);
    if (owner) setWindowModality(Qt::WindowModal);
    setFont(DialogFont());
    setWindowTitle(QString::fromLatin1(tmpl.caption));
    if (!QApplication::windowIcon().isNull()) setWindowIcon(QApplication::windowIcon());
    Build();
}

DialogWindow::~DialogWindow() = default;

void DialogWindow::Build() {
    PixelRect frame = TemplateRect(tmpl_.id, 0);
    setFixedSize(frame.width, frame.height);
    QPoint origin(frame.x, frame.y);
    if (QWidget* owner = parentWidget()) origin += owner->geometry().topLeft();
    move(origin);

    std::vector<QWidget*> groups;
    std::vector<QWidget*> created;
    for (const ControlTemplate& c : tmpl_.controls) {
        Control& control = controls_[c.id];
        control.tmpl = &c;
        control.text = c.text ? c.text : "";
        QWidget* w = Make(c, control);
        control.widget = w;
        PixelRect r = TemplateRect(tmpl_.id, c.id);
        int height = r.height;
        if (c.kind == ControlKind::ComboBox)
            height = w->sizeHint().height();  // cy is the dropped height
        w->setGeometry(r.x, r.y, r.width, height);
        if (c.style & kHidden) w->hide();
        if (c.kind == ControlKind::GroupBox) groups.push_back(w);
        created.push_back(w);
        w->setProperty("nodescanControlId", c.id);
        Watch(w);
    }
    // The first control of the template is the topmost where controls
    // overlap; group boxes are frames behind the controls they hold.
    for (auto it = created.rbegin(); it != created.rend(); ++it) (*it)->raise();
    for (auto it = groups.rbegin(); it != groups.rend(); ++it) (*it)->lower();

    // Multi-line buttons wrap their text now that they have their size.
    for (auto& [id, control] : controls_)
        if (control.tmpl->style & kMultiLine && qobject_cast<QPushButton*>(control.widget))
            SetText(id, control.text);
}

QWidget* DialogWindow::Make(const ControlTemplate& c, Control& control) {
    const int id = c.id;
    const QString text = qttext::ToQ(control.text);
    const Qt::FocusPolicy tabPolicy = (c.style & kTabStop) ? Qt::StrongFocus : Qt::ClickFocus;
    switch (c.kind) {
        case ControlKind::DefPushButton:
        case ControlKind::PushButton: {
            auto* b = new QPushButton(text, this);
            b->setAutoDefault(false);
            b->setDefault(c.kind == ControlKind::DefPushButton);
            b->setFocusPolicy(tabPolicy);
            connect(b, &QPushButton::clicked, this, [this, id] { Command(id, 0); });
            return b;
        }
        case ControlKind::Static: {
            auto* l = new QLabel(text, this);
            l->setTextFormat(Qt::PlainText);
            l->setWordWrap(true);
            Qt::Alignment h = (c.style & kAlignRight)    ? Qt::AlignRight
                              : (c.style & kAlignCenter) ? Qt::AlignHCenter
                                                         : Qt::AlignLeft;
            l->setAlignment(h | Qt::AlignTop);
            if (c.style & kBorder) {
                l->setFrameStyle(QFrame::Box | QFrame::Plain);
                l->setLineWidth(1);
                l->setMargin(1);
            }
            return l;
        }
        case ControlKind::GroupBox: {
            auto* g = new GroupFrame(text, this);
            g->setFocusPolicy(Qt::NoFocus);
            return g;
        }
        case ControlKind::Edit: {
            auto* e = new QLineEdit(text, this);
            e->setReadOnly(c.style & kReadOnly);
            e->setFrame(c.style & kBorder);
            e->setFocusPolicy(tabPolicy);
            e->setValidator(new EditValidator(e, c.style & kNumber));
            if (c.style & kReadOnly) {
                // Read-only fields sit on the dialog's own background.
                QPalette p = e->palette();
                p.setColor(QPalette::Base, p.color(QPalette::Window));
                e->setPalette(p);
            }
            control.shown = e->text();
            connect(e, &QLineEdit::textEdited, this, [this, id] { Command(id, EN_CHANGE); });
            return e;
        }
        case ControlKind::CheckBox: {
            auto* b = new QCheckBox(text, this);
            b->setFocusPolicy(tabPolicy);
            connect(b, &QCheckBox::clicked, this, [this, id] { Command(id, 0); });
            return b;
        }
        case ControlKind::ComboBox: {
            auto* b = new QComboBox(this);
            b->setFocusPolicy(tabPolicy);
            // The template's height is the height of the dropped-down list.
            int rowHeight = QFontMetrics(DialogFont()).height() + 2;
            int dropped = TemplateRect(tmpl_.id, id).height - b->sizeHint().height();
            b->setMaxVisibleItems(std::max(3, dropped / std::max(1, rowHeight)));
            // A choice of the user is confirmed first and then announced as
            // a change of the selection, as the original combo box does: a
            // dialog can still store what belongs to the entry chosen before.
            connect(b, &QComboBox::currentIndexChanged, this,
                    [b] { b->setProperty("nodescanChanged", true); });
            connect(b, &QComboBox::activated, this, [this, b, id] {
                Command(id, CBN_SELENDOK);
                if (b->property("nodescanChanged").toBool()) {
                    b->setProperty("nodescanChanged", false);
                    Command(id, CBN_SELCHANGE);
                }
            });
            return b;
        }
        case ControlKind::ListView: {
            auto* v = new QTreeView(this);
            auto* model = new ReportModel(v);
            v->setModel(model);
            control.model = model;
            v->setRootIsDecorated(false);
            v->setItemsExpandable(false);
            v->setUniformRowHeights(true);
            v->setSelectionMode(QAbstractItemView::ExtendedSelection);
            v->setSelectionBehavior(QAbstractItemView::SelectRows);
            v->setAllColumnsShowFocus(true);
            v->setEditTriggers(QAbstractItemView::NoEditTriggers);
            v->setFocusPolicy(tabPolicy);
            v->setSortingEnabled(false);
            v->header()->setStretchLastSection(false);
            v->header()->setSectionsClickable(true);
            v->header()->setSectionsMovable(false);
            v->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            // The selection stays visible when the list loses the focus.
            QPalette p = v->palette();
            p.setColor(QPalette::Inactive, QPalette::Highlight,
                       p.color(QPalette::Active, QPalette::Highlight));
            p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                       p.color(QPalette::Active, QPalette::HighlightedText));
            v->setPalette(p);
            connect(v->header(), &QHeaderView::sectionClicked, this, [this, id](int column) {
                ListNotify n{hwnd(), id, LVN_COLUMNCLICK, column};
                Send(hwnd(), WM_NOTIFY, static_cast<std::uintptr_t>(id),
                     reinterpret_cast<std::intptr_t>(&n));
            });
            return v;
        }
        case ControlKind::ListBox: {
            auto* l = new QListWidget(this);
            l->setFocusPolicy(tabPolicy);
            l->setSelectionMode(QAbstractItemView::SingleSelection);
            l->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            l->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
            l->setUniformItemSizes(true);
            return l;
        }
        case ControlKind::ScrollBar: {
            auto* s = new QScrollBar(Qt::Horizontal, this);
            s->setRange(0, 100);
            s->setSingleStep(1);
            s->setPageStep(1);
            s->setFocusPolicy((c.style & kTabStop) ? Qt::StrongFocus : Qt::NoFocus);
            connect(s, &QScrollBar::actionTriggered, this,
                    [this, s, id](int action) { ScrollAction(s, id, action); });
            connect(s, &QScrollBar::sliderPressed, this, [this, s] { lastThumb_ = s->value(); });
            connect(s, &QScrollBar::sliderReleased, this, [this, id] {
                Send(hwnd(), WM_HSCROLL,
                     MakeWParam(SB_THUMBPOSITION, static_cast<unsigned>(lastThumb_)), id);
            });
            return s;
        }
        case ControlKind::Progress: {
            auto* p = new QProgressBar(this);
            ProgressBar start;  // what the control holds before the program sets it
            p->setRange(start.min, start.max);
            p->setValue(start.pos);
            p->setTextVisible(false);
            return p;
        }
    }
    return new QWidget(this);
}

void DialogWindow::Watch(QWidget* widget) {
    const int id = widget->property("nodescanControlId").toInt();
    widget->installEventFilter(this);
    ids_[widget] = id;
    for (QWidget* part : widget->findChildren<QWidget*>()) {
        part->installEventFilter(this);
        ids_[part] = id;
    }
    if (!qobject_cast<QLineEdit*>(widget)) widget->setContextMenuPolicy(Qt::DefaultContextMenu);
}

DialogWindow::Control* DialogWindow::Find(int id) {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

int DialogWindow::ControlIdOf(const QObject* widget) const {
    for (const QObject* o = widget; o && o != this; o = o->parent()) {
        auto it = ids_.find(o);
        if (it != ids_.end()) return it->second;
    }
    return 0;
}

void DialogWindow::SetText(int id, const std::string& text) {
    Control* c = Find(id);
    if (!c) return;
    c->text = text;
    QString q = qttext::ToQ(text);
    if (auto* e = qobject_cast<QLineEdit*>(c->widget)) {
        {
            QSignalBlocker block(e);
            e->setText(q);
            e->setCursorPosition(0);  // the start of the text in view
        }
        c->shown = e->text();
        if (auto* v = dynamic_cast<EditValidator*>(const_cast<QValidator*>(e->validator())))
            v->Accepted(c->shown);
        // Text set by the program is announced like typed text, where
        // AnnouncesSetText says so.
        if (AnnouncesSetText(*c->tmpl)) Command(id, EN_CHANGE);
    } else if (auto* b = qobject_cast<QPushButton*>(c->widget)) {
        if (c->tmpl->style & kMultiLine) {
            int room = b->width() - 2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin);
            b->setText(Wrap(q, b->fontMetrics(), room));
        } else {
            b->setText(q);
        }
    } else if (auto* l = qobject_cast<QLabel*>(c->widget)) {
        l->setText(q);
    } else if (auto* x = qobject_cast<QCheckBox*>(c->widget)) {
        x->setText(q);
    } else if (auto* g = qobject_cast<QGroupBox*>(c->widget)) {
        g->setTitle(q);
    }
}

std::string DialogWindow::Text(int id) {
    Control* c = Find(id);
    if (!c) return "";
    if (auto* e = qobject_cast<QLineEdit*>(c->widget)) {
        return e->text() == c->shown ? c->text : qttext::FromQ(e->text());
    }
    if (auto* b = qobject_cast<QComboBox*>(c->widget)) return qttext::FromQ(b->currentText());
    return c->text;
}

void DialogWindow::SetLimit(int id, int chars) {
    Control* c = Find(id);
    if (!c) return;
    auto* e = qobject_cast<QLineEdit*>(c->widget);
    if (!e) return;
    c->limit = chars > 0 ? chars : 0;
    if (auto* v = dynamic_cast<EditValidator*>(const_cast<QValidator*>(e->validator())))
        v->SetLimit(c->limit);
}

void DialogWindow::FocusFirst() {
    for (const ControlTemplate& c : tmpl_.controls) {
        Control* control = Find(c.id);
        if ((c.style & kTabStop) && control && control->widget->isVisible() &&
            control->widget->isEnabled()) {
            control->widget->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

void DialogWindow::Command(int id, unsigned code) {
    Send(hwnd(), WM_COMMAND, MakeWParam(static_cast<unsigned>(id), code), 0);
}

void DialogWindow::ScrollAction(QScrollBar* bar, int id, int action) {
    unsigned code;
    unsigned thumb = 0;
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            code = SB_LINEUP;
            break;
        case QAbstractSlider::SliderSingleStepAdd:
            code = SB_LINEDOWN;
            break;
        case QAbstractSlider::SliderPageStepSub:
            code = SB_PAGEUP;
            break;
        case QAbstractSlider::SliderPageStepAdd:
            code = SB_PAGEDOWN;
            break;
        case QAbstractSlider::SliderToMinimum:
            code = kScrollToStart;
            break;
        case QAbstractSlider::SliderToMaximum:
            code = kScrollToEnd;
            break;
        case QAbstractSlider::SliderMove:
            code = SB_THUMBTRACK;
            lastThumb_ = bar->sliderPosition();
            thumb = static_cast<unsigned>(lastThumb_);
            break;
        default:
            return;
    }
    // A scroll bar control does not move by itself: the thumb stays where
    // the program put it, and the program moves it in answer to the message.
    bar->setSliderPosition(bar->value());
    Send(hwnd(), WM_HSCROLL, MakeWParam(code, thumb), id);
}

void DialogWindow::EditMenu(QLineEdit* edit, int id, const QPoint& at) {
    QMenu* menu = edit->createStandardContextMenu();
    menu->addSeparator();
    QAction* help = menu->addAction(QStringLiteral("What's This?"));
    QAction* chosen = menu->exec(at);
    delete menu;
    if (chosen == help) {
        HelpRequest request{id};
        Send(hwnd(), WM_HELP, 0, reinterpret_cast<std::intptr_t>(&request));
    }
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // The close box asks the procedure; only EndDialog ends the dialog. A
    // procedure that leaves the close to the dialog manager gets Cancel.
    event->ignore();
    if (ended) return;
    if (Send(hwnd(), WM_CLOSE, 0, 0) == 0 && !ended) Command(IDCANCEL, 0);
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            if (event->modifiers() & ~(Qt::KeypadModifier)) break;
            // Enter presses the focused push button, else the default one.
            int focused = ControlIdOf(focusWidget());
            Control* c = Find(focused);
            if (c && qobject_cast<QPushButton*>(c->widget)) {
                Command(focused, 0);
            } else {
                int def = IDOK;
                for (const ControlTemplate& t : tmpl_.controls)
                    if (t.kind == ControlKind::DefPushButton) def = t.id;
                Command(def, 0);
            }
            return;
        }
        case Qt::Key_Escape:
            if (event->modifiers() != Qt::NoModifier) break;
            if (ended) return;
            if (Send(hwnd(), WM_CLOSE, 0, 0) == 0 && !ended) Command(IDCANCEL, 0);
            return;
        case Qt::Key_F1: {
            int focused = ControlIdOf(focusWidget());
            if (focused != 0) {
                HelpRequest request{focused};
                Send(hwnd(), WM_HELP, 0, reinterpret_cast<std::intptr_t>(&request));
            }
            return;
        }
        default:
            break;
    }
    QWidget::keyPressEvent(event);
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ContextMenu: {
            int id = ControlIdOf(watched);
            if (id == 0) return false;
            auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            if (auto* e = qobject_cast<QLineEdit*>(Find(id)->widget)) {
                EditMenu(e, id, menuEvent->globalPos());
            } else {
                Send(hwnd(), WM_CONTEXTMENU, static_cast<std::uintptr_t>(id), 0);
            }
            return true;
        }
        case QEvent::FocusOut: {
            auto* focus = static_cast<QFocusEvent*>(event);
            Control* c = Find(ControlIdOf(watched));
            if (c && watched == c->widget && qobject_cast<QLineEdit*>(c->widget) &&
                focus->reason() != Qt::PopupFocusReason)
                Command(c->tmpl->id, EN_KILLFOCUS);
            return false;
        }
        case QEvent::QueryWhatsThis:
            if (ControlIdOf(watched) == 0) return false;
            event->accept();
            return true;
        case QEvent::WhatsThis: {
            int id = ControlIdOf(watched);
            if (id == 0) return false;
            QWhatsThis::leaveWhatsThisMode();
            HelpRequest request{id};
            Send(hwnd(), WM_HELP, 0, reinterpret_cast<std::intptr_t>(&request));
            return true;
        }
        default:
            return false;
    }
}

}  // namespace qthost
