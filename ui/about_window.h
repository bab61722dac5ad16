// The about window: the product's name, its icon and the version line.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

namespace quillon {

// "Version 8.5    (28 July 2013)": four blanks before the date.
QString VersionLine();

// A top-level window of its own, like the statistics window; its close box
// ends it, and the next "&About" makes it afresh.
class AboutWindow : public QWidget {
    Q_OBJECT
public:
    AboutWindow();
};

}  // namespace quillon
