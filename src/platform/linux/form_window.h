#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <array>

#include "app/caption_layout.h"
#include "app/form1.h"
#include "app/layout.h"

class QKeyEvent;

namespace morvane::qt {

// Form1's window, built from the layout table at `dpi` logical dots per inch. It forwards the
// window's events to Form1 and leaves every decision to it.
class FormWindow final : public QWidget {
public:
    FormWindow(Form1& form, int dpi);

    [[nodiscard]] QWidget* control(ControlId id) const {
        return controls_.at(static_cast<std::size_t>(id));
    }
    [[nodiscard]] QLabel* label1() const;
    [[nodiscard]] QLineEdit* text2() const;
    [[nodiscard]] QPushButton* command1() const;
    [[nodiscard]] QPushButton* command3() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* create(const ControlSpec& row);
    // The room a control gives its caption: a label's whole rect, a button's face inside its
    // bevel, the stretch of a frame's top edge its title may take.
    [[nodiscard]] PixelSize captionRoom(ControlId id) const;
    bool filterText2Key(const QKeyEvent& key);
    void insertIntoText2(std::int16_t code);

    Form1& form_;
    int dpi_;
    std::array<QWidget*, kControls.size()> controls_{};
};

}  // namespace morvane::qt
