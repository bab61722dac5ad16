// The two views of a window's reports, one shown at a time: the report
// console (every report in full, the view at every start) and the packet list
// (a row per frame, the chosen row's report below). The window's View menu
// switches between them, each with its key.
#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QStackedWidget>

#include "console_area.h"
#include "packet_list.h"

namespace quillon {

class ReportViews : public QStackedWidget {
    Q_OBJECT
public:
    // The keys of the two views.
    static constexpr QKeyCombination kConsoleKey{Qt::CTRL | Qt::Key_1};
    static constexpr QKeyCombination kListKey{Qt::CTRL | Qt::Key_2};

    // Takes both views in, the console shown.
    ReportViews(ConsoleArea* console, PacketListPane* list, QWidget* parent = nullptr);

    // "View" with the two views, in `bar` before `before` (at its end when
    // nullptr).
    QMenu* AddViewMenu(QMenuBar* bar, QAction* before = nullptr);

    void ShowConsole() { Show(console_); }
    void ShowList() { Show(list_); }
    bool ListShown() const { return currentWidget() == list_; }

private:
    void Show(QWidget* view);

    ConsoleArea* console_;
    PacketListPane* list_;
    QAction* consoleAction_ = nullptr;
    QAction* listAction_ = nullptr;
};

}  // namespace quillon
