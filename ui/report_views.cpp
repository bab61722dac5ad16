#include "report_views.h"

#include <QActionGroup>

#include "named.h"

namespace quillon {

ReportViews::ReportViews(ConsoleArea* console, PacketListPane* list, QWidget* parent)
    : QStackedWidget(parent), console_(console), list_(list)
{
    addWidget(console_);
    addWidget(list_);
    setCurrentWidget(console_);

    auto* group = new QActionGroup(this);
    consoleAction_ = Named(new QAction(QStringLiteral("Report &console"), group), "consoleViewAction");
    listAction_ = Named(new QAction(QStringLiteral("Packet &list"), group), "listViewAction");
    consoleAction_->setShortcut(QKeySequence(kConsoleKey));
    listAction_->setShortcut(QKeySequence(kListKey));
    for (QAction* action : {consoleAction_, listAction_})
        action->setCheckable(true);
    consoleAction_->setChecked(true);
    connect(consoleAction_, &QAction::triggered, this, &ReportViews::ShowConsole);
    connect(listAction_, &QAction::triggered, this, &ReportViews::ShowList);
}

QMenu* ReportViews::AddViewMenu(QMenuBar* bar, QAction* before)
{
    auto* menu = Named(new QMenu(QStringLiteral("&View"), bar), "viewMenu");
    menu->addAction(consoleAction_);
    menu->addAction(listAction_);
    bar->insertMenu(before, menu);
    return menu;
}

void ReportViews::Show(QWidget* view)
{
    (view == list_ ? listAction_ : consoleAction_)->setChecked(true);
    if (currentWidget() == view)
        return;
    setCurrentWidget(view);
    // The keys go on to the view that is now shown.
    view->setFocus();
}

}  // namespace quillon
