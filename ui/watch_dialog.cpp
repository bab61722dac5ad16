#include "watch_dialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "named.h"
#include "small_file.h"
#include "station.h"
#include "text_areas.h"

namespace quillon {

WatchDialog::WatchDialog(Station& station, QWidget* parent) : QDialog(parent), station_(station)
{
    setWindowTitle(QStringLiteral("Watch list"));
    auto* layout = new QVBoxLayout(this);
    auto* help = new QLabel(QStringLiteral("One callsign a line; * stands for any characters, ? for one; "
                                           "# begins a comment. A watched station is marked in the console, "
                                           "and announced when it is heard first or after 30 minutes of silence."),
                            this);
    help->setWordWrap(true);
    layout->addWidget(help);
    editor_ = Named(new QPlainTextEdit(this), "watchEditor");
    editor_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    editor_->setPlainText(
        FromCodePage(ReadSmallFile(station_.Environment().programDir.toStdString(), kWatchFileName).text));
    layout->addWidget(editor_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &WatchDialog::Save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void WatchDialog::Save()
{
    std::optional<std::string> text = ToCodePage(editor_->toPlainText());
    if (text && !text->empty() && text->back() != '\n')
        text->push_back('\n');
    const QString failure =
        text ? station_.SaveWatchList(*text) : QStringLiteral("it holds a character that no callsign has");
    if (failure.isEmpty()) {
        accept();
        return;
    }
    auto* box =
        new QMessageBox(QMessageBox::Warning, windowTitle(),
                        QStringLiteral("The watch list could not be saved:\n%1").arg(failure), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

}  // namespace quillon
