// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keyboard and screen-reader access shared by the windows: labels that act as buttons or links,
// accessible names derived from label texts, access letters and explicit tab chains.
#include <QLabel>
#include <QSet>
#include <QString>
#include <functional>
#include <initializer_list>
#include <vector>

class QFocusEvent;
class QKeyEvent;
class QMouseEvent;
class QPaintEvent;

namespace zelbor {

// A label that reacts to a left click and, while it has the keyboard focus, to Space and Enter:
// the clickable pictures of the main window and the link labels of the About window. It takes the
// focus by Tab only, so a mouse click does not move the focus away from the field being edited.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    enum class Kind { Button, Link };
    explicit TClickLabel(Kind kind, QWidget* parent = nullptr);
    TClickLabel(Kind kind, const QString& text, QWidget* parent = nullptr);

    Kind ClickKind() const { return kind_; }
    std::function<void()> onClick;
    void Click(); // what a click does; also the accessible press action

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    Kind kind_;
};

// Makes the windows' own accessible interfaces known to Qt (once per process): named combo boxes
// report their label as name, their current item as value and text, and their drop-down list as a
// child; value labels report their title as name and the text they show as value and text; and
// TClickLabel acts as a button or a link.
void EnsureAccessibleFactory();

// A label's text as a name: without the access-letter mark, without trailing colons and blanks.
QString LabelName(const QString& labelText);

// The text without its access-letter mark ("&&" stands for one "&").
QString StripAccessMark(const QString& text);

// Gives a control its accessible name; a combo box also reports it as its name (not its value), and
// each change of the item it shows as a change of its text.
void SetAccessibleName(QWidget* control, const QString& name);

// A label that shows a value (a controller detail): its accessible name says what it is, while the
// text it shows is its accessible value and text. Each new text is announced as a plain label
// announces it.
void MarkValueLabel(QLabel* label, const QString& name);

// Gives each label an access letter not in `used` (compared without case), preferring the first
// letter of a word, and adds it to `used`. A label whose text has no free letter or digit gets
// none. Texts are taken without any earlier mark, so the assignment can be run again after a
// language change.
void AssignAccessKeys(const std::vector<QLabel*>& labels, QSet<QChar>& used);

// The access letter of a caption ("&File" gives 'F'), or a null character.
QChar AccessKeyOf(const QString& caption);

// Tab moves through the widgets in this order; each is followed by the next.
void SetTabChain(std::initializer_list<QWidget*> widgets);
void SetTabChain(const std::vector<QWidget*>& widgets);

} // namespace zelbor
