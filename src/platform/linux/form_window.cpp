#include "platform/linux/form_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <vector>

#include "platform/linux/caption_text.h"

namespace morvane::qt {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::int16_t keyAscii(QChar c) { return static_cast<std::int16_t>(c.unicode()); }

constexpr std::int16_t kBackspace = 8;

// A fixed-size window: minimize and close, no maximize that the window manager would refuse.
constexpr Qt::WindowFlags kFormFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                       Qt::WindowCloseButtonHint;

bool isEnter(const QKeyEvent& key) {
    return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

}  // namespace

FormWindow::FormWindow(Form1& form, int dpi)
    : QWidget(nullptr, kFormFlags), form_(form), dpi_(dpi) {
    setWindowTitle(fromUtf8(kFormCaption));
    setFixedSize(twipsToPixels(kFormClientWidthTwips, dpi_),
                 twipsToPixels(kFormClientHeightTwips, dpi_));

    for (const ControlSpec& row : kControls) {
        controls_.at(static_cast<std::size_t>(row.id)) = create(row);
    }
    setFont(captionFont(dpi_, [this](ControlId id) { return captionRoom(id); }));

    std::vector<const ControlSpec*> focusable;
    for (const ControlSpec& row : kControls) {
        if (takesFocus(row.kind)) {
            focusable.push_back(&row);
        }
    }
    std::sort(focusable.begin(), focusable.end(),
              [](const ControlSpec* a, const ControlSpec* b) { return a->tabIndex < b->tabIndex; });
    for (std::size_t i = 1; i < focusable.size(); ++i) {
        setTabOrder(control(focusable[i - 1]->id), control(focusable[i]->id));
    }
    if (!focusable.empty()) {
        control(focusable.front()->id)->setFocus();
    }

    connect(command1(), &QPushButton::clicked, this, [this] { form_.command1Click(); });
    connect(command3(), &QPushButton::clicked, this, [this] { form_.command3Click(); });
    // The interval box takes typed characters only, one by one through the filter; an input
    // method would commit text around it.
    text2()->setAttribute(Qt::WA_InputMethodEnabled, false);
    text2()->installEventFilter(this);
}

QWidget* FormWindow::create(const ControlSpec& row) {
    QWidget* parent = row.container ? control(*row.container) : this;
    const QString caption = fromUtf8(row.caption);
    QWidget* widget = nullptr;
    switch (row.kind) {
    case ControlKind::Frame:
        widget = new FrameBox(caption, dpi_, parent);
        break;
    case ControlKind::Label: {
        auto* label = new CaptionLabel(caption, parent);
        label->setTextFormat(Qt::PlainText);
        widget = label;
        break;
    }
    case ControlKind::PushButton:
        widget = new QPushButton(caption, parent);
        // As on Windows, Enter presses the button that has the focus.
        widget->installEventFilter(this);
        break;
    case ControlKind::TextBox: {
        auto* edit = new QLineEdit(caption, parent);
        widget = edit;
        break;
    }
    }
    widget->setObjectName(fromUtf8(row.name));
    widget->setGeometry(twipsToPixels(row.rect.left, dpi_), twipsToPixels(row.rect.top, dpi_),
                        twipsToPixels(row.rect.width, dpi_), twipsToPixels(row.rect.height, dpi_));
    return widget;
}

PixelSize FormWindow::captionRoom(ControlId id) const {
    const QWidget* widget = control(id);
    QRect room = widget->rect();
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    } else if (qobject_cast<const QGroupBox*>(widget) != nullptr) {
        const int indent = FrameBox::captionIndent(dpi_);
        room.adjust(indent, 0, -indent, 0);
    }
    return {room.width(), room.height()};
}

QLabel* FormWindow::label1() const { return qobject_cast<QLabel*>(control(ControlId::Label1)); }

QLineEdit* FormWindow::text2() const { return qobject_cast<QLineEdit*>(control(ControlId::Text2)); }

QPushButton* FormWindow::command1() const {
    return qobject_cast<QPushButton*>(control(ControlId::Command1));
}

QPushButton* FormWindow::command3() const {
    return qobject_cast<QPushButton*>(control(ControlId::Command3));
}

void FormWindow::closeEvent(QCloseEvent* event) {
    form_.unload();
    event->accept();
}

bool FormWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-static-cast-downcast): its type says so
        const auto& key = *static_cast<QKeyEvent*>(event);
        if (watched == text2()) {
            return filterText2Key(key);
        }
        if (auto* button = qobject_cast<QPushButton*>(watched); button != nullptr && isEnter(key)) {
            button->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// Returns true when the key event is consumed. Keys that produce a character go through
// Form1's filter, as characters do on Windows; keys that edit or move without typing
// (Delete, arrows, Home, Shift+Insert) and Tab's focus move never reach it there either.
bool FormWindow::filterText2Key(const QKeyEvent& key) {
    if (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab || key.key() == Qt::Key_Delete) {
        return false;
    }
    QString text = key.text();
    if (text.isEmpty() && (key.modifiers() & Qt::ControlModifier) != 0 && key.key() >= Qt::Key_A &&
        key.key() <= Qt::Key_Z) {
        // Ctrl+letter types the matching control character (Ctrl+V is 22), whether or not the
        // keyboard layout reported it as text.
        text = QChar(static_cast<char16_t>(key.key() - Qt::Key_A + 1));
    }
    if (text.isEmpty()) {
        return false;
    }
    if (text.size() == 1 && key.text() == text) {
        const std::int16_t code = form_.text2KeyPress(keyAscii(text.front()));
        if (code == keyAscii(text.front())) {
            return false;  // unchanged: the line edit handles it as usual
        }
        if (code != 0) {
            insertIntoText2(code);
        }
        return true;
    }
    // Several characters, or a control character the line edit would have treated as a
    // shortcut: each one that passes is inserted by hand, in order, so that the filter sees the
    // text as it grows.
    for (const QChar c : text) {
        const std::int16_t code = form_.text2KeyPress(keyAscii(c));
        if (code != 0) {
            insertIntoText2(code);
        }
    }
    return true;
}

void FormWindow::insertIntoText2(std::int16_t code) {
    if (code == kBackspace) {
        text2()->backspace();
    } else {
        text2()->insert(QString(QChar(static_cast<char16_t>(code))));
    }
}

}  // namespace morvane::qt
