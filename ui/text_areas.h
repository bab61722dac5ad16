// The program's 8-bit text in the windows, and the plain status box. (The
// coloured console is a ConsoleArea.)
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// The program's 8-bit text (settings, captions, reports) as the windows show
// it: Windows-1252, byte for byte. Every label, caption and text area takes
// its text through here or through ToDisplayText.
QString FromCodePage(std::string_view bytes);

// Bytes from the line as the status box shows them: Windows-1252, CR, LF and
// CR LF each one line break.
QString ToDisplayText(std::string_view bytes);

// Text typed by the user in the code page; nothing when it has a character
// that the code page lacks.
std::optional<std::string> ToCodePage(const QString& text);

// The status box: plain grey text, messages appended as lines ending in
// CR LF. Appending costs time in proportion to the message, however long the
// box has grown. It holds the last lines only: once its text passes twice
// kTextLimit, the oldest lines go until at most kTextLimit is left (a line
// longer than that keeps its first kTextLimit bytes). Clear gives the memory
// back.
class StatusBox : public QPlainTextEdit {
public:
    static constexpr std::size_t kTextLimit = 64 * 1024;

    explicit StatusBox(QWidget* parent = nullptr);

    void AppendLine(std::string_view line);  // adds CR LF
    void Clear();
    // The text as the program wrote it, CR LF included: the lines kept.
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

// A one-line label that a narrow window may cut short: what does not fit ends
// in "…", and the whole text is its tool tip. It asks for the room of its
// text, or of the text given to RoomFor, and takes what is left.
class ElidingLabel : public QLabel {
public:
    using QLabel::QLabel;
    // The width it asks for: that of `text`, whatever it shows.
    void RoomFor(const QString& text) { room_ = fontMetrics().horizontalAdvance(text); }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int room_ = 0;
};

}  // namespace quillon
