// Menu commands of the main window.
#include "form1.h"
#include "form2.h"
#include "form4.h"

namespace quillon {

namespace {

// Shows the window held in `slot` without making it modal. A window that is
// not loaded (never opened, or closed by its close box and on its way out) is
// created first, which fills it; an open one is only brought to the front,
// its content as it was.
template <class Window, class... Args>
void ShowWindow(QPointer<QWidget>& slot, const Args&... args)
{
    QWidget* window = slot.data();
    if (window == nullptr || !window->isVisible()) {
        window = new Window(args...);
        slot = window;
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace

void Form1::MnuClear_Click()
{
    RichTextBox1->Clear();
    ReceivePipeline.ClearCounts();
    BytesSent = 0;
    Label9->setText(QString());
    Label10->setText(QString());
}

void Form1::MnuStatistics_Click()
{
    ShowWindow<Form4>(statistics_, ReceivePipeline.Counts());
}

void Form1::MnuAbout_Click()
{
    ShowWindow<Form2>(about_);
}

}  // namespace quillon
