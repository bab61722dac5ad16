#include "about_window.h"

#include <QIcon>
#include <QVBoxLayout>

#include "app/app.h"
#include "text_areas.h"

namespace quillon {

QString VersionLine()
{
    return QStringLiteral("Version ") + FromCodePage(kVersionText) + QStringLiteral("    (") +
           FromCodePage(kReleaseDateText) + QStringLiteral(")");
}

AboutWindow::AboutWindow() : QWidget(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Quillon"));
    auto* layout = new QVBoxLayout(this);

    auto* name = new QLabel(QStringLiteral("Quillon"), this);
    QFont nameFont = name->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 2);
    nameFont.setBold(true);
    name->setFont(nameFont);
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(QIcon(QStringLiteral(":/quillon.png")).pixmap(128, 128));
    auto* version = new QLabel(VersionLine(), this);
    version->setObjectName(QStringLiteral("version"));
    // The blanks of the version line are kept as they are.
    version->setTextFormat(Qt::PlainText);

    for (QLabel* label : {name, icon, version}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->setSpacing(12);
}

}  // namespace quillon
