// The console's find bar, at its foot: "Find:", the text to find, and what
// became of the last find. Typing asks to find from where the last find
// stood; Return finds the next, Shift+Return the one before. The console
// does the finding and tells the bar how it went.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <optional>
#include <string>

namespace quillon {

class FindBar : public QWidget {
    Q_OBJECT
public:
    enum class Outcome { Nothing, NotFound, Found, FromTheTop, FromTheBottom };

    // `sideMargin` pixels left and right, as the text above has.
    FindBar(int sideMargin, QWidget* parent);

    // Shows the bar with the keys in its field and its text selected.
    void Open();
    // The text to find in the console's code page; nothing when it has a
    // character that the code page lacks (and so is nowhere in the console).
    std::optional<std::string> Typed() const;
    bool Empty() const { return field_->text().isEmpty(); }
    void ShowOutcome(Outcome outcome);

    QLineEdit* Field() const { return field_; }
    const QLabel* Status() const { return status_; }

signals:
    void Edited();
    void FindAgain(bool forward);

private:
    QLineEdit* field_ = nullptr;
    QLabel* status_ = nullptr;
};

}  // namespace quillon
