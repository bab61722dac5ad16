// The about window: the product's name, its icon and the version line.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

namespace quillon {

// "Version 8.5    (28 July 2013)": four blanks before the date.
QString VersionLine();

// A top-level window of its own, like the statistics window; its close box
// unloads it.
class Form2 : public QWidget {
    Q_OBJECT
public:
    Form2();

    QLabel* Label1 = nullptr;  // the product's name
    QLabel* Image1 = nullptr;  // the icon
    QLabel* Label2 = nullptr;  // the version line

private:
    void Form_Load();
};

}  // namespace quillon
