#include "form2.h"

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

Form2::Form2() : QWidget(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Quillon"));
    auto* layout = new QVBoxLayout(this);

    Label1 = new QLabel(QStringLiteral("Quillon"), this);
    QFont nameFont = Label1->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() * 2);
    nameFont.setBold(true);
    Label1->setFont(nameFont);
    Image1 = new QLabel(this);
    Image1->setPixmap(QIcon(QStringLiteral(":/quillon.png")).pixmap(128, 128));
    Label2 = new QLabel(this);
    // The blanks of the version line are kept as they are.
    Label2->setTextFormat(Qt::PlainText);

    for (QLabel* label : {Label1, Image1, Label2}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->setContentsMargins(32, 24, 32, 24);
    layout->setSpacing(12);
    Form_Load();
}

void Form2::Form_Load()
{
    Label2->setText(VersionLine());
}

}  // namespace quillon
