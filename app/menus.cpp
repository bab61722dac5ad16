// Menu commands of the main window.
#include "app/form1.h"

namespace quillon {

void Form1::MnuClear_Click()
{
    RichTextBox1->setPlainText(QString());
    Counters.BytesReceived = 0;
    Counters.BytesSent = 0;
    Counters.FrameCount = 0;
    Label9->setText(QString());
    Label10->setText(QString());
}

void Form1::MnuStatistics_Click() {}

void Form1::MnuAbout_Click() {}

}  // namespace quillon
