#include "find_bar.h"

#include <QApplication>
#include <QHBoxLayout>

#include "text_areas.h"

namespace quillon {

namespace {

// Above and below the field, so that the bar does not touch the text.
constexpr int kPadding = 2;

}  // namespace

FindBar::FindBar(int sideMargin, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(sideMargin, kPadding, sideMargin, kPadding);
    layout->addWidget(new QLabel(QStringLiteral("Find:"), this));
    field_ = new QLineEdit(this);
    layout->addWidget(field_, 1);
    status_ = new QLabel(this);
    layout->addWidget(status_);
    hide();
    connect(field_, &QLineEdit::returnPressed, this,
            [this] { emit FindAgain(!(QApplication::keyboardModifiers() & Qt::ShiftModifier)); });
    connect(field_, &QLineEdit::textEdited, this, &FindBar::Edited);
}

void FindBar::Open()
{
    show();
    field_->setFocus();
    field_->selectAll();
}

std::optional<std::string> FindBar::Typed() const { return ToCodePage(field_->text()); }

void FindBar::ShowOutcome(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Nothing:
    case Outcome::Found: status_->clear(); break;
    case Outcome::NotFound: status_->setText(QStringLiteral("not found")); break;
    case Outcome::FromTheTop: status_->setText(QStringLiteral("continued from the top")); break;
    case Outcome::FromTheBottom: status_->setText(QStringLiteral("continued from the bottom")); break;
    }
}

}  // namespace quillon
