// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Access.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QVariant>
#include <algorithm>

namespace zelbor {

namespace {

// Marks a label whose accessible value is its text (a controller detail); the property holds the
// name. The widget's own accessible name stays empty, so that QLabel goes on announcing each new
// text to assistive tools as a plain label does.
constexpr const char* kValueLabelProperty = "zelborValueLabel";

// Tells the windows' own interfaces apart from Qt's.
class OwnInterface {
public:
    virtual ~OwnInterface() = default;
};

// Read-only text for a control whose shown text is not its name: the item a list shows, the value
// a label shows. Screen readers on the accessibility bus take a control's text from here; without
// it they have only the name.
class ShownTextInterface : public QAccessibleTextInterface {
public:
    virtual QString ShownText() const = 0;

    QString text(int startOffset, int endOffset) const override
    {
        const QString all = ShownText();
        const int start = std::clamp(startOffset, 0, static_cast<int>(all.size()));
        // -1 as the end means up to the end of the text.
        const int end =
            endOffset < 0 ? static_cast<int>(all.size()) : std::clamp(endOffset, start, static_cast<int>(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return static_cast<int>(ShownText().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        *startOffset = *endOffset = offset;
        return QString();
    }
};

QString ComboShownText(const QComboBox* box)
{
    return box->isEditable() && box->lineEdit() ? box->lineEdit()->text() : box->currentText();
}

// A combo box named after its label. Qt's own interface reports the current item as the name on
// this platform, which would make a screen reader announce "26" for the wheel diameter and give
// every list with the same item the same name. Everything else is reported as Qt reports it for a
// combo box: the drop-down list with its items as the first child, the text field of an editable
// list as the second, and the current item as text.
class NamedComboAccessible : public QAccessibleWidget, public ShownTextInterface, public OwnInterface {
public:
    explicit NamedComboAccessible(QComboBox* box) : QAccessibleWidget(box, QAccessible::ComboBox) {}

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        const QComboBox* box = combo();
        switch (t) {
        case QAccessible::Name:
            if (!box->accessibleName().isEmpty())
                return box->accessibleName();
            break;
        case QAccessible::Value:
            return ComboShownText(box);
        default:
            break;
        }
        return QAccessibleWidget::text(t);
    }
    using ShownTextInterface::text;

    QString ShownText() const override { return ComboShownText(combo()); }

    int childCount() const override { return combo()->isEditable() && combo()->lineEdit() ? 2 : 1; }

    QAccessibleInterface* child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(combo()->view());
        if (index == 1 && childCount() == 2)
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override
    {
        if (!child)
            return -1;
        if (child->object() == combo()->view())
            return 0;
        if (childCount() == 2 && child->object() == combo()->lineEdit())
            return 1;
        return -1;
    }

    QAccessibleInterface* childAt(int x, int y) const override
    {
        // The list is a window of its own while it is open; only the text field lies inside.
        if (childCount() == 2) {
            const QLineEdit* edit = combo()->lineEdit();
            if (QRect(edit->mapToGlobal(QPoint(0, 0)), edit->size()).contains(x, y))
                return child(1);
        }
        return nullptr;
    }

    QAccessibleInterface* focusChild() const override
    {
        // The text field of an editable list never takes the focus itself (the list is its focus
        // proxy), but it is where typing goes.
        return childCount() == 2 ? child(1) : nullptr;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = combo()->isEditable();
        s.hasPopup = true;
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override
    {
        if (actionName == showMenuAction() || actionName == pressAction()) {
            if (combo()->isEnabled())
                combo()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }

private:
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }
};

// Announces each change of a named list's shown text as a change of its text, for the tools that
// read the text (Qt itself announces the change of the current item). An editable list is watched
// through its text field, whose signals also arrive while the program blocks the list's own.
class ComboTextWatcher : public QObject {
public:
    explicit ComboTextWatcher(QComboBox* box) : QObject(box), box_(box), last_(ComboShownText(box))
    {
        setObjectName(QLatin1String(kName));
        Follow();
    }

    static constexpr const char* kName = "zelborComboTextWatcher";

    // Called again when the list may have become editable or stopped being so.
    void Follow()
    {
        QObject::disconnect(connection_);
        if (box_->isEditable() && box_->lineEdit())
            connection_ = connect(box_->lineEdit(), &QLineEdit::textChanged, this, [this] { Report(); });
        else
            connection_ = connect(box_, &QComboBox::currentTextChanged, this, [this] { Report(); });
        Report();
    }

private:
    void Report()
    {
        const QString now = ComboShownText(box_);
        if (now == last_)
            return;
        QAccessibleTextUpdateEvent event(box_, 0, last_, now);
        last_ = now;
        QAccessible::updateAccessibility(&event);
    }

    QComboBox* box_;
    QString last_;
    QMetaObject::Connection connection_;
};

void WatchComboText(QComboBox* box)
{
    if (auto* watcher =
            box->findChild<ComboTextWatcher*>(QLatin1String(ComboTextWatcher::kName), Qt::FindDirectChildrenOnly))
        watcher->Follow();
    else
        new ComboTextWatcher(box);
}

// A label that shows a value: named by its title, its text is the value.
class ValueLabelAccessible : public QAccessibleWidget, public ShownTextInterface, public OwnInterface {
public:
    explicit ValueLabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            if (!label()->accessibleName().isEmpty())
                return label()->accessibleName();
            return label()->property(kValueLabelProperty).toString();
        }
        if (t == QAccessible::Value)
            return label()->text();
        return QAccessibleWidget::text(t);
    }
    using ShownTextInterface::text;

    QString ShownText() const override { return label()->text(); }

private:
    QLabel* label() const { return static_cast<QLabel*>(widget()); }
};

// A picture or link label that acts on a click.
class ClickLabelAccessible : public QAccessibleWidget, public OwnInterface {
public:
    explicit ClickLabelAccessible(TClickLabel* label)
        : QAccessibleWidget(label,
                            label->ClickKind() == TClickLabel::Kind::Link ? QAccessible::Link : QAccessible::Button)
    {}

    QString text(QAccessible::Text t) const override
    {
        const auto* label = static_cast<TClickLabel*>(widget());
        if (t == QAccessible::Name) {
            if (!label->accessibleName().isEmpty())
                return label->accessibleName();
            return label->text();
        }
        if (t == QAccessible::Value && label->ClickKind() == TClickLabel::Kind::Link)
            return label->text();
        return QAccessibleWidget::text(t);
    }

    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }

    void doAction(const QString& actionName) override
    {
        auto* label = static_cast<TClickLabel*>(widget());
        if (actionName == pressAction()) {
            if (label->isEnabled())
                label->Click();
            return;
        }
        QAccessibleWidget::doAction(actionName);
    }
};

enum class OwnKind { None, Combo, ValueLabel, ClickLabel };

OwnKind OwnKindOf(QObject* object)
{
    if (qobject_cast<TClickLabel*>(object))
        return OwnKind::ClickLabel;
    if (auto* box = qobject_cast<QComboBox*>(object))
        return box->accessibleName().isEmpty() ? OwnKind::None : OwnKind::Combo;
    if (auto* label = qobject_cast<QLabel*>(object))
        return label->property(kValueLabelProperty).isValid() ? OwnKind::ValueLabel : OwnKind::None;
    return OwnKind::None;
}

// Qt asks with the most derived class first, so answering by the object itself covers subclasses.
QAccessibleInterface* WindowsAccessibleFactory(const QString&, QObject* object)
{
    switch (OwnKindOf(object)) {
    case OwnKind::Combo:
        return new NamedComboAccessible(static_cast<QComboBox*>(object));
    case OwnKind::ValueLabel:
        return new ValueLabelAccessible(static_cast<QLabel*>(object));
    case OwnKind::ClickLabel:
        return new ClickLabelAccessible(static_cast<TClickLabel*>(object));
    case OwnKind::None:
        break;
    }
    return nullptr;
}

// Qt creates a control's interface when it first reports a change, which may be before the
// control got its name: an interface of Qt's made then is replaced by the window's own.
void ReplaceEarlyInterface(QWidget* control)
{
    if (OwnKindOf(control) == OwnKind::None)
        return;
    QAccessibleInterface* current = QAccessible::queryAccessibleInterface(control);
    if (current && !dynamic_cast<OwnInterface*>(current))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}

bool IsMarkable(QChar c) { return c.isLetterOrNumber(); }

} // namespace

// ---------------------------------------------------------------------------------------------

TClickLabel::TClickLabel(Kind kind, QWidget* parent) : TClickLabel(kind, QString(), parent) {}

TClickLabel::TClickLabel(Kind kind, const QString& text, QWidget* parent) : QLabel(text, parent), kind_(kind)
{
    EnsureAccessibleFactory();
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::PointingHandCursor);
    ReplaceEarlyInterface(this);
}

void TClickLabel::Click()
{
    if (onClick)
        onClick();
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        Click();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void TClickLabel::keyPressEvent(QKeyEvent* event)
{
    const bool activate =
        event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (activate && event->modifiers() == Qt::NoModifier) {
        event->accept();
        Click();
        return;
    }
    QLabel::keyPressEvent(event);
}

void TClickLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // Keyboard users must see where the focus is.
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void EnsureAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(WindowsAccessibleFactory);
        return true;
    }();
    (void)installed;
}

QString StripAccessMark(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i; // "&x" gives "x", "&&" gives "&"
        out += text[i];
    }
    return out;
}

QString LabelName(const QString& labelText)
{
    QString name = StripAccessMark(labelText).trimmed();
    while (name.endsWith(QLatin1Char(':')))
        name = name.chopped(1).trimmed();
    return name;
}

void SetAccessibleName(QWidget* control, const QString& name)
{
    EnsureAccessibleFactory();
    if (control->accessibleName() != name)
        control->setAccessibleName(name);
    ReplaceEarlyInterface(control);
    if (auto* box = qobject_cast<QComboBox*>(control); box && !name.isEmpty())
        WatchComboText(box);
}

void MarkValueLabel(QLabel* label, const QString& name)
{
    EnsureAccessibleFactory();
    const QVariant before = label->property(kValueLabelProperty);
    label->setProperty(kValueLabelProperty, name);
    if (!label->accessibleName().isEmpty())
        label->setAccessibleName(QString()); // the name lives in the mark
    ReplaceEarlyInterface(label);
    if (before.isValid() && before.toString() != name) {
        QAccessibleEvent event(label, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

QChar AccessKeyOf(const QString& caption)
{
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return caption[i + 1].toUpper();
    }
    return QChar();
}

void AssignAccessKeys(const std::vector<QLabel*>& labels, QSet<QChar>& used)
{
    for (QLabel* label : labels) {
        const QString plain = StripAccessMark(label->text());
        qsizetype chosen = -1;
        // First the initials of the words, then any other letter or digit.
        for (int pass = 0; pass < 2 && chosen < 0; ++pass) {
            for (qsizetype i = 0; i < plain.size(); ++i) {
                const QChar c = plain[i];
                const bool initial = i == 0 || !plain[i - 1].isLetterOrNumber();
                if (!IsMarkable(c) || (pass == 0 && !initial) || used.contains(c.toUpper()))
                    continue;
                chosen = i;
                break;
            }
        }
        QString marked;
        for (qsizetype i = 0; i < plain.size(); ++i) {
            if (i == chosen)
                marked += QLatin1Char('&');
            else if (plain[i] == QLatin1Char('&'))
                marked += QLatin1Char('&'); // a literal "&" must not become a mark
            marked += plain[i];
        }
        if (chosen >= 0)
            used.insert(plain[chosen].toUpper());
        if (label->text() != marked)
            label->setText(marked);
    }
}

void SetTabChain(const std::vector<QWidget*>& widgets)
{
    for (std::size_t i = 1; i < widgets.size(); ++i)
        QWidget::setTabOrder(widgets[i - 1], widgets[i]);
}

void SetTabChain(std::initializer_list<QWidget*> widgets) { SetTabChain(std::vector<QWidget*>(widgets)); }

} // namespace zelbor
