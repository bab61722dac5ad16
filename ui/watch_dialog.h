// The watch list's dialog: watch.txt as text, one callsign pattern a line,
// saved to the program folder for the station to watch from the next frame
// on. Not modal to the application: the station goes on while it is open.
#pragma once

#include <QDialog>
#include <QPlainTextEdit>

namespace quillon {

class Station;

class WatchDialog : public QDialog {
    Q_OBJECT
public:
    // The station must outlive the dialog.
    WatchDialog(Station& station, QWidget* parent);

    QPlainTextEdit& Editor() { return *editor_; }
    // Writes the file; a failure is told in a message box and the dialog stays.
    void Save();

private:
    Station& station_;
    QPlainTextEdit* editor_ = nullptr;
};

}  // namespace quillon
